// The file calls of the POSIX backend, on real files.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform.h"
#include "temp_dir.h"

namespace {

using plat::FileAccess;
using plat::FileDisposition;
using platform_test::ReadBytes;
using platform_test::TempDir;
using platform_test::WriteBytes;

constexpr uint32_t kInvalidPosition = 0xFFFFFFFF;

class PosixFiles : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.ok()); }

  // A file with the given bytes; readOnly drops every write permission bit.
  void MakeFile(const std::string& name, const std::string& bytes, bool readOnly = false) {
    WriteBytes(dir_.File(name), bytes);
    ASSERT_EQ(chmod(dir_.File(name).c_str(), readOnly ? 0444 : 0644), 0);
  }

  TempDir dir_;
};

struct OpenCase {
  const char* label;
  FileAccess access;
  FileDisposition disposition;
  enum class Target : uint8_t { Missing, Writable, ReadOnly, Directory } target;
  bool opens;
};
// Names the case in test listings, in place of a byte dump.
void PrintTo(const OpenCase& c, std::ostream* out) { *out << c.label; }

class PosixFileOpen : public PosixFiles, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(PosixFileOpen, FollowsAccessDispositionAndTheReadOnlyAttribute) {
  const OpenCase& c = GetParam();
  const std::string content = "0123456789";
  switch (c.target) {
    case OpenCase::Target::Missing: break;
    case OpenCase::Target::Writable: MakeFile("f", content); break;
    case OpenCase::Target::ReadOnly: MakeFile("f", content, true); break;
    case OpenCase::Target::Directory: ASSERT_EQ(mkdir(dir_.File("f").c_str(), 0755), 0); break;
  }
  const plat::FileHandle file = plat::FileOpen(dir_.Wide("f").c_str(), c.access, c.disposition);
  EXPECT_EQ(file != plat::kInvalidFile, c.opens);
  if (file == plat::kInvalidFile) {
    // A refused open changes nothing.
    if (c.target == OpenCase::Target::Missing) {
      EXPECT_FALSE(std::filesystem::exists(dir_.File("f")));
    }
    if (c.target == OpenCase::Target::Writable || c.target == OpenCase::Target::ReadOnly) {
      EXPECT_EQ(ReadBytes(dir_.File("f")), content);
    }
    return;
  }
  EXPECT_NE(file, 0);
  EXPECT_TRUE(plat::FileClose(file));
  // Opening never truncates; creating leaves an empty file.
  EXPECT_EQ(ReadBytes(dir_.File("f")),
            c.disposition == FileDisposition::CreateNew ? std::string() : content);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PosixFileOpen,
    ::testing::Values(
        OpenCase{"ReadExisting", FileAccess::Read, FileDisposition::OpenExisting,
                 OpenCase::Target::Writable, true},
        OpenCase{"ReadMissing", FileAccess::Read, FileDisposition::OpenExisting,
                 OpenCase::Target::Missing, false},
        OpenCase{"WriteExisting", FileAccess::Write, FileDisposition::OpenExisting,
                 OpenCase::Target::Writable, true},
        OpenCase{"ReadWriteExisting", FileAccess::ReadWrite, FileDisposition::OpenExisting,
                 OpenCase::Target::Writable, true},
        OpenCase{"ReadWriteMissing", FileAccess::ReadWrite, FileDisposition::OpenExisting,
                 OpenCase::Target::Missing, false},
        OpenCase{"ReadReadOnly", FileAccess::Read, FileDisposition::OpenExisting,
                 OpenCase::Target::ReadOnly, true},
        OpenCase{"WriteReadOnly", FileAccess::Write, FileDisposition::OpenExisting,
                 OpenCase::Target::ReadOnly, false},
        OpenCase{"ReadWriteReadOnly", FileAccess::ReadWrite, FileDisposition::OpenExisting,
                 OpenCase::Target::ReadOnly, false},
        OpenCase{"CreateMissing", FileAccess::Write, FileDisposition::CreateNew,
                 OpenCase::Target::Missing, true},
        OpenCase{"CreateExisting", FileAccess::Write, FileDisposition::CreateNew,
                 OpenCase::Target::Writable, false},
        OpenCase{"CreateOverReadOnly", FileAccess::Write, FileDisposition::CreateNew,
                 OpenCase::Target::ReadOnly, false},
        OpenCase{"ReadDirectory", FileAccess::Read, FileDisposition::OpenExisting,
                 OpenCase::Target::Directory, false},
        OpenCase{"CreateOverDirectory", FileAccess::Write, FileDisposition::CreateNew,
                 OpenCase::Target::Directory, false}),
    [](const ::testing::TestParamInfo<OpenCase>& param) { return std::string(param.param.label); });

TEST_F(PosixFiles, ReadWriteSeekAndSizeReportWhatMoved) {
  const plat::FileHandle file = plat::FileOpen(dir_.Wide("data").c_str(), FileAccess::ReadWrite,
                                               FileDisposition::CreateNew);
  ASSERT_NE(file, plat::kInvalidFile);
  uint32_t done = 99;
  ASSERT_TRUE(plat::FileWrite(file, "abcdefghij", 10, &done));
  EXPECT_EQ(done, 10u);
  EXPECT_EQ(plat::FileGetSize(file), 10u);

  EXPECT_EQ(plat::FileSeek(file, 4), 4u);
  char buffer[32] = {};
  ASSERT_TRUE(plat::FileRead(file, buffer, 3, &done));
  EXPECT_EQ(done, 3u);
  EXPECT_EQ(std::string(buffer, 3), "efg");

  // A read across the end succeeds with what there was, and at the end with nothing.
  ASSERT_TRUE(plat::FileRead(file, buffer, 20, &done));
  EXPECT_EQ(done, 3u);
  EXPECT_EQ(std::string(buffer, 3), "hij");
  ASSERT_TRUE(plat::FileRead(file, buffer, 20, &done));
  EXPECT_EQ(done, 0u);

  // Past the end is a valid position; writing there grows the file.
  EXPECT_EQ(plat::FileSeek(file, 16), 16u);
  ASSERT_TRUE(plat::FileWrite(file, "Z", 1, &done));
  EXPECT_EQ(plat::FileGetSize(file), 17u);
  EXPECT_EQ(plat::FileSeek(file, -1), kInvalidPosition);
  EXPECT_EQ(plat::FileSeek(file, 0), 0u);
  EXPECT_TRUE(plat::FileFlush(file));
  EXPECT_TRUE(plat::FileClose(file));
  EXPECT_EQ(ReadBytes(dir_.File("data")), std::string("abcdefghij\0\0\0\0\0\0Z", 17));
}

TEST_F(PosixFiles, CallsFailOnHandlesThatCannotDoThem) {
  MakeFile("f", "content");
  const plat::FileHandle reader =
      plat::FileOpen(dir_.Wide("f").c_str(), FileAccess::Read, FileDisposition::OpenExisting);
  ASSERT_NE(reader, plat::kInvalidFile);
  uint32_t done = 99;
  EXPECT_FALSE(plat::FileWrite(reader, "x", 1, &done));
  EXPECT_EQ(done, 0u);
  EXPECT_TRUE(plat::FileClose(reader));

  const plat::FileHandle writer =
      plat::FileOpen(dir_.Wide("f").c_str(), FileAccess::Write, FileDisposition::OpenExisting);
  ASSERT_NE(writer, plat::kInvalidFile);
  char buffer[4];
  EXPECT_FALSE(plat::FileRead(writer, buffer, 4, &done));
  EXPECT_TRUE(plat::FileClose(writer));

  // A closed or never-opened handle; 0 is never a handle, so stdin stays open.
  EXPECT_FALSE(plat::FileClose(writer));
  const bool stdinOpen = fcntl(0, F_GETFD) != -1;
  EXPECT_FALSE(plat::FileClose(0));
  EXPECT_EQ(fcntl(0, F_GETFD) != -1, stdinOpen);
  EXPECT_FALSE(plat::FileClose(plat::kInvalidFile));
  EXPECT_FALSE(plat::FileRead(plat::kInvalidFile, buffer, 4, &done));
  EXPECT_EQ(plat::FileSeek(plat::kInvalidFile, 0), kInvalidPosition);
  EXPECT_EQ(plat::FileGetSize(plat::kInvalidFile), kInvalidPosition);
  EXPECT_FALSE(plat::FileFlush(plat::kInvalidFile));
}

TEST_F(PosixFiles, AHandleIsNeverZero) {
  // Callers treat handle 0 as "none"; with stdin closed the system would hand out 0.
  MakeFile("f", "x");
  const int savedStdin = fcntl(0, F_GETFD) != -1 ? dup(0) : -1;
  if (savedStdin >= 0) close(0);
  ASSERT_EQ(fcntl(0, F_GETFD), -1) << "descriptor 0 must be free for this test";
  const plat::FileHandle file =
      plat::FileOpen(dir_.Wide("f").c_str(), FileAccess::Read, FileDisposition::OpenExisting);
  const bool stdinStillFree = fcntl(0, F_GETFD) == -1;
  if (savedStdin >= 0) {
    ASSERT_EQ(dup2(savedStdin, 0), 0);
    close(savedStdin);
  }
  ASSERT_NE(file, plat::kInvalidFile);
  EXPECT_NE(file, 0);
  EXPECT_TRUE(stdinStillFree);
  EXPECT_TRUE(plat::FileClose(file));
}

TEST_F(PosixFiles, DeleteRefusesReadOnlyFiles) {
  MakeFile("plain", "1");
  MakeFile("locked", "2", true);
  ASSERT_EQ(mkdir(dir_.File("folder").c_str(), 0755), 0);

  EXPECT_TRUE(plat::FileDelete(dir_.Wide("plain").c_str()));
  EXPECT_FALSE(std::filesystem::exists(dir_.File("plain")));
  EXPECT_FALSE(plat::FileDelete(dir_.Wide("plain").c_str()));

  EXPECT_FALSE(plat::FileDelete(dir_.Wide("locked").c_str()));
  EXPECT_EQ(ReadBytes(dir_.File("locked")), "2");
  EXPECT_FALSE(plat::FileDelete(dir_.Wide("folder").c_str()));
  EXPECT_TRUE(std::filesystem::is_directory(dir_.File("folder")));
}

TEST_F(PosixFiles, RecreatingAReadOnlyFileFails) {
  // The calibration module's recreate: probe for writing, delete, create new. Each step
  // refuses a read-only file, so it survives unchanged.
  MakeFile("table", "base", true);
  const std::u16string path = dir_.Wide("table");
  EXPECT_EQ(plat::FileOpen(path.c_str(), FileAccess::Write, FileDisposition::OpenExisting),
            plat::kInvalidFile);
  EXPECT_FALSE(plat::FileDelete(path.c_str()));
  EXPECT_EQ(plat::FileOpen(path.c_str(), FileAccess::Write, FileDisposition::CreateNew),
            plat::kInvalidFile);
  EXPECT_EQ(ReadBytes(dir_.File("table")), "base");
}

TEST_F(PosixFiles, ReplacePutsOneFileInPlaceOfAnother) {
  MakeFile("new", "fresh");
  MakeFile("old", "stale");
  EXPECT_TRUE(plat::FileReplace(dir_.Wide("new").c_str(), dir_.Wide("old").c_str()));
  EXPECT_EQ(ReadBytes(dir_.File("old")), "fresh");
  EXPECT_FALSE(std::filesystem::exists(dir_.File("new")));

  // Into a new name, too.
  EXPECT_TRUE(plat::FileReplace(dir_.Wide("old").c_str(), dir_.Wide("other").c_str()));
  EXPECT_EQ(ReadBytes(dir_.File("other")), "fresh");

  EXPECT_FALSE(plat::FileReplace(dir_.Wide("missing").c_str(), dir_.Wide("other").c_str()));
  EXPECT_EQ(ReadBytes(dir_.File("other")), "fresh");

  MakeFile("locked", "keep", true);
  EXPECT_FALSE(plat::FileReplace(dir_.Wide("other").c_str(), dir_.Wide("locked").c_str()));
  EXPECT_EQ(ReadBytes(dir_.File("locked")), "keep");
  EXPECT_EQ(ReadBytes(dir_.File("other")), "fresh");
}

TEST_F(PosixFiles, DirectoryFlushNeedsADirectory) {
  EXPECT_TRUE(plat::DirectoryFlush(dir_.WideSelf().c_str()));
  EXPECT_FALSE(plat::DirectoryFlush(dir_.Wide("missing").c_str()));
  MakeFile("f", "x");
  EXPECT_FALSE(plat::DirectoryFlush(dir_.Wide("f").c_str()));
}

TEST_F(PosixFiles, BadPathsOpenNothing) {
  const char16_t empty[] = {0};
  EXPECT_EQ(plat::FileOpen(empty, FileAccess::Read, FileDisposition::OpenExisting),
            plat::kInvalidFile);
  EXPECT_EQ(plat::FileOpen(nullptr, FileAccess::Read, FileDisposition::OpenExisting),
            plat::kInvalidFile);
  // A high surrogate without its pair stands for no byte sequence.
  std::u16string lone = dir_.Wide("x");
  lone.back() = 0xD800;
  EXPECT_EQ(plat::FileOpen(lone.c_str(), FileAccess::Write, FileDisposition::CreateNew),
            plat::kInvalidFile);
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
}

TEST_F(PosixFiles, ANameOfAnyBytesSurvivesTheTripThroughUtf16) {
  // Latin-1 "é", a stray continuation byte, an overlong form and valid UTF-8, mixed.
  const std::string names[] = {
      "caf\xE9.tbl",
      "\x80\xFF\xC0\xAF-x",
      "ok-\xC3\xA9-\xF0\x9F\x96\xA8.tbl",
      "\xED\xA0\x80\xE2\x82",
  };
  for (const std::string& name : names) {
    SCOPED_TRACE(::testing::PrintToString(name));
    const std::u16string path = dir_.Wide(name);
    const plat::FileHandle file =
        plat::FileOpen(path.c_str(), FileAccess::Write, FileDisposition::CreateNew);
    ASSERT_NE(file, plat::kInvalidFile);
    uint32_t done = 0;
    EXPECT_TRUE(plat::FileWrite(file, name.data(), static_cast<uint32_t>(name.size()), &done));
    EXPECT_TRUE(plat::FileClose(file));

    std::vector<std::string> entries;
    DIR* listing = opendir(dir_.path().c_str());
    ASSERT_NE(listing, nullptr);
    while (const dirent* entry = readdir(listing)) {
      const std::string entryName = entry->d_name;
      if (entryName != "." && entryName != "..") entries.push_back(entryName);
    }
    closedir(listing);
    EXPECT_EQ(entries, std::vector<std::string>{name});
    EXPECT_EQ(ReadBytes(dir_.File(name)), name);
    EXPECT_TRUE(plat::FileDelete(path.c_str()));
  }
}

}  // namespace
