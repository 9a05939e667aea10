// Failure sweeps across both libraries, through their exported functions on the
// fault-injecting backend.
//
// Allocations: for each representative call, the 1st, 2nd, ... allocation fails until the
// call completes without a failure. Every run answers the documented status (-1 for a
// query, or the answer a documented fallback gives; CALERR_MEMORY or CALERR_FILE with the
// base table file name for a calibration), frees every block and closes every printer it
// opened.
// Files: for calibrations starting in each of the four states, each file operation of each
// kind fails in turn. Every run answers CALERR_FILE with the base table file name, or
// CAL_OK with the finished working file; the base table file keeps its bytes; and the
// next normal call makes a working file byte-identical to a clean calibration's.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "reliability_support.h"
#include "testing/fault_control.h"

namespace rel {
namespace {

namespace pt = plat::testing;

constexpr uint32_t kSweepLimit = 20000;  // far above any call's count; a bound on a broken sweep
constexpr uint32_t kSilentWindow = 540u | (600u << 16);  // 09:00-10:00; the test clock says 09:05

// ---- Queries ----------------------------------------------------------------------------------

enum class PrinterData : uint8_t { None, SilentWindow, SilentWindowUnreadable };

struct QueryCase {
  const char* name;
  size_t category;  // in kCategories
  uint32_t key;
  HostState (*state)();
  PrinterData printerData;
  // A failed allocation inside the silent-mode command may give the silent-off block: the
  // answer the same state gets when the silent window cannot be read.
  bool silentFallback;
};

HostState Job() { return DrvJob(); }
HostState JobByName() {
  HostState s = DrvJob();
  s.printer = Printer::ByName;
  return s;
}
HostState JobByHandle() {
  HostState s = DrvJob();
  s.printer = Printer::ByHandle;
  return s;
}
HostState JobUserSize() {
  HostState s = DrvJob();
  s.settings[28] = 256;
  s.settings[52] = 5;
  return s;
}

const QueryCase kQueryCases[] = {
    {"DrvJobStartByName", 1, 4120, JobByName, PrinterData::SilentWindow, true},
    {"DrvJobStartByHandle", 1, 4120, JobByHandle, PrinterData::SilentWindow, true},
    {"DrvJobStartWindowUnreadable", 1, 4120, JobByName, PrinterData::SilentWindowUnreadable, false},
    {"DrvJobStartWithoutPrinter", 1, 4120, Job, PrinterData::None, false},
    {"DrvJobCommandsUserSize", 1, 4121, JobUserSize, PrinterData::None, false},
    {"DrvFormFeedCommand", 1, 4125, Job, PrinterData::None, false},
    {"DrvPrintModeList", 1, 4108, Job, PrinterData::None, false},
    {"DrvPrintModeCategoryList", 1, 4109, Job, PrinterData::None, false},
    {"DrvPaperList", 1, 4112, Job, PrinterData::None, false},
    {"DrvAvailablePaperList", 1, 4113, JobUserSize, PrinterData::None, false},
    {"DrvQualityList", 1, 4118, Job, PrinterData::None, false},
    {"DrvBorderlessPapers", 1, 4180, Job, PrinterData::None, false},
};

// The printers of the test backend, after Reset(); a handle for Printer::ByHandle.
void* SetUpPrinter(const HostState& state, PrinterData data) {
  pt::AddPrinter(state.printerName);
  if (data != PrinterData::None) {
    pt::SetPrinterDword(state.printerName, u"VrdUI_SilentModeEnable", 2);
  }
  if (data == PrinterData::SilentWindow) {
    pt::SetPrinterDword(state.printerName, u"VrdUI_SilentModeTime", kSilentWindow);
  }
  void* handle = nullptr;
  if (state.printer == Printer::ByHandle) {
    EXPECT_TRUE(plat::PrinterOpen(state.printerName.c_str(), &handle));
  }
  return handle;
}

struct QueryRun {
  Answer answer;
  uint32_t allocations;
};

QueryRun RunQueryCase(const QueryCase& c, PrinterData data, uint32_t failAt) {
  pt::Reset();
  const HostState state = c.state();
  void* handle = SetUpPrinter(state, data);
  BuiltContext built;
  Build(state, handle, &built);
  pt::FailAllocation(failAt);
  QueryRun run{Ask(kCategories[c.category].query, c.key, built.context), pt::AllocationCount()};
  EXPECT_EQ(pt::LiveBlocks(), 0u) << "blocks left allocated";
  EXPECT_EQ(pt::OpenPrinterHandles(), handle != nullptr ? 1u : 0u) << "printer left open";
  if (handle != nullptr) plat::PrinterClose(handle);
  return run;
}

class QueryAllocationSweep : public ::testing::TestWithParam<QueryCase> {};

TEST_P(QueryAllocationSweep, EveryFailureAnswersMinusOneOrTheDocumentedFallback) {
  const QueryCase& c = GetParam();
  const QueryRun clean = RunQueryCase(c, c.printerData, 0);
  ASSERT_GT(clean.allocations, 0u) << "a case that allocates nothing sweeps nothing";
  // Without a printer the silent-mode switch answers -4; every other case answers.
  ASSERT_EQ(clean.answer.status, c.state == Job && c.key == 4120 ? MPX_ERR_CONTEXT : MPX_OK)
      << Describe(clean.answer);
  const Answer fallback =
      c.silentFallback ? RunQueryCase(c, PrinterData::SilentWindowUnreadable, 0).answer : Answer{};
  if (c.silentFallback) {
    ASSERT_NE(fallback, clean.answer) << "the fallback must be told apart";
  }

  uint32_t failures = 0;
  uint32_t fallbacks = 0;
  uint32_t absorbed = 0;
  for (uint32_t nth = 1; nth < kSweepLimit; ++nth) {
    const QueryRun run = RunQueryCase(c, c.printerData, nth);
    if (run.allocations < nth) {
      // The call completed before the nth allocation: the sweep is over.
      EXPECT_EQ(run.answer, clean.answer) << Describe(run.answer);
      std::printf("[ sweep    ] %s: %u allocations; failed, -1: %u, the fallback: %u, the clean answer: %u\n",
                  c.name, nth - 1, failures, fallbacks, absorbed);
      EXPECT_EQ(failures + fallbacks + absorbed, nth - 1);
      return;
    }
    SCOPED_TRACE("allocation " + std::to_string(nth));
    if (run.answer.status == MPX_ERR_DATABASE) {
      ++failures;
    } else if (run.answer == clean.answer) {
      ++absorbed;  // the silent-mode command falls back to the answer it gives anyway
    } else if (c.silentFallback && run.answer == fallback) {
      ++fallbacks;
    } else {
      ADD_FAILURE() << "answered " << Describe(run.answer) << "; clean " << Describe(clean.answer);
    }
  }
  FAIL() << "the sweep did not end";
}

INSTANTIATE_TEST_SUITE_P(Calls, QueryAllocationSweep, ::testing::ValuesIn(kQueryCases),
                         [](const auto& p) { return std::string(p.param.name); });

// ---- Calibrations -----------------------------------------------------------------------------

struct CalibrationCase {
  StartState state;
  BaseTable table;
};

std::string CaseName(const ::testing::TestParamInfo<CalibrationCase>& info) {
  return std::string(StateName(info.param.state)) + "_" + TableName(info.param.table);
}

const CalibrationCase kCalibrationCases[] = {
    {StartState::NoHistory, BaseTable::Sample},    {StartState::NoEntry, BaseTable::Sample},
    {StartState::EntryFound, BaseTable::Sample},   {StartState::StaleMissing, BaseTable::Sample},
    {StartState::StaleIdent, BaseTable::Sample},   {StartState::NoHistory, BaseTable::SampleSharedDirectory},
    {StartState::NoEntry, BaseTable::SampleSharedDirectory},
};

class CalibrationSweep : public ScratchTest, public ::testing::WithParamInterface<CalibrationCase> {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    pt::Reset();
    bench_ = std::make_unique<CalibrationBench>(root_, &QXCalibration, GetParam().state, GetParam().table);
  }

  // The outcome of a faulted call: status and name, the files, the memory, the next call.
  void CheckFaulted(const CalibrationCall& call, const std::vector<int16_t>& failures, Entries entries) {
    EXPECT_EQ(pt::LiveBlocks(), 0u) << "blocks left allocated";
    if (call.status == CAL_OK) {
      EXPECT_TRUE(fs::exists(bench_->WorkDir() / call.returned));
      EXPECT_EQ(ReadFile(bench_->WorkDir() / call.returned), bench_->MyReference())
          << "CAL_OK with a working file other than the clean calibration's";
    } else {
      EXPECT_NE(std::find(failures.begin(), failures.end(), call.status), failures.end())
          << "status " << call.status;
      EXPECT_EQ(call.returned, kBaseName);
    }
    EXPECT_EQ(bench_->CheckConsistent(entries), "");
    // What the next call does depends on the files alone: each distinct outcome once.
    if (!recovered_.insert(Snapshot(bench_->WorkDir())).second) return;
    pt::Reset();
    EXPECT_EQ(bench_->CheckRecovers(), "");
    EXPECT_EQ(pt::LiveBlocks(), 0u);
  }

  // Operations of each kind a clean call makes.
  uint32_t CleanCount(pt::FileOp kind) {
    bench_->Prepare();
    pt::Reset();
    const CalibrationCall call = bench_->Calibrate();
    EXPECT_EQ(call.status, CAL_OK);
    return pt::FileOpCount(kind == pt::FileOp::ShortRead ? pt::FileOp::Read : kind);
  }

  std::unique_ptr<CalibrationBench> bench_;
  std::set<DirectoryState> recovered_;
};

TEST_P(CalibrationSweep, EachAllocationFailure) {
  uint32_t failures = 0;
  for (uint32_t nth = 1; nth < kSweepLimit; ++nth) {
    bench_->Prepare();
    pt::Reset();
    pt::FailAllocation(nth);
    const CalibrationCall call = bench_->Calibrate();
    if (pt::AllocationCount() < nth) {
      EXPECT_EQ(call.status, CAL_OK);
      EXPECT_EQ(ReadFile(bench_->WorkDir() / call.returned), bench_->MyReference());
      std::printf("[ sweep    ] %s/%s: %u allocations, %u failures\n", StateName(GetParam().state),
                  TableName(GetParam().table), nth - 1, failures);
      EXPECT_GT(nth, 1u);
      return;
    }
    SCOPED_TRACE("allocation " + std::to_string(nth));
    if (call.status != CAL_OK) ++failures;
    // Memory runs out before any history is written: no entry can be lost.
    CheckFaulted(call, {CALERR_MEMORY, CALERR_FILE}, Entries::Kept);
  }
  FAIL() << "the sweep did not end";
}

// The kinds of file operation, and whether a failure of the kind can hit the reading of
// the history: a history that cannot be opened or read counts as no history, and the
// calibration then replaces it by one holding only its own line.
struct FileKind {
  pt::FileOp kind;
  const char* name;
  Entries entries;
};
constexpr FileKind kFileKinds[] = {
    {pt::FileOp::Open, "open", Entries::KeptOrReplaced},
    {pt::FileOp::Create, "create", Entries::Kept},
    {pt::FileOp::Delete, "delete", Entries::Kept},
    {pt::FileOp::Seek, "seek", Entries::KeptOrReplaced},
    {pt::FileOp::Read, "read", Entries::KeptOrReplaced},
    {pt::FileOp::ShortRead, "short read", Entries::KeptOrReplaced},
    {pt::FileOp::Write, "write", Entries::Kept},
    {pt::FileOp::Size, "size", Entries::KeptOrReplaced},
    {pt::FileOp::Replace, "rename", Entries::Kept},
    {pt::FileOp::Flush, "flush", Entries::Kept},
    {pt::FileOp::DirectoryFlush, "directory flush", Entries::Kept},
    {pt::FileOp::Close, "close", Entries::Kept},
};

TEST_P(CalibrationSweep, EachFileOperationOfEachKindFails) {
  std::string summary;
  uint32_t total = 0;
  uint32_t replaced = 0;
  for (const FileKind& kind : kFileKinds) {
    const uint32_t count = CleanCount(kind.kind);
    uint32_t failed = 0;
    for (uint32_t nth = 1; nth <= count; ++nth) {
      SCOPED_TRACE(std::string(kind.name) + " " + std::to_string(nth) + " of " + std::to_string(count));
      bench_->Prepare();
      pt::Reset();
      pt::FailFileOp(kind.kind, nth);
      const CalibrationCall call = bench_->Calibrate();
      if (call.status != CAL_OK) ++failed;
      if (bench_->HistoryReplaced()) ++replaced;
      CheckFaulted(call, {CALERR_FILE}, kind.entries);
      if (HasFatalFailure()) return;
    }
    total += count;
    summary += " " + std::string(kind.name) + " " + std::to_string(failed) + "/" + std::to_string(count);
  }
  EXPECT_GT(total, 0u);
  std::printf("[ sweep    ] %s/%s (failed/faulted):%s; history replaced %u times\n",
              StateName(GetParam().state), TableName(GetParam().table), summary.c_str(), replaced);
}

INSTANTIATE_TEST_SUITE_P(States, CalibrationSweep, ::testing::ValuesIn(kCalibrationCases), CaseName);

}  // namespace
}  // namespace rel
