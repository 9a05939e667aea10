// Command-sequence keys: parts evaluated for key 20488 from the listed nodes, absent parts
// skipped, sized in a first pass and joined in a second.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "drv_lists.h"
#include "test_image.h"
#include "testing/fault_control.h"

namespace {

using mdbtest::TestImage;

constexpr uint16_t kFragments = 0x5008;
constexpr uint32_t kSentinel = 0xA5A5A5A5u;

const std::vector<uint8_t> kBandStart = {0x1B, 0x28, 0x62, 0x01, 0x00, 0x01};
const std::vector<uint8_t> kJobLeadIn = {0x1B, 0x5B, 0x4B, 0x02, 0x00, 0x00, 0x0F};

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

std::vector<uint8_t> TimeCommand(const std::string& digits) {
  const std::string lines =
      "QXLSTART\nControlMode=Common\nSetTime=" + digits + "\nQXLEND\n";
  return Join({{0x1B, 0x5B, 0x4B, 0x02, 0x00, 0x00, 0x1F}, {lines.begin(), lines.end()}});
}

std::vector<int32_t> Settings(std::initializer_list<std::pair<uint32_t, int32_t>> values) {
  std::vector<int32_t> settings(95, 0);
  for (const auto& [index, value] : values) settings.at(index) = value;
  return settings;
}

class CommandSequenceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::testing::Reset();
    plat::testing::SetClock({2002, 2, 5, 8, 9, 5, 3, 0});
    const uint32_t bandStart = db_.Add(db_.Bytes(kFragments, kBandStart));
    const uint32_t jobLeadIn = db_.Add(db_.Bytes(kFragments, kJobLeadIn));
    const uint32_t time = db_.Add(TestImage::Computed(kFragments, 5));
    const uint32_t pageFormat = db_.Add(TestImage::Computed(kFragments, 1));
    // Option flags only with setting 82 = 1; absent otherwise.
    const uint32_t optionFlags =
        db_.SwitchLeaves(82, {{1, TestImage::Computed(kFragments, 6)}});
    // A leaf of another key: never a part.
    const uint32_t otherKey = db_.Add(db_.Bytes(0x1234, {0x55}));
    // A switch on a setting no context has: -3.
    const uint32_t broken = db_.SwitchLeaves(200, {{0, db_.Bytes(kFragments, {0x66})}});

    db_.List(4121, {bandStart, otherKey, pageFormat, bandStart});
    db_.List(4120, {time, jobLeadIn, optionFlags});
    db_.List(4122, {bandStart, broken});
    db_.List(4123, {otherKey, optionFlags});  // absent parts only
    db_.List(4124, {bandStart});
    db_.List(4124, {jobLeadIn});  // the first entry of a key wins
    db_.List(4125, {});
    image_ = db_.Build();
  }
  void TearDown() override { EXPECT_EQ(plat::testing::LiveBlocks(), 0u); }

  int32_t Query(uint32_t key, const std::vector<int32_t>& settings, uint32_t bufferSize,
                void* buffer, uint32_t* requiredSize) {
    const QueryContext context = mdbtest::ContextWith(settings);
    return mdb::DrvDispatch(env_, key, &context, bufferSize, buffer, requiredSize);
  }

  // Size query, then a buffer of exactly that size.
  std::vector<uint8_t> Answer(uint32_t key, const std::vector<int32_t>& settings) {
    uint32_t total = kSentinel;
    EXPECT_EQ(Query(key, settings, 0, nullptr, &total), MPX_BUFFER_TOO_SMALL);
    std::vector<uint8_t> buffer(total, 0xEE);
    uint32_t written = kSentinel;
    EXPECT_EQ(Query(key, settings, total, buffer.data(), &written), MPX_OK);
    EXPECT_EQ(written, total);
    return buffer;
  }

  TestImage db_;
  mdb::DbImage image_{};
  mdb::QueryEnv env_{&image_, nullptr};
};

TEST_F(CommandSequenceTest, PartsAreJoinedInOrderWithoutSeparators) {
  const auto time = TimeCommand("20020208090503");
  EXPECT_EQ(Answer(4120, Settings({})), Join({time, kJobLeadIn}));
  const auto withFlags = Answer(4120, Settings({{82, 1}, {79, 1 << 23}, {80, 3}}));
  EXPECT_EQ(withFlags, Join({time, kJobLeadIn,
                             {0x1B, 0x28, 0x24, 0x07, 0x00, 0x01, 0x00, 0x01, 0x00, 0x03, 0x00,
                              0x01}}));
  // The page-format command of 100 x 150 mm between two stored parts; the leaf of another
  // key is no part.
  const std::vector<uint8_t> pageFormat = {
      0x1B, 0x28, 0x70, 0x2E, 0x00, 0x01, 0x50, 0x00, 0x00, 0x00, 0xDD, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x02, 0x58, 0x00, 0x00, 0x00, 0x50, 0x00, 0x00, 0x00,
      0x46, 0x00, 0x00, 0x08, 0x9A, 0x00, 0x00, 0x0D, 0x1B, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x09, 0x3B, 0x00, 0x00, 0x0D, 0xD8};
  EXPECT_EQ(Answer(4121, Settings({{29, 10000}, {30, 15000}})),
            Join({kBandStart, pageFormat, kBandStart}));
  EXPECT_EQ(Answer(4124, Settings({})), kBandStart);
}

TEST_F(CommandSequenceTest, SizeProtocol) {
  const auto settings = Settings({});
  const uint32_t total = 65 + 7;
  // One byte short: the total, nothing copied.
  std::vector<uint8_t> buffer(total + 8, 0xEE);
  uint32_t required = kSentinel;
  EXPECT_EQ(Query(4120, settings, total - 1, buffer.data(), &required), MPX_BUFFER_TOO_SMALL);
  EXPECT_EQ(required, total);
  EXPECT_EQ(buffer, std::vector<uint8_t>(total + 8, 0xEE));
  // A null buffer is a size query whatever bufferSize claims.
  required = kSentinel;
  EXPECT_EQ(Query(4120, settings, 100000, nullptr, &required), MPX_BUFFER_TOO_SMALL);
  EXPECT_EQ(required, total);
  // A larger buffer: the bytes past the answer stay.
  required = kSentinel;
  EXPECT_EQ(Query(4120, settings, total + 8, buffer.data(), &required), MPX_OK);
  EXPECT_EQ(required, total);
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + total, buffer.end()),
            std::vector<uint8_t>(8, 0xEE));
}

TEST_F(CommandSequenceTest, ComputedPartsAreOnlySizedInTheFirstPass) {
  // A clock the time-setting command cannot show: sizing still works, filling fails.
  plat::testing::SetClock({10000, 1, 0, 1, 0, 0, 0, 0});
  uint32_t required = kSentinel;
  EXPECT_EQ(Query(4120, Settings({}), 0, nullptr, &required), MPX_BUFFER_TOO_SMALL);
  EXPECT_EQ(required, 72u);
  std::vector<uint8_t> buffer(72, 0xEE);
  required = kSentinel;
  EXPECT_EQ(Query(4120, Settings({}), 72, buffer.data(), &required), MPX_ERR_DATABASE);
  EXPECT_EQ(required, kSentinel);
}

TEST_F(CommandSequenceTest, NoPresentPartIsAnEmptyAnswer) {
  for (uint32_t key : {4123u, 4125u}) {
    uint8_t byte = 0xEE;
    uint32_t required = kSentinel;
    EXPECT_EQ(Query(key, Settings({}), 1, &byte, &required), MPX_OK) << key;
    EXPECT_EQ(required, 0u);
    EXPECT_EQ(byte, 0xEE);
    required = kSentinel;
    EXPECT_EQ(Query(key, Settings({}), 0, nullptr, &required), MPX_BUFFER_TOO_SMALL) << key;
    EXPECT_EQ(required, 0u);
  }
}

TEST_F(CommandSequenceTest, FailuresAndTheirStatuses) {
  const struct {
    const char* what;
    void (*spoilSource)(TestImage&);
    void (*spoil)(mdb::DbImage&);
    uint32_t key;
    int32_t status;
  } cases[] = {
      {"a part failing to evaluate", nullptr, nullptr, 4122, MPX_ERR_SETTINGS},
      {"a node index past the nodes",
       [](TestImage& db) { db.nodeIndexList[1] = static_cast<uint32_t>(db.nodes.size()); },
       nullptr, 4121, MPX_ERR_DATABASE},
      // Key 4121's parts are entries 0-3 of the node-index list.
      {"a list running past the node-index list", nullptr,
       [](mdb::DbImage& i) { i.counts[mdb::kNodeIndexCount] = 3; }, 4121, MPX_ERR_DATABASE},
      {"a key the list table does not hold", nullptr,
       [](mdb::DbImage& i) { i.counts[mdb::kListKeyCount] = 2; }, 4123, MPX_NO_ANSWER},
      {"no list table", nullptr, [](mdb::DbImage& i) { i.listStarts = nullptr; }, 4120,
       MPX_NO_ANSWER},
      {"no node-index list", nullptr, [](mdb::DbImage& i) { i.nodeIndexList = nullptr; }, 4120,
       MPX_NO_ANSWER},
      {"no node table", nullptr, [](mdb::DbImage& i) { i.nodes = nullptr; }, 4120,
       MPX_NO_ANSWER},
      // A stored part whose bytes lie outside the pool: the first pass sizes it, the second
      // refuses to copy it.
      {"a part outside its pool", nullptr, [](mdb::DbImage& i) { i.counts[mdb::kByteCount] = 3; },
       4124, MPX_ERR_DATABASE},
  };
  for (const auto& c : cases) {
    TestImage db = db_;
    if (c.spoilSource != nullptr) c.spoilSource(db);
    image_ = db.Build();
    if (c.spoil != nullptr) c.spoil(image_);
    std::vector<uint8_t> buffer(256, 0xEE);
    uint32_t required = kSentinel;
    EXPECT_EQ(Query(c.key, Settings({}), 256, buffer.data(), &required), c.status) << c.what;
    EXPECT_EQ(required, kSentinel) << c.what;
    EXPECT_EQ(plat::testing::LiveBlocks(), 0u) << c.what;
  }
}

TEST_F(CommandSequenceTest, AFailedAllocationIsReported) {
  std::vector<uint8_t> buffer(256, 0xEE);
  uint32_t required = kSentinel;
  ASSERT_EQ(Query(4121, Settings({}), 256, buffer.data(), &required), MPX_OK);
  const uint32_t allocations = plat::testing::AllocationCount();
  ASSERT_GT(allocations, 0u);
  for (uint32_t nth = 1; nth <= allocations; ++nth) {
    plat::testing::Reset();
    plat::testing::FailAllocation(nth);
    required = kSentinel;
    EXPECT_EQ(Query(4121, Settings({}), 256, buffer.data(), &required), MPX_ERR_DATABASE) << nth;
    EXPECT_EQ(required, kSentinel);
    EXPECT_EQ(plat::testing::LiveBlocks(), 0u) << nth;
  }
}

}  // namespace
