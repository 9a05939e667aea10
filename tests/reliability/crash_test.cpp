// Crash consistency: a calibration runs in a child process that the test backend ends just
// before its nth file operation, for every n the call makes. After every crash point:
// the base table file keeps its bytes, no history entry written before the crash is lost,
// every entry's working file that exists is the finished calibration of that entry (a
// partial one is never there to be served), and a normal call reuses or rebuilds a correct
// working file. A second crash during that recovering call, at each of its operations in
// turn, must leave the same guarantees.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "reliability_support.h"
#include "testing/fault_control.h"

namespace rel {
namespace {

namespace pt = plat::testing;

constexpr int kCrashExit = 77;     // what the test backend's crash ends the process with
constexpr int kCompletedExit = 0;  // the call returned before the crash point
constexpr int kFailedExit = 1;     // the call returned a failure

// Runs one calibration in a child process that crashes before its nth file operation.
// Returns the child's exit code.
int CalibrateInChild(const CalibrationBench& bench, uint32_t crashAt) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    pt::Reset();
    pt::CrashAtFileOp(crashAt);
    const CalibrationCall call = bench.Calibrate();
    std::_Exit(call.status == CAL_OK ? kCompletedExit : kFailedExit);
  }
  int status = 0;
  EXPECT_EQ(waitpid(child, &status, 0), child);
  if (!WIFEXITED(status)) {
    ADD_FAILURE() << "the child did not exit (signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0) << ")";
    return -1;
  }
  return WEXITSTATUS(status);
}

struct CrashCase {
  StartState state;
  BaseTable table;
  bool secondCrash;  // also crash each recovering call at each of its operations
};

class CrashTest : public ScratchTest, public ::testing::WithParamInterface<CrashCase> {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    pt::Reset();
    bench_ = std::make_unique<CalibrationBench>(root_, &QXCalibration, GetParam().state, GetParam().table);
  }
  std::unique_ptr<CalibrationBench> bench_;
};

// Puts the working directory back to a state taken with Snapshot.
void Restore(const fs::path& dir, const DirectoryState& state) {
  fs::remove_all(dir);
  fs::create_directories(dir);
  for (const auto& [name, bytes] : state) WriteFile(dir / name, bytes);
}

TEST_P(CrashTest, EveryCrashPointLeavesAConsistentDirectory) {
  bench_->Prepare();
  pt::Reset();
  ASSERT_EQ(bench_->Calibrate().status, CAL_OK);
  const uint32_t operations = pt::FileOpCount(pt::FileOp::Any);
  ASSERT_GT(operations, 0u);

  // Many crash points leave the same files (every one before the first write, say); what a
  // later call does depends on the files alone, so each distinct outcome is recovered from
  // once, and crashed again at each point of its recovery.
  const DirectoryState untouched = [&] {
    bench_->Prepare();
    return Snapshot(bench_->WorkDir());
  }();
  std::set<DirectoryState> recovered;
  std::set<DirectoryState> crashedAgain = {untouched};  // its series is the first one
  uint32_t secondCrashes = 0;
  const auto checkRecovery = [&](const DirectoryState& state) {
    if (!recovered.insert(state).second) return false;
    pt::Reset();
    EXPECT_EQ(bench_->CheckRecovers(), "");
    return true;
  };
  for (uint32_t nth = 1; nth <= operations; ++nth) {
    SCOPED_TRACE("crash before file operation " + std::to_string(nth) + " of " + std::to_string(operations));
    bench_->Prepare();
    ASSERT_EQ(CalibrateInChild(*bench_, nth), kCrashExit);
    ASSERT_EQ(bench_->CheckConsistent(Entries::Kept), "");
    const DirectoryState crashed = Snapshot(bench_->WorkDir());
    checkRecovery(crashed);
    if (!GetParam().secondCrash || !crashedAgain.insert(crashed).second) continue;
    for (uint32_t second = 1;; ++second) {
      SCOPED_TRACE("then before operation " + std::to_string(second) + " of the next call");
      ASSERT_LT(second, 10000u);
      Restore(bench_->WorkDir(), crashed);
      const int exit = CalibrateInChild(*bench_, second);
      ASSERT_TRUE(exit == kCrashExit || exit == kCompletedExit) << "exit " << exit;
      ASSERT_EQ(bench_->CheckConsistent(Entries::Kept), "");
      checkRecovery(Snapshot(bench_->WorkDir()));
      if (HasFailure()) return;
      if (exit == kCompletedExit) break;
      ++secondCrashes;
    }
  }
  std::printf("[ crash    ] %s/%s: %u crash points, %zu distinct outcomes recovered from, "
              "%zu crashed again, %u second crashes\n",
              StateName(GetParam().state), TableName(GetParam().table), operations,
              recovered.size(), crashedAgain.size() - 1, secondCrashes);
}

INSTANTIATE_TEST_SUITE_P(
    States, CrashTest,
    ::testing::Values(CrashCase{StartState::NoHistory, BaseTable::Small, false},
                      CrashCase{StartState::NoEntry, BaseTable::Small, true},
                      CrashCase{StartState::EntryFound, BaseTable::Small, false},
                      CrashCase{StartState::StaleMissing, BaseTable::Small, false},
                      CrashCase{StartState::StaleIdent, BaseTable::Small, false},
                      CrashCase{StartState::NoEntry, BaseTable::Sample, false}),
    [](const auto& p) { return std::string(StateName(p.param.state)) + "_" + TableName(p.param.table); });

}  // namespace
}  // namespace rel
