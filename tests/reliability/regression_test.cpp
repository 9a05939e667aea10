// Faults the fuzzers and sweeps found, kept as plain cases.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "reliability_support.h"
#include "testing/fault_control.h"

namespace rel {
namespace {

namespace pt = plat::testing;

// Base table file names that are the history file of key 7 (names ignore case, as on the
// host's file system).
class HistoryNamedLikeTheBase : public ScratchTest, public ::testing::WithParamInterface<const char*> {
 protected:
  CalibrationCall Run(const fs::path& baseDir, const fs::path& workDir) {
    const char* kName = GetParam();
    std::array<uint8_t, kNameBlockSize> block;
    block.fill(kNameFill);
    std::memset(block.data(), 0, 16);
    std::memcpy(block.data(), kName, std::strlen(kName));
    std::memcpy(block.data() + 32, kStem, 5);
    const std::u16string base = Widen(baseDir.string());
    const std::u16string work = Widen(workDir.string());
    pt::Reset();
    CalibrationCall call;
    call.status = QXCalibration(&kMine.request, block.data(), kMine.levels.data(), base.c_str(), work.c_str());
    call.returned = reinterpret_cast<const char*>(block.data() + 16);
    EXPECT_EQ(pt::LiveBlocks(), 0u);
    return call;
  }
  const Bytes table_ = cal::sample::BuildTableFile(cal::sample::SampleTable());
};

// The history write would replace the base table file: the call refuses.
TEST_P(HistoryNamedLikeTheBase, InTheWorkingDirectoryIsRefusedAndKeptIntact) {
  const char* kName = GetParam();
  const fs::path dir = root_ / "both";
  fs::create_directories(dir);
  WriteFile(dir / kName, table_);
  const CalibrationCall call = Run(dir, dir);
  EXPECT_EQ(call.status, CALERR_FILE);
  EXPECT_EQ(call.returned, kName);
  EXPECT_EQ(ReadFile(dir / kName), table_);
  EXPECT_EQ(Snapshot(dir).size(), 1u) << "nothing else is written";
}

// In a directory of its own the same name is an ordinary base table file.
TEST_P(HistoryNamedLikeTheBase, ElsewhereIsCalibrated) {
  const char* kName = GetParam();
  fs::create_directories(root_ / "base");
  fs::create_directories(root_ / "work");
  WriteFile(root_ / "base" / kName, table_);
  const CalibrationCall call = Run(root_ / "base", root_ / "work");
  EXPECT_EQ(call.status, CAL_OK);
  EXPECT_NE(call.returned, kName);
  EXPECT_EQ(ReadFile(root_ / "base" / kName), table_);
  EXPECT_TRUE(fs::exists(root_ / "work" / call.returned));
}

INSTANTIATE_TEST_SUITE_P(Names, HistoryNamedLikeTheBase, ::testing::Values("qxhis007.ini", "QXHIS007.INI"));

}  // namespace
}  // namespace rel
