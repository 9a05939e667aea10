// The spooler stand-in, driven through its exported calls over a temporary store.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "mpxspool.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kErrorInvalidParameter = 87;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

uint32_t Le32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// A fresh store directory named by MPX_SPOOL_DIR.
class SpoolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/mpxspool-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    store_ = pattern;
    ASSERT_EQ(setenv("MPX_SPOOL_DIR", pattern, 1), 0);
    handlesBefore_ = MpxSpoolOpenHandleCount();
  }
  void TearDown() override {
    EXPECT_EQ(MpxSpoolOpenHandleCount(), handlesBefore_) << "a test leaked a handle";
    unsetenv("MPX_SPOOL_DIR");
    fs::remove_all(store_);
  }

  void* Open(const std::u16string& name) {
    void* handle = nullptr;
    EXPECT_NE(OpenPrinterW(name.c_str(), &handle, nullptr), 0);
    EXPECT_NE(handle, nullptr);
    return handle;
  }

  // Reads a value with a 4-byte buffer; returns the status and fills value.
  static uint32_t Read(void* handle, const std::u16string& name, uint32_t* value) {
    uint8_t data[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    uint32_t type = 0;
    uint32_t needed = 0;
    const uint32_t status = GetPrinterDataW(handle, name.c_str(), &type, data, 4, &needed);
    if (status == MPX_ERROR_SUCCESS) {
      EXPECT_EQ(type, MPX_REG_DWORD);
      EXPECT_EQ(needed, 4u);
      *value = Le32(data);
    }
    return status;
  }

  static uint32_t Write(void* handle, const std::u16string& name, uint32_t value) {
    const uint8_t data[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                             static_cast<uint8_t>(value >> 16),
                             static_cast<uint8_t>(value >> 24)};
    return SetPrinterDataW(handle, name.c_str(), MPX_REG_DWORD, data, 4);
  }

  fs::path store_;
  uint32_t handlesBefore_ = 0;
};

TEST_F(SpoolTest, PrinterExistsExactlyWhenItsFileIsARegularFile) {
  WriteText(store_ / "Office.ini", "");
  fs::create_directory(store_ / "Folder.ini");
  WriteText(store_ / "Plain", "");
  fs::create_symlink(store_ / "Office.ini", store_ / "Linked.ini");

  struct Case {
    const char16_t* name;
    bool opens;
  };
  const Case cases[] = {
      {u"Office", true},  {u"Linked", true},  {u"Folder", false}, {u"Plain", false},
      {u"Missing", false}, {u"office", false}, {u"", false},       {u"Office.ini", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name)));
    void* handle = reinterpret_cast<void*>(uintptr_t{1});
    const int32_t opened = OpenPrinterW(c.name, &handle, nullptr);
    EXPECT_EQ(opened != 0, c.opens);
    if (opened != 0) {
      EXPECT_NE(handle, nullptr);
      EXPECT_NE(ClosePrinter(handle), 0);
    } else {
      EXPECT_EQ(handle, nullptr);
    }
  }
  void* handle = nullptr;
  EXPECT_EQ(OpenPrinterW(nullptr, &handle, nullptr), 0);
  EXPECT_EQ(OpenPrinterW(u"Office", nullptr, nullptr), 0);
  // A lone surrogate has no UTF-8 form, so no file can stand for it.
  const char16_t lone[] = {u'O', 0xD800, 0};
  EXPECT_EQ(OpenPrinterW(lone, &handle, nullptr), 0);
}

TEST_F(SpoolTest, NamesArePercentEncodedIntoFileNames) {
  struct Case {
    const char16_t* printer;
    const char* file;
  };
  const Case cases[] = {
      {u"Floor 2/Left", "Floor 2%2FLeft.ini"},
      {u"100% Cotton", "100%25 Cotton.ini"},
      {u"Tab\tBell\a", "Tab%09Bell%07.ini"},
      {u"Del\x7F", "Del%7F.ini"},
      {u"Caf\u00E9 \u30D7\U0001F5A8", "Caf\xC3\xA9 \xE3\x83\x97\xF0\x9F\x96\xA8.ini"},
      {u"..", "...ini"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    WriteText(store_ / c.file, "Value=7\n");
    void* handle = Open(c.printer);
    uint32_t value = 0;
    EXPECT_EQ(Read(handle, u"Value", &value), MPX_ERROR_SUCCESS);
    EXPECT_EQ(value, 7u);
    EXPECT_NE(ClosePrinter(handle), 0);
    fs::remove(store_ / c.file);
  }
  // The encoded form read literally is a different printer: its '%' is encoded again.
  WriteText(store_ / "A%2FB.ini", "");
  void* handle = nullptr;
  EXPECT_EQ(OpenPrinterW(u"A%2FB", &handle, nullptr), 0);
  WriteText(store_ / "A%252FB.ini", "");
  handle = Open(u"A%2FB");
  ClosePrinter(handle);
}

TEST_F(SpoolTest, ValueLinesAreParsedAndEverythingElseIgnored) {
  WriteText(store_ / "P.ini",
            "# a comment=1\n"
            "; Semi=2\n"
            "\n"
            "Dec=42\n"
            "Zero=0\n"
            "Neg=-1\n"
            "Min=-2147483648\n"
            "Max=4294967295\n"
            "Hex=0x1f\n"
            "HexUpper=0XABCDEF01\n"
            "HexPadded=0x00000010\n"
            "  Spaced\t=  9  \n"
            "Crlf=77\r\n"
            "TooBig=4294967296\n"
            "TooNegative=-2147483649\n"
            "HexTooBig=0x100000000\n"
            "HexEmpty=0x\n"
            "NegHex=-0x5\n"
            "Plus=+5\n"
            "Trailing=12abc\n"
            "Empty=\n"
            "Minus=-\n"
            "NoEquals 5\n"
            "=5\n"
            "[Section]\n"
            "Twice=1\n"
            "Twice=2\n"
            "Last=5");
  struct Case {
    const char16_t* name;
    uint32_t status;
    uint32_t value;
  };
  const Case cases[] = {
      {u"Dec", 0, 42},
      {u"Zero", 0, 0},
      {u"Neg", 0, 0xFFFFFFFF},
      {u"Min", 0, 0x80000000},
      {u"Max", 0, 0xFFFFFFFF},
      {u"Hex", 0, 0x1F},
      {u"HexUpper", 0, 0xABCDEF01},
      {u"HexPadded", 0, 0x10},
      {u"Spaced", 0, 9},
      {u"Crlf", 0, 77},
      {u"Twice", 0, 2},
      {u"Last", 0, 5},
      {u"dec", 0, 42},  // value names ignore ASCII case
      {u"DEC", 0, 42},
      {u"# a comment", 2, 0},
      {u"Semi", 2, 0},
      {u"TooBig", 2, 0},
      {u"TooNegative", 2, 0},
      {u"HexTooBig", 2, 0},
      {u"HexEmpty", 2, 0},
      {u"NegHex", 2, 0},
      {u"Plus", 2, 0},
      {u"Trailing", 2, 0},
      {u"Empty", 2, 0},
      {u"Minus", 2, 0},
      {u"NoEquals 5", 2, 0},
      {u"NoEquals", 2, 0},
      {u"", 2, 0},
      {u"[Section]", 2, 0},
      {u"Absent", 2, 0},
  };
  void* handle = Open(u"P");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name)));
    uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(Read(handle, c.name, &value), c.status);
    if (c.status == MPX_ERROR_SUCCESS) {
      EXPECT_EQ(value, c.value);
    }
  }
  ClosePrinter(handle);
}

TEST_F(SpoolTest, GetPrinterDataAnswersTheSizeProtocol) {
  WriteText(store_ / "P.ini", "Window=0x01A40528\n");
  void* handle = Open(u"P");

  uint8_t data[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  uint32_t type = 0;
  uint32_t needed = 0;
  EXPECT_EQ(GetPrinterDataW(handle, u"Window", &type, data, 3, &needed), MPX_ERROR_MORE_DATA);
  EXPECT_EQ(needed, 4u);
  EXPECT_EQ(type, MPX_REG_DWORD);
  EXPECT_EQ(data[0], 0xEE) << "a short buffer must stay untouched";

  needed = 0;
  EXPECT_EQ(GetPrinterDataW(handle, u"Window", &type, nullptr, 0, &needed), MPX_ERROR_MORE_DATA);
  EXPECT_EQ(needed, 4u);

  needed = 0;
  EXPECT_EQ(GetPrinterDataW(handle, u"Window", &type, data, 8, &needed), MPX_ERROR_SUCCESS);
  EXPECT_EQ(needed, 4u);
  const uint8_t expected[8] = {0x28, 0x05, 0xA4, 0x01, 0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(0, std::memcmp(data, expected, 8)) << "exactly 4 bytes, little-endian";

  EXPECT_EQ(GetPrinterDataW(handle, u"Other", &type, data, 4, &needed), MPX_ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(GetPrinterDataW(handle, nullptr, &type, data, 4, &needed), kErrorInvalidParameter);
  EXPECT_EQ(GetPrinterDataW(handle, u"Window", &type, nullptr, 4, &needed),
            kErrorInvalidParameter);
  ClosePrinter(handle);
}

TEST_F(SpoolTest, HandlesItDidNotHandOutAreInvalid) {
  WriteText(store_ / "P.ini", "V=1\n");
  void* closed = Open(u"P");
  ASSERT_NE(ClosePrinter(closed), 0);
  int local = 0;
  void* const handles[] = {nullptr, closed, &local, reinterpret_cast<void*>(uintptr_t{0x10})};
  for (void* handle : handles) {
    uint8_t data[4] = {};
    uint32_t type = 0;
    uint32_t needed = 0;
    EXPECT_EQ(GetPrinterDataW(handle, u"V", &type, data, 4, &needed), MPX_ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetPrinterDataW(handle, u"V", MPX_REG_DWORD, data, 4), MPX_ERROR_INVALID_HANDLE);
    EXPECT_EQ(ClosePrinter(handle), 0);
  }
  // A handle opened after the close is a new one; the closed handle stays invalid.
  void* reopened = Open(u"P");
  EXPECT_NE(reopened, closed);
  uint32_t value = 0;
  EXPECT_EQ(Read(closed, u"V", &value), MPX_ERROR_INVALID_HANDLE);
  ClosePrinter(reopened);
}

TEST_F(SpoolTest, ValuesAreReadLive) {
  const fs::path file = store_ / "P.ini";
  WriteText(file, "V=1\n");
  void* handle = Open(u"P");
  uint32_t value = 0;
  EXPECT_EQ(Read(handle, u"V", &value), MPX_ERROR_SUCCESS);
  EXPECT_EQ(value, 1u);

  WriteText(file, "V=2\nW=3\n");
  EXPECT_EQ(Read(handle, u"V", &value), MPX_ERROR_SUCCESS);
  EXPECT_EQ(value, 2u);
  EXPECT_EQ(Read(handle, u"W", &value), MPX_ERROR_SUCCESS);
  EXPECT_EQ(value, 3u);

  WriteText(file, "W=3\n");
  EXPECT_EQ(Read(handle, u"V", &value), MPX_ERROR_FILE_NOT_FOUND);

  fs::remove(file);
  EXPECT_EQ(Read(handle, u"W", &value), MPX_ERROR_FILE_NOT_FOUND);
  ClosePrinter(handle);
}

TEST_F(SpoolTest, SetPrinterDataRewritesOneLineAndKeepsTheRest) {
  const fs::path file = store_ / "P.ini";
  const std::string before =
      "# settings\r\n"
      "Keep=0x10\r\n"
      "broken line\r\n"
      "Target = 5\r\n"
      "; Target=9\r\n"
      "Tail=-3";
  WriteText(file, before);
  ASSERT_EQ(chmod(file.c_str(), 0640), 0);
  // Opened before the write: the old file must come out untouched, as it does when the
  // new text goes to a new file that is renamed over the old name.
  std::ifstream oldFile(file, std::ios::binary);

  void* handle = Open(u"P");
  EXPECT_EQ(Write(handle, u"target", 0xFFFFFFFF), MPX_ERROR_SUCCESS);
  std::stringstream oldText;
  oldText << oldFile.rdbuf();
  EXPECT_EQ(oldText.str(), before);
  EXPECT_EQ(ReadText(file),
            "# settings\r\n"
            "Keep=0x10\r\n"
            "broken line\r\n"
            "target=4294967295\r\n"
            "; Target=9\r\n"
            "Tail=-3");
  EXPECT_EQ(Write(handle, u"New", 12), MPX_ERROR_SUCCESS);
  EXPECT_EQ(ReadText(file),
            "# settings\r\n"
            "Keep=0x10\r\n"
            "broken line\r\n"
            "target=4294967295\r\n"
            "; Target=9\r\n"
            "Tail=-3\n"
            "New=12\n");

  uint32_t value = 0;
  EXPECT_EQ(Read(handle, u"Target", &value), MPX_ERROR_SUCCESS);
  EXPECT_EQ(value, 0xFFFFFFFFu);
  EXPECT_EQ(Read(handle, u"Keep", &value), MPX_ERROR_SUCCESS);
  EXPECT_EQ(value, 0x10u);

  // The new file keeps the old permissions, and no temporary is left over.
  struct stat now {};
  ASSERT_EQ(stat(file.c_str(), &now), 0);
  EXPECT_EQ(now.st_mode & 07777, 0640u);
  std::vector<std::string> entries;
  for (const auto& entry : fs::directory_iterator(store_)) {
    entries.push_back(entry.path().filename());
  }
  EXPECT_EQ(entries, std::vector<std::string>{"P.ini"});
  ClosePrinter(handle);
}

TEST_F(SpoolTest, SetPrinterDataRefusesWhatTheStoreCannotHold) {
  const fs::path file = store_ / "P.ini";
  WriteText(file, "V=1\n");
  void* handle = Open(u"P");
  const uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  struct Case {
    const char16_t* name;
    uint32_t type;
    const uint8_t* data;
    uint32_t size;
  };
  const Case cases[] = {
      {u"V", 3, data, 4},               {u"V", MPX_REG_DWORD, data, 3},
      {u"V", MPX_REG_DWORD, data, 8},   {u"V", MPX_REG_DWORD, nullptr, 4},
      {nullptr, MPX_REG_DWORD, data, 4}, {u"", MPX_REG_DWORD, data, 4},
      {u"A=B", MPX_REG_DWORD, data, 4},  {u"Line\nBreak", MPX_REG_DWORD, data, 4},
      {u" Lead", MPX_REG_DWORD, data, 4}, {u"#Comment", MPX_REG_DWORD, data, 4},
      {u";Comment", MPX_REG_DWORD, data, 4},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SetPrinterDataW(handle, c.name, c.type, c.data, c.size), kErrorInvalidParameter);
  }
  EXPECT_EQ(ReadText(file), "V=1\n");

  // The printer's file must exist: a removed printer is not brought back.
  fs::remove(file);
  EXPECT_EQ(Write(handle, u"V", 2), MPX_ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(fs::exists(file));
  ClosePrinter(handle);
}

TEST_F(SpoolTest, HandleCountFollowsOpensAndCloses) {
  WriteText(store_ / "P.ini", "");
  const uint32_t base = MpxSpoolOpenHandleCount();
  void* a = Open(u"P");
  void* b = Open(u"P");
  EXPECT_NE(a, b);
  EXPECT_EQ(MpxSpoolOpenHandleCount(), base + 2);
  void* none = nullptr;
  EXPECT_EQ(OpenPrinterW(u"Missing", &none, nullptr), 0);
  EXPECT_EQ(MpxSpoolOpenHandleCount(), base + 2);
  EXPECT_NE(ClosePrinter(a), 0);
  EXPECT_EQ(ClosePrinter(a), 0);
  EXPECT_EQ(MpxSpoolOpenHandleCount(), base + 1);
  EXPECT_NE(ClosePrinter(b), 0);
  EXPECT_EQ(MpxSpoolOpenHandleCount(), base);
}

TEST_F(SpoolTest, ThreadsOpenReadAndWriteAtOnce) {
  WriteText(store_ / "P.ini", "# shared\nEven=0\nFixed=0x5A5A\n");
  constexpr int kReaders = 6;
  constexpr int kRounds = 150;
  std::atomic<bool> writing{true};
  std::atomic<int> failures{0};

  // The writer keeps "Even" even; a reader that saw a half-written file would miss a value.
  std::thread writer([&] {
    void* handle = nullptr;
    if (OpenPrinterW(u"P", &handle, nullptr) == 0) {
      ++failures;
      writing = false;
      return;
    }
    for (uint32_t i = 1; i <= 60; ++i) {
      if (Write(handle, u"Even", 2 * i) != MPX_ERROR_SUCCESS) ++failures;
    }
    ClosePrinter(handle);
    writing = false;
  });
  std::vector<std::thread> readers;
  for (int t = 0; t < kReaders; ++t) {
    readers.emplace_back([&] {
      for (int round = 0; round < kRounds || writing; ++round) {
        void* handle = nullptr;
        if (OpenPrinterW(u"P", &handle, nullptr) == 0) {
          ++failures;
          continue;
        }
        uint32_t even = 1;
        uint32_t fixed = 0;
        if (Read(handle, u"Even", &even) != MPX_ERROR_SUCCESS || even % 2 != 0) ++failures;
        if (Read(handle, u"Fixed", &fixed) != MPX_ERROR_SUCCESS || fixed != 0x5A5A) ++failures;
        if (ClosePrinter(handle) == 0) ++failures;
      }
    });
  }
  writer.join();
  for (std::thread& reader : readers) reader.join();
  EXPECT_EQ(failures.load(), 0);
  uint32_t value = 0;
  void* handle = Open(u"P");
  EXPECT_EQ(Read(handle, u"Even", &value), MPX_ERROR_SUCCESS);
  EXPECT_EQ(value, 120u);
  ClosePrinter(handle);
}

// Where the store is when MPX_SPOOL_DIR is not set.
TEST_F(SpoolTest, StoreDirectoryFallsBackToStateHomeThenHome) {
  const char* savedHome = std::getenv("HOME");
  const std::string home = savedHome == nullptr ? "" : savedHome;
  const char* savedState = std::getenv("XDG_STATE_HOME");
  const std::string state = savedState == nullptr ? "" : savedState;

  fs::create_directories(store_ / "state/mpx/printers");
  fs::create_directories(store_ / "home/.local/state/mpx/printers");
  WriteText(store_ / "state/mpx/printers/InState.ini", "");
  WriteText(store_ / "home/.local/state/mpx/printers/InHome.ini", "");

  struct Case {
    const char* spoolDir;  // null: unset
    std::string stateHome;
    const char16_t* opens;
    const char16_t* fails;
  };
  const std::string base = store_.string();
  const Case cases[] = {
      {nullptr, base + "/state", u"InState", u"InHome"},
      {"", base + "/state", u"InState", u"InHome"},     // empty counts as unset
      {nullptr, "", u"InHome", u"InState"},
      {nullptr, "relative/state", u"InHome", u"InState"},  // not absolute: ignored
  };
  setenv("HOME", (base + "/home").c_str(), 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stateHome);
    if (c.spoolDir == nullptr) {
      unsetenv("MPX_SPOOL_DIR");
    } else {
      setenv("MPX_SPOOL_DIR", c.spoolDir, 1);
    }
    if (c.stateHome.empty()) {
      unsetenv("XDG_STATE_HOME");
    } else {
      setenv("XDG_STATE_HOME", c.stateHome.c_str(), 1);
    }
    void* handle = nullptr;
    EXPECT_NE(OpenPrinterW(c.opens, &handle, nullptr), 0);
    ClosePrinter(handle);
    EXPECT_EQ(OpenPrinterW(c.fails, &handle, nullptr), 0);
  }
  if (savedHome == nullptr) {
    unsetenv("HOME");
  } else {
    setenv("HOME", home.c_str(), 1);
  }
  if (savedState == nullptr) {
    unsetenv("XDG_STATE_HOME");
  } else {
    setenv("XDG_STATE_HOME", state.c_str(), 1);
  }
}

}  // namespace
