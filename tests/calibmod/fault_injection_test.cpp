// Failure injection: every family of platform failure (allocation, open, read, write, seek,
// size) gives its status, and no memory is left allocated afterwards.
#include <functional>

#include "curves.h"
#include "table_file.h"
#include "test_support.h"

namespace caltest {
namespace {

using plat::testing::FailAllocation;
using plat::testing::FailFileOp;
using plat::testing::FileOp;
using plat::testing::FileOpCount;
using plat::testing::LiveBlocks;

enum class Action : uint8_t { ReadAll, WriteDataAtEnd, WriteDataAtZero, ReadChunk, ReadIdent, Pass };

struct FaultCase {
  const char* name;
  Action action;
  bool allocation;  // FailAllocation(nth) rather than FailFileOp(op, nth)
  FileOp op;
  uint32_t nth;
  int16_t expected;
};

class FaultTest : public TableTest, public ::testing::WithParamInterface<FaultCase> {
 protected:
  void Arm(const FaultCase& c) {
    if (c.allocation) {
      FailAllocation(c.nth);
    } else {
      FailFileOp(c.op, c.nth);
    }
  }

  // Runs the action with the fault armed just before it; returns its status.
  int16_t Run(const FaultCase& c) {
    const Bytes table = cal::sample::BuildTableFile(cal::sample::SampleTable());
    Put("base.tbl", table);
    cal::FileContext file{};
    file.handle = plat::kInvalidFile;
    const Bytes data(40, 0x5A);
    switch (c.action) {
      case Action::ReadAll: {
        Arm(c);
        const int16_t status = cal::FileReadAll(file, Dir(), "base.tbl");
        cal::HolderRelease(file.holder);  // the caller's duty, after a failure too
        return status;
      }
      case Action::WriteDataAtEnd:
      case Action::WriteDataAtZero: {
        file.holder.data = const_cast<uint8_t*>(data.data());
        file.dataLength = static_cast<uint32_t>(data.size());
        file.writeOffset = c.action == Action::WriteDataAtEnd ? cal::WRITE_AT_END : 0;
        Arm(c);
        return cal::FileWriteData(file, Dir(), "base.tbl");
      }
      case Action::ReadChunk: {
        OpenTable(table);
        Arm(c);
        const int16_t status = cal::TableReadChunk(context_.tableFile, cal::CHUNK_TAG_HT, 1302, cal::CHUNK_KIND_HT);
        if (status != CAL_OK) {
          EXPECT_EQ(context_.tableFile.chunkData, nullptr);
        }
        cal::TableReleaseChunk(context_.tableFile);
        return status;
      }
      case Action::ReadIdent: {
        char text[cal::TABLE_IDENT_SIZE] = {};
        Arm(c);
        return cal::ReadTableIdent("base.tbl", Dir(), text);
      }
      case Action::Pass: {
        SetLevels({3, -3, 5, -5, 3, 5});
        OpenTable(table);
        Arm(c);
        return cal::ApplyCalibrationToTable(context_);
      }
    }
    return 1;
  }
};

TEST_P(FaultTest, ReportsTheFailureAndFreesEverything) {
  const FaultCase& c = GetParam();
  EXPECT_EQ(Run(c), c.expected);
  CloseTable();
  EXPECT_EQ(LiveBlocks(), 0u);
}

constexpr FileOp kNoOp = FileOp::Any;

INSTANTIATE_TEST_SUITE_P(
    Families, FaultTest,
    ::testing::Values(
        // Allocation: a path buffer (no memory, not a missing file), the whole-file holder,
        // the directory, the chunk body.
        FaultCase{"AllocPathOfReadAll", Action::ReadAll, true, kNoOp, 1, CALERR_MEMORY},
        FaultCase{"AllocNameOfReadAll", Action::ReadAll, true, kNoOp, 2, CALERR_MEMORY},
        FaultCase{"AllocHolderOfReadAll", Action::ReadAll, true, kNoOp, 3, CALERR_MEMORY},
        FaultCase{"AllocDirectory", Action::ReadChunk, true, kNoOp, 1, CALERR_MEMORY},
        FaultCase{"AllocChunkBody", Action::ReadChunk, true, kNoOp, 2, CALERR_MEMORY},
        FaultCase{"AllocIdentPath", Action::ReadIdent, true, kNoOp, 1, CALERR_FILE},
        // Open.
        FaultCase{"OpenReadAll", Action::ReadAll, false, FileOp::Open, 1, cal::CALERR_NOFILE},
        FaultCase{"OpenWriteData", Action::WriteDataAtZero, false, FileOp::Open, 1, CALERR_FILE},
        FaultCase{"OpenIdent", Action::ReadIdent, false, FileOp::Open, 1, CALERR_FILE},
        // Read: the call fails, or moves less than asked.
        FaultCase{"ReadReadAll", Action::ReadAll, false, FileOp::Read, 1, CALERR_FILE},
        FaultCase{"ShortReadReadAll", Action::ReadAll, false, FileOp::ShortRead, 1, CALERR_FILE},
        FaultCase{"ReadDirectorySlot", Action::ReadChunk, false, FileOp::Read, 1, CALERR_FILE},
        FaultCase{"ReadDirectoryEntries", Action::ReadChunk, false, FileOp::Read, 3, CALERR_FILE},
        FaultCase{"ShortReadChunkBody", Action::ReadChunk, false, FileOp::ShortRead, 5, CALERR_FILE},
        FaultCase{"ReadIdentText", Action::ReadIdent, false, FileOp::Read, 3, CALERR_FILE},
        FaultCase{"ReadInPass", Action::Pass, false, FileOp::Read, 1, cal::CURVES_FAILED},  // a listed QXDB chunk unread
        // Write.
        FaultCase{"WriteWriteData", Action::WriteDataAtZero, false, FileOp::Write, 1, CALERR_FILE},
        FaultCase{"WriteBackInPass", Action::Pass, false, FileOp::Write, 1, cal::CURVES_FAILED},
        // Seek.
        FaultCase{"SeekReadAll", Action::ReadAll, false, FileOp::Seek, 1, CALERR_FILE},
        FaultCase{"SeekWriteData", Action::WriteDataAtEnd, false, FileOp::Seek, 1, CALERR_FILE},
        FaultCase{"SeekChunk", Action::ReadChunk, false, FileOp::Seek, 2, CALERR_FILE},
        // Size.
        FaultCase{"SizeReadAll", Action::ReadAll, false, FileOp::Size, 1, CALERR_FILE},
        FaultCase{"SizeWriteDataAtEnd", Action::WriteDataAtEnd, false, FileOp::Size, 1, CALERR_FILE},
        FaultCase{"SizeChunk", Action::ReadChunk, false, FileOp::Size, 1, CALERR_FILE},
        FaultCase{"SizeIdent", Action::ReadIdent, false, FileOp::Size, 1, CALERR_FILE}),
    [](const auto& p) { return std::string(p.param.name); });

// Every single failure point of a whole pass, of every family: the pass ends with success
// (only when the failure hit the lookup of a QXDB chunk the file does not hold) or -1, and never leaks.
struct SweepCase {
  const char* name;
  bool allocation;
  FileOp op;
  bool alwaysFails;  // every operation of this kind belongs to a QXHT chunk's handling
};

class PassSweepTest : public TableTest, public ::testing::WithParamInterface<SweepCase> {};

TEST_P(PassSweepTest, EveryFailurePointIsHandled) {
  const SweepCase& c = GetParam();
  const Bytes table = cal::sample::BuildTableFile(cal::sample::SampleTable());
  SetLevels({3, -3, 5, -5, 3, 5});

  // A clean pass tells how many operations of the kind there are.
  OpenTable(table);
  const uint32_t opsBefore = c.allocation ? plat::testing::AllocationCount() : FileOpCount(c.op);
  ASSERT_EQ(cal::ApplyCalibrationToTable(context_), CAL_OK);
  const uint32_t total = (c.allocation ? plat::testing::AllocationCount() : FileOpCount(c.op)) - opsBefore;
  CloseTable();
  const Bytes calibrated = Get(kTable);
  ASSERT_GT(total, 0u);

  uint32_t failures = 0;
  for (uint32_t nth = 1; nth <= total; ++nth) {
    OpenTable(table);
    if (c.allocation) {
      FailAllocation(nth);
    } else {
      FailFileOp(c.op, nth);
    }
    const int16_t status = cal::ApplyCalibrationToTable(context_);
    CloseTable();
    plat::testing::Reset();
    ASSERT_TRUE(status == CAL_OK || status == cal::CURVES_FAILED) << nth << ": " << status;
    ASSERT_EQ(LiveBlocks(), 0u) << nth;
    if (c.alwaysFails) {
      EXPECT_EQ(status, cal::CURVES_FAILED) << nth;
    }
    if (status == cal::CURVES_FAILED) ++failures;
    // Whatever happened, every chunk is either as it was or fully calibrated.
    const Bytes after = Get(kTable);
    ASSERT_EQ(after.size(), table.size());
    for (size_t i = 0; i < after.size(); ++i) {
      ASSERT_TRUE(after[i] == table[i] || after[i] == calibrated[i]) << nth << " byte " << i;
    }
  }
  EXPECT_GT(failures, 0u);
}

INSTANTIATE_TEST_SUITE_P(Families, PassSweepTest,
                         ::testing::Values(SweepCase{"Allocation", true, FileOp::Any, false},
                                           SweepCase{"Read", false, FileOp::Read, false},
                                           SweepCase{"ShortRead", false, FileOp::ShortRead, false},
                                           SweepCase{"Write", false, FileOp::Write, true},
                                           SweepCase{"Seek", false, FileOp::Seek, false},
                                           SweepCase{"Size", false, FileOp::Size, false}),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace caltest
