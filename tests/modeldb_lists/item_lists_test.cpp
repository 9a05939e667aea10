// Item-list keys of the Drv dispatcher on a small hand-built image: ids from the tree or a
// category, spreading, the category check, completion queries, availability marks, tolerant
// and strict marking, and the rule that success leaves requiredSize as the caller had it.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <utility>
#include <vector>

#include "drv_lists.h"
#include "test_image.h"
#include "testing/fault_control.h"

namespace {

using mdbtest::TestImage;

constexpr uint32_t U = 0xCCCCCCCCu;  // a field the query leaves as the caller had it
constexpr uint32_t kSentinel = 0xA5A5A5A5u;

using Record = std::array<uint32_t, 5>;

std::vector<int32_t> Settings(std::initializer_list<std::pair<uint32_t, int32_t>> values,
                              size_t count = 95) {
  std::vector<int32_t> settings(count, 0);
  for (const auto& [index, value] : values) settings.at(index) = value;
  return settings;
}

std::vector<Record> Records(const std::vector<uint8_t>& bytes) {
  std::vector<Record> records(bytes.size() / 20);
  for (size_t r = 0; r < records.size(); ++r)
    for (size_t f = 0; f < 5; ++f) std::memcpy(&records[r][f], &bytes[20 * r + 4 * f], 4);
  return records;
}

// The image: categories 4, 5, 7 and 28, the list keys, their internal keys and two keys of
// the generic path.
TestImage ListImage() {
  TestImage db;
  db.Category(4, {{3, 15003}});
  db.Category(5, {{1, 15101}, {281, 15127}, {285, 15132}});
  db.Category(7, {{7, 15302}});
  db.Category(28, {{11, 15762}, {9, 15760}, {13, 15767}, {256, 15744}, {20, 15780}});

  // Setting 4.
  db.KeyLeaf(4108, db.SignedBytes(4108, {3}));
  db.Key(0x500C, db.SwitchLeaves(4, {{3, db.Int16(0x500C, {20003})}}));
  // Key 20491 has no answer with setting 44 = 1, which the derived context copies.
  db.Key(0x500B, db.Switch(44, {{0, db.SwitchLeaves(4, {{3, db.SignedBytes(0x500B, {1})}})}}));
  db.KeyLeaf(0x5003, db.SignedBytes(0x5003, {3, 1}));
  // Setting 5: 9 = 1 lists an id outside the category, 9 = 2 more ids than it holds.
  db.Key(4110, db.SwitchLeaves(9, {{0, db.Int16(4110, {1, 281, 285})},
                                   {1, db.Int16(4110, {1, 999})},
                                   {2, db.Int16(4110, {1, 1, 1, 1})}}));
  db.Key(0x5004, db.SwitchLeaves(4, {{3, db.Int16(0x5004, {281, 7})}}));
  db.KeyLeaf(4177, db.Int16(4177, {281, 285, 1}));
  // Setting 28. Key 4112 by setting 21: the subset, a subset ending too early, a short answer.
  db.Key(4112, db.SwitchLeaves(21, {{0, db.Int16(4112, {11, 256})},
                                    {1, db.Int16(4112, {11, 9})},
                                    {3, db.Bytes(4112, {11, 9})}}));
  db.KeyLeaf(4113, db.Int16(4113, {11, 9, 13, 256}));
  db.Key(4180, db.SwitchLeaves(40, {{0, db.Int16(4180, {9, 256})}, {1, db.Int16(4180, {9, 20})}}));
  db.Key(0x500E, db.SwitchLeaves(28, {{11, db.Int16(0x500E, {15712})},
                                      {9, db.Int16(0x500E, {15710})},
                                      {13, db.Int16(0x500E, {15717})},
                                      {256, db.Int16(0x500E, {15744})},
                                      {20, db.Int16(0x500E, {1, 2})}}));  // too long for a field
  // Setting 7; its mark by setting 20: right, three values, two bytes.
  db.KeyLeaf(4114, db.SignedBytes(4114, {7}));
  db.Key(0x5002, db.SwitchLeaves(20, {{0, db.SignedBytes(0x5002, {7, 1})},
                                      {1, db.SignedBytes(0x5002, {7, 1, 0})},
                                      {2, db.Bytes(0x5002, {7, 1})}}));
  // No category check; the mark needs setting 90.
  db.Key(4116, db.SwitchLeaves(45, {{0, db.SignedBytes(4116, {3, 1})},
                                    {1, db.SignedBytes(4116, {10, 11, 12, 13, 14, 15, 16})}}));
  db.Key(0x500D, db.SwitchLeaves(90, {{0, db.SignedBytes(0x500D, {3, 1})}}));
  // Setting 8: ids by media (setting 5), strict mark only for media 1.
  db.Key(4118, db.SwitchLeaves(5, {{1, db.SignedBytes(4118, {1, 4, 5})},
                                   {281, db.SignedBytes(4118, {1, 2})}}));
  db.KeyLeaf(4119, db.SignedBytes(4119, {1, 2, 3, 4, 5}));
  db.Key(0x5005, db.SwitchLeaves(5, {{1, db.SignedBytes(0x5005, {4, 1})}}));
  db.Key(0x5006, db.SwitchLeaves(8, {{1, db.SignedBytes(0x5006, {0})},
                                     {2, db.SignedBytes(0x5006, {1})},
                                     {4, db.SignedBytes(0x5006, {2})},
                                     {5, db.SignedBytes(0x5006, {3})}}));
  db.Key(0x5007, db.SwitchLeaves(8, {{1, db.SignedBytes(0x5007, {-2})},
                                     {2, db.SignedBytes(0x5007, {-2})},
                                     {4, db.SignedBytes(0x5007, {-3})},
                                     {5, db.SignedBytes(0x5007, {-4})}}));
  // Key 4174 is empty with setting 42 = 1.
  db.KeyLeaf(4173, db.SignedBytes(4173, {0, 1}));
  db.Key(4174, db.SwitchLeaves(42, {{0, db.SignedBytes(4174, {0, 1})},
                                   {1, db.SignedBytes(4174, {})}}));
  db.KeyLeaf(0x5010, db.SignedBytes(0x5010, {0, 1}));
  // The generic path.
  db.KeyLeaf(4117, db.SignedBytes(4117, {0, 1, 0, 0}));
  db.KeyLeaf(4175, db.SignedBytes(4175, {1}));
  return db;
}

class ItemListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::testing::Reset();
    image_ = db_.Build();
  }
  void TearDown() override { EXPECT_EQ(plat::testing::LiveBlocks(), 0u); }

  int32_t Query(uint32_t key, const std::vector<int32_t>& settings, uint32_t bufferSize,
                void* buffer, uint32_t* requiredSize) {
    const QueryContext context = mdbtest::ContextWith(settings);
    return mdb::DrvDispatch(env_, key, &context, bufferSize, buffer, requiredSize);
  }

  // Fills a buffer of `records` records with U and queries into it.
  int32_t Fill(uint32_t key, const std::vector<int32_t>& settings, size_t records,
               std::vector<Record>* answer, uint32_t* requiredSize) {
    std::vector<uint8_t> buffer(20 * records, 0xCC);
    const int32_t status = Query(key, settings, static_cast<uint32_t>(buffer.size()),
                                 buffer.data(), requiredSize);
    *answer = Records(buffer);
    return status;
  }

  TestImage db_ = ListImage();
  mdb::DbImage image_{};
  mdb::QueryEnv env_{&image_, nullptr};
};

TEST_F(ItemListTest, RecordsOfEveryListKind) {
  const struct {
    uint32_t key;
    std::vector<int32_t> settings;
    std::vector<Record> records;
  } cases[] = {
      // Completion of setting 4 (fields 2 and 3) and its mark.
      {4108, Settings({{4, 3}}), {{3, 15003, 20003, 1, 1}}},
      {4109, Settings({{4, 3}}), {{3, 15003, 20003, 1, 1}}},
      // Spreading clears the 32-bit slots the ids came in (record 0's fields 1 and 2);
      // the fields no step assigns stay as they were.
      {4110, Settings({{4, 3}}),
       {{1, 15101, 0, U, 0}, {281, 15127, U, U, 7}, {285, 15132, U, U, 0}}},
      {4111, Settings({{4, 3}}),
       {{1, 15101, 0, U, 0}, {281, 15127, U, U, 7}, {285, 15132, U, U, 0}}},
      // A mark key without an answer for these settings leaves every mark 0.
      {4110, Settings({{4, 2}}),
       {{1, 15101, 0, U, 0}, {281, 15127, U, U, 0}, {285, 15132, U, U, 0}}},
      {4177, Settings({}), {{281, 15127, 0, U, U}, {285, 15132, U, U, U}, {1, 15101, U, U, U}}},
      {4112, Settings({}), {{11, 15762, 15712, U, U}, {256, 15744, 15744, U, U}}},
      // Field 3 marks the ids key 4112 does not list.
      {4113, Settings({}),
       {{11, 15762, 15712, 0, U}, {9, 15760, 15710, 1, U}, {13, 15767, 15717, 1, U},
        {256, 15744, 15744, 0, U}}},
      // The mark key of 4180 is not in the directory: every mark 0.
      {4180, Settings({}), {{9, 15760, 15710, U, 0}, {256, 15744, 15744, U, 0}}},
      {4114, Settings({}), {{7, 15302, U, U, 1}}},
      {4115, Settings({}), {{7, 15302, U, U, 1}}},
      {4116, Settings({}), {{3, 0, U, U, 1}, {1, U, U, U, 0}}},
      // Seven ids: id 1 arrives in slot 1 and goes to slot 5, which still holds id 5 until
      // id 5 has moved on to slot 25.
      {4116, Settings({{45, 1}}),
       {{10, 0, 0, 0, 0}, {11, 0, U, U, 0}, {12, U, U, U, 0}, {13, U, U, U, 0}, {14, U, U, U, 0},
        {15, U, U, U, 0}, {16, U, U, U, 0}}},
      {4173, Settings({}), {{0, 0, U, U, 1}, {1, U, U, U, 0}}},
      {4174, Settings({}), {{0, 0, U, U, 1}, {1, U, U, U, 0}}},
      // Setting 8: fields 1 and 2 from keys 20486 and 20487 (4118 only), strict marks.
      {4118, Settings({{5, 1}}),
       {{1, 0, static_cast<uint32_t>(-2), U, 0}, {4, 2, static_cast<uint32_t>(-3), U, 1},
        {5, 3, static_cast<uint32_t>(-4), U, 0}}},
      {4119, Settings({{5, 1}}),
       {{1, 0, 0, 0, 0}, {2, U, U, U, 0}, {3, U, U, U, 0}, {4, U, U, U, 1}, {5, U, U, U, 0}}},
  };
  for (const auto& c : cases) {
    const auto needed = static_cast<uint32_t>(20 * c.records.size());
    uint32_t required = kSentinel;
    EXPECT_EQ(Query(c.key, c.settings, 0, nullptr, &required), MPX_BUFFER_TOO_SMALL) << c.key;
    EXPECT_EQ(required, needed) << c.key;
    std::vector<uint8_t> shortBuffer(needed, 0xCC);
    required = kSentinel;
    EXPECT_EQ(Query(c.key, c.settings, needed - 1, shortBuffer.data(), &required),
              MPX_BUFFER_TOO_SMALL)
        << c.key;
    EXPECT_EQ(required, needed) << c.key;
    EXPECT_EQ(shortBuffer, std::vector<uint8_t>(needed, 0xCC)) << c.key;

    std::vector<Record> answer;
    required = kSentinel;
    EXPECT_EQ(Fill(c.key, c.settings, c.records.size(), &answer, &required), MPX_OK) << c.key;
    EXPECT_EQ(answer, c.records) << c.key;
    EXPECT_EQ(required, kSentinel) << "success leaves requiredSize alone, key " << c.key;
  }
}

TEST_F(ItemListTest, FailuresAndTheirStatuses) {
  const struct {
    const char* what;
    uint32_t key;
    std::vector<int32_t> settings;
    int32_t status;
  } cases[] = {
      {"no ids for these settings", 4110, Settings({{9, 3}}), MPX_NO_ANSWER},
      {"an id outside its category", 4110, Settings({{9, 1}}), MPX_NO_ANSWER},
      {"more ids than the category holds", 4110, Settings({{9, 2}}), MPX_ERR_DATABASE},
      {"a completion key without an answer", 4108, Settings({{44, 1}}), MPX_NO_ANSWER},
      {"a completion value longer than a field", 4180, Settings({{40, 1}}), MPX_ERR_DATABASE},
      {"completion of setting 4 with 4 settings", 4108, Settings({}, 4), MPX_ERR_SETTINGS},
      {"completion of setting 28 with 28 settings", 4112, Settings({}, 28), MPX_ERR_SETTINGS},
      {"completion of setting 8 with 8 settings", 4118, Settings({{5, 1}}, 8), MPX_ERR_SETTINGS},
      {"completion without settings", 4109, {}, MPX_ERR_SETTINGS},
      {"a tolerant mark key failing otherwise", 4116, Settings({}, 60), MPX_ERR_SETTINGS},
      {"a mark of three values", 4114, Settings({{20, 1}}), MPX_ERR_DATABASE},
      {"a mark of two bytes", 4114, Settings({{20, 2}}), MPX_ERR_DATABASE},
      {"a strict mark key without an answer", 4118, Settings({{5, 281}, {8, 1}}), MPX_NO_ANSWER},
      {"a strict mark key without an answer", 4119, Settings({{5, 281}}), MPX_NO_ANSWER},
      {"key 4112 ending before the last record", 4113, Settings({{21, 1}}), MPX_ERR_DATABASE},
      {"key 4112 without an answer", 4113, Settings({{21, 2}}), MPX_NO_ANSWER},
      {"key 4112 answering bytes", 4113, Settings({{21, 3}}), MPX_ERR_DATABASE},
  };
  for (const auto& c : cases) {
    std::vector<Record> answer;
    uint32_t required = kSentinel;
    EXPECT_EQ(Fill(c.key, c.settings, 8, &answer, &required), c.status) << c.what;
    EXPECT_EQ(required, kSentinel) << c.what;
    EXPECT_EQ(plat::testing::LiveBlocks(), 0u) << c.what;
  }
}

TEST_F(ItemListTest, EnoughSettingsForTheCompletion) {
  std::vector<Record> answer;
  uint32_t required = kSentinel;
  EXPECT_EQ(Fill(4108, Settings({{4, 3}}, 5), 1, &answer, &required), MPX_OK);
  EXPECT_EQ(answer, (std::vector<Record>{{3, 15003, 20003, 1, 1}}));
  // The derived context copies the caller's settings and the completion sees its own id.
  EXPECT_EQ(Fill(4112, Settings({{28, 13}}, 29), 2, &answer, &required), MPX_OK);
  EXPECT_EQ(answer[0][2], 15712u);
  EXPECT_EQ(answer[1][2], 15744u);
}

TEST_F(ItemListTest, AnEmptyListHasNoRecords) {
  uint32_t required = kSentinel;
  uint8_t byte = 0xCC;
  EXPECT_EQ(Query(4174, Settings({{42, 1}}), 1, &byte, &required), MPX_OK);
  EXPECT_EQ(required, kSentinel);
  EXPECT_EQ(byte, 0xCC);
  EXPECT_EQ(Query(4174, Settings({{42, 1}}), 0, nullptr, &required), MPX_BUFFER_TOO_SMALL);
  EXPECT_EQ(required, 0u);
}

TEST_F(ItemListTest, OtherDrvKeysTakeTheGenericPath) {
  std::vector<uint8_t> buffer(16, 0);
  uint32_t required = 0;
  EXPECT_EQ(Query(4117, Settings({}), 16, buffer.data(), &required), MPX_OK);
  EXPECT_EQ(required, 16u);
  EXPECT_EQ(buffer, (std::vector<uint8_t>{0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Query(4175, Settings({}), 0, nullptr, &required), MPX_BUFFER_TOO_SMALL);
  EXPECT_EQ(required, 4u);
  EXPECT_EQ(Query(4127, Settings({}), 0, nullptr, &required), MPX_KEY_NOT_FOUND);
  // Only the low 16 bits of the key count.
  std::vector<Record> answer;
  required = kSentinel;
  EXPECT_EQ(Fill(0x10000u | 4115, Settings({}), 1, &answer, &required), MPX_OK);
  EXPECT_EQ(answer, (std::vector<Record>{{7, 15302, U, U, 1}}));
}

TEST_F(ItemListTest, MalformedCategoryTables) {
  const struct {
    const char* what;
    void (*spoil)(mdb::DbImage&);
    uint32_t key;
    int32_t status;
  } cases[] = {
      {"no category table", [](mdb::DbImage& i) { i.categoryIds = nullptr; }, 4111, MPX_NO_ANSWER},
      {"no item pool", [](mdb::DbImage& i) { i.itemValues = nullptr; }, 4111, MPX_NO_ANSWER},
      {"no category table for the check", [](mdb::DbImage& i) { i.categoryStarts = nullptr; },
       4110, MPX_NO_ANSWER},
      {"category 5 not listed", [](mdb::DbImage& i) { i.counts[mdb::kCategoryCount] = 1; }, 4111,
       MPX_NO_ANSWER},
      // Category 5 holds item-pool entries 1-3.
      {"category items past the pool", [](mdb::DbImage& i) { i.counts[mdb::kItemCount] = 3; },
       4111, MPX_ERR_DATABASE},
      {"checked items past the pool", [](mdb::DbImage& i) { i.counts[mdb::kItemCount] = 3; }, 4110,
       MPX_ERR_DATABASE},
      // Positions are tested as they are read: category 28 holds entries 5-9, and the ids of
      // key 4112 (entries 5 and 8) are found before the search reaches the missing entry 9.
      {"checked ids found before the end of the pool",
       [](mdb::DbImage& i) { i.counts[mdb::kItemCount] = 9; }, 4112, MPX_OK},
  };
  for (const auto& c : cases) {
    image_ = db_.Build();
    c.spoil(image_);
    std::vector<Record> answer;
    uint32_t required = kSentinel;
    EXPECT_EQ(Fill(c.key, Settings({{4, 3}}), 3, &answer, &required), c.status) << c.what;
    EXPECT_EQ(required, kSentinel) << c.what;
  }
}

TEST_F(ItemListTest, EveryFailedAllocationIsReleasedAndReported) {
  const struct {
    uint32_t key;
    std::vector<int32_t> settings;
    size_t records;
  } cases[] = {
      {4108, Settings({{4, 3}}), 1},  // the derived context
      {4113, Settings({}), 4},        // the derived context and key 4112's ids
      {4118, Settings({{5, 1}}), 3},
  };
  for (const auto& c : cases) {
    plat::testing::Reset();
    std::vector<Record> answer;
    uint32_t required = kSentinel;
    ASSERT_EQ(Fill(c.key, c.settings, c.records, &answer, &required), MPX_OK) << c.key;
    const uint32_t allocations = plat::testing::AllocationCount();
    EXPECT_GT(allocations, 0u) << c.key;
    for (uint32_t nth = 1; nth <= allocations; ++nth) {
      plat::testing::Reset();
      plat::testing::FailAllocation(nth);
      required = kSentinel;
      EXPECT_EQ(Fill(c.key, c.settings, c.records, &answer, &required), MPX_ERR_DATABASE)
          << c.key << " allocation " << nth;
      EXPECT_EQ(required, kSentinel);
      EXPECT_EQ(plat::testing::LiveBlocks(), 0u) << c.key << " allocation " << nth;
    }
  }
}

TEST_F(ItemListTest, AMissingSizeOutputIsRefused) {
  std::vector<uint8_t> buffer(20, 0);
  EXPECT_EQ(Query(4109, Settings({{4, 3}}), 20, buffer.data(), nullptr), MPX_ERR_DATABASE);
}

}  // namespace
