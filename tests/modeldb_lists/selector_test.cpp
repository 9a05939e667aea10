// Selector key 4126: the first selector record matching six settings picks four rows, which
// are copied into a 192-byte answer whose last 20 bytes are never written.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

#include "drv_lists.h"
#include "test_image.h"
#include "testing/fault_control.h"

namespace {

using mdbtest::TestImage;

constexpr uint32_t kSelector = 4126;
constexpr uint32_t kSentinel = 0xA5A5A5A5u;

// Settings 4, 9, 5, 8, 6 and 81 as a selector record lists them.
struct Choice {
  int32_t s4, s9, s5, s8, s6, s81;
};

std::vector<int32_t> SettingsFor(const Choice& c, size_t count = 95) {
  std::vector<int32_t> settings(count, 0);
  settings.at(4) = c.s4;
  settings.at(9) = c.s9;
  settings.at(5) = c.s5;
  settings.at(8) = c.s8;
  settings.at(6) = c.s6;
  if (count > 81) settings.at(81) = c.s81;
  return settings;
}

mdb::SelectorRecord Record(const Choice& c, uint16_t r1, uint16_t r2, uint16_t r3, uint16_t r4) {
  auto s16 = [](int32_t v) { return static_cast<int16_t>(v); };
  return {s16(c.s4), s16(c.s9), s16(c.s5), s16(c.s8), s16(c.s6), s16(c.s81), r1, r2, r3, r4};
}

// The rows, each filled with a byte telling table and row: 0x10 + row for table 1, 0x20 +
// row for table 2 and so on, and its first byte the row size.
std::vector<uint8_t> Row(uint32_t table, uint16_t row) {
  std::vector<uint8_t> bytes(mdb::kSelectorRowSize[table],
                             static_cast<uint8_t>(0x10 * (table + 1) + row));
  bytes[0] = static_cast<uint8_t>(mdb::kSelectorRowSize[table]);
  return bytes;
}

std::vector<uint8_t> Expected(uint16_t r1, uint16_t r2, uint16_t r3, uint16_t r4) {
  std::vector<uint8_t> all;
  const uint16_t rows[] = {r1, r2, r3, r4};
  for (uint32_t t = 0; t < 4; ++t) {
    const auto row = Row(t, rows[t]);
    all.insert(all.end(), row.begin(), row.end());
  }
  all.resize(192, 0xEE);  // bytes 172-191 as the caller left them
  return all;
}

constexpr Choice kFirst{3, 0, 1, 1, 1, 0};
constexpr Choice kSecond{3, 1, 263, 5, 2, 0};
constexpr Choice kNegative{3, 0, 5, 1, -1, 1};
constexpr Choice kBadRow{3, 0, 7, 1, 1, 0};

class SelectorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::testing::Reset();
    const uint16_t rowCounts[] = {3, 1, 2, 2};
    for (uint32_t t = 0; t < 4; ++t)
      for (uint16_t r = 0; r < rowCounts[t]; ++r) db_.Row(t, 0, Row(t, r));
    db_.selectors = {Record(kFirst, 0, 0, 0, 0), Record(kSecond, 2, 0, 1, 1),
                     Record(kSecond, 1, 0, 0, 0),  // never used: the first match wins
                     Record(kNegative, 1, 0, 1, 0), Record(kBadRow, 3, 0, 0, 0)};
    image_ = db_.Build();
  }
  void TearDown() override { EXPECT_EQ(plat::testing::LiveBlocks(), 0u); }

  int32_t Query(const std::vector<int32_t>& settings, uint32_t bufferSize, void* buffer,
                uint32_t* requiredSize) {
    const QueryContext context = mdbtest::ContextWith(settings);
    return mdb::DrvDispatch(env_, kSelector, &context, bufferSize, buffer, requiredSize);
  }

  TestImage db_;
  mdb::DbImage image_{};
  mdb::QueryEnv env_{&image_, nullptr};
};

TEST_F(SelectorTest, TheFirstMatchingRecordPicksTheRows) {
  const struct {
    Choice choice;
    std::vector<uint8_t> expected;
  } cases[] = {
      {kFirst, Expected(0, 0, 0, 0)},
      {kSecond, Expected(2, 0, 1, 1)},
      {kNegative, Expected(1, 0, 1, 0)},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> buffer(192, 0xEE);
    uint32_t required = kSentinel;
    EXPECT_EQ(Query(SettingsFor(c.choice), 192, buffer.data(), &required), MPX_OK);
    EXPECT_EQ(required, 192u);
    EXPECT_EQ(buffer, c.expected);
  }
}

TEST_F(SelectorTest, EverySettingMustMatch) {
  const Choice misses[] = {
      {2, 0, 1, 1, 1, 0}, {3, 2, 1, 1, 1, 0}, {3, 0, 2, 1, 1, 0},
      {3, 0, 1, 2, 1, 0}, {3, 0, 1, 1, 2, 0}, {3, 0, 1, 1, 1, 1},
      // A record value is a signed 16-bit value: -1 is not 65535, and 1 is not 65537.
      {3, 0, 5, 1, 65535, 1}, {65539, 0, 1, 1, 1, 0},
  };
  for (const Choice& miss : misses) {
    std::vector<uint8_t> buffer(192, 0xEE);
    uint32_t required = kSentinel;
    EXPECT_EQ(Query(SettingsFor(miss), 192, buffer.data(), &required), MPX_NO_ANSWER);
    EXPECT_EQ(required, kSentinel);
    EXPECT_EQ(buffer, std::vector<uint8_t>(192, 0xEE));
  }
}

TEST_F(SelectorTest, SizeAndSettingChecks) {
  std::vector<uint8_t> buffer(192, 0xEE);
  uint32_t required = kSentinel;
  EXPECT_EQ(Query(SettingsFor(kFirst), 191, buffer.data(), &required), MPX_BUFFER_TOO_SMALL);
  EXPECT_EQ(required, 192u);
  EXPECT_EQ(buffer, std::vector<uint8_t>(192, 0xEE));
  required = kSentinel;
  EXPECT_EQ(Query(SettingsFor(kFirst), 192, nullptr, &required), MPX_BUFFER_TOO_SMALL);
  EXPECT_EQ(required, 192u);
  // The size is known before any record is tried.
  required = kSentinel;
  EXPECT_EQ(Query(SettingsFor({1, 1, 1, 1, 1, 1}), 0, nullptr, &required), MPX_BUFFER_TOO_SMALL);
  EXPECT_EQ(required, 192u);
  // Setting 81 needs 82 entries, and the settings come before the size.
  required = kSentinel;
  EXPECT_EQ(Query(SettingsFor(kFirst, 81), 0, nullptr, &required), MPX_ERR_SETTINGS);
  EXPECT_EQ(Query({}, 192, buffer.data(), &required), MPX_ERR_SETTINGS);
  EXPECT_EQ(required, kSentinel);
  EXPECT_EQ(Query(SettingsFor(kFirst, 82), 192, buffer.data(), &required), MPX_OK);
}

TEST_F(SelectorTest, MalformedTables) {
  const struct {
    const char* what;
    void (*spoil)(mdb::DbImage&);
    Choice choice;
  } cases[] = {
      {"a row index past its table", [](mdb::DbImage&) {}, kBadRow},
      {"a row table shorter than its records need",
       [](mdb::DbImage& i) { i.counts[mdb::kRowTable4Count] = 1; }, kSecond},
      {"no selector records", [](mdb::DbImage& i) { i.selectors = nullptr; }, kFirst},
      {"no row table 3", [](mdb::DbImage& i) { i.rowTables[2] = nullptr; }, kFirst},
  };
  for (const auto& c : cases) {
    image_ = db_.Build();
    c.spoil(image_);
    std::vector<uint8_t> buffer(192, 0xEE);
    uint32_t required = kSentinel;
    EXPECT_EQ(Query(SettingsFor(c.choice), 192, buffer.data(), &required), MPX_ERR_DATABASE)
        << c.what;
    EXPECT_EQ(required, kSentinel) << c.what;
    EXPECT_EQ(buffer, std::vector<uint8_t>(192, 0xEE)) << c.what;
  }
  // An absent table is reported before the settings are looked at.
  image_ = db_.Build();
  image_.rowTables[0] = nullptr;
  uint32_t required = kSentinel;
  EXPECT_EQ(Query({}, 0, nullptr, &required), MPX_ERR_DATABASE);
}

}  // namespace
