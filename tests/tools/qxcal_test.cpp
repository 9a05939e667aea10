// qxcal as a user runs it: the sample table file, inspection of good and damaged files,
// calibration through the module (and its reuse), differences between table files, and
// curves as SVG and CGATS text.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "table_sample.h"
#include "tool_runner.h"

namespace {

using nlohmann::json;
using tooltest::Contains;
using tooltest::ToolResult;
namespace sample = cal::sample;

const std::vector<int64_t> kSampleTables = {1302, 1303, 1304, 1305, 1308, 1309};
const std::vector<int64_t> kCalibratedTables = {1302, 1303, 1304, 1308, 1309};
constexpr const char* kLevels = "3,0,-5,0,0,5";

class QxcalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = scratch_.Sub("base") + "/htab0000.tbl";
    work_ = scratch_.Sub("work");
    bytes_ = sample::BuildTableFile(sample::SampleTable(), &layout_);
    tooltest::WriteFile(base_, bytes_);
  }
  ToolResult Qxcal(const std::vector<std::string>& args) const { return tooltest::Run(QXCAL_PATH, args); }
  json QxcalJson(std::vector<std::string> args, int expectedExit) const {
    args.push_back("--json");
    const ToolResult result = Qxcal(args);
    EXPECT_EQ(result.exitStatus, expectedExit) << result.out << result.err;
    json parsed = json::parse(result.out, nullptr, false);
    EXPECT_FALSE(parsed.is_discarded()) << result.out << result.err;
    return parsed;
  }
  json Calibrate(const std::vector<std::string>& extra = {}, int expectedExit = 0) const {
    std::vector<std::string> args = {"calibrate", base_, "--work", work_, "--levels", kLevels};
    args.insert(args.end(), extra.begin(), extra.end());
    return QxcalJson(args, expectedExit);
  }
  std::string File(const std::string& name) const { return scratch_.path() + "/" + name; }

  tooltest::ScratchDir scratch_;
  std::string base_;
  std::string work_;
  sample::Bytes bytes_;
  sample::TableLayout layout_;
};

// Counts the curve paths of an SVG file with a real XML parser; -1 when it is not well-formed.
struct SvgCount {
  int curvePaths = -1;
  int allPaths = -1;
  std::vector<std::string> texts;
};

SvgCount ParseSvg(const std::string& path) {
  const ToolResult result = tooltest::Run(
      "python3", {"-c",
                  "import sys, xml.dom.minidom as m\n"
                  "d = m.parse(sys.argv[1])\n"
                  "assert d.documentElement.tagName == 'svg'\n"
                  "paths = d.getElementsByTagName('path')\n"
                  "print(sum(1 for p in paths if p.getAttribute('class') == 'curve'), len(paths))\n"
                  "for t in d.getElementsByTagName('text'):\n"
                  "    print(''.join(n.data for n in t.childNodes if n.nodeType == n.TEXT_NODE))\n",
                  path});
  SvgCount count;
  if (result.exitStatus != 0) return count;
  std::istringstream lines(result.out);
  lines >> count.curvePaths >> count.allPaths;
  std::string line;
  std::getline(lines, line);
  while (std::getline(lines, line)) count.texts.push_back(line);
  return count;
}

// ---- sample and inspect ---------------------------------------------------------------------

TEST_F(QxcalTest, SampleWritesTheSampleBaseTableFile) {
  const std::string path = File("written.tbl");
  const ToolResult result = Qxcal({"sample", path});
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(tooltest::ReadFile(path), bytes_);
  const json shared = QxcalJson({"sample", File("shared.tbl"), "--shared-directory"}, 0);
  EXPECT_EQ(tooltest::ReadFile(File("shared.tbl")), sample::BuildTableFile(sample::SampleTable(sample::DataOrder::Little, true)));
  EXPECT_EQ(shared["table_ids"].get<std::vector<int64_t>>(), kSampleTables);
}

TEST_F(QxcalTest, InspectDescribesTheSampleStructure) {
  const json out = QxcalJson({"inspect", base_}, 0);
  EXPECT_EQ(out["ident"], "Q770 HTAB0000 1.00");
  EXPECT_EQ(out["table_ids"].get<std::vector<int64_t>>(), kSampleTables);
  EXPECT_EQ(out["db_chunks"].size(), 3u);
  EXPECT_EQ(out["db_chunks"][2]["version"], 2);
  EXPECT_EQ(out["db_chunks"][2]["table_ids"], json::array({1308, 1309, 1305}));
  std::map<int64_t, std::string> layouts;
  for (const json& chunk : out["ht_chunks"]) {
    layouts[chunk["id"]] = chunk["layout"];
    EXPECT_EQ(chunk["curve_count"], 6);
    EXPECT_EQ(chunk["preset_group"], chunk["id"] != 1305);
  }
  EXPECT_EQ(layouts[1304], "structured");
  EXPECT_EQ(layouts[1302], "simple");
  EXPECT_EQ(out["curve_count"], 36);
  EXPECT_EQ(out["other_chunks"].size(), 1u);
  EXPECT_TRUE(out["errors"].empty());

  // The same structure in big-endian chunk data, read as such.
  const std::string big = File("big.tbl");
  tooltest::WriteFile(big, sample::BuildTableFile(sample::SampleTable(sample::DataOrder::Big)));
  const json bigOut = QxcalJson({"inspect", big, "--big-endian"}, 0);
  EXPECT_EQ(bigOut["table_ids"].get<std::vector<int64_t>>(), kSampleTables);
}

struct Damage {
  const char* name;
  // Changes the sample file's bytes; layout tells where everything is.
  void (*apply)(sample::Bytes& bytes, const sample::TableLayout& layout);
  const char* message;
};

class QxcalDamageTest : public QxcalTest, public ::testing::WithParamInterface<Damage> {};

TEST_P(QxcalDamageTest, InspectOfAMalformedFileSaysWhatIsWrong) {
  sample::Bytes bytes = bytes_;
  GetParam().apply(bytes, layout_);
  const std::string path = File("damaged.tbl");
  tooltest::WriteFile(path, bytes);
  const ToolResult result = Qxcal({"inspect", path});
  EXPECT_EQ(result.exitStatus, 1) << result.out;
  EXPECT_TRUE(Contains(result.err, GetParam().message)) << result.err;
  EXPECT_TRUE(Contains(result.err, path)) << "errors name the file";
}

const sample::PlacedChunk& Chunk(const sample::TableLayout& layout, uint32_t kind, uint16_t id) {
  const sample::PlacedChunk* chunk = layout.Find(kind, id);
  if (chunk == nullptr) throw std::runtime_error("the sample has no such chunk");
  return *chunk;
}

INSTANTIATE_TEST_SUITE_P(
    Damages, QxcalDamageTest,
    ::testing::Values(
        Damage{"ShorterThanTheHeader", [](sample::Bytes& b, const sample::TableLayout&) { b.resize(10); },
               "fewer than the 24 of the header"},
        Damage{"IdentOutsideTheFile",
               [](sample::Bytes& b, const sample::TableLayout&) { sample::PutLe32(b, 4, 0x00FFFFFF); },
               "identification block: its offset 0xFFFFFF"},
        Damage{"IdentTooLong",
               [](sample::Bytes& b, const sample::TableLayout& l) { sample::PutLe32(b, l.identOffset + 4, 40); },
               "more than the 31"},
        Damage{"DbDirectoryOutsideTheFile",
               [](sample::Bytes& b, const sample::TableLayout&) { sample::PutLe32(b, 8, 0x7FFFFFF0); },
               "QXDB directory: its offset"},
        Damage{"HtDirectoryCountTooLarge",
               [](sample::Bytes& b, const sample::TableLayout& l) { sample::PutLe32(b, l.htDirectoryOffset, 100000); },
               "100000 entries of 12 bytes do not fit"},
        Damage{"ChunkBodyPastTheEnd",
               [](sample::Bytes& b, const sample::TableLayout& l) {
                 sample::PutLe32(b, Chunk(l, sample::KIND_HT, 1302).chunkOffset, 0x00100000);
               },
               "QXHT 1302 at"},
        Damage{"ChunkOffsetOutsideTheFile",
               [](sample::Bytes& b, const sample::TableLayout& l) {
                 sample::PutLe32(b, Chunk(l, sample::KIND_HT, 1303).entryOffset + 8, 0x40000000);
               },
               "QXHT 1303: its offset 0x40000000"},
        Damage{"NamedTableMissing",
               [](sample::Bytes& b, const sample::TableLayout& l) {
                 // The directory entry of 1308 now names another id.
                 const uint32_t entry = Chunk(l, sample::KIND_HT, 1308).entryOffset;
                 b[entry + 4] = 0x39;
                 b[entry + 5] = 0x05;  // 1337
               },
               "table 1308 is named by a QXDB record, but the QXHT directory has no chunk for it"},
        Damage{"StructuredDescriptorWrong",
               [](sample::Bytes& b, const sample::TableLayout& l) {
                 // Every 0x44000100 descriptor of the structured chunk becomes 0x44000101.
                 const sample::PlacedChunk& c = Chunk(l, sample::KIND_HT, 1304);
                 for (uint32_t at = c.chunkOffset + 4; at + 4 <= c.chunkOffset + 4 + c.bodySize; at += 4) {
                   if (sample::GetLe32(b, at) == 0x44000100) sample::PutLe32(b, at, 0x44000101);
                 }
               },
               "not 0x44000100"},
        Damage{"StructuredTagUnknown",
               [](sample::Bytes& b, const sample::TableLayout& l) {
                 // The first entry's tag (the high byte of its little-endian tag word).
                 b[Chunk(l, sample::KIND_HT, 1304).chunkOffset + 4 + 16 + 3] = 0x11;
               },
               "unknown tag 0x11"}),
    [](const ::testing::TestParamInfo<Damage>& p) { return std::string(p.param.name); });

TEST_F(QxcalTest, InspectOfAFileThatCannotBeReadIsAFailure) {
  const ToolResult missing = Qxcal({"inspect", File("missing.tbl")});
  EXPECT_EQ(missing.exitStatus, 1);
  EXPECT_TRUE(Contains(missing.err, "cannot be opened")) << missing.err;
  const ToolResult directory = Qxcal({"inspect", work_});
  EXPECT_EQ(directory.exitStatus, 1);
  EXPECT_TRUE(Contains(directory.err, "is a directory")) << directory.err;
}

// ---- calibrate ------------------------------------------------------------------------------

TEST_F(QxcalTest, CalibrateTwiceMakesAWorkingFileThenReusesIt) {
  const json first = Calibrate();
  EXPECT_EQ(first["status"], 0);
  EXPECT_EQ(first["state"], 2);
  EXPECT_EQ(first["table"], "htab0001.tbl");
  std::set<std::string> created;
  for (const json& change : first["changes"]) {
    EXPECT_EQ(change["change"], "created");
    created.insert(change["name"]);
  }
  EXPECT_EQ(created, (std::set<std::string>{"htab0001.tbl", "calib000.ini"}));
  EXPECT_EQ(first["history_lines"], 1);
  const std::vector<uint8_t> working = tooltest::ReadFile(work_ + "/htab0001.tbl");

  const json second = Calibrate();
  EXPECT_EQ(second["status"], 0);
  EXPECT_EQ(second["state"], 1);
  EXPECT_EQ(second["table"], "htab0001.tbl");
  EXPECT_TRUE(second["changes"].empty()) << second.dump(1);
  EXPECT_EQ(tooltest::ReadFile(work_ + "/htab0001.tbl"), working);

  const ToolResult text = Qxcal({"calibrate", base_, "--work", work_, "--levels", kLevels});
  EXPECT_TRUE(Contains(text.out, "state 1, entry found")) << text.out;
  EXPECT_TRUE(Contains(text.out, "nothing was written")) << text.out;
}

struct StateCase {
  const char* name;
  void (*before)(const std::string& work);  // after a first calibration
  std::vector<std::string> extra;           // arguments of the second call
  int state;
  const char* table;
  std::set<std::string> changed;
};

class QxcalStateTest : public QxcalTest, public ::testing::WithParamInterface<StateCase> {};

TEST_P(QxcalStateTest, CalibrateReportsTheStateItTook) {
  const StateCase& c = GetParam();
  ASSERT_EQ(Calibrate()["state"], 2);
  c.before(work_);
  const json out = Calibrate(c.extra);
  EXPECT_EQ(out["state"], c.state) << out.dump(1);
  EXPECT_EQ(out["table"], c.table);
  std::set<std::string> changed;
  for (const json& change : out["changes"]) changed.insert(change["name"]);
  EXPECT_EQ(changed, c.changed);
}

INSTANTIATE_TEST_SUITE_P(
    States, QxcalStateTest,
    ::testing::Values(
        StateCase{"OtherIdentityAppends", [](const std::string&) {}, {"--identity", "1,2,3"}, 3, "htab0002.tbl",
                  {"htab0002.tbl", "calib000.ini"}},
        StateCase{"DeletedWorkingFileIsRebuilt",
                  [](const std::string& work) { std::filesystem::remove(work + "/htab0001.tbl"); }, {}, 4,
                  "htab0001.tbl", {"htab0001.tbl"}},
        StateCase{"MalformedHistoryIsReplaced",
                  [](const std::string& work) {
                    tooltest::WriteFile(work + "/calib000.ini", {'x', ',', 'y', '\r', '\n'});
                  },
                  // htab0001.tbl is still there, and a new working name never overwrites a file.
                  {}, 2, "htab0002.tbl", {"htab0002.tbl", "calib000.ini"}},
        StateCase{"OtherHistoryKeyHasItsOwnFile", [](const std::string&) {}, {"--history-key", "7"}, 2,
                  "htab0002.tbl", {"htab0002.tbl", "calib007.ini"}}),
    [](const ::testing::TestParamInfo<StateCase>& p) { return std::string(p.param.name); });

TEST_F(QxcalTest, SpecialLevelKeepsTheBaseTableFileAndTouchesNothing) {
  const json out = QxcalJson({"calibrate", base_, "--work", work_, "--levels", "3,8,0,0,0,0"}, 0);
  EXPECT_EQ(out["status"], 0);
  EXPECT_EQ(out["table"], "htab0000.tbl");
  EXPECT_EQ(out["state"], 0);
  EXPECT_TRUE(out["changes"].empty());
  EXPECT_TRUE(std::filesystem::is_empty(work_));
}

TEST_F(QxcalTest, RefusedLevelIsAFailureStatus) {
  const ToolResult result = Qxcal({"calibrate", base_, "--work", work_, "--levels", "3,1,0,0,0,0"});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_TRUE(Contains(result.out, "status -128")) << result.out;
  EXPECT_TRUE(Contains(result.out, "use htab0000.tbl")) << result.out;
  EXPECT_TRUE(Contains(result.err, "CALERR_UNSUPPORTED")) << result.err;
}

struct CalibrateUsage {
  const char* name;
  std::vector<std::string> args;  // after "calibrate BASE"
  const char* message;
};

class QxcalUsageTest : public QxcalTest, public ::testing::WithParamInterface<CalibrateUsage> {};

TEST_P(QxcalUsageTest, CalibrateUsageErrorExitsWithTwo) {
  std::vector<std::string> args = {"calibrate", base_};
  for (const std::string& arg : GetParam().args) args.push_back(arg == "WORK" ? work_ : arg);
  const ToolResult result = Qxcal(args);
  EXPECT_EQ(result.exitStatus, 2) << result.out << result.err;
  EXPECT_TRUE(Contains(result.err, GetParam().message)) << result.err;
  EXPECT_TRUE(std::filesystem::is_empty(work_));
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, QxcalUsageTest,
    ::testing::Values(CalibrateUsage{"FiveLevels", {"--work", "WORK", "--levels", "3,0,0,0,0"}, "six levels"},
                      CalibrateUsage{"WorkMissing", {"--levels", "0,0,0,0,0,0"}, "--work"},
                      CalibrateUsage{"ShortStem", {"--work", "WORK", "--levels", "0,0,0,0,0,0", "--stem", "abc"},
                                     "5 characters"},
                      CalibrateUsage{"TwoIdentityValues",
                                     {"--work", "WORK", "--levels", "0,0,0,0,0,0", "--identity", "1,2"},
                                     "three values"},
                      CalibrateUsage{"NegativeHistoryKey",
                                     {"--work", "WORK", "--levels", "0,0,0,0,0,0", "--history-key", "-1"},
                                     "history-key"}),
    [](const ::testing::TestParamInfo<CalibrateUsage>& p) { return std::string(p.param.name); });

// ---- diff -----------------------------------------------------------------------------------

TEST_F(QxcalTest, DiffNamesTheCurvesTheCalibrationChanged) {
  ASSERT_EQ(Calibrate()["state"], 2);
  const json out = QxcalJson({"diff", base_, work_ + "/htab0001.tbl"}, 0);
  std::set<std::pair<int64_t, int64_t>> changed;
  for (const json& curve : out["curves"]) {
    EXPECT_EQ(curve["change"], "changed");
    changed.insert({curve["table"].get<int64_t>(), curve["ink_position"].get<int64_t>()});
  }
  std::set<std::pair<int64_t, int64_t>> expected;
  for (const int64_t table : kCalibratedTables) {
    for (const int64_t ink : {0, 2, 5}) expected.insert({table, ink});  // levels 3, -5 and 5
  }
  EXPECT_EQ(changed, expected);
  EXPECT_EQ(out["ident_differs"], false);
  EXPECT_EQ(out["other_bytes_differing"], 0);

  const json same = QxcalJson({"diff", base_, base_}, 0);
  EXPECT_TRUE(same["curves"].empty());
}

// ---- curves ---------------------------------------------------------------------------------

TEST_F(QxcalTest, SvgIsWellFormedXmlWithOnePathPerCurve) {
  struct PlotCase {
    std::vector<std::string> args;
    int curves;
  };
  const std::string svg = File("curves.svg");
  const std::vector<PlotCase> cases = {
      {{"curves", base_, "--svg", svg}, 36},
      {{"curves", base_, "--table", "1304,1305", "--svg", svg}, 12},
      {{"curves", "--preset", "1308", "--level", "-3", "--svg", svg}, 6},
  };
  for (const PlotCase& c : cases) {
    const ToolResult result = Qxcal(c.args);
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    const SvgCount count = ParseSvg(svg);
    EXPECT_EQ(count.curvePaths, c.curves) << c.args[1];
    EXPECT_EQ(count.allPaths, c.curves) << "axes are lines, not paths";
    EXPECT_NE(std::find(count.texts.begin(), count.texts.end(), "input level (curve entry 0-255)"), count.texts.end());
    EXPECT_NE(std::find(count.texts.begin(), count.texts.end(), "output value (16-bit curve entry)"), count.texts.end());
  }

  // The calibration's plot: each changed curve before and after.
  const std::string plot = File("calibrated.svg");
  ASSERT_EQ(Calibrate({"--plot", plot})["state"], 2);
  EXPECT_EQ(ParseSvg(plot).curvePaths, 2 * 15);
}

TEST_F(QxcalTest, CgatsHasOneColumnPerInkAndTheCurvesScaledToOne) {
  const std::string cal = File("table1302.cal");
  ASSERT_EQ(Qxcal({"curves", base_, "--table", "1302", "--cal", cal}).exitStatus, 0);
  const json curves = QxcalJson({"curves", base_, "--table", "1302"}, 0);
  ASSERT_EQ(curves["count"], 6);

  const std::vector<uint8_t> bytes = tooltest::ReadFile(cal);
  std::istringstream text(std::string(bytes.begin(), bytes.end()));
  std::string line;
  std::getline(text, line);
  EXPECT_EQ(line, "CAL");
  bool inData = false;
  int rows = 0;
  while (std::getline(text, line)) {
    if (line == "NUMBER_OF_FIELDS 7") continue;
    if (line == "BEGIN_DATA") {
      inData = true;
      continue;
    }
    if (line == "END_DATA") break;
    if (!inData) continue;
    std::istringstream fields(line);
    double input = -1;
    fields >> input;
    EXPECT_NEAR(input, rows / 255.0, 1e-6);
    for (int ink = 0; ink < 6; ++ink) {
      double value = -1;
      fields >> value;
      EXPECT_GE(value, 0.0);
      EXPECT_LE(value, 1.0);
      const double expected = curves["curves"][static_cast<size_t>(ink)]["values"][static_cast<size_t>(rows)].get<double>() / 4095.0;
      EXPECT_NEAR(value, expected, 1e-6) << "row " << rows << " ink " << ink;
    }
    EXPECT_FALSE(fields >> input) << "seven columns in row " << rows;
    ++rows;
  }
  EXPECT_EQ(rows, 256);

  const ToolResult several = Qxcal({"curves", base_, "--cal", cal});
  EXPECT_EQ(several.exitStatus, 2);
  EXPECT_TRUE(Contains(several.err, "one table")) << several.err;
}

TEST_F(QxcalTest, PresetCurvesAreTheModulesCurves) {
  const json levelMinus5 = QxcalJson({"curves", "--preset", "1302", "--level", "-5"}, 0);
  const json level5 = QxcalJson({"curves", "--preset", "1302", "--level", "5"}, 0);
  ASSERT_EQ(levelMinus5["count"], 6);
  // Table 1302 shares one set of curves across its levels; its ink 0 curve ends at 3869.
  EXPECT_EQ(levelMinus5["curves"][0]["values"], level5["curves"][0]["values"]);
  EXPECT_EQ(levelMinus5["curves"][0]["values"][255], 3869);
  EXPECT_EQ(levelMinus5["curves"][0]["values"][64], 572);
  EXPECT_EQ(Qxcal({"curves", "--preset", "1305", "--level", "3"}).exitStatus, 2);
  EXPECT_EQ(Qxcal({"curves", "--preset", "1302", "--level", "2"}).exitStatus, 2);
}

}  // namespace
