// The fault-injecting test backend: every fault fires at exactly the call it was set for,
// and the counts tell what happened.
#include <fcntl.h>

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform.h"
#include "temp_dir.h"
#include "testing/fault_control.h"

namespace {

namespace fault = plat::testing;
using plat::FileAccess;
using plat::FileDisposition;
using fault::FileOp;
using platform_test::ReadBytes;
using platform_test::TempDir;
using platform_test::WriteBytes;

class FaultBackend : public ::testing::Test {
 protected:
  void SetUp() override { fault::Reset(); }
  void TearDown() override { fault::Reset(); }
};

bool SameTime(const plat::LocalTime& a, const plat::LocalTime& b) {
  return a.year == b.year && a.month == b.month && a.dayOfWeek == b.dayOfWeek &&
         a.day == b.day && a.hour == b.hour && a.minute == b.minute && a.second == b.second &&
         a.milliseconds == b.milliseconds;
}

// ---- Heap -----------------------------------------------------------------------------------

TEST_F(FaultBackend, OnlyTheNthAllocationFails) {
  void* before[2] = {plat::HeapAlloc(8, false), plat::HeapAlloc(8, false)};
  fault::FailAllocation(3);  // the fifth since Reset()
  std::vector<void*> blocks;
  for (int i = 0; i < 5; ++i) blocks.push_back(plat::HeapAlloc(16, i % 2 == 0));
  EXPECT_NE(blocks[0], nullptr);
  EXPECT_NE(blocks[1], nullptr);
  EXPECT_EQ(blocks[2], nullptr);
  EXPECT_NE(blocks[3], nullptr);
  EXPECT_NE(blocks[4], nullptr);
  EXPECT_EQ(fault::AllocationCount(), 7u);
  EXPECT_EQ(fault::LiveBlocks(), 6u);
  for (void* block : blocks) plat::HeapFree(block);
  for (void* block : before) plat::HeapFree(block);
  plat::HeapFree(nullptr);
  EXPECT_EQ(fault::LiveBlocks(), 0u);

  fault::FailAllocation(1);
  fault::FailAllocation(0);  // cleared again
  void* kept = plat::HeapAlloc(1, false);
  EXPECT_NE(kept, nullptr);
  plat::HeapFree(kept);
}

TEST_F(FaultBackend, FixedBlocksHoldGarbageAndZeroFilledBlocksZeros) {
  auto* fixed = static_cast<uint8_t*>(plat::HeapAlloc(64, false));
  auto* zeroed = static_cast<uint8_t*>(plat::HeapAlloc(64, true));
  ASSERT_NE(fixed, nullptr);
  ASSERT_NE(zeroed, nullptr);
  for (size_t i = 0; i < 64; ++i) {
    EXPECT_EQ(fixed[i], 0xCD) << i;
    EXPECT_EQ(zeroed[i], 0) << i;
  }
  plat::HeapFree(fixed);
  plat::HeapFree(zeroed);
}

TEST_F(FaultBackend, ResetForgetsEarlierBlocksWithoutLosingTrackOfThem) {
  void* leftover = plat::HeapAlloc(4, false);
  fault::Reset();
  EXPECT_EQ(fault::LiveBlocks(), 0u);
  EXPECT_EQ(fault::AllocationCount(), 0u);
  void* fresh = plat::HeapAlloc(4, false);
  plat::HeapFree(leftover);  // an older block: freed, but it never counted as live
  EXPECT_EQ(fault::LiveBlocks(), 1u);
  plat::HeapFree(fresh);
  EXPECT_EQ(fault::LiveBlocks(), 0u);
}

TEST_F(FaultBackend, FreeingABlockTwiceAborts) {
  EXPECT_DEATH(
      {
        void* block = plat::HeapAlloc(4, false);
        plat::HeapFree(block);
        plat::HeapFree(block);
      },
      "not a live block");
  int local = 0;
  EXPECT_DEATH(plat::HeapFree(&local), "not a live block");
}

// ---- Clock and locale -------------------------------------------------------------------------

TEST_F(FaultBackend, ClockStandsAtWhatWasSet) {
  plat::LocalTime now{};
  plat::GetLocalTime(&now);
  EXPECT_TRUE(SameTime(now, plat::LocalTime{2002, 2, 5, 8, 9, 5, 3, 0}));
  const plat::LocalTime late{2023, 12, 0, 31, 23, 59, 59, 999};
  fault::SetClock(late);
  plat::GetLocalTime(&now);
  EXPECT_TRUE(SameTime(now, late));
  plat::GetLocalTime(&now);
  EXPECT_TRUE(SameTime(now, late));
  fault::Reset();
  plat::GetLocalTime(&now);
  EXPECT_EQ(now.year, 2002);
}

TEST_F(FaultBackend, LocaleAnswersTheSizeProtocol) {
  char buffer[8] = {};
  EXPECT_EQ(plat::GetLocaleCountry(nullptr, 0), 2);
  EXPECT_EQ(plat::GetLocaleCountry(buffer, 1), 0);
  EXPECT_EQ(plat::GetLocaleCountry(buffer, 2), 2);
  EXPECT_STREQ(buffer, "1");

  fault::SetLocaleCountry("81");
  EXPECT_EQ(plat::GetLocaleCountry(nullptr, 0), 3);
  EXPECT_EQ(plat::GetLocaleCountry(buffer, 8), 3);
  EXPECT_STREQ(buffer, "81");

  // Texts no locale gives are refused.
  const char* const bad[] = {"", "4a", "-1", nullptr};
  for (const char* text : bad) {
    fault::SetLocaleCountry(text);
    EXPECT_EQ(plat::GetLocaleCountry(nullptr, 0), 0);
  }
  EXPECT_EQ(fault::LocaleCallCount(), 9u);
}

TEST_F(FaultBackend, LocaleFailsAlwaysOrAtTheNthCall) {
  char buffer[8] = {};
  fault::FailLocale(true);
  EXPECT_EQ(plat::GetLocaleCountry(nullptr, 0), 0);
  EXPECT_EQ(plat::GetLocaleCountry(buffer, 8), 0);
  fault::FailLocale(false);
  EXPECT_EQ(plat::GetLocaleCountry(buffer, 8), 2);

  // The second call of a size-then-read pair.
  fault::FailLocaleCall(2);
  EXPECT_EQ(plat::GetLocaleCountry(nullptr, 0), 2);
  EXPECT_EQ(plat::GetLocaleCountry(buffer, 8), 0);
  EXPECT_EQ(plat::GetLocaleCountry(buffer, 8), 2);
  EXPECT_EQ(fault::LocaleCallCount(), 6u);
}

// ---- Printers ---------------------------------------------------------------------------------

TEST_F(FaultBackend, PrintersOpenByExactNameUnlessOpensFail) {
  fault::AddPrinter(u"Desk");
  void* handle = reinterpret_cast<void*>(uintptr_t{1});
  EXPECT_FALSE(plat::PrinterOpen(u"desk", &handle));
  EXPECT_EQ(handle, nullptr);
  EXPECT_FALSE(plat::PrinterOpen(nullptr, &handle));
  EXPECT_FALSE(plat::PrinterOpen(u"Desk", nullptr));

  void* first = nullptr;
  void* second = nullptr;
  ASSERT_TRUE(plat::PrinterOpen(u"Desk", &first));
  ASSERT_TRUE(plat::PrinterOpen(u"Desk", &second));
  EXPECT_NE(first, second);
  EXPECT_EQ(fault::OpenPrinterHandles(), 2u);

  fault::FailPrinterOpen(true);
  EXPECT_FALSE(plat::PrinterOpen(u"Desk", &handle));
  EXPECT_EQ(handle, nullptr);
  fault::FailPrinterOpen(false);
  EXPECT_EQ(fault::PrinterOpenCount(), 6u);

  plat::PrinterClose(first);
  plat::PrinterClose(first);  // a second close changes nothing
  EXPECT_EQ(fault::OpenPrinterHandles(), 1u);
  plat::PrinterClose(second);
  EXPECT_EQ(fault::OpenPrinterHandles(), 0u);

  ASSERT_TRUE(plat::PrinterOpen(u"Desk", &handle));
  fault::Reset();
  EXPECT_EQ(fault::OpenPrinterHandles(), 0u);
  EXPECT_FALSE(plat::PrinterOpen(u"Desk", &handle)) << "Reset() removes the printers";
}

struct ValueCase {
  const char* label;
  void (*setup)();
  const char16_t* name;
  uint32_t size;
  uint32_t status;
  uint32_t type;    // checked when the value exists
  uint32_t needed;  // checked when the value exists
  std::string data;  // the buffer's first bytes afterwards
};
void PrintTo(const ValueCase& c, std::ostream* out) { *out << c.label; }

class FaultPrinterValues : public FaultBackend, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(FaultPrinterValues, AnswerLikeTheSpooler) {
  const ValueCase& c = GetParam();
  fault::AddPrinter(u"P");
  c.setup();
  void* handle = nullptr;
  ASSERT_TRUE(plat::PrinterOpen(u"P", &handle));
  uint8_t buffer[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  uint32_t type = 99;
  uint32_t needed = 99;
  EXPECT_EQ(plat::PrinterGetData(handle, c.name, &type, buffer, c.size, &needed), c.status);
  if (c.status == plat::kErrorSuccess || c.status == plat::kErrorMoreData) {
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(needed, c.needed);
  }
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer), c.data.size()), c.data);
  EXPECT_EQ(fault::PrinterReadCount(), 1u);
  plat::PrinterClose(handle);
}

const std::string kUntouched(4, '\xEE');

INSTANTIATE_TEST_SUITE_P(
    Cases, FaultPrinterValues,
    ::testing::Values(
        ValueCase{"Dword", [] { fault::SetPrinterDword(u"P", u"V", 0x01020304); }, u"V", 4,
                  plat::kErrorSuccess, plat::kRegDword, 4, "\x04\x03\x02\x01"},
        ValueCase{"NameIgnoresCase", [] { fault::SetPrinterDword(u"P", u"VrdUI_X", 7); },
                  u"vrdui_x", 4, plat::kErrorSuccess, plat::kRegDword, 4,
                  std::string("\x07\0\0\0", 4)},
        ValueCase{"DwordIntoShortBuffer", [] { fault::SetPrinterDword(u"P", u"V", 7); }, u"V",
                  3, plat::kErrorMoreData, plat::kRegDword, 4, kUntouched},
        ValueCase{"LongValue", [] { fault::SetPrinterValue(u"P", u"V", "123456"); }, u"V", 4,
                  plat::kErrorMoreData, 3, 6, kUntouched},
        ValueCase{"LongValueWithRoom", [] { fault::SetPrinterValue(u"P", u"V", "123456"); },
                  u"V", 8, plat::kErrorSuccess, 3, 6, "123456\xEE\xEE"},
        ValueCase{"ShortValue", [] { fault::SetPrinterValue(u"P", u"V", "ab"); }, u"V", 4,
                  plat::kErrorSuccess, 3, 2, "ab\xEE\xEE"},
        ValueCase{"Missing", [] {}, u"V", 4, plat::kErrorFileNotFound, 0, 0, kUntouched},
        ValueCase{"Removed",
                  [] {
                    fault::SetPrinterDword(u"P", u"V", 1);
                    fault::RemovePrinterValue(u"P", u"V");
                  },
                  u"V", 4, plat::kErrorFileNotFound, 0, 0, kUntouched},
        ValueCase{"ReadFails",
                  [] {
                    fault::SetPrinterDword(u"P", u"V", 1);
                    fault::FailPrinterRead(plat::kErrorAccessDenied);
                  },
                  u"V", 4, plat::kErrorAccessDenied, 0, 0, kUntouched}),
    [](const ::testing::TestParamInfo<ValueCase>& param) { return std::string(param.param.label); });

TEST_F(FaultBackend, PrinterValuesAreReadLiveAndHandlesChecked) {
  fault::SetPrinterDword(u"P", u"V", 1);
  void* handle = nullptr;
  ASSERT_TRUE(plat::PrinterOpen(u"P", &handle));
  uint8_t data[4] = {};
  uint32_t type = 0;
  uint32_t needed = 0;
  fault::SetPrinterDword(u"P", u"V", 9);
  EXPECT_EQ(plat::PrinterGetData(handle, u"V", &type, data, 4, &needed), plat::kErrorSuccess);
  EXPECT_EQ(data[0], 9);
  plat::PrinterClose(handle);
  EXPECT_EQ(plat::PrinterGetData(handle, u"V", &type, data, 4, &needed),
            plat::kErrorInvalidHandle);
  EXPECT_EQ(plat::PrinterGetData(nullptr, u"V", &type, data, 4, &needed),
            plat::kErrorInvalidHandle);
  // A read fault does not hide an invalid handle.
  fault::FailPrinterRead(plat::kErrorAccessDenied);
  EXPECT_EQ(plat::PrinterGetData(handle, u"V", &type, data, 4, &needed),
            plat::kErrorInvalidHandle);
  EXPECT_EQ(fault::PrinterReadCount(), 4u);
}

// ---- Files --------------------------------------------------------------------------------

// What a file test works on: a directory, a 64-byte file open for reading and one open for
// writing.
struct FileBench {
  TempDir dir;
  plat::FileHandle reader = plat::kInvalidFile;
  plat::FileHandle writer = plat::kInvalidFile;
  int serial = 0;

  std::string Fresh() { return "f" + std::to_string(++serial); }
};

struct FileOpCase {
  const char* label;
  FileOp op;
  bool (*run)(FileBench&);
};
void PrintTo(const FileOpCase& c, std::ostream* out) { *out << c.label; }

bool OpenExisting(FileBench& bench) {
  const plat::FileHandle file = plat::FileOpen(bench.dir.Wide("data").c_str(), FileAccess::Read,
                                               FileDisposition::OpenExisting);
  return file != plat::kInvalidFile && plat::FileClose(file);
}

bool CreateNew(FileBench& bench) {
  const plat::FileHandle file = plat::FileOpen(bench.dir.Wide(bench.Fresh()).c_str(),
                                               FileAccess::Write, FileDisposition::CreateNew);
  return file != plat::kInvalidFile && plat::FileClose(file);
}

bool CloseOne(FileBench& bench) {
  const plat::FileHandle file = plat::FileOpen(bench.dir.Wide("data").c_str(), FileAccess::Read,
                                               FileDisposition::OpenExisting);
  return plat::FileClose(file);
}

bool ReadOne(FileBench& bench) {
  char byte = 0;
  uint32_t done = 0;
  return plat::FileRead(bench.reader, &byte, 1, &done) && done == 1;
}

bool WriteOne(FileBench& bench) {
  uint32_t done = 0;
  return plat::FileWrite(bench.writer, "w", 1, &done) && done == 1;
}

bool SeekOne(FileBench& bench) { return plat::FileSeek(bench.reader, 3) == 3; }
bool SizeOne(FileBench& bench) { return plat::FileGetSize(bench.reader) == 64; }
bool FlushOne(FileBench& bench) { return plat::FileFlush(bench.writer); }

bool DeleteOne(FileBench& bench) {
  const std::string name = bench.Fresh();
  WriteBytes(bench.dir.File(name), "x");
  return plat::FileDelete(bench.dir.Wide(name).c_str());
}

bool ReplaceOne(FileBench& bench) {
  const std::string name = bench.Fresh();
  WriteBytes(bench.dir.File(name), "x");
  return plat::FileReplace(bench.dir.Wide(name).c_str(), bench.dir.Wide("target").c_str());
}

bool FlushDirectory(FileBench& bench) {
  return plat::DirectoryFlush(bench.dir.WideSelf().c_str());
}

class FaultFiles : public FaultBackend {
 protected:
  void SetUp() override {
    FaultBackend::SetUp();
    ASSERT_TRUE(bench_.dir.ok());
    WriteBytes(bench_.dir.File("data"), std::string(64, 'd'));
    bench_.reader = plat::FileOpen(bench_.dir.Wide("data").c_str(), FileAccess::Read,
                                   FileDisposition::OpenExisting);
    bench_.writer = plat::FileOpen(bench_.dir.Wide("out").c_str(), FileAccess::Write,
                                   FileDisposition::CreateNew);
    ASSERT_NE(bench_.reader, plat::kInvalidFile);
    ASSERT_NE(bench_.writer, plat::kInvalidFile);
    fault::Reset();
  }
  void TearDown() override {
    fault::Reset();
    plat::FileClose(bench_.reader);
    plat::FileClose(bench_.writer);
  }

  FileBench bench_;
};

class FaultFileOps : public FaultFiles, public ::testing::WithParamInterface<FileOpCase> {};

TEST_P(FaultFileOps, TheNthOperationOfTheKindFails) {
  const FileOpCase& c = GetParam();
  ASSERT_TRUE(c.run(bench_)) << "one before the fault is set";
  fault::FailFileOp(c.op, 2);
  std::vector<bool> results;
  for (int i = 0; i < 4; ++i) results.push_back(c.run(bench_));
  EXPECT_EQ(results, (std::vector<bool>{true, false, true, true}));
  EXPECT_EQ(fault::FileOpCount(c.op), 5u);
  EXPECT_GE(fault::FileOpCount(FileOp::Any), 5u);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FaultFileOps,
    ::testing::Values(FileOpCase{"Open", FileOp::Open, OpenExisting},
                      FileOpCase{"Create", FileOp::Create, CreateNew},
                      FileOpCase{"Close", FileOp::Close, CloseOne},
                      FileOpCase{"Read", FileOp::Read, ReadOne},
                      FileOpCase{"Write", FileOp::Write, WriteOne},
                      FileOpCase{"Seek", FileOp::Seek, SeekOne},
                      FileOpCase{"Size", FileOp::Size, SizeOne},
                      FileOpCase{"Flush", FileOp::Flush, FlushOne},
                      FileOpCase{"Delete", FileOp::Delete, DeleteOne},
                      FileOpCase{"Replace", FileOp::Replace, ReplaceOne},
                      FileOpCase{"DirectoryFlush", FileOp::DirectoryFlush, FlushDirectory}),
    [](const ::testing::TestParamInfo<FileOpCase>& param) { return std::string(param.param.label); });

TEST_F(FaultFiles, AFailedOperationLeavesTheFilesAlone) {
  fault::FailFileOp(FileOp::Create, 1);
  EXPECT_EQ(plat::FileOpen(bench_.dir.Wide("new").c_str(), FileAccess::Write,
                           FileDisposition::CreateNew),
            plat::kInvalidFile);
  EXPECT_FALSE(std::filesystem::exists(bench_.dir.File("new")));

  WriteBytes(bench_.dir.File("keep"), "kept");
  fault::FailFileOp(FileOp::Delete, 1);
  EXPECT_FALSE(plat::FileDelete(bench_.dir.Wide("keep").c_str()));
  EXPECT_EQ(ReadBytes(bench_.dir.File("keep")), "kept");

  fault::FailFileOp(FileOp::Write, 1);
  uint32_t done = 99;
  EXPECT_FALSE(plat::FileWrite(bench_.writer, "lost", 4, &done));
  EXPECT_EQ(done, 0u);
  EXPECT_EQ(plat::FileGetSize(bench_.writer), 0u);

  // A failed close still closes: the descriptor is gone.
  const plat::FileHandle file = plat::FileOpen(bench_.dir.Wide("keep").c_str(),
                                               FileAccess::Read, FileDisposition::OpenExisting);
  ASSERT_NE(file, plat::kInvalidFile);
  fault::FailFileOp(FileOp::Close, 1);
  EXPECT_FALSE(plat::FileClose(file));
  EXPECT_EQ(fcntl(static_cast<int>(file), F_GETFD), -1);
}

TEST_F(FaultFiles, AnyCountsEveryKindAndFailsTheNthOfThem) {
  fault::FailFileOp(FileOp::Any, 3);
  EXPECT_TRUE(SizeOne(bench_));                     // 1
  EXPECT_TRUE(SeekOne(bench_));                     // 2
  EXPECT_FALSE(ReadOne(bench_));                    // 3
  EXPECT_TRUE(OpenExisting(bench_));                // 4 and 5
  EXPECT_EQ(fault::FileOpCount(FileOp::Any), 5u);
  EXPECT_EQ(fault::FileOpCount(FileOp::Read), 1u);
  EXPECT_EQ(fault::FileOpCount(FileOp::Close), 1u);
  EXPECT_EQ(fault::FileOpCount(FileOp::Write), 0u);
}

TEST_F(FaultFiles, AShortReadMovesOneByteLess) {
  char buffer[16] = {};
  uint32_t done = 0;
  fault::FailFileOp(FileOp::ShortRead, 2);
  ASSERT_TRUE(plat::FileRead(bench_.reader, buffer, 10, &done));
  EXPECT_EQ(done, 10u);
  ASSERT_TRUE(plat::FileRead(bench_.reader, buffer, 10, &done));
  EXPECT_EQ(done, 9u);
  ASSERT_TRUE(plat::FileRead(bench_.reader, buffer, 10, &done));
  EXPECT_EQ(done, 10u);
  // The file position followed what was moved.
  EXPECT_EQ(plat::FileSeek(bench_.reader, 0), 0u);
  EXPECT_EQ(fault::FileOpCount(FileOp::ShortRead), 3u);
  EXPECT_EQ(fault::FileOpCount(FileOp::Read), 3u);
}

TEST_F(FaultFiles, FaultsCountFromWhenTheyAreSet) {
  EXPECT_TRUE(ReadOne(bench_));
  EXPECT_TRUE(ReadOne(bench_));
  fault::FailFileOp(FileOp::Read, 1);
  EXPECT_FALSE(ReadOne(bench_));
  EXPECT_TRUE(ReadOne(bench_));
  fault::FailFileOp(FileOp::Read, 1);
  fault::FailFileOp(FileOp::Read, 0);
  EXPECT_TRUE(ReadOne(bench_));
}

TEST_F(FaultFiles, CrashEndsTheProcessJustBeforeTheNthOperation) {
  const std::u16string first = bench_.dir.Wide("first");
  const std::u16string second = bench_.dir.Wide("second");
  EXPECT_EXIT(
      {
        fault::CrashAtFileOp(3);
        const plat::FileHandle file =
            plat::FileOpen(first.c_str(), FileAccess::Write, FileDisposition::CreateNew);
        plat::FileClose(file);
        plat::FileOpen(second.c_str(), FileAccess::Write, FileDisposition::CreateNew);
        _exit(0);
      },
      ::testing::ExitedWithCode(77), "");
  EXPECT_TRUE(std::filesystem::exists(bench_.dir.File("first")));
  EXPECT_FALSE(std::filesystem::exists(bench_.dir.File("second")));
}

// ---- Threads --------------------------------------------------------------------------------

TEST_F(FaultBackend, CountsStayExactUnderConcurrentCallers) {
  fault::SetPrinterDword(u"P", u"V", 5);
  constexpr int kThreads = 4;
  constexpr int kRounds = 500;
  std::vector<std::thread> threads;
  std::vector<int> wrong(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &wrong] {
      for (int i = 0; i < kRounds; ++i) {
        void* block = plat::HeapAlloc(32, true);
        void* handle = nullptr;
        uint8_t data[4] = {};
        uint32_t type = 0;
        uint32_t needed = 0;
        if (block == nullptr || !plat::PrinterOpen(u"P", &handle) ||
            plat::PrinterGetData(handle, u"V", &type, data, 4, &needed) != 0 || data[0] != 5) {
          ++wrong[static_cast<size_t>(t)];
        }
        plat::PrinterClose(handle);
        plat::HeapFree(block);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(wrong[static_cast<size_t>(t)], 0);
  EXPECT_EQ(fault::AllocationCount(), static_cast<uint32_t>(kThreads * kRounds));
  EXPECT_EQ(fault::LiveBlocks(), 0u);
  EXPECT_EQ(fault::OpenPrinterHandles(), 0u);
  EXPECT_EQ(fault::PrinterOpenCount(), static_cast<uint32_t>(kThreads * kRounds));
  EXPECT_EQ(fault::PrinterReadCount(), static_cast<uint32_t>(kThreads * kRounds));
}

}  // namespace
