// The keys whose values only the host interprets: their answers must keep the shape the
// host parses (counts, fixed entries, ranges), for every input that selects them.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "host_query.h"

namespace {

using dbtest::Answer;
using dbtest::Ask;
using dbtest::Category;
using dbtest::HostState;
using dbtest::Settings;
using dbtest::Strings;
using dbtest::Values;

std::vector<int32_t> ValuesOf(Category c, uint32_t key, const HostState& state) {
  const Answer a = Ask(c, key, state);
  EXPECT_EQ(a.status, MPX_OK);
  return Values(a);
}

bool InRange(int32_t v, int32_t lo, int32_t hi) { return v >= lo && v <= hi; }

struct CountCase {
  const char* what;
  uint32_t key;
  HostState state;
  size_t count;
};

// The LM lists keep their length whatever selects them.
TEST(DbShapes, LmListLengths) {
  std::vector<CountCase> cases;
  for (const auto& pair : dbtest::StatusPairs()) cases.push_back({"8204", 8204, Strings({{1, pair}}), 17});
  for (const char* op : {"", "ChangeHead", "ChangeTank", "Cleaning", "RollerCleaning", "TestPrint"})
    cases.push_back({"8223", 8223, Strings({{4, op}}), 5});
  for (const char* gal : {"GAL,N", "GAL,W", ""}) cases.push_back({"8241", 8241, Strings({{2, gal}}), 14});
  for (int32_t s2 : {49, 0x0B31, 0, 0x0B00})
    cases.push_back({"8243", 8243, Settings({{2, s2}}), 7});
  for (int32_t s11 : {0x3F, 0x7F, 0, 0x15}) cases.push_back({"8244", 8244, Settings({{11, s11}}), 72});
  for (int32_t s2 : {0x0B00, 0x0B31, 0, 49}) cases.push_back({"8245", 8245, Settings({{2, s2}}), 7});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ValuesOf(Category::LM, c.key, c.state).size(), c.count);
  }
}

// The empty operation name is a case of its own: a null string entry counts as empty
// and selects it too, while a name the tree does not list selects nothing.
TEST(DbShapes, EmptyOperationNameSelects) {
  const std::vector<int32_t> empty = ValuesOf(Category::LM, 8223, Strings({{4, ""}}));
  EXPECT_NE(empty, ValuesOf(Category::LM, 8223, Strings({{4, "Cleaning"}})));

  const char* strings[5] = {"", "", "", "", nullptr};
  const int32_t settings[13] = {};
  QueryContext ctx{};
  ctx.stringCount = 5;
  ctx.strings = strings;
  ctx.settingCount = 13;
  ctx.settings = settings;
  std::vector<uint8_t> buffer(64);
  uint32_t size = 0;
  ASSERT_EQ(MPX_AccessLMDataBase(8223, &ctx, static_cast<uint32_t>(buffer.size()), buffer.data(), &size), MPX_OK);
  Answer viaNull;
  viaNull.bytes.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(size));
  EXPECT_EQ(Values(viaNull), empty);

  EXPECT_EQ(Ask(Category::LM, 8223, Strings({{4, "Idle"}})).status, MPX_NO_ANSWER);
}

// Mnt 12289: eight entries of ten values in a fixed order of entry numbers and codes.
TEST(DbShapes, MaintenanceMenu) {
  const std::vector<int32_t> v = ValuesOf(Category::Mnt, 12289, HostState{});
  ASSERT_EQ(v.size(), 80u);
  const int32_t entries[8] = {0, 1, 4, 5, 6, 7, 10, 11};
  const int32_t codes[8] = {100, 200, 1100, 500, 900, 1000, 1200, 1600};
  for (size_t i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    const int32_t* e = &v[10 * i];
    EXPECT_EQ(e[0], entries[i]);
    EXPECT_EQ(e[9], codes[i]);
    for (size_t k = 1; k <= 5; ++k)
      EXPECT_TRUE(InRange(e[k], 16801, 16836) || InRange(e[k], 2201, 2248)) << e[k];
    EXPECT_TRUE(InRange(e[6], 501, 516)) << e[6];
  }
}

// Mnt 12291: step lists of triples, each opened by (1, code, 0) and closed by
// (999, 0, 0), ending with the list 9999 and (0, 0, 0).
TEST(DbShapes, MaintenanceStepLists) {
  const std::vector<int32_t> v = ValuesOf(Category::Mnt, 12291, HostState{});
  ASSERT_EQ(v.size(), 186u);
  std::vector<int32_t> opened;
  bool inList = false;
  size_t t = 0;
  for (; t + 1 < v.size() / 3; ++t) {
    const int32_t a = v[3 * t], b = v[3 * t + 1], c = v[3 * t + 2];
    if (!inList) {
      ASSERT_EQ(a, 1) << "triple " << t << " does not open a list";
      ASSERT_EQ(c, 0);
      opened.push_back(b);
      inList = true;
    } else if (a == 999) {
      EXPECT_EQ(b, 0);
      EXPECT_EQ(c, 0);
      inList = false;
    } else {
      EXPECT_NE(a, 1) << "list opened inside a list at triple " << t;
      EXPECT_NE(a, 0) << "terminator inside a list at triple " << t;
    }
  }
  EXPECT_FALSE(inList);
  EXPECT_EQ(v[3 * t], 0);
  EXPECT_EQ(v[3 * t + 1], 0);
  EXPECT_EQ(v[3 * t + 2], 0);
  EXPECT_EQ(opened, (std::vector<int32_t>{100, 200, 500, 900, 1000, 1100, 1101, 1200, 1201, 1600,
                                          9901, 9999}));
}

// Mnt 12300: seven rows of sixteen 32-bit values for the registration commands.
TEST(DbShapes, RegistrationTable) {
  const std::vector<int32_t> v = ValuesOf(Category::Mnt, 12300, Settings({{0, 1}}));
  ASSERT_EQ(v.size(), 112u);
  const int32_t codes[7] = {1121, 1122, 1123, 1124, 1125, 1131, 1126};
  const int32_t closing[7] = {0, 65535, 16711935, 8454143, 16744703, 8421504, 0};
  for (size_t r = 0; r < 7; ++r) {
    SCOPED_TRACE(r);
    const int32_t* row = &v[16 * r];
    EXPECT_EQ(row[0], codes[r]);
    EXPECT_EQ(row[15], closing[r]);
    for (size_t k = 1; k < 15; ++k)
      EXPECT_TRUE(InRange(row[k], 13105, 13143) || InRange(row[k], -32, 32)) << row[k];
  }
  // The last row is nearly empty.
  EXPECT_GE(std::count(v.begin() + 96, v.end(), 0), 13);
  // Each row's code is a registration command that key 12299 knows.
  for (int32_t code : codes) EXPECT_EQ(Ask(Category::Mnt, 12299, Settings({{0, code}})).status, MPX_OK);
}

// SM 24577: every description has 3, 6, 7 or 10 values; there are 56 of them over the
// status pairs and settings 3, 5 and 9.
TEST(DbShapes, StatusDescriptions) {
  std::set<std::vector<int32_t>> distinct;
  std::vector<std::string> pairs = dbtest::StatusPairs();
  pairs.push_back("XX,YY");
  size_t answered = 0;
  for (const auto& pair : pairs)
    for (int32_t s3 : {0, 1, 2, 3, 4, 5})
      for (int32_t s5 = 0; s5 <= 100; ++s5)
        for (int32_t s9 : {0, 53264, 53265, 53266}) {
          const Answer a = Ask(Category::SM, 24577, Strings({{1, pair}}, {{3, s3}, {5, s5}, {9, s9}}));
          if (a.status == MPX_NO_ANSWER) continue;
          ASSERT_EQ(a.status, MPX_OK);
          const std::vector<int32_t> v = Values(a);
          ASSERT_TRUE(v.size() == 3 || v.size() == 6 || v.size() == 7 || v.size() == 10)
              << pair << " " << s3 << " " << s5 << " " << s9 << ": " << v.size();
          distinct.insert(v);
          ++answered;
        }
  EXPECT_GT(answered, 0u);
  EXPECT_EQ(distinct.size(), 56u);
  // Some descriptions open with 65536, which only a 32-bit leaf holds.
  EXPECT_TRUE(std::any_of(distinct.begin(), distinct.end(),
                          [](const std::vector<int32_t>& d) { return d[0] == 65536; }));
}

// SM pairs by printer state: always two values, [-1, -1] included, for every state and
// for the settings that refine them.
TEST(DbShapes, StatePairs) {
  struct Refiner {
    uint32_t key;
    uint32_t setting;
  };
  const Refiner keys[] = {{24578, 0}, {24579, 0}, {24580, 1}, {24581, 11}, {24584, 13}};
  for (const auto& k : keys) {
    bool sawNone = false;
    std::set<std::vector<int32_t>> distinct;
    for (const auto& state : dbtest::PrinterStates())
      for (int32_t value : {0, 1, 2, 3}) {
        SCOPED_TRACE(std::to_string(k.key) + " " + state + " " + std::to_string(value));
        const std::vector<int32_t> v =
            ValuesOf(Category::SM, k.key, Strings({{5, state}}, {{k.setting, value}}));
        ASSERT_EQ(v.size(), 2u);
        sawNone = sawNone || v == std::vector<int32_t>{-1, -1};
        distinct.insert(v);
      }
    EXPECT_TRUE(sawNone) << k.key;
    EXPECT_GT(distinct.size(), 2u) << k.key << " does not depend on the state";
    EXPECT_EQ(Ask(Category::SM, k.key, Strings({{5, "XX"}})).status, MPX_NO_ANSWER);
    EXPECT_EQ(Ask(Category::SM, k.key, Strings({{5, "ds"}})).status, MPX_NO_ANSWER);
  }
}

// SM 24582: three or four values for every message identifier 5011-5034.
TEST(DbShapes, MessageParameters) {
  for (int32_t s2 = 5011; s2 <= 5034; ++s2)
    for (int32_t s3 : {0, 1}) {
      SCOPED_TRACE(std::to_string(s2) + " " + std::to_string(s3));
      const std::vector<int32_t> v = ValuesOf(Category::SM, 24582, Settings({{2, s2}, {3, s3}}));
      EXPECT_TRUE(v.size() == 3 || v.size() == 4) << v.size();
    }
  EXPECT_EQ(Ask(Category::SM, 24582, Settings({{2, 5010}})).status, MPX_NO_ANSWER);
  EXPECT_EQ(Ask(Category::SM, 24582, Settings({{2, 5035}})).status, MPX_NO_ANSWER);
}

// SM 24583: thirteen values for every status pair; the ready pairs agree.
TEST(DbShapes, StatusGroups) {
  for (const auto& pair : dbtest::StatusPairs()) {
    SCOPED_TRACE(pair);
    EXPECT_EQ(ValuesOf(Category::SM, 24583, Strings({{1, pair}})).size(), 13u);
  }
  EXPECT_EQ(ValuesOf(Category::SM, 24583, Strings({{1, "DS,LS"}})),
            ValuesOf(Category::SM, 24583, Strings({{1, "SC,LS"}})));
}

// SM 24585: seven values, 31 different answers over settings 6 and 7.
TEST(DbShapes, SevenValueTable) {
  std::set<std::vector<int32_t>> distinct;
  for (int32_t s6 = -1; s6 <= 8; ++s6)
    for (int32_t s7 = -1; s7 <= 8; ++s7) {
      const Answer a = Ask(Category::SM, 24585, Settings({{6, s6}, {7, s7}}));
      if (a.status == MPX_NO_ANSWER) continue;
      ASSERT_EQ(a.status, MPX_OK);
      const std::vector<int32_t> v = Values(a);
      ASSERT_EQ(v.size(), 7u);
      distinct.insert(v);
    }
  EXPECT_EQ(distinct.size(), 31u);
}

// The LM status keys agree on the groups: 8207 is 3 exactly where 8193 is [0].
TEST(DbShapes, LmStatusKeysAgree) {
  for (const auto& pair : dbtest::StatusPairs()) {
    SCOPED_TRACE(pair);
    const std::vector<int32_t> message = ValuesOf(Category::LM, 8193, Strings({{1, pair}}));
    const std::vector<int32_t> level = ValuesOf(Category::LM, 8207, Strings({{1, pair}}));
    ASSERT_EQ(level.size(), 1u);
    if (level[0] == 3) {
      EXPECT_EQ(message, std::vector<int32_t>{0});
    } else {
      EXPECT_TRUE(level[0] == 21 || level[0] == 22 || level[0] == 23) << level[0];
      ASSERT_EQ(message.size(), 5u);
      EXPECT_EQ(message[0], 1);
    }
  }
  EXPECT_EQ(Ask(Category::LM, 8193, Strings({{1, "DS,LS "}})).status, MPX_NO_ANSWER);
  EXPECT_EQ(Ask(Category::LM, 8207, Strings({{1, "DS"}})).status, MPX_NO_ANSWER);
}

}  // namespace
