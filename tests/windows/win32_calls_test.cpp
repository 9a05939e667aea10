// The Win32 calls behind the platform layer (win32_calls.h), on real files, the real clock,
// the user locale and the real spooler.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "scratch_dir.h"
#include "win32_calls.h"

namespace {

namespace w = plat::win32;
using plat::FileAccess;
using plat::FileDisposition;
using plat::FileHandle;
using plat::kInvalidFile;
using wintest::ScratchDir;

constexpr uint32_t kInvalidPosition = 0xFFFFFFFF;

class Win32Files : public ::testing::Test {
 protected:
  std::u16string Path(const std::u16string& name) const { return dir_.Path(name); }

  FileHandle Open(const std::u16string& name, FileAccess access,
                  FileDisposition disposition = FileDisposition::OpenExisting) {
    return w::FileOpen(Path(name).c_str(), access, disposition);
  }

  // Creates the file with the bytes given, through the calls under test.
  void Create(const std::u16string& name, const std::string& bytes) {
    const FileHandle file = Open(name, FileAccess::Write, FileDisposition::CreateNew);
    ASSERT_NE(file, kInvalidFile);
    uint32_t done = 0;
    ASSERT_TRUE(w::FileWrite(file, bytes.data(), static_cast<uint32_t>(bytes.size()), &done));
    ASSERT_EQ(done, bytes.size());
    ASSERT_TRUE(w::FileClose(file));
  }

  std::string Contents(const std::u16string& name) {
    const FileHandle file = Open(name, FileAccess::Read);
    if (file == kInvalidFile) return "<cannot open>";
    const uint32_t size = w::FileGetSize(file);
    std::string bytes(size, '\0');
    uint32_t done = 0;
    const bool read = w::FileRead(file, bytes.data(), size, &done);
    w::FileClose(file);
    if (!read || done != size) return "<cannot read>";
    return bytes;
  }

  void MakeReadOnly(const std::u16string& name) {
    ASSERT_TRUE(SetFileAttributesW(wintest::Wide(Path(name)), FILE_ATTRIBUTE_READONLY));
  }

  ScratchDir dir_;
};

TEST_F(Win32Files, WrittenBytesReadBackAtEveryPosition) {
  Create(u"data.bin", "0123456789");
  const FileHandle file = Open(u"data.bin", FileAccess::ReadWrite);
  ASSERT_NE(file, kInvalidFile);
  EXPECT_NE(file, 0);
  EXPECT_EQ(w::FileGetSize(file), 10u);

  EXPECT_EQ(w::FileSeek(file, 4), 4u);
  uint32_t done = 0;
  ASSERT_TRUE(w::FileWrite(file, "ab", 2, &done));
  EXPECT_EQ(done, 2u);

  char buffer[16] = {};
  EXPECT_EQ(w::FileSeek(file, 3), 3u);
  ASSERT_TRUE(w::FileRead(file, buffer, 4, &done));
  EXPECT_EQ(std::string(buffer, done), "3ab6");

  // At the end ReadFile succeeds with what there is.
  EXPECT_EQ(w::FileSeek(file, 8), 8u);
  ASSERT_TRUE(w::FileRead(file, buffer, 16, &done));
  EXPECT_EQ(std::string(buffer, done), "89");

  EXPECT_TRUE(w::FileFlush(file));
  EXPECT_TRUE(w::FileClose(file));
  EXPECT_EQ(Contents(u"data.bin"), "0123ab6789");
}

TEST_F(Win32Files, SeekingPastTheEndThenWritingGrowsTheFile) {
  Create(u"grow.bin", "abc");
  const FileHandle file = Open(u"grow.bin", FileAccess::ReadWrite);
  ASSERT_NE(file, kInvalidFile);
  EXPECT_EQ(w::FileSeek(file, 6), 6u);
  EXPECT_EQ(w::FileGetSize(file), 3u);
  uint32_t done = 0;
  ASSERT_TRUE(w::FileWrite(file, "z", 1, &done));
  EXPECT_EQ(w::FileGetSize(file), 7u);
  EXPECT_EQ(w::FileSeek(file, -1), kInvalidPosition);
  EXPECT_TRUE(w::FileClose(file));
  EXPECT_EQ(Contents(u"grow.bin"), std::string("abc\0\0\0z", 7));
}

TEST_F(Win32Files, CreateNewNeverTouchesAnExistingFileAndOpenExistingNeverCreates) {
  Create(u"there.txt", "kept");
  for (const FileAccess access : {FileAccess::Write, FileAccess::ReadWrite}) {
    EXPECT_EQ(Open(u"there.txt", access, FileDisposition::CreateNew), kInvalidFile);
  }
  EXPECT_EQ(Contents(u"there.txt"), "kept");
  for (const FileAccess access : {FileAccess::Read, FileAccess::Write, FileAccess::ReadWrite}) {
    EXPECT_EQ(Open(u"absent.txt", access), kInvalidFile);
  }
  EXPECT_FALSE(wintest::Exists(Path(u"absent.txt")));
}

// A file of 4 GiB or more: the low part of its size alone would read as a small size.
TEST_F(Win32Files, SizeOfFourGibibytesOrMoreFails) {
  Create(u"huge.bin", "");
  HANDLE raw = CreateFileW(wintest::Wide(Path(u"huge.bin")), GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(raw, INVALID_HANDLE_VALUE);
  LONG high = 1;  // 4 GiB + 5 bytes, left sparse by the file system where it can
  ASSERT_NE(SetFilePointer(raw, 5, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  const bool extended = SetEndOfFile(raw) != 0;
  CloseHandle(raw);
  if (!extended) GTEST_SKIP() << "the file system here cannot hold a 4 GiB file";
  const FileHandle file = Open(u"huge.bin", FileAccess::Read);
  ASSERT_NE(file, kInvalidFile);
  EXPECT_EQ(w::FileGetSize(file), kInvalidPosition);
  EXPECT_TRUE(w::FileClose(file));
}

TEST_F(Win32Files, ReadOnlyFilesAreReadButNeverWrittenDeletedOrReplaced) {
  Create(u"locked.tbl", "original");
  Create(u"new.tbl", "replacement");
  MakeReadOnly(u"locked.tbl");

  const FileHandle reader = Open(u"locked.tbl", FileAccess::Read);
  EXPECT_NE(reader, kInvalidFile);
  w::FileClose(reader);
  EXPECT_EQ(Open(u"locked.tbl", FileAccess::Write), kInvalidFile);
  EXPECT_EQ(Open(u"locked.tbl", FileAccess::ReadWrite), kInvalidFile);
  EXPECT_FALSE(w::FileDelete(Path(u"locked.tbl").c_str()));
  EXPECT_FALSE(w::FileReplace(Path(u"new.tbl").c_str(), Path(u"locked.tbl").c_str()));

  EXPECT_EQ(Contents(u"locked.tbl"), "original");
  EXPECT_EQ(Contents(u"new.tbl"), "replacement");
}

TEST_F(Win32Files, ReplacePutsTheFileInPlaceOfTheOther) {
  Create(u"work.tmp", "new contents");
  Create(u"work.tbl", "old");
  ASSERT_TRUE(w::FileReplace(Path(u"work.tmp").c_str(), Path(u"work.tbl").c_str()));
  EXPECT_EQ(Contents(u"work.tbl"), "new contents");
  EXPECT_FALSE(wintest::Exists(Path(u"work.tmp")));

  // Onto a name that is not taken yet.
  ASSERT_TRUE(w::FileReplace(Path(u"work.tbl").c_str(), Path(u"fresh.tbl").c_str()));
  EXPECT_EQ(Contents(u"fresh.tbl"), "new contents");
  EXPECT_FALSE(w::FileReplace(Path(u"work.tbl").c_str(), Path(u"other.tbl").c_str()));
}

TEST_F(Win32Files, DirectoriesAreNeitherOpenedNorMovedButCanBeFlushed) {
  ASSERT_TRUE(CreateDirectoryW(wintest::Wide(Path(u"folder")), nullptr));
  Create(u"plain", "x");
  for (const FileAccess access : {FileAccess::Read, FileAccess::Write, FileAccess::ReadWrite}) {
    EXPECT_EQ(Open(u"folder", access), kInvalidFile);
  }
  EXPECT_FALSE(w::FileReplace(Path(u"folder").c_str(), Path(u"moved").c_str()));
  EXPECT_TRUE(wintest::Exists(Path(u"folder")));

  EXPECT_TRUE(w::DirectoryFlush(dir_.Dir().c_str()));
  EXPECT_FALSE(w::DirectoryFlush(Path(u"plain").c_str()));
  EXPECT_FALSE(w::DirectoryFlush(Path(u"missing").c_str()));
  EXPECT_FALSE(w::DirectoryFlush(nullptr));
}

TEST_F(Win32Files, DeleteRemovesOnlyWhatIsThere) {
  Create(u"gone.txt", "x");
  EXPECT_TRUE(w::FileDelete(Path(u"gone.txt").c_str()));
  EXPECT_FALSE(wintest::Exists(Path(u"gone.txt")));
  EXPECT_FALSE(w::FileDelete(Path(u"gone.txt").c_str()));
  EXPECT_FALSE(w::FileDelete(nullptr));
  EXPECT_FALSE(w::FileDelete(u""));
}

// The share mode follows the access: a reader lets others read, a writer lets others
// write, a reader-writer lets others do both.
struct ShareCase {
  FileAccess held;
  FileAccess second;
  bool secondOpens;
};

class Win32Sharing : public Win32Files, public ::testing::WithParamInterface<ShareCase> {};

TEST_P(Win32Sharing, SecondOpenFollowsTheShareModeOfTheFirst) {
  Create(u"shared.tbl", "x");
  const FileHandle held = Open(u"shared.tbl", GetParam().held);
  ASSERT_NE(held, kInvalidFile);
  const FileHandle second = Open(u"shared.tbl", GetParam().second);
  EXPECT_EQ(second != kInvalidFile, GetParam().secondOpens);
  if (second != kInvalidFile) w::FileClose(second);
  w::FileClose(held);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, Win32Sharing,
    ::testing::Values(ShareCase{FileAccess::Read, FileAccess::Read, true},
                      ShareCase{FileAccess::Read, FileAccess::Write, false},
                      ShareCase{FileAccess::Read, FileAccess::ReadWrite, false},
                      ShareCase{FileAccess::Write, FileAccess::Read, false},
                      ShareCase{FileAccess::Write, FileAccess::Write, true},
                      ShareCase{FileAccess::ReadWrite, FileAccess::ReadWrite, true}));

TEST(Win32Handles, HandlesThatWereNeverOpenedFailEveryCall) {
  for (const FileHandle bad : {FileHandle{0}, kInvalidFile}) {
    SCOPED_TRACE(bad);
    char buffer[4] = {};
    uint32_t done = 7;
    EXPECT_FALSE(w::FileRead(bad, buffer, 4, &done));
    EXPECT_EQ(done, 0u);
    done = 7;
    EXPECT_FALSE(w::FileWrite(bad, buffer, 4, &done));
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(w::FileSeek(bad, 0), kInvalidPosition);
    EXPECT_EQ(w::FileGetSize(bad), kInvalidPosition);
    EXPECT_FALSE(w::FileFlush(bad));
    EXPECT_FALSE(w::FileClose(bad));
  }
  EXPECT_EQ(w::FileOpen(nullptr, FileAccess::Read, FileDisposition::OpenExisting), kInvalidFile);
  EXPECT_EQ(w::FileOpen(u"", FileAccess::Read, FileDisposition::OpenExisting), kInvalidFile);
}

// ---- File names --------------------------------------------------------------------------

TEST(Win32Names, PathsUseTheBackslash) { EXPECT_EQ(w::PathSeparator(), u'\\'); }

TEST(Win32Names, ConversionFollowsTheSizeProtocol) {
  const char* name = "htab0000.tbl";
  EXPECT_EQ(w::AnsiToWide(name, -1, nullptr, 0), 13);
  EXPECT_EQ(w::AnsiToWide(name, 12, nullptr, 0), 12);

  std::u16string out(16, u'#');
  EXPECT_EQ(w::AnsiToWide(name, -1, out.data(), 13), 13);
  EXPECT_EQ(out, std::u16string(u"htab0000.tbl\0###", 16));

  // Too small: nothing written.
  std::u16string small(12, u'#');
  EXPECT_EQ(w::AnsiToWide(name, -1, small.data(), 12), 0);
  EXPECT_EQ(small, std::u16string(12, u'#'));

  EXPECT_EQ(w::AnsiToWide(nullptr, -1, out.data(), 16), 0);
  EXPECT_EQ(w::AnsiToWide(name, 0, out.data(), 16), 0);
  EXPECT_EQ(w::AnsiToWide(name, -2, out.data(), 16), 0);
  EXPECT_EQ(w::AnsiToWide(name, -1, nullptr, 16), 0);
  EXPECT_EQ(w::AnsiToWide(name, -1, out.data(), -1), 0);
}

// Every byte a name can hold converts through the ANSI code page and back unchanged, and
// never into more units than it has bytes.
TEST(Win32Names, NamesRoundTripThroughTheAnsiCodePage) {
  CPINFO info{};
  ASSERT_TRUE(GetCPInfo(CP_ACP, &info));
  if (info.MaxCharSize != 1) GTEST_SKIP() << "the ANSI code page here is multi-byte";
  std::string all;
  for (int byte = 1; byte < 256; ++byte) all.push_back(static_cast<char>(byte));
  const auto length = static_cast<int32_t>(all.size());
  std::u16string wide(all.size(), u'\0');
  ASSERT_EQ(w::AnsiToWide(all.data(), length, wide.data(), length), length);
  std::string back(all.size(), '\0');
  ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, wintest::Wide(wide), length, back.data(), length,
                                nullptr, nullptr),
            length);
  // Bytes the code page leaves undefined may come back as a default character.
  size_t same = 0;
  for (size_t i = 0; i < all.size(); ++i) same += all[i] == back[i] ? 1u : 0u;
  EXPECT_GE(same, all.size() - 8);
  EXPECT_EQ(wide.substr(0, 3), u"\x01\x02\x03");
  EXPECT_EQ(wide[static_cast<size_t>('A' - 1)], u'A');
}

// ---- Heap, clock, locale, printers -----------------------------------------------------

TEST(Win32Heap, BlocksComeFromTheGlobalHeapFixedAndZeroFilledOnRequest) {
  void* zeroed = w::HeapAlloc(4096, true);
  ASSERT_NE(zeroed, nullptr);
  const auto* bytes = static_cast<const uint8_t*>(zeroed);
  for (size_t i = 0; i < 4096; ++i) ASSERT_EQ(bytes[i], 0) << i;
  EXPECT_GE(GlobalSize(zeroed), 4096u);
  EXPECT_EQ(GlobalHandle(zeroed), zeroed);  // fixed: the handle is the pointer
  w::HeapFree(zeroed);

  void* empty = w::HeapAlloc(0, false);
  void* other = w::HeapAlloc(0, false);
  EXPECT_NE(empty, nullptr);
  EXPECT_NE(empty, other);
  w::HeapFree(empty);
  w::HeapFree(other);
  w::HeapFree(nullptr);
}

int DayOfWeek(int year, int month, int day) {
  // Sakamoto's method: 0 is Sunday, as in SYSTEMTIME.
  static constexpr int kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 3) year -= 1;
  return (year + year / 4 - year / 100 + year / 400 + kOffsets[month - 1] + day) % 7;
}

TEST(Win32Clock, LocalTimeAgreesWithTheCRuntime) {
  const std::time_t before = std::time(nullptr);
  plat::LocalTime now{};
  w::GetLocalTime(&now);
  const std::time_t after = std::time(nullptr);

  EXPECT_EQ(now.dayOfWeek, DayOfWeek(now.year, now.month, now.day));
  EXPECT_LT(now.milliseconds, 1000);
  // The C runtime's local time of a moment just before or just after.
  bool matched = false;
  for (const std::time_t moment : {before, after}) {
    const std::tm* local = std::localtime(&moment);
    ASSERT_NE(local, nullptr);
    matched = matched || (now.year == local->tm_year + 1900 && now.month == local->tm_mon + 1 &&
                          now.day == local->tm_mday && now.hour == local->tm_hour &&
                          now.minute == local->tm_min);
  }
  EXPECT_TRUE(matched) << now.year << "-" << now.month << "-" << now.day << " " << now.hour
                       << ":" << now.minute;
  w::GetLocalTime(nullptr);  // no crash
}

TEST(Win32Locale, CountryCodeFollowsTheSizeProtocol) {
  const int32_t needed = w::GetLocaleCountry(nullptr, 0);
  ASSERT_GE(needed, 2);
  std::string text(static_cast<size_t>(needed), '#');
  EXPECT_EQ(w::GetLocaleCountry(text.data(), needed), needed);
  EXPECT_EQ(text.back(), '\0');
  for (size_t i = 0; i + 1 < text.size(); ++i) EXPECT_TRUE(text[i] >= '0' && text[i] <= '9') << text;
  if (GetUserDefaultLCID() == 0x0409) {
    EXPECT_EQ(text.c_str(), std::string("1"));  // en-US
  }

  std::string small(static_cast<size_t>(needed), '#');
  EXPECT_EQ(w::GetLocaleCountry(small.data(), needed - 1), 0);
  EXPECT_EQ(w::GetLocaleCountry(small.data(), -1), 0);
  EXPECT_EQ(w::GetLocaleCountry(nullptr, needed), 0);
}

// No printer is installed here: an unknown name is just no printer.
TEST(Win32Printers, AnUnknownPrinterIsNoPrinter) {
  for (const char16_t* name : {u"No Such Printer", u"\u00c9tiquettes inconnues", u"", static_cast<const char16_t*>(nullptr)}) {
    void* handle = reinterpret_cast<void*>(uintptr_t{1});
    EXPECT_FALSE(w::PrinterOpen(name, &handle));
    EXPECT_EQ(handle, nullptr);
  }
  EXPECT_FALSE(w::PrinterOpen(u"No Such Printer", nullptr));

  uint32_t type = 99;
  uint8_t data[4] = {};
  uint32_t needed = 99;
  EXPECT_EQ(w::PrinterGetData(nullptr, u"VrdUI_SilentModeEnable", &type, data, 4, &needed),
            plat::kErrorInvalidHandle);
  w::PrinterClose(nullptr);  // no crash
}

}  // namespace
