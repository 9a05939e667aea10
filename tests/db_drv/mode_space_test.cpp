// A sweep over the whole mode space of the shipped database: every key the Drv export
// answers, for every print mode (supported or not), every paper size and the margin
// variants, against what the printer's documentation says (drv_expectations.cpp). The
// sweep runs on the library core with the test platform, so the clock and the printer
// data are fixed.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "db_query.h"
#include "drv_expectations.h"
#include "entry.h"
#include "image.h"
#include "printer_commands.h"
#include "q770_model.h"
#include "query_env.h"
#include "testing/fault_control.h"

namespace {

using dbtest::Answer;
using dbtest::HostState;
using dbtest::Settings;

int32_t MPX_CALL CoreDrv(uint32_t key, const QueryContext* context, uint32_t size, void* buffer,
                         uint32_t* required) {
  return mdb::RunQuery(mdb::ShippedEnv(), mdb::Category::Drv, key, context, size, buffer, required);
}

constexpr char16_t kPrinter[] = u"Q770";

std::string Describe(const Settings& s) {
  std::ostringstream text;
  for (const auto& [number, value] : s) text << ' ' << number << '=' << value;
  return text.str();
}

class ModeSpace : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::testing::Reset();
    plat::testing::SetClock(dbtest::kTestClock);
    plat::testing::AddPrinter(kPrinter);
    plat::testing::SetPrinterDword(kPrinter, u"VrdUI_SilentModeEnable", dbtest::kSilentAlwaysOn);
  }
  void TearDown() override {
    EXPECT_EQ(plat::testing::LiveBlocks(), 0u);
    EXPECT_EQ(plat::testing::OpenPrinterHandles(), 0u);
  }

  static Answer Ask(uint32_t key, const Settings& s) {
    HostState state;
    state.settings = s;
    state.stringCount = 0;
    state.printerName = kPrinter;
    return dbtest::Ask(CoreDrv, key, state);
  }

  // Compares one key at one point; a difference goes to failures_.
  void Check(uint32_t key, const Settings& s) {
    const dbtest::Expectation e = dbtest::ExpectDrv(key, s);
    const Answer a = Ask(key, s);
    std::string problem;
    if (a.status != e.status) {
      problem = "status " + std::to_string(a.status) + ", expected " + std::to_string(e.status);
    } else if (e.status == MPX_OK && e.bytes && a.bytes != *e.bytes) {
      problem = "answer " + dbtest::Hex(a.bytes) + "\n   expected " + dbtest::Hex(*e.bytes);
    } else if (e.status == MPX_OK && e.shape) {
      problem = e.shape(a.bytes);
    }
    ++checked_;
    // A few differences per key, so one wrong key does not hide the others.
    if (!problem.empty() && ++failuresOfKey_[key] <= 3 && failures_.size() < 60) {
      failures_.push_back("key " + std::to_string(key) + " at" + Describe(s) + ": " + problem);
    }
  }

  void CheckAllKeys(const Settings& s) {
    for (uint32_t key : dbtest::DrvKeys()) Check(key, s);
  }

  void ExpectNoFailures() {
    std::string all;
    for (const std::string& f : failures_) all += f + "\n";
    EXPECT_TRUE(failures_.empty()) << failures_.size() << " differences (at most 3 a key) of "
                                   << checked_ << " answers:\n" << all;
  }

  std::vector<std::string> failures_;
  std::map<uint32_t, uint32_t> failuresOfKey_;
  size_t checked_ = 0;
};

Settings ModeSettings(int32_t grey, int32_t media, int32_t borderless, int32_t quality,
                      int32_t variant) {
  return {{q770::kEngine, 3},         {q770::kGrey, grey},         {q770::kMedia, media},
          {q770::kBorderless, borderless}, {q770::kQuality, quality}, {q770::kVariant, variant},
          {q770::kInkSet, 7},         {q770::kPaperSize, 9},       {q770::kPaperWidth, 21000},
          {q770::kPaperLength, 29700}, {q770::kUserWidth, 10000},  {q770::kUserLength, 15000}};
}

TEST_F(ModeSpace, EveryKeyAtEveryPrintMode) {
  std::vector<int32_t> media{0, 3, 258, 262, 279};
  for (const q770::Media& m : q770::MediaList()) media.push_back(m.id);
  for (int32_t grey : {0, 1, 2}) {
    for (int32_t m : media) {
      for (int32_t borderless : {0, 1}) {
        for (int32_t quality = 0; quality <= 6; ++quality) {
          for (int32_t variant : {1, 2, 3}) {
            CheckAllKeys(ModeSettings(grey, m, borderless, quality, variant));
          }
        }
      }
    }
  }
  Settings otherEngine = ModeSettings(0, 1, 0, 4, 1);
  otherEngine[q770::kEngine] = 2;
  CheckAllKeys(otherEngine);
  ExpectNoFailures();
}

TEST_F(ModeSpace, EveryKeyAtEveryPaperSizeInEverySupportedMode) {
  std::vector<int32_t> sizes{0, 275, 999};
  for (const q770::Paper& p : q770::kPapers) sizes.push_back(p.size);
  for (const q770::PrintMode& mode : q770::SelectorModes()) {
    for (int32_t size : sizes) {
      for (int32_t marginMode : {0, 5}) {
        Settings s = ModeSettings(mode.grey, mode.media, mode.borderless, mode.quality, mode.variant);
        s[q770::kPaperSize] = size;
        s[q770::kMarginMode] = marginMode;
        CheckAllKeys(s);
      }
    }
  }
  ExpectNoFailures();
}

TEST_F(ModeSpace, OtherSettingsTheKeysTest) {
  const std::vector<Settings> variations{
      {{0, 1}, {5, 279}}, {{0, 1}, {5, 263}}, {{0, 0}, {28, 275}}, {{0, 0}, {28, 20}},
      {{0, 0}, {28, 27}}, {{0, 2}, {28, 20}}, {{7, 4}}, {{7, 0}}, {{7, 4}, {52, 5}},
      {{18, 3}}, {{19, 1}}, {{18, 3}, {19, 1}}, {{9, 1}, {19, 1}}, {{20, 1}}, {{20, 2}},
      {{82, 1}}, {{9, 1}, {82, 1}}, {{79, 0x00800000}, {80, 0x1234}},
      {{79, static_cast<int32_t>(0xFFFFFFFFu)}, {80, -1}}, {{79, 0x00700000}},
      {{79, 0x00A00000}, {80, 7}}, {{28, 256}, {29, 30000}, {30, 42000}},
      {{28, 256}, {29, 30000}, {30, 42000}, {52, 5}}, {{25, 30000}, {26, 42000}},
      {{25, 30000}, {26, 42000}, {52, 5}}};
  for (const Settings& v : variations) {
    Settings s = ModeSettings(0, 1, 0, 4, 1);
    for (const auto& [k, value] : v) s[k] = value;
    CheckAllKeys(s);
  }
  ExpectNoFailures();
}

// The command sequences of every supported mode read as well-formed printer commands in
// the expected order, and the page formats of the standard sizes agree with the
// library's own computation for a user-defined size of the same dimensions.
TEST_F(ModeSpace, CommandSequencesAreWellFormed) {
  for (const q770::PrintMode& mode : q770::SelectorModes()) {
    for (const q770::Paper& p : q770::kPapers) {
      for (int32_t marginMode : {0, 5}) {
        Settings s = ModeSettings(mode.grey, mode.media, mode.borderless, mode.quality, mode.variant);
        s[q770::kPaperSize] = p.size;
        s[q770::kMarginMode] = marginMode;
        const Answer job = Ask(4121, s);
        ASSERT_EQ(job.status, MPX_OK) << Describe(s);
        std::vector<dbtest::PrinterCommand> commands;
        std::string problem;
        ASSERT_TRUE(dbtest::ParsePrinterCommands(job.bytes, &commands, &problem))
            << problem << " at" << Describe(s);
        ASSERT_EQ(dbtest::CommandKinds(commands), p.printable ? "bcdtpl" : "bcdtl") << Describe(s);
        EXPECT_EQ(commands.back().parameters.size(), 2u);
        if (!p.printable || p.size == q770::kUserDefinedSize) continue;

        const bool variant = marginMode != 5 && (p.size == 1 || p.size == 5 ||
                                                 (p.borderless && mode.borderless == 1));
        Settings user = s;
        user[q770::kPaperSize] = q770::kUserDefinedSize;
        user[q770::kUserWidth] = p.width;
        user[q770::kUserLength] = p.length;
        const Answer computed = Ask(4121, user);
        ASSERT_EQ(computed.status, MPX_OK);
        std::vector<dbtest::PrinterCommand> computedCommands;
        ASSERT_TRUE(dbtest::ParsePrinterCommands(computed.bytes, &computedCommands, &problem));
        const auto& stored = commands[4].parameters;
        const auto& fromSize = computedCommands[4].parameters;
        if (!variant) {
          EXPECT_EQ(dbtest::Hex(stored), dbtest::Hex(fromSize)) << "size " << p.size << " at" << Describe(s);
        } else {
          // The variants keep the paper size in dots.
          EXPECT_TRUE(std::equal(stored.end() - 8, stored.end(), fromSize.end() - 8)) << p.size;
          EXPECT_NE(stored, fromSize) << p.size;
        }
      }
    }
  }
  Settings s = ModeSettings(0, 1, 0, 4, 1);
  for (int32_t flags : {0, 0x00800000}) {
    s[q770::kOptionFlags] = flags;
    const Answer start = Ask(4120, s);
    ASSERT_EQ(start.status, MPX_OK);
    std::vector<dbtest::PrinterCommand> commands;
    std::string problem;
    ASSERT_TRUE(dbtest::ParsePrinterCommands(start.bytes, &commands, &problem)) << problem;
    ASSERT_EQ(dbtest::CommandKinds(commands), flags != 0 ? "KKK$" : "KKK");
    EXPECT_EQ(commands[0].lines, (std::vector<std::string>{"QXLSTART", "ControlMode=Common",
                                                           "SetTime=20020208090503", "QXLEND"}));
    EXPECT_EQ(commands[1].lines, (std::vector<std::string>{"QXLSTART", "ControlMode=Common",
                                                           "SetSilent=ON", "QXLEND"}));
    EXPECT_TRUE(commands[2].lines.empty());
  }
}

TEST_F(ModeSpace, SilentModeFollowsThePrinterData) {
  Settings s = ModeSettings(0, 1, 0, 4, 1);
  struct Case {
    bool present;
    uint32_t value;
    const char* line;
  };
  // Clock 09:05 (minute 545); the window 09:00-17:00 holds it.
  plat::testing::SetPrinterDword(kPrinter, u"VrdUI_SilentModeTime", (1020u << 16) | 540u);
  for (const Case& c : {Case{true, 1, "SetSilent=ON"}, Case{true, 2, "SetSilent=ON"},
                        Case{true, 0, "SetSilent=OFF"}, Case{true, 3, "SetSilent=OFF"},
                        Case{false, 0, "SetSilent=OFF"}}) {
    if (c.present) {
      plat::testing::SetPrinterDword(kPrinter, u"VrdUI_SilentModeEnable", c.value);
    } else {
      plat::testing::RemovePrinterValue(kPrinter, u"VrdUI_SilentModeEnable");
    }
    const Answer a = Ask(4120, s);
    ASSERT_EQ(a.status, MPX_OK) << c.value;
    std::vector<dbtest::PrinterCommand> commands;
    std::string problem;
    ASSERT_TRUE(dbtest::ParsePrinterCommands(a.bytes, &commands, &problem)) << problem;
    ASSERT_EQ(commands.size(), 3u);
    ASSERT_GE(commands[1].lines.size(), 3u);
    EXPECT_EQ(commands[1].lines[2], c.line) << c.value;
    EXPECT_EQ(a.size, c.present && c.value == 1 ? 127u : 128u) << c.value;
  }
  // Outside the window the windowed mode is off.
  plat::testing::SetPrinterDword(kPrinter, u"VrdUI_SilentModeEnable", 2);
  plat::testing::SetPrinterDword(kPrinter, u"VrdUI_SilentModeTime", (1380u << 16) | 1320u);
  const Answer off = Ask(4120, s);
  ASSERT_EQ(off.status, MPX_OK);
  EXPECT_NE(std::string(off.bytes.begin(), off.bytes.end()).find("SetSilent=OFF"), std::string::npos);
}

// ---- The tables behind the dispatcher ---------------------------------------------------

TEST(ShippedTables, EverySupportedModeHasExactlyOneSelectorRecord) {
  const mdb::DbImage& image = mdb::ShippedImage();
  const std::vector<q770::PrintMode> modes = q770::SelectorModes();
  ASSERT_EQ(modes.size(), 60u);
  ASSERT_EQ(image.counts[mdb::kSelectorCount], 60u);
  for (size_t i = 0; i < modes.size(); ++i) {
    const q770::PrintMode& m = modes[i];
    size_t matches = 0;
    for (uint32_t r = 0; r < image.counts[mdb::kSelectorCount]; ++r) {
      const mdb::SelectorRecord& rec = image.selectors[r];
      matches += rec.setting4 == 3 && rec.setting9 == m.grey && rec.setting5 == m.media &&
                         rec.setting8 == m.quality && rec.setting6 == m.variant &&
                         rec.setting81 == m.borderless
                     ? 1
                     : 0;
    }
    EXPECT_EQ(matches, 1u) << m.grey << " " << m.media << " " << m.borderless << " " << m.quality
                           << " " << m.variant;
    // Records stand in the documented order, so the list order is the record order.
    const mdb::SelectorRecord& rec = image.selectors[i];
    EXPECT_EQ(rec.setting5, m.media) << i;
    EXPECT_EQ(rec.setting9, m.grey) << i;
    const q770::Media* media = q770::FindMedia(m.media);
    EXPECT_EQ(rec.row1, media->tableGroup + (m.variant == 2 ? 1 : 0) + 12 * m.grey) << i;
    EXPECT_EQ(rec.row2, 0u);
    EXPECT_EQ(rec.row3, q770::QualityRow(m.quality, m.borderless)) << i;
    EXPECT_EQ(rec.row4, 0u);
  }
  EXPECT_EQ(image.counts[mdb::kRowTable1Count], 24u);
  EXPECT_EQ(image.counts[mdb::kRowTable2Count], 1u);
  EXPECT_EQ(image.counts[mdb::kRowTable3Count], 9u);
  EXPECT_EQ(image.counts[mdb::kRowTable4Count], 1u);
}

TEST(ShippedTables, DirectoryListsAndCategories) {
  const mdb::DbImage& image = mdb::ShippedImage();
  const uint32_t entries = image.counts[mdb::kDirectoryCount];
  ASSERT_GT(entries, 46u);
  EXPECT_EQ(image.directoryKeys[0], 0x0002);
  EXPECT_EQ(image.directoryKeys[46], 0x1006);
  std::vector<uint16_t> internal;
  uint16_t previous = 0;
  for (uint32_t i = 0; i < entries; ++i) {
    const uint16_t key = image.directoryKeys[i];
    if ((key >> 12) <= 1) {
      EXPECT_GT(key, previous) << "Root and Drv keys in key order";
      previous = key;
    }
    if ((key >> 12) == 5) internal.push_back(key);
    if (key == 0x5008) {
      EXPECT_EQ(image.directoryRoots[i], 0u) << "key 0x5008 is rooted at node 0";
    }
  }
  EXPECT_EQ(internal, (std::vector<uint16_t>{0x5002, 0x5003, 0x5004, 0x5005, 0x5006, 0x5007,
                                             0x5008, 0x500B, 0x500C, 0x500D, 0x500E, 0x5010}));
  EXPECT_EQ(mdb::NodeTypeCode(image.nodes[0]), static_cast<uint32_t>(mdb::NodeType::Sequence));

  const uint32_t lists = image.counts[mdb::kListKeyCount];
  ASSERT_EQ(lists, 6u);
  EXPECT_EQ((std::vector<uint16_t>(image.listKeys, image.listKeys + lists)),
            (std::vector<uint16_t>{4121, 4120, 4122, 4125, 4124, 4123}));
  EXPECT_EQ((std::vector<uint16_t>(image.listCounts, image.listCounts + lists)),
            (std::vector<uint16_t>{5, 4, 1, 1, 1, 1}));

  // Category 28 first, in the paper table's order, then 7, 5 and 4.
  std::vector<std::pair<uint16_t, uint32_t>> items;
  for (uint32_t i = 0; i < image.counts[mdb::kItemCount]; ++i) {
    items.emplace_back(image.itemIds[i], image.itemValues[i]);
  }
  std::vector<std::pair<uint16_t, uint32_t>> expected;
  for (const q770::Paper& p : q770::kPapers) {
    expected.emplace_back(static_cast<uint16_t>(p.size), static_cast<uint32_t>(p.itemValue));
  }
  expected.emplace_back(7, 15302);
  for (const q770::Media& m : q770::MediaList()) {
    expected.emplace_back(static_cast<uint16_t>(m.id), static_cast<uint32_t>(m.itemValue));
  }
  expected.emplace_back(3, 15003);
  EXPECT_EQ(items, expected);

  // The status codes that Root key 18 compares.
  const std::string pool(image.stringPool, image.stringPool + image.counts[mdb::kStringCount]);
  for (const char* code : {"SSR", "SFA", "RDC", "RST", "TLN", "FEP", "BST", "ECH", "PID", "TRB",
                           "CHD", "CIL", "SPS", "OPT", "LVR", "MID", "HCU", "DJS", "DBS", "DWS",
                           "DOC", "DSC", "CIR", "TNK"}) {
    EXPECT_NE(pool.find(code), std::string::npos) << code;
  }
}

TEST_F(ModeSpace, ItemListIdsLieInTheirCategories) {
  const mdb::DbImage& image = mdb::ShippedImage();
  auto category = [&image](uint16_t id) {
    std::set<int32_t> items;
    for (uint32_t c = 0; c < image.counts[mdb::kCategoryCount]; ++c) {
      if (image.categoryIds[c] != id) continue;
      for (uint32_t i = 0; i < image.categoryCounts[c]; ++i) {
        items.insert(image.itemIds[image.categoryStarts[c] + i]);
      }
      break;
    }
    return items;
  };
  ASSERT_EQ(image.counts[mdb::kCategoryCount], 4u);
  EXPECT_EQ((std::vector<uint16_t>(image.categoryIds, image.categoryIds + 4)),
            (std::vector<uint16_t>{28, 7, 5, 4}));
  struct Listed {
    uint32_t key;
    uint16_t category;
  };
  for (const Listed& l : {Listed{4108, 4}, Listed{4110, 5}, Listed{4112, 28}, Listed{4113, 28},
                          Listed{4114, 7}, Listed{4177, 5}, Listed{4180, 28}}) {
    const std::set<int32_t> items = category(l.category);
    ASSERT_FALSE(items.empty()) << l.category;
    for (const q770::PrintMode& mode : q770::SelectorModes()) {
      const Answer a = Ask(l.key, ModeSettings(mode.grey, mode.media, mode.borderless, mode.quality,
                                               mode.variant));
      ASSERT_EQ(a.status, MPX_OK) << l.key;
      const std::vector<int32_t> v = dbtest::Int32s(a);
      ASSERT_FALSE(v.empty()) << l.key;
      for (size_t i = 0; i < v.size(); i += 5) EXPECT_TRUE(items.count(v[i])) << l.key << " " << v[i];
    }
  }
  // The quality lists hold qualities the list of all qualities (4119) names.
  for (const q770::PrintMode& mode : q770::SelectorModes()) {
    const Settings s = ModeSettings(mode.grey, mode.media, mode.borderless, mode.quality, mode.variant);
    const std::vector<int32_t> some = dbtest::Int32s(Ask(4118, s));
    for (size_t i = 0; i < some.size(); i += 5) {
      EXPECT_GE(some[i], 1);
      EXPECT_LE(some[i], 5);
    }
  }
}

}  // namespace
