// The documented examples, answered from the shipped image through the query frame.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "entry.h"
#include "evaluator.h"
#include "fetch.h"
#include "testing/fault_control.h"

namespace {

using mdb::Category;

struct Answer {
  int32_t status;
  std::vector<uint8_t> bytes;
};

// The two-call protocol a host runs: ask the size, then fetch with a buffer of that size.
Answer Ask(Category category, uint32_t key, const QueryContext& context) {
  uint32_t size = 0xDEADBEEF;
  const int32_t sized = mdb::RunQuery(mdb::ShippedEnv(), category, key, &context, 0, nullptr, &size);
  if (sized != MPX_BUFFER_TOO_SMALL) return {sized, {}};
  std::vector<uint8_t> buffer(size);
  uint32_t written = 0xDEADBEEF;
  const int32_t status =
      mdb::RunQuery(mdb::ShippedEnv(), category, key, &context, size, buffer.data(), &written);
  EXPECT_EQ(written, size);
  return {status, buffer};
}

class ShippedImage : public ::testing::Test {
 protected:
  void SetUp() override { plat::testing::Reset(); }
  void TearDown() override { EXPECT_EQ(plat::testing::LiveBlocks(), 0u); }
  QueryContext Context(const std::vector<int32_t>& settings) const {
    return QueryContext{nullptr, 0, 0, nullptr, static_cast<uint32_t>(settings.size()),
                        settings.empty() ? nullptr : settings.data(), nullptr};
  }
};

TEST_F(ShippedImage, Int16PairOfKey1006) {
  const Answer a = Ask(Category::Drv, 0x1006, Context({}));
  ASSERT_EQ(a.status, MPX_OK);
  EXPECT_EQ(a.bytes, (std::vector<uint8_t>{0x28, 0x23, 0x00, 0x00, 0xE0, 0x2E, 0x00, 0x00}));
}

TEST_F(ShippedImage, VersionTextOfKey0002) {
  const Answer a = Ask(Category::Root, 0x0002, Context({}));
  ASSERT_EQ(a.status, MPX_OK);
  EXPECT_EQ(a.bytes, (std::vector<uint8_t>{0x31, 0, 0x2E, 0, 0x35, 0, 0x32, 0, 0, 0}));
}

TEST_F(ShippedImage, UnsignedPairOfKey1005AndItsSignedReading) {
  const Answer a = Ask(Category::Drv, 0x1005, Context({}));
  ASSERT_EQ(a.status, MPX_OK);
  ASSERT_EQ(a.bytes.size(), 8u);
  int32_t values[2];
  std::memcpy(values, a.bytes.data(), sizeof values);
  EXPECT_EQ(values[0], 21590);
  EXPECT_EQ(values[1], 58420);

  // The same elements read as signed 16-bit values.
  const QueryContext context = Context({});
  mdb::DbNode leaf{};
  ASSERT_EQ(mdb::LookupKey(mdb::ShippedEnv(), 0x1005, &context, &leaf), MPX_OK);
  ASSERT_EQ(mdb::NodeTypeCode(leaf), static_cast<uint32_t>(mdb::NodeType::UInt16Array));
  const mdb::DbNode asSigned = mdb::MakeNode(mdb::NodeType::Int16Array, mdb::NodeIndex(leaf), leaf.value);
  uint32_t size = 0;
  ASSERT_EQ(mdb::FetchTypedValue(mdb::ShippedEnv(), &context, sizeof values, values, &size, asSigned),
            MPX_OK);
  EXPECT_EQ(values[0], 21590);
  EXPECT_EQ(values[1], -7116);
}

struct TreeRow {
  const char* name;
  std::vector<int32_t> settings;
  int32_t status;
  int32_t value;  // the single SignedBytes element on status 0
};

class Key1007Tree : public ShippedImage, public ::testing::WithParamInterface<TreeRow> {};

TEST_P(Key1007Tree, AnswersAsTheSettingsSelect) {
  const TreeRow& row = GetParam();
  const Answer a = Ask(Category::Drv, 0x1007, Context(row.settings));
  ASSERT_EQ(a.status, row.status);
  if (row.status == MPX_OK) {
    ASSERT_EQ(a.bytes.size(), 4u);
    int32_t value = 0;
    std::memcpy(&value, a.bytes.data(), sizeof value);
    EXPECT_EQ(value, row.value);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Settings, Key1007Tree,
    ::testing::Values(TreeRow{"GuardOpenSwitchOne", {0, 0, 0, 0, 3, 0, 0, 0, 0, 1}, MPX_OK, 8},
                      TreeRow{"GuardOpenSwitchZero", {0, 0, 0, 0, 3, 0, 0, 0, 0, 0}, MPX_OK, 24},
                      TreeRow{"GuardClosed", {0, 0, 0, 0, 2, 0, 0, 0, 0, 1}, MPX_NO_ANSWER, 0},
                      TreeRow{"NoCaseMatches", {0, 0, 0, 0, 3, 0, 0, 0, 0, 7}, MPX_NO_ANSWER, 0},
                      TreeRow{"SettingNineMissing", {0, 0, 0, 0, 3}, MPX_ERR_SETTINGS, 0},
                      TreeRow{"NoSettings", {}, MPX_ERR_SETTINGS, 0}),
    [](const auto& tp) { return std::string(tp.param.name); });

TEST_F(ShippedImage, SameRootAnswersKey103AAtItsOwnLeaf) {
  const std::vector<int32_t> settings = {0, 0, 0, 0, 3};
  const QueryContext context = Context(settings);
  mdb::DbNode leaf103A{};
  mdb::DbNode leaf1007{};
  ASSERT_EQ(mdb::LookupKey(mdb::ShippedEnv(), 0x103A, &context, &leaf103A), MPX_OK);
  EXPECT_EQ(mdb::NodeParam(leaf103A), 0x103A);
  // Evaluated from the root of 0x1007: the leaf comes before the switch on setting 9, which
  // is missing from these settings.
  uint32_t root = 0;
  ASSERT_EQ(mdb::DirectorySearch(*mdb::ShippedEnv().image, 0x1007, &root, nullptr), MPX_OK);
  ASSERT_EQ(mdb::EvaluateNode(mdb::ShippedEnv(), 0x103A, &context, root, &leaf1007), MPX_OK);
  EXPECT_EQ(leaf1007.tag, leaf103A.tag);
  EXPECT_EQ(leaf1007.value, leaf103A.value);
}

TEST_F(ShippedImage, AbsentKeyAndNullContext) {
  EXPECT_EQ(Ask(Category::Root, 0x0001, Context({})).status, MPX_KEY_NOT_FOUND);
  uint32_t size = 0;
  EXPECT_EQ(mdb::RunQuery(mdb::ShippedEnv(), Category::Root, 0x0000, nullptr, 0, nullptr, &size),
            MPX_ERR_CONTEXT);
}

}  // namespace
