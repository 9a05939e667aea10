// Answers of the LM, Mnt, PA and SM keys, asked through the exports as a host asks them.
#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <tuple>
#include <set>
#include <string>
#include <vector>

#include "host_query.h"

namespace {

using dbtest::Always;
using dbtest::Answer;
using dbtest::Ask;
using dbtest::Category;
using dbtest::HostState;
using dbtest::Settings;
using dbtest::Strings;
using dbtest::Values;

struct ValueCase {
  const char* what;
  Category category;
  uint32_t key;
  HostState state;
  std::vector<int32_t> values;
};

// Every key with at least one documented input and its answer, plus the edge cases of
// the string and masked comparisons.
const std::vector<ValueCase>& ValueCases() {
  static const std::vector<ValueCase> cases = {
      // LM: status pairs (string 1).
      {"8193 ready DS", Category::LM, 8193, Strings({{1, "DS,LS"}}), {0}},
      {"8193 ready SC", Category::LM, 8193, Strings({{1, "SC,LS"}}), {0}},
      {"8193 second code NO", Category::LM, 8193, Strings({{1, "NO,NO"}}), {1, 5030, 5336, 0, 10101}},
      {"8193 second code NS", Category::LM, 8193, Strings({{1, "NS,NS"}}), {1, 5028, 5317, 5336, 10101}},
      {"8193 unknown pair", Category::LM, 8193, Strings({{1, "UK,UK"}}), {1, 5034, 0, 0, 0}},
      {"8207 ready DS", Category::LM, 8207, Strings({{1, "DS,LS"}}), {3}},
      {"8207 ready SC", Category::LM, 8207, Strings({{1, "SC,LS"}}), {3}},
      {"8207 second code NO", Category::LM, 8207, Strings({{1, "SC,NO"}}), {23}},
      {"8207 second code NS", Category::LM, 8207, Strings({{1, "DS,NS"}}), {22}},
      {"8207 other pair", Category::LM, 8207, Strings({{1, "NO,LS"}}), {21}},
      // LM 8194: cartridge family (setting 5) and code (setting 6).
      {"8194 5=1 5633", Category::LM, 8194, Settings({{5, 1}, {6, 5633}}), {2, 1, 4}},
      {"8194 5=1 5649", Category::LM, 8194, Settings({{5, 1}, {6, 5649}}), {2, 2, 4}},
      {"8194 5=1 5650", Category::LM, 8194, Settings({{5, 1}, {6, 5650}}), {2, 3, 4}},
      {"8194 5=1 5651", Category::LM, 8194, Settings({{5, 1}, {6, 5651}}), {2, 4, 4}},
      {"8194 5=1 5684", Category::LM, 8194, Settings({{5, 1}, {6, 5684}}), {2, 6, 4}},
      {"8194 5=1 5685", Category::LM, 8194, Settings({{5, 1}, {6, 5685}}), {2, 7, 4}},
      {"8194 5=2 5377", Category::LM, 8194, Settings({{5, 2}, {6, 5377}}), {2, 1, 3}},
      {"8194 5=2 5393", Category::LM, 8194, Settings({{5, 2}, {6, 5393}}), {2, 2, 3}},
      {"8194 5=2 5394", Category::LM, 8194, Settings({{5, 2}, {6, 5394}}), {2, 3, 3}},
      {"8194 5=2 5395", Category::LM, 8194, Settings({{5, 2}, {6, 5395}}), {2, 4, 3}},
      {"8194 5=2 5428", Category::LM, 8194, Settings({{5, 2}, {6, 5428}}), {2, 6, 3}},
      {"8194 5=2 5429", Category::LM, 8194, Settings({{5, 2}, {6, 5429}}), {2, 7, 3}},
      {"8194 family 1 with a code of family 2", Category::LM, 8194, Settings({{5, 1}, {6, 5377}}), {0}},
      {"8194 family 2 with a code of family 1", Category::LM, 8194, Settings({{5, 2}, {6, 5685}}), {0}},
      {"8194 no family", Category::LM, 8194, Settings({{5, 0}, {6, 5633}}), {0}},
      // LM 8201: the model check, byte for byte.
      {"8201 QX Q760", Category::LM, 8201, Strings({{0, "QX Q760"}}), {1}},
      {"8201 Q770", Category::LM, 8201, Strings({{0, "Q770"}}), {1}},
      {"8201 Q770 with a trailing blank", Category::LM, 8201, Strings({{0, "Q770 "}}), {0}},
      {"8201 lower case", Category::LM, 8201, Strings({{0, "q770"}}), {0}},
      {"8201 prefix of the designation", Category::LM, 8201, Strings({{0, "QX Q76"}}), {0}},
      {"8201 other model", Category::LM, 8201, Strings({{0, "Q760"}}), {0}},
      {"8201 empty", Category::LM, 8201, Strings({{0, ""}}), {0}},
      // LM 8237: operation names (string 4), case-sensitive.
      {"8237 ChangeHead", Category::LM, 8237, Strings({{4, "ChangeHead"}}), {1}},
      {"8237 ChangeTank", Category::LM, 8237, Strings({{4, "ChangeTank"}}), {1}},
      {"8237 Cleaning", Category::LM, 8237, Strings({{4, "Cleaning"}}), {1}},
      {"8237 RollerCleaning", Category::LM, 8237, Strings({{4, "RollerCleaning"}}), {1}},
      {"8237 TestPrint", Category::LM, 8237, Strings({{4, "TestPrint"}}), {1}},
      {"8237 cleaning in lower case", Category::LM, 8237, Strings({{4, "cleaning"}}), {0}},
      {"8237 Cleaning with a trailing blank", Category::LM, 8237, Strings({{4, "Cleaning "}}), {0}},
      {"8237 no operation", Category::LM, 8237, Strings({{4, ""}}), {0}},
      {"8237 name at another position", Category::LM, 8237, Strings({{3, "Cleaning"}}), {0}},
      // LM masked settings.
      {"8210 low byte 49", Category::LM, 8210, Settings({{2, 49}}), {1}},
      {"8210 0x0B31", Category::LM, 8210, Settings({{2, 0x0B31}}), {1}},
      {"8210 low byte 50", Category::LM, 8210, Settings({{2, 50}}), {0}},
      {"8210 49 in the second byte", Category::LM, 8210, Settings({{2, 0x3100}}), {0}},
      {"8211 0x0B31", Category::LM, 8211, Settings({{2, 0x0B31}}), {1}},
      {"8211 0x0B00", Category::LM, 8211, Settings({{2, 0x0B00}}), {1}},
      {"8211 high bits ignored", Category::LM, 8211, Settings({{2, 0x7F0B00}}), {1}},
      {"8211 0x0B in the low byte", Category::LM, 8211, Settings({{2, 0x0B}}), {0}},
      {"8211 second byte 0x0C", Category::LM, 8211, Settings({{2, 0x0C00}}), {0}},
      {"8249 low byte 1", Category::LM, 8249, Settings({{12, 1}}), {1}},
      {"8249 0x301", Category::LM, 8249, Settings({{12, 0x301}}), {1}},
      {"8249 0", Category::LM, 8249, Settings({{12, 0}}), {0}},
      {"8249 0x100", Category::LM, 8249, Settings({{12, 0x100}}), {0}},
      {"8246 81", Category::LM, 8246, Settings({{10, 81}}), {2}},
      {"8246 0", Category::LM, 8246, Settings({{10, 0}}), {1}},
      {"8246 82", Category::LM, 8246, Settings({{10, 82}}), {1}},
      // LM identifiers by settings 7 and 8.
      {"8205 first", Category::LM, 8205, Settings({{7, 0}}), {5440}},
      {"8205 last", Category::LM, 8205, Settings({{7, 9}}), {5449}},
      {"8206 first", Category::LM, 8206, Settings({{7, 0}, {8, 0}}), {25023, 5410}},
      {"8206 last", Category::LM, 8206, Settings({{7, 9}, {8, 2}}), {25068, 5412}},
      // LM single answers.
      {"8196", Category::LM, 8196, Always(), {28801}},
      {"8199", Category::LM, 8199, Always(), {983295, 16711680, 65535, -1, -1}},
      {"8202", Category::LM, 8202, Always(), {0}},
      {"8203", Category::LM, 8203, Always(), {5011}},
      {"8208", Category::LM, 8208, Always(), {1, 256, 256}},
      {"8209", Category::LM, 8209, Always(), {1}},
      {"8212", Category::LM, 8212, Always(), {0}},
      {"8214", Category::LM, 8214, Always(), {0}},
      {"8215", Category::LM, 8215, Always(), {0}},
      {"8216", Category::LM, 8216, Always(), {103}},
      {"8217 unsigned", Category::LM, 8217, Always(), {201}},
      {"8219", Category::LM, 8219, Always(), {100}},
      {"8220", Category::LM, 8220, Always(), {0}},
      {"8221", Category::LM, 8221, Always(), {0}},
      {"8222", Category::LM, 8222, Always(), {5026, 5458, 0, 0}},
      {"8225", Category::LM, 8225, Always(), {1}},
      {"8226", Category::LM, 8226, Always(), {8}},
      {"8238", Category::LM, 8238, Always(), {2}},
      {"8239", Category::LM, 8239, Always(), {1}},
      {"8248", Category::LM, 8248, Always(), {1}},
      {"8251", Category::LM, 8251, Always(), {1}},
      {"8253", Category::LM, 8253, Always(), {2}},

      // Mnt.
      {"12290", Category::Mnt, 12290, Always(), {10}},
      {"12292", Category::Mnt, 12292, Always(), {3}},
      {"12294", Category::Mnt, 12294, Always(), {0}},
      {"12295", Category::Mnt, 12295, Always(), {0, 1, 10, 30, 60}},
      {"12296", Category::Mnt, 12296, Always(), {0}},
      {"12301", Category::Mnt, 12301, Always(), {16}},
      {"12302 table 1", Category::Mnt, 12302, Settings({{0, 1}}), {13762, 1205, 1201, 100, 144, 18}},
      {"12304", Category::Mnt, 12304, Always(), {3, 1, 1451}},

      // PA: mode in setting 0, media in setting 1.
      {"16385", Category::PA, 16385, Always(),
       {1, 17002, 2041, 2, 17003, 2042, 3, 17004, 2043, 4, 17005, 2044}},
      {"16386 mode 1", Category::PA, 16386, Settings({{0, 1}}), {281, 2067, 285, 2071, 284, 2070}},
      {"16386 mode 2", Category::PA, 16386, Settings({{0, 2}}), {1, 2051, 271, 2061}},
      {"16386 mode 3", Category::PA, 16386, Settings({{0, 3}}), {1, 2051, 271, 2061}},
      {"16386 mode 4", Category::PA, 16386, Settings({{0, 4}}), {1, 2051, 271, 2061}},
      {"16387 mode 1", Category::PA, 16387, Settings({{0, 1}}),
       {1, 2051, 271, 2061, 277, 2065, 276, 2064, 2, 2052, 273, 2062}},
      {"16387 mode 2", Category::PA, 16387, Settings({{0, 2}}), {2, 2052}},
      {"16387 mode 3", Category::PA, 16387, Settings({{0, 3}}), {2, 2052}},
      {"16387 mode 4", Category::PA, 16387, Settings({{0, 4}}), {263, 2059, 2, 2052}},
      {"16390 mode 1 media 281", Category::PA, 16390, Settings({{0, 1}, {1, 281}}), {2, 1}},
      {"16390 mode 1 media 285", Category::PA, 16390, Settings({{0, 1}, {1, 285}}), {1, 1}},
      {"16390 mode 1 media 273", Category::PA, 16390, Settings({{0, 1}, {1, 273}}), {3, 1}},
      {"16390 mode 2 media 1", Category::PA, 16390, Settings({{0, 2}, {1, 1}}), {4, 1}},
      {"16390 mode 4 media 263", Category::PA, 16390, Settings({{0, 4}, {1, 263}}), {4, 1}},
      {"16391 mode 1", Category::PA, 16391, Settings({{0, 1}}), {18, 1, 9, 0}},
      {"16391 mode 2", Category::PA, 16391, Settings({{0, 2}}), {18, 2, 9, 0}},
      {"16391 mode 3", Category::PA, 16391, Settings({{0, 3}}), {18, 0, 9, 0}},
      {"16391 mode 4", Category::PA, 16391, Settings({{0, 4}}), {9, 1}},
      {"16392", Category::PA, 16392, Always(), {10102}},

      // SM.
      {"24577 status code 32", Category::SM, 24577, Strings({{1, "DS,LS"}}, {{5, 32}}),
       {0, 4203, 7131, 1, 1, 27107}},
      {"24577 status code 32 beside setting 9", Category::SM, 24577,
       Strings({{1, "SC,LS"}}, {{5, 32}, {9, 53264}}), {0, 4203, 7131, 1, 1, 27107}},
      {"24579 DS with setting 0 = 2", Category::SM, 24579, Strings({{5, "DS"}}, {{0, 2}}), {-1, -1}},
      {"24582 5031", Category::SM, 24582, Settings({{2, 5031}}), {71, 32, 0}},
      {"24588 GAL,N", Category::SM, 24588, Strings({{4, "GAL,N"}}), {7253}},
      {"24588 GAL,W", Category::SM, 24588, Strings({{4, "GAL,W"}}), {7254}},
      {"24589", Category::SM, 24589, Always(), {INT32_MIN}},
      {"24590 unsigned", Category::SM, 24590, Always(), {200}},
      {"24591", Category::SM, 24591, Always(),
       {22, 222, 221, 220, 219, 218, 213, 211, 209, 215, 214, 301, 304, 313, 314, 315, 316, 317,
        302, 102, 323, 325, 223}},
      {"24592 53264", Category::SM, 24592, Settings({{9, 53264}}), {1}},
      {"24593", Category::SM, 24593, Always(), {7082}},
      {"24594 5", Category::SM, 24594, Settings({{12, 5}}), {8, 72}},
      {"24594 -5", Category::SM, 24594, Settings({{12, -5}}), {8, 72}},
      {"24594 1", Category::SM, 24594, Settings({{12, 1}}), {8, 72}},
      {"24594 -1", Category::SM, 24594, Settings({{12, -1}}), {8, 72}},
      {"24594 largest", Category::SM, 24594, Settings({{12, INT32_MAX}}), {8, 72}},
      {"24594 smallest", Category::SM, 24594, Settings({{12, INT32_MIN}}), {8, 72}},
      {"24595 1", Category::SM, 24595, Settings({{14, 1}}), {70, 75}},
      {"24596 28 unsigned", Category::SM, 24596, Settings({{5, 28}}), {0, 1, 211, 1}},
      {"24596 32 unsigned", Category::SM, 24596, Settings({{5, 32}}), {0, 1, 211, 1}},
      {"24596 94", Category::SM, 24596, Settings({{5, 94}}), {2, 0, 304, 9, 316, 3}},
      {"24596 otherwise", Category::SM, 24596, Settings({{5, 0}}), {0, 0}},
      {"24596 29", Category::SM, 24596, Settings({{5, 29}}), {0, 0}},
      {"24598", Category::SM, 24598, Always(), {1}},
      {"24599 LM 40", Category::SM, 24599, Strings({{7, "LM"}}, {{15, 40}}), {6, 6}},
      {"24599 C 100", Category::SM, 24599, Strings({{7, "C"}}, {{15, 100}}), {4, 1}},
      {"24599 K 70", Category::SM, 24599, Strings({{7, "K"}}, {{15, 70}}), {1, 5}},
      {"24599 LC 40", Category::SM, 24599, Strings({{7, "LC"}}, {{15, 40}}), {7, 6}},
      {"24599 M 100", Category::SM, 24599, Strings({{7, "M"}}, {{15, 100}}), {3, 1}},
      {"24599 Y 70", Category::SM, 24599, Strings({{7, "Y"}}, {{15, 70}}), {2, 5}},
  };
  return cases;
}

TEST(DbContents, ValueAnswers) {
  for (const auto& c : ValueCases()) {
    SCOPED_TRACE(std::string(dbtest::NameOf(c.category)) + " " + c.what);
    const Answer a = Ask(c.category, c.key, c.state);
    ASSERT_EQ(a.status, MPX_OK);
    EXPECT_EQ(Values(a), c.values);
  }
}

// Key 24599 over every ink code and level: the index follows the ink, the code the level.
TEST(DbContents, InkCodesAndLevels) {
  const std::vector<std::pair<std::string, int32_t>> inks = {{"C", 4}, {"K", 1}, {"LC", 7},
                                                            {"LM", 6}, {"M", 3}, {"Y", 2}};
  const std::vector<std::pair<int32_t, int32_t>> levels = {{100, 1}, {70, 5}, {40, 6}};
  for (const auto& [ink, index] : inks)
    for (const auto& [level, code] : levels) {
      SCOPED_TRACE(ink + " " + std::to_string(level));
      const Answer a = Ask(Category::SM, 24599, Strings({{7, ink}}, {{15, level}}));
      ASSERT_EQ(a.status, MPX_OK);
      EXPECT_EQ(Values(a), (std::vector<int32_t>{index, code}));
    }
}

// The command-language pieces of key 12299: raw bytes with no terminator.
TEST(DbContents, CommandLanguagePieces) {
  const std::vector<std::pair<int32_t, std::string>> pieces = {
      {1, std::string("\x1B\x5B\x4B\x02\x00\x00\x1F", 7) + "QXLSTART\n"},
      {2, "\nQXLEND\n"},
      {11, "ControlMode=Common"},
      {21, "SetTime="},
      {22, "SetSilent="},
      {100, "@Cleaning=1ALL"},
      {200, "@Cleaning=2ALL"},
      {500, "@TestPrint=NozzleCheck"},
      {900, "@PowerOff"},
      {1001, "AutoPowerOn="},
      {1002, "AutoPowerOff="},
      {1101, "@TestPrint=Regi1"},
      {1121, "SetRegistration=X1200A"},
      {1122, "SetRegistration=X1200C"},
      {1123, "SetRegistration=X1200E"},
      {1124, "SetRegistration=X1200I"},
      {1125, "SetRegistration=X1200K"},
      {1126, "SetRegistration=X1200G"},
      {1131, "SetRegistration=X2400L"},
      {1701, "DryLevel=1"},
      {1702, "DryLevel=2"},
      {1703, "DryLevel=3"},
  };
  for (const auto& [command, text] : pieces) {
    SCOPED_TRACE(command);
    const Answer a = Ask(Category::Mnt, 12299, Settings({{0, command}}));
    ASSERT_EQ(a.status, MPX_OK);
    EXPECT_EQ(std::string(a.bytes.begin(), a.bytes.end()), text);
  }
  EXPECT_EQ(Ask(Category::Mnt, 12299, Settings({{0, 1}})).bytes.size(), 16u);
  EXPECT_EQ(Ask(Category::Mnt, 12299, Settings({{0, 22}})).bytes.size(), 10u);
}

TEST(DbContents, CompanionFileNames) {
  const std::vector<std::pair<uint32_t, std::u16string>> names = {{8218, u"comp18.dll"},
                                                                   {8235, u"comp19.dll"}};
  for (const auto& [key, name] : names) {
    SCOPED_TRACE(key);
    const Answer a = Ask(Category::LM, key, Always());
    ASSERT_EQ(a.status, MPX_OK);
    std::u16string expected = name;
    expected.push_back(u'\0');  // the stored text ends with its NUL
    ASSERT_EQ(a.bytes.size(), 2 * expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      const auto ch = static_cast<char16_t>(a.bytes[2 * i] | (a.bytes[2 * i + 1] << 8));
      EXPECT_EQ(ch, expected[i]) << "character " << i;
    }
  }
}

struct StatusCase {
  const char* what;
  Category category;
  uint32_t key;
  HostState state;
  int32_t status;
};

HostState WithoutStrings() {
  HostState h;
  h.noStrings = true;
  return h;
}
HostState ShortStrings(int count, std::map<uint32_t, std::string> s = {}) {
  HostState h;
  h.strings = std::move(s);
  h.stringCount = count;
  return h;
}
HostState ShortSettings(int count, std::map<uint32_t, int32_t> v = {}) {
  HostState h;
  h.settings = std::move(v);
  h.settingCount = count;
  return h;
}
HostState ShortSettingsWithStrings(int count, std::map<uint32_t, std::string> s) {
  HostState h;
  h.strings = std::move(s);
  h.settingCount = count;
  return h;
}

// Inputs for which no answer exists, and contexts too small for the tree.
const std::vector<StatusCase>& StatusCases() {
  static const std::vector<StatusCase> cases = {
      {"12299 command 23", Category::Mnt, 12299, Settings({{0, 23}}), MPX_NO_ANSWER},
      {"12299 command 0", Category::Mnt, 12299, Settings({{0, 0}}), MPX_NO_ANSWER},
      {"12299 command 1704", Category::Mnt, 12299, Settings({{0, 1704}}), MPX_NO_ANSWER},
      {"12299 command 1127", Category::Mnt, 12299, Settings({{0, 1127}}), MPX_NO_ANSWER},
      {"12300 table 2", Category::Mnt, 12300, Settings({{0, 2}}), MPX_NO_ANSWER},
      {"12300 table 0", Category::Mnt, 12300, Settings({{0, 0}}), MPX_NO_ANSWER},
      {"12302 table 2", Category::Mnt, 12302, Settings({{0, 2}}), MPX_NO_ANSWER},
      {"16386 mode 0", Category::PA, 16386, Settings({{0, 0}}), MPX_NO_ANSWER},
      {"16386 mode 5", Category::PA, 16386, Settings({{0, 5}}), MPX_NO_ANSWER},
      {"16387 mode 5", Category::PA, 16387, Settings({{0, 5}}), MPX_NO_ANSWER},
      {"16390 media not listed for mode 2", Category::PA, 16390, Settings({{0, 2}, {1, 281}}),
       MPX_NO_ANSWER},
      {"16390 media not listed for mode 1", Category::PA, 16390, Settings({{0, 1}, {1, 263}}),
       MPX_NO_ANSWER},
      {"16390 mode 5", Category::PA, 16390, Settings({{0, 5}, {1, 1}}), MPX_NO_ANSWER},
      {"16391 mode 0", Category::PA, 16391, Settings({{0, 0}}), MPX_NO_ANSWER},
      {"24588 no pair", Category::SM, 24588, Strings({{4, ""}}), MPX_NO_ANSWER},
      {"24588 lower case", Category::SM, 24588, Strings({{4, "gal,n"}}), MPX_NO_ANSWER},
      {"24588 trailing blank", Category::SM, 24588, Strings({{4, "GAL,N "}}), MPX_NO_ANSWER},
      {"24588 pair at the LM position", Category::SM, 24588, Strings({{2, "GAL,N"}}), MPX_NO_ANSWER},
      {"24592 53265", Category::SM, 24592, Settings({{9, 53265}}), MPX_NO_ANSWER},
      {"24592 0", Category::SM, 24592, Settings({{9, 0}}), MPX_NO_ANSWER},
      {"24594 0", Category::SM, 24594, Settings({{12, 0}}), MPX_NO_ANSWER},
      {"24595 0", Category::SM, 24595, Settings({{14, 0}}), MPX_NO_ANSWER},
      {"24595 2", Category::SM, 24595, Settings({{14, 2}}), MPX_NO_ANSWER},
      {"24599 level 50", Category::SM, 24599, Strings({{7, "LM"}}, {{15, 50}}), MPX_NO_ANSWER},
      {"24599 lower-case ink", Category::SM, 24599, Strings({{7, "lm"}}, {{15, 40}}), MPX_NO_ANSWER},
      {"24599 no ink", Category::SM, 24599, Strings({{7, ""}}, {{15, 100}}), MPX_NO_ANSWER},
      // Contexts too small for the position a tree asks for.
      {"8201 without strings", Category::LM, 8201, WithoutStrings(), MPX_ERR_STRINGS},
      {"8237 four strings", Category::LM, 8237, ShortStrings(4, {{0, "Q770"}}), MPX_ERR_STRINGS},
      {"8193 one string", Category::LM, 8193, ShortStrings(1, {{0, "DS,LS"}}), MPX_ERR_STRINGS},
      {"8210 two settings", Category::LM, 8210, ShortSettings(2), MPX_ERR_SETTINGS},
      {"8249 twelve settings", Category::LM, 8249, ShortSettings(12), MPX_ERR_SETTINGS},
      {"12299 no settings", Category::Mnt, 12299, ShortSettings(0), MPX_ERR_SETTINGS},
      {"16390 one setting", Category::PA, 16390, ShortSettings(1, {{0, 1}}), MPX_ERR_SETTINGS},
      {"24599 seven strings", Category::SM, 24599, ShortStrings(7), MPX_ERR_STRINGS},
      {"24599 fifteen settings", Category::SM, 24599, ShortSettingsWithStrings(15, {{7, "C"}}),
       MPX_ERR_SETTINGS},
      {"24594 twelve settings", Category::SM, 24594, ShortSettings(12), MPX_ERR_SETTINGS},
  };
  return cases;
}

TEST(DbContents, NoAnswerAndShortContexts) {
  for (const auto& c : StatusCases()) {
    SCOPED_TRACE(std::string(dbtest::NameOf(c.category)) + " " + c.what);
    EXPECT_EQ(Ask(c.category, c.key, c.state).status, c.status);
  }
}

// Keys that answer without looking at the state: an empty context (no strings, no
// settings) still gets the answer.
TEST(DbContents, FixedAnswersNeedNoState) {
  HostState empty;
  empty.noStrings = true;
  empty.settingCount = 0;
  const std::vector<std::pair<Category, uint32_t>> keys = {
      {Category::LM, 8199}, {Category::LM, 8218}, {Category::Mnt, 12289}, {Category::Mnt, 12291},
      {Category::PA, 16385}, {Category::SM, 24589}, {Category::SM, 24591}};
  for (const auto& [category, key] : keys) {
    SCOPED_TRACE(key);
    EXPECT_EQ(Ask(category, key, empty).status, MPX_OK);
  }
}

// Each directory holds exactly its listed keys: every other key of the export's range is
// not in the directory.
TEST(DbContents, DirectoriesHoldExactlyTheirKeys) {
  const std::vector<std::pair<Category, uint32_t>> ranges = {{Category::LM, 0x2000},
                                                             {Category::Mnt, 0x3000},
                                                             {Category::PA, 0x4000},
                                                             {Category::SM, 0x6000}};
  for (const auto& [category, base] : ranges) {
    const std::vector<uint32_t> listed = dbtest::DirectoryKeys(category);
    const std::set<uint32_t> keys(listed.begin(), listed.end());
    const dbtest::Shape shape = dbtest::ShapeOf(category);
    std::vector<const char*> strings(shape.strings, "");
    std::vector<int32_t> settings(shape.settings, 0);
    QueryContext ctx{};
    ctx.stringCount = shape.strings;
    ctx.strings = strings.empty() ? nullptr : strings.data();
    ctx.settingCount = shape.settings;
    ctx.settings = settings.data();
    for (uint32_t key = base + 1; key <= base + 0xFFF; ++key) {
      uint32_t size = 0;
      const int32_t status = dbtest::ExportOf(category)(key, &ctx, 0, nullptr, &size);
      if (keys.count(key) != 0)
        EXPECT_NE(status, MPX_KEY_NOT_FOUND) << dbtest::NameOf(category) << " key " << key;
      else
        EXPECT_EQ(status, MPX_KEY_NOT_FOUND) << dbtest::NameOf(category) << " key " << key;
    }
  }
}

// Every directory key answers for at least one documented input: the first value case of
// the key, or the input named here for the keys tested elsewhere by bytes or by shape.
TEST(DbContents, EveryKeyAnswersADocumentedInput) {
  std::map<std::pair<Category, uint32_t>, HostState> inputs;
  for (const auto& c : ValueCases()) inputs.emplace(std::make_pair(c.category, c.key), c.state);
  const std::vector<std::tuple<Category, uint32_t, HostState>> others = {
      {Category::LM, 8204, Strings({{1, "DS,LS"}})},
      {Category::LM, 8218, Always()},
      {Category::LM, 8223, Strings({{4, "Cleaning"}})},
      {Category::LM, 8235, Always()},
      {Category::LM, 8241, Strings({{2, "GAL,N"}})},
      {Category::LM, 8243, Settings({{2, 49}})},
      {Category::LM, 8244, Settings({{11, 0x3F}})},
      {Category::LM, 8245, Settings({{2, 0x0B00}})},
      {Category::Mnt, 12289, Always()},
      {Category::Mnt, 12291, Always()},
      {Category::Mnt, 12299, Settings({{0, 22}})},
      {Category::Mnt, 12300, Settings({{0, 1}})},
      {Category::SM, 24578, Strings({{5, "PR"}})},
      {Category::SM, 24580, Strings({{5, "NO"}})},
      {Category::SM, 24581, Strings({{5, "CC"}})},
      {Category::SM, 24583, Strings({{1, "DS,LS"}})},
      {Category::SM, 24584, Strings({{5, "EJ"}})},
      {Category::SM, 24585, Settings({{6, 1}, {7, 0}})},
  };
  for (const auto& [category, key, state] : others) inputs.emplace(std::make_pair(category, key), state);

  for (Category category : {Category::LM, Category::Mnt, Category::PA, Category::SM})
    for (uint32_t key : dbtest::DirectoryKeys(category)) {
      SCOPED_TRACE(std::string(dbtest::NameOf(category)) + " key " + std::to_string(key));
      const auto it = inputs.find({category, key});
      ASSERT_NE(it, inputs.end()) << "no documented input";
      EXPECT_EQ(Ask(category, key, it->second).status, MPX_OK);
    }
}

}  // namespace
