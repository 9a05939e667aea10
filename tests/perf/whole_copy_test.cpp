// The working file made by one whole-file copy holds the bytes the plain flow writes
// (the base file read whole into memory, a new empty file, the content written at offset 0),
// fails where the plain flow fails, touches no target when the source is unusable, and
// leaves no memory or file open behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "file_layer.h"
#include "table_sample.h"
#include "testing/fault_control.h"

namespace {

namespace fs = std::filesystem;
namespace pt = plat::testing;
using cal::sample::Bytes;

class WholeCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pt::Reset();
    dir_ = fs::path(testing::TempDir()) /
           ("mpx_whole_copy_" + std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
    const std::string text = dir_.string();
    wide_.assign(text.begin(), text.end());
  }
  void TearDown() override {
    EXPECT_EQ(pt::LiveBlocks(), 0u);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  void Put(const std::string& name, const Bytes& bytes) const {
    ASSERT_TRUE(cal::sample::WriteFileBytes((dir_ / name).string(), bytes));
  }
  Bytes Get(const std::string& name) const {
    Bytes bytes;
    EXPECT_TRUE(cal::sample::ReadFileBytes((dir_ / name).string(), &bytes)) << name;
    return bytes;
  }
  bool Exists(const std::string& name) const { return fs::exists(dir_ / name); }

  int16_t CopyWhole(const std::string& from, const std::string& to) {
    cal::FileContext source{};
    cal::FileContext target{};
    const int16_t status =
        cal::FileCopyWhole(source, wide_.c_str(), from.c_str(), target, wide_.c_str(), to.c_str());
    if (status == CAL_OK) {
      EXPECT_EQ(source.dataLength, fs::file_size(dir_ / from));
      EXPECT_EQ(target.dataLength, source.dataLength);
    }
    return status;
  }

  // What the flow did before: read whole, create empty, write whole at offset 0.
  int16_t CopyPlain(const std::string& from, const std::string& to) {
    cal::FileContext source{};
    cal::HolderClear(source.holder);
    int16_t status = cal::FileReadAll(source, wide_.c_str(), from.c_str());
    if (status == CAL_OK) {
      cal::FileContext target{};
      status = cal::FileCreateEmpty(target, wide_.c_str(), to.c_str());
      if (status == CAL_OK) {
        target.holder.data = source.holder.data;
        target.dataLength = source.dataLength;
        target.writeOffset = 0;
        status = cal::FileWriteData(target, wide_.c_str(), to.c_str());
      }
    }
    cal::HolderRelease(source.holder);
    return status;
  }

  fs::path dir_;
  std::u16string wide_;
};

struct TableCase {
  const char* name;
  cal::sample::TableSpec (*spec)();
};

class SameBytesAsThePlainFlow : public WholeCopyTest,
                                public ::testing::WithParamInterface<TableCase> {};

TEST_P(SameBytesAsThePlainFlow, ForEveryKindOfTableFile) {
  const Bytes table = cal::sample::BuildTableFile(GetParam().spec());
  Put("base.tbl", table);
  Put("fast.tbl", Bytes(table.size() + 100, 0xEE));  // an older, longer file is replaced whole
  pt::Reset();
  ASSERT_EQ(CopyWhole("base.tbl", "fast.tbl"), CAL_OK);
  EXPECT_EQ(pt::FileOpCount(pt::FileOp::Open) + pt::FileOpCount(pt::FileOp::Create),
            pt::FileOpCount(pt::FileOp::Close))
      << "every file opened is closed";
  ASSERT_EQ(CopyPlain("base.tbl", "plain.tbl"), CAL_OK);
  EXPECT_EQ(Get("fast.tbl"), Get("plain.tbl"));
  EXPECT_EQ(Get("fast.tbl"), table);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, SameBytesAsThePlainFlow,
    ::testing::Values(
        TableCase{"Sample", [] { return cal::sample::SampleTable(); }},
        TableCase{"SharedDirectoryBigEndian",
                  [] { return cal::sample::SampleTable(cal::sample::DataOrder::Big, true); }},
        TableCase{"ScaledToOneMiB", [] { return cal::sample::ScaledSampleTable(1u << 20); }},
        TableCase{"ScaledPastTheCopyBuffer",
                  [] { return cal::sample::ScaledSampleTable(300000); }}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(WholeCopyTest, AnUnusableSourceLeavesTheTargetAlone) {
  Put("target.tbl", Bytes(10, 0x11));
  EXPECT_EQ(CopyWhole("missing.tbl", "target.tbl"), cal::CALERR_NOFILE);
  Put("empty.tbl", {});
  EXPECT_EQ(CopyWhole("empty.tbl", "target.tbl"), CALERR_FILE);
  EXPECT_EQ(CopyWhole("empty.tbl", "new.tbl"), CALERR_FILE);
  EXPECT_EQ(Get("target.tbl"), Bytes(10, 0x11));
  EXPECT_FALSE(Exists("new.tbl"));
}

TEST_F(WholeCopyTest, ATargetThatCannotBeMadeFails) {
  Put("base.tbl", cal::sample::BuildTableFile(cal::sample::SampleTable()));
  EXPECT_EQ(CopyWhole("base.tbl", "no-such-dir/target.tbl"), CALERR_FILE);
  Put("locked.tbl", Bytes(5, 0x22));
  fs::permissions(dir_ / "locked.tbl", fs::perms::owner_read | fs::perms::group_read);
  EXPECT_EQ(CopyWhole("base.tbl", "locked.tbl"), CALERR_FILE);
  EXPECT_EQ(Get("locked.tbl"), Bytes(5, 0x22)) << "a read-only file is never replaced";
}

// Whichever single file operation fails, the copy either reports the failure (CALERR_FILE,
// or CALERR_NOFILE when the source does not open) or succeeds with the right bytes (a failed
// close still closes); it never leaks.
TEST_F(WholeCopyTest, AFailingOperationIsNeverAWrongCopy) {
  const Bytes table = cal::sample::BuildTableFile(cal::sample::SampleTable());
  Put("base.tbl", table);
  pt::Reset();
  ASSERT_EQ(CopyWhole("base.tbl", "target.tbl"), CAL_OK);
  const uint32_t operations = pt::FileOpCount(pt::FileOp::Any);
  uint32_t failures = 0;
  for (uint32_t nth = 1; nth <= operations; ++nth) {
    Put("target.tbl", Bytes(3, 0x33));
    pt::Reset();
    pt::FailFileOp(pt::FileOp::Any, nth);
    const int16_t status = CopyWhole("base.tbl", "target.tbl");
    EXPECT_EQ(pt::LiveBlocks(), 0u) << nth;
    if (status == CAL_OK) {
      EXPECT_EQ(Get("target.tbl"), table) << "operation " << nth;
      continue;
    }
    ++failures;
    EXPECT_TRUE(status == CALERR_FILE || (nth == 1 && status == cal::CALERR_NOFILE))
        << "operation " << nth << ": " << status;
  }
  EXPECT_GT(failures, operations / 2);

  // Each allocation (the paths) failing in turn.
  pt::Reset();
  ASSERT_EQ(CopyWhole("base.tbl", "target.tbl"), CAL_OK);
  const uint32_t allocations = pt::AllocationCount();
  ASSERT_GT(allocations, 0u);
  for (uint32_t nth = 1; nth <= allocations; ++nth) {
    pt::Reset();
    pt::FailAllocation(nth);
    const int16_t status = CopyWhole("base.tbl", "target.tbl");
    EXPECT_EQ(status, nth <= 2 ? CALERR_MEMORY : CALERR_FILE) << "allocation " << nth;
    EXPECT_EQ(pt::LiveBlocks(), 0u) << nth;
  }

  pt::Reset();
  pt::FailFileOp(pt::FileOp::ShortRead, 1);
  EXPECT_EQ(CopyWhole("base.tbl", "target.tbl"), CALERR_FILE) << "a copy that falls short";
  pt::Reset();
}

}  // namespace
