// The calibration flow on the fault-injecting backend: every allocation and every file
// operation of a calibration failed in turn, and a crash before each file operation.
//
// Whatever fails, the call answers with the base name or a correct working file, frees
// every block, never changes the base file, and never leaves a history entry whose working
// file opens with curves of another calibration. The next normal call then succeeds.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "calibration.h"
#include "calibration_support.h"
#include "testing/fault_control.h"

namespace caltest {
namespace {

namespace pt = plat::testing;

constexpr CalibrationRequest kRequest{7, 3, 1, 2, 3};

// The flow, called the way the export is called.
int16_t MPX_CALL CalibrateInProcess(const CalibrationRequest* request, uint8_t* nameBlock,
                                    const int16_t* levels, const char16_t* baseDirectory,
                                    const char16_t* workingDirectory) {
  return cal::RunCalibration(request, nameBlock, levels, baseDirectory, workingDirectory);
}

using Identity = std::tuple<int32_t, int32_t, int32_t, int32_t>;

Identity IdentityOf(const CalibrationRequest& r) {
  return {r.historyKey, r.identity1, r.identity2, r.identity3};
}

struct Entry {
  Identity identity;
  std::string name;
};

// The history as the module writes it: normalised lines ended by CR LF.
std::vector<Entry> ParseWritten(const std::string& text, bool* wellFormed) {
  std::vector<Entry> entries;
  *wellFormed = true;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find("\r\n", at);
    if (end == std::string::npos) {
      *wellFormed = false;
      break;
    }
    std::stringstream line(text.substr(at, end - at));
    std::vector<std::string> fields;
    for (std::string field; std::getline(line, field, ',');) fields.push_back(field);
    if (fields.size() != 5) {
      *wellFormed = false;
      break;
    }
    auto number = [](const std::string& f) { return static_cast<int32_t>(std::stoul(f)); };
    entries.push_back({{static_cast<int16_t>(number(fields[0])), number(fields[1]),
                        number(fields[2]), number(fields[3])},
                       fields[4]});
    at = end + 2;
  }
  return entries;
}

enum class Start { FirstCall, Append, Rebuild, Reclaim };

struct Scenario {
  const char* label;
  Start setup;
};

class FlowFaultTest : public CalibrationDirs, public ::testing::WithParamInterface<Scenario> {
 protected:
  // The levels each calibration of these scenarios was made with.
  const Levels& LevelsOf(const Identity& identity) const {
    return identity == IdentityOf(kRequest) ? kAdjusted : kOtherAdjusted;
  }

  void Prepare() {
    fs::remove_all(workDir_);
    fs::create_directories(workDir_);
    std::string history;
    switch (GetParam().setup) {
      case Start::FirstCall:
        break;
      case Start::Append:
        history = NameLine(7, 9, 9, 9, "htab0001.tbl") + NameLine(7, 8, 8, 8, "htab0003.tbl");
        PutWork("htab0001.tbl", Expected(kOtherAdjusted));
        PutWork("htab0003.tbl", Expected(kOtherAdjusted));
        break;
      case Start::Rebuild:
        history = NameLine(7, 9, 9, 9, "htab0002.tbl") + NameLine(7, 1, 2, 3, "htab0001.tbl");
        PutWork("htab0002.tbl", Expected(kOtherAdjusted));
        break;
      case Start::Reclaim: {
        const std::string varied = "123456789abcdefghijklmnopqrstuvwxyz";
        // The oldest entry is the one of "k".
        std::string order = "k";
        for (char c : varied) {
          if (c != 'k') order += c;
        }
        uint32_t id = 100;
        for (char c : order) {
          const std::string name = std::string("htab000") + c + ".tbl";
          history += NameLine(7, id++, 0, 0, name);
          PutWork(name, Expected(kOtherAdjusted));
        }
        break;
      }
    }
    if (!history.empty()) PutText(HistoryName(), history);
    historyBefore_ = history;
    filesBefore_ = Snapshot(workDir_);
  }

  int16_t Calibrate() { return Run(&CalibrateInProcess, kRequest, kAdjusted); }

  // What must hold after any call, failed, crashed or not. A history that cannot be read
  // counts as absent and is replaced, so entries are only sure to be kept when no read
  // fails (a crash fails nothing).
  void CheckConsistent(const std::string& when, bool entriesKept) {
    SCOPED_TRACE(when);
    EXPECT_TRUE(SameBytes(Read(baseDir_ / kBaseName), base_));
    std::vector<Entry> entries;
    if (WorkExists(HistoryName())) {
      bool wellFormed = false;
      entries = ParseWritten(Text(HistoryName()), &wellFormed);
      EXPECT_TRUE(wellFormed) << Text(HistoryName());
    }
    // Every entry that a later call would accept serves its own calibration.
    std::map<std::string, bool> named;
    for (const Entry& entry : entries) {
      if (named.count(entry.name) != 0) continue;  // a later duplicate is never looked at
      named[entry.name] = true;
      if (!WorkExists(entry.name)) continue;
      EXPECT_TRUE(SameBytes(Work(entry.name), Expected(LevelsOf(entry.identity)))) << entry.name;
    }
    // Entries of other calibrations are never lost, except the one that gave up its name.
    bool wellFormed = false;
    const std::vector<Entry> before = ParseWritten(historyBefore_, &wellFormed);
    for (const Entry& old : entriesKept ? before : std::vector<Entry>{}) {
      if (old.identity == IdentityOf(kRequest)) continue;
      if (GetParam().setup == Start::Reclaim && old.name == "htab000k.tbl") continue;
      bool kept = false;
      for (const Entry& entry : entries) kept = kept || (entry.identity == old.identity && entry.name == old.name);
      EXPECT_TRUE(kept) << old.name;
    }
    // Files of other calibrations keep their bytes.
    for (const auto& [name, state] : filesBefore_) {
      if (name == HistoryName() || (GetParam().setup == Start::Reclaim && name == "htab000k.tbl")) continue;
      if (GetParam().setup == Start::Rebuild && name == "htab0001.tbl") continue;
      EXPECT_TRUE(WorkExists(name)) << name;
      if (WorkExists(name)) {
        EXPECT_TRUE(SameBytes(Work(name), state.bytes)) << name;
      }
    }
  }

  // A normal call after the fault: the calibration is in effect with the right curves.
  void CheckRecovers(const std::string& when, bool entriesKept) {
    SCOPED_TRACE(when);
    pt::Reset();
    ASSERT_EQ(Calibrate(), CAL_OK);
    const std::string name = Returned();
    EXPECT_TRUE(SameBytes(Work(name), Expected(kAdjusted)));
    bool wellFormed = false;
    const std::vector<Entry> entries = ParseWritten(Text(HistoryName()), &wellFormed);
    EXPECT_TRUE(wellFormed);
    const Entry* mine = nullptr;
    for (const Entry& entry : entries) {
      if (mine == nullptr && entry.identity == IdentityOf(kRequest)) mine = &entry;
    }
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(mine->name, name);
    EXPECT_EQ(pt::LiveBlocks(), 0u);
    CheckConsistent(when + ", recovered", entriesKept);
  }

  std::string historyBefore_;
  DirectoryState filesBefore_;
};

TEST_P(FlowFaultTest, NormalCallIsCorrect) {
  Prepare();
  pt::Reset();
  ASSERT_EQ(Calibrate(), CAL_OK);
  const std::map<Start, const char*> names = {{Start::FirstCall, "htab0001.tbl"},
                                              {Start::Append, "htab0002.tbl"},
                                              {Start::Rebuild, "htab0001.tbl"},
                                              {Start::Reclaim, "htab000k.tbl"}};
  EXPECT_EQ(Returned(), names.at(GetParam().setup));
  EXPECT_EQ(pt::LiveBlocks(), 0u);
  CheckConsistent("normal call", true);
  for (const auto& entry : fs::directory_iterator(workDir_)) {
    EXPECT_EQ(entry.path().extension(), entry.path().filename() == HistoryName() ? ".ini" : ".tbl");
  }
}

enum class Failing { Allocation, FileOperation, ShortRead };

// The points a sweep visits: every one, except in the scenario of 35 working files, whose
// middle (the curve pass, the same in every scenario and swept in full by the others) is
// left out to keep it fast.
std::vector<uint32_t> SweepPoints(uint32_t total, Start setup) {
  constexpr uint32_t kHead = 16;  // reading the history, choosing the name
  constexpr uint32_t kTail = 56;  // finishing the file, the rewrite of 35 lines, the move
  std::vector<uint32_t> points;
  for (uint32_t nth = 1; nth <= total; ++nth) {
    if (setup != Start::Reclaim || nth <= kHead || nth + kTail > total) points.push_back(nth);
  }
  return points;
}

uint32_t Count(Failing failing) {
  switch (failing) {
    case Failing::Allocation: return pt::AllocationCount();
    case Failing::FileOperation: return pt::FileOpCount(pt::FileOp::Any);
    case Failing::ShortRead: return pt::FileOpCount(pt::FileOp::Read);
  }
  return 0;
}

void Arm(Failing failing, uint32_t nth) {
  switch (failing) {
    case Failing::Allocation: pt::FailAllocation(nth); break;
    case Failing::FileOperation: pt::FailFileOp(pt::FileOp::Any, nth); break;
    case Failing::ShortRead: pt::FailFileOp(pt::FileOp::ShortRead, nth); break;
  }
}

class FailureSweepTest : public FlowFaultTest {
 protected:
  void Sweep(Failing failing, const char* what) {
    Prepare();
    pt::Reset();
    ASSERT_EQ(Calibrate(), CAL_OK);
    const uint32_t total = Count(failing);
    ASSERT_GT(total, 0u);
    uint32_t failures = 0;
    for (uint32_t nth : SweepPoints(total, GetParam().setup)) {
      Prepare();
      pt::Reset();
      Arm(failing, nth);
      const int16_t status = Calibrate();
      const std::string when = std::string(what) + " " + std::to_string(nth);
      ASSERT_GE(Count(failing), nth) << when << ": the calibration runs differently";
      EXPECT_EQ(pt::LiveBlocks(), 0u) << when;
      if (status == CAL_OK) {
        EXPECT_TRUE(SameBytes(Work(Returned()), Expected(kAdjusted))) << when;
      } else {
        ++failures;
        // A failed allocation inside path building fails its file operation.
        EXPECT_TRUE(status == CALERR_FILE || (failing == Failing::Allocation && status == CALERR_MEMORY))
            << when << ": " << status;
        EXPECT_EQ(Returned(), kBaseName) << when;
      }
      CheckConsistent(when, false);
      CheckRecovers(when, false);
    }
    EXPECT_GT(failures, 0u);
  }
};

TEST_P(FailureSweepTest, EachAllocationFails) { Sweep(Failing::Allocation, "allocation"); }
TEST_P(FailureSweepTest, EachFileOperationFails) { Sweep(Failing::FileOperation, "file operation"); }
TEST_P(FailureSweepTest, EachReadComesShort) { Sweep(Failing::ShortRead, "short read"); }

// A crash just before each file operation, in a child process.
TEST_P(FlowFaultTest, CrashBeforeEachFileOperation) {
  Prepare();
  pt::Reset();
  ASSERT_EQ(Calibrate(), CAL_OK);
  const uint32_t operations = pt::FileOpCount(pt::FileOp::Any);
  ASSERT_GT(operations, 0u);
  for (uint32_t nth : SweepPoints(operations, GetParam().setup)) {
    Prepare();
    EXPECT_EXIT(
        {
          pt::Reset();
          pt::CrashAtFileOp(nth);
          Calibrate();
        },
        ::testing::ExitedWithCode(77), "")
        << "crash " << nth;
    const std::string when = "crash before file operation " + std::to_string(nth);
    CheckConsistent(when, true);
    CheckRecovers(when, true);
  }
}

const auto kScenarios = ::testing::Values(Scenario{"FirstCall", Start::FirstCall},
                                          Scenario{"Append", Start::Append},
                                          Scenario{"Rebuild", Start::Rebuild},
                                          Scenario{"Reclaim", Start::Reclaim});
const auto kScenarioName = [](const auto& p) { return std::string(p.param.label); };

INSTANTIATE_TEST_SUITE_P(Scenarios, FlowFaultTest, kScenarios, kScenarioName);
INSTANTIATE_TEST_SUITE_P(Scenarios, FailureSweepTest, kScenarios, kScenarioName);

}  // namespace
}  // namespace caltest
