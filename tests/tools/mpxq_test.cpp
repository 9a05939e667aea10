// mpxq as a user runs it: stored and computed answers, failure statuses and usage errors,
// the evaluator's path for key 0x1007, the job header and the printers of the spooler
// stand-in.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tool_runner.h"

namespace {

using nlohmann::json;
using tooltest::Contains;
using tooltest::ToolResult;

class MpxqTest : public ::testing::Test {
 protected:
  ToolResult Mpxq(const std::vector<std::string>& args) const {
    return tooltest::Run(MPXQ_PATH, args, {{"MPX_SPOOL_DIR", store_}});
  }
  // Runs with --json; the test fails unless the output parses.
  json MpxqJson(std::vector<std::string> args, int expectedExit) const {
    args.push_back("--json");
    const ToolResult result = Mpxq(args);
    EXPECT_EQ(result.exitStatus, expectedExit) << result.out << result.err;
    json parsed = json::parse(result.out, nullptr, false);
    EXPECT_FALSE(parsed.is_discarded()) << result.out;
    return parsed;
  }
  std::string File(const std::string& name) const { return scratch_.path() + "/" + name; }
  std::string StorePath() const { return store_; }

  tooltest::ScratchDir scratch_;
  std::string store_ = scratch_.Sub("store");
};

// The answer of key 4121 for media 1, setting 8 = 4, A4 and no special settings.
const std::vector<uint8_t> kA4JobCommands = {
    0x1B, 0x28, 0x62, 0x01, 0x00, 0x01,                                      // ESC ( b
    0x1B, 0x28, 0x63, 0x03, 0x00, 0x30, 0x00, 0x01,                          // print mode
    0x1B, 0x28, 0x64, 0x04, 0x00, 0x02, 0x58, 0x02, 0x58,                    // 600 x 600
    0x1B, 0x28, 0x74, 0x1E, 0x00, 0x80, 0x80, 0x01, 0x24, 0x00, 0x05, 0x24,  // ESC ( t
    0x00, 0x05, 0x24, 0x00, 0x05, 0x24, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x1B, 0x28, 0x70, 0x2E, 0x00, 0x02, 0xAB, 0x00, 0x00, 0x01, 0xE0, 0x00, 0x00,  // page format
    0x00, 0x00, 0x00, 0x00, 0x02, 0x58, 0x00, 0x00, 0x00, 0x50, 0x00, 0x00, 0x00, 0x46,
    0x00, 0x00, 0x12, 0xC0, 0x00, 0x00, 0x1A, 0xAB, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x13, 0x61, 0x00, 0x00, 0x1B, 0x68,
    0x1B, 0x28, 0x6C, 0x02, 0x00, 0x34,  // ESC ( l
    0x00};                               // media byte
const std::vector<std::string> kA4JobSettings = {"4=3", "9=0", "5=1", "81=0", "6=1", "8=4", "28=9"};

// ---- Answers --------------------------------------------------------------------------------

struct AnswerCase {
  const char* name;
  std::vector<std::string> args;
  const char* shape;
  std::vector<int64_t> values;  // for values and printable-area answers
  const char* text;             // for text answers
};

class MpxqAnswerTest : public MpxqTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(MpxqAnswerTest, AnswersThroughTheExportsDecodedByShape) {
  const AnswerCase& c = GetParam();
  std::vector<std::string> args = {"query"};
  args.insert(args.end(), c.args.begin(), c.args.end());
  const json out = MpxqJson(args, 0);
  EXPECT_EQ(out["status"], 0);
  EXPECT_EQ(out["answer"]["shape"], c.shape);
  if (c.text != nullptr) {
    EXPECT_EQ(out["answer"]["text"], c.text);
  } else {
    EXPECT_EQ(out["answer"]["values"].get<std::vector<int64_t>>(), c.values);
  }
}

INSTANTIATE_TEST_SUITE_P(
    StoredAndComputed, MpxqAnswerTest,
    ::testing::Values(
        // Stored answers.
        AnswerCase{"VersionText", {"2"}, "text", {}, "1.52"},
        AnswerCase{"ColourDepthColour", {"0x1007", "4=3", "9=0"}, "values", {24}, nullptr},
        AnswerCase{"ColourDepthGrey", {"0x1007", "4=3", "9=1"}, "values", {8}, nullptr},
        AnswerCase{"LongPaperAsUnsigned", {"4099", "28=5"}, "values", {21590, 35560}, nullptr},
        AnswerCase{"PaperByDimensions", {"4099", "--paper", "8.5x14in"}, "values", {21590, 35560}, nullptr},
        AnswerCase{"ValueNameByString", {"18", "-s", "0=TNK"}, "text", {}, "VrdSLM_TNK"},
        AnswerCase{"ModelCheck", {"8201", "--string", "0=Q770"}, "values", {1}, nullptr},
        // Computed answers: the printable area and the paper length of a user-defined size.
        AnswerCase{"UserPrintableArea", {"4100", "--width", "100mm", "--length", "150mm"}, "printable area",
                   {340, 9320, 300, 14200}, nullptr},
        AnswerCase{"UserLengthInDots", {"4147", "--paper", "user", "--width", "100mm", "--length", "150mm", "52=5"},
                   "values", {3544}, nullptr}),
    [](const ::testing::TestParamInfo<AnswerCase>& p) { return std::string(p.param.name); });

TEST_F(MpxqTest, ComputedPageFormatCommandIsDecodedFieldByField) {
  std::vector<std::string> args = {"query", "4121", "--paper", "user", "--width", "100mm", "--length", "150mm"};
  for (const std::string& s : kA4JobSettings) {
    if (s != "28=9") args.push_back(s);
  }
  const json out = MpxqJson(args, 0);
  const json* pageFormat = nullptr;
  for (const json& command : out["answer"]["commands"]) {
    if (command["command"] == "ESC ( p") pageFormat = &command;
  }
  ASSERT_NE(pageFormat, nullptr) << out.dump(1);
  // The worked example of a 100 x 150 mm sheet.
  EXPECT_EQ((*pageFormat)["hex"],
            "1B28702E000150000000DD000000000000"
            "025800000050000000460000089A00000D"
            "1B00000000000000000000093B00000DD8");
  std::map<std::string, std::vector<int64_t>> fields;
  for (const json& field : (*pageFormat)["fields"]) fields[field["name"]].push_back(field["value"]);
  EXPECT_EQ(fields["printable length"], (std::vector<int64_t>{336, 3355}));  // sixtieths, then dots
  EXPECT_EQ(fields["printable width"], (std::vector<int64_t>{221, 2202}));
  EXPECT_EQ(fields["paper width"], (std::vector<int64_t>{2363}));
  EXPECT_EQ(fields["paper length"], (std::vector<int64_t>{3544}));
}

TEST_F(MpxqTest, SelectorRecordIsSplitIntoItsFourRows) {
  const json out = MpxqJson({"query", "4126", "4=3", "9=1", "5=263", "8=5", "6=2", "81=0"}, 0);
  EXPECT_EQ(out["size"], 192);
  const json& answer = out["answer"];
  EXPECT_EQ(answer["shape"], "selector record");
  ASSERT_EQ(answer["rows"].size(), 4u);
  // Table 1 row 23 (media group 11, greyscale) and table 3 row 2.
  EXPECT_TRUE(answer["rows"][0].get<std::string>().starts_with("7C000800FF000001000000000000000001005802"));
  EXPECT_TRUE(answer["rows"][2].get<std::string>().starts_with("0D00070000001400"));
  EXPECT_EQ(answer["table_file"], "htab0000.tbl");
}

TEST_F(MpxqTest, TextListingShowsStatusAndDecodedAnswer) {
  const ToolResult result = Mpxq({"query", "0x1007", "4=3", "9=0"});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_TRUE(Contains(result.out, "status 0 (ok), 4 bytes")) << result.out;
  EXPECT_TRUE(Contains(result.out, "[24]")) << result.out;
  EXPECT_TRUE(result.err.empty()) << result.err;
}

TEST_F(MpxqTest, RawWritesTheAnswerBytesOnly) {
  std::vector<std::string> args = {"query", "4121", "--raw"};
  args.insert(args.end(), kA4JobSettings.begin(), kA4JobSettings.end());
  const ToolResult result = Mpxq(args);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(std::vector<uint8_t>(result.out.begin(), result.out.end()), kA4JobCommands);
}

// ---- Failures and usage errors --------------------------------------------------------------

struct FailureCase {
  const char* name;
  std::vector<std::string> args;
  int status;
};

class MpxqFailureTest : public MpxqTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(MpxqFailureTest, FailureStatusExitsWithOne) {
  const FailureCase& c = GetParam();
  std::vector<std::string> args = {"query"};
  args.insert(args.end(), c.args.begin(), c.args.end());
  const ToolResult result = Mpxq(args);
  EXPECT_EQ(result.exitStatus, 1) << result.out << result.err;
  EXPECT_TRUE(Contains(result.out, "status " + std::to_string(c.status) + " (")) << result.out;
  EXPECT_TRUE(Contains(result.err, "answered status " + std::to_string(c.status))) << result.err;
  args.push_back("--json");
  const json out = json::parse(Mpxq(args).out);
  EXPECT_EQ(out["status"], c.status);
  EXPECT_FALSE(out.contains("answer"));
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, MpxqFailureTest,
    ::testing::Values(FailureCase{"NoAnswer", {"0x1007", "4=2"}, 1},
                      FailureCase{"NotInDirectory", {"0x0001"}, 3},
                      FailureCase{"StringsMissing", {"8201"}, -2},
                      FailureCase{"SettingsTooShort", {"4126", "--settings-count", "81"}, -3},
                      FailureCase{"PrinterNeeded", {"4120"}, -4},
                      FailureCase{"OutsideTheExportsRange", {"0x1007", "--category", "root"}, 1}),
    [](const ::testing::TestParamInfo<FailureCase>& p) { return std::string(p.param.name); });

struct UsageCase {
  const char* name;
  std::vector<std::string> args;
  const char* message;  // part of what stderr says
};

class MpxqUsageTest : public MpxqTest, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(MpxqUsageTest, UsageErrorExitsWithTwoAndSaysWhy) {
  const ToolResult result = Mpxq(GetParam().args);
  EXPECT_EQ(result.exitStatus, 2) << result.out << result.err;
  EXPECT_TRUE(Contains(result.err, GetParam().message)) << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, MpxqUsageTest,
    ::testing::Values(
        UsageCase{"NoSubcommand", {}, "subcommand"},
        UsageCase{"UnknownSubcommand", {"frobnicate"}, "frobnicate"},
        UsageCase{"KeyMissing", {"query"}, "key"},
        UsageCase{"KeyTooLarge", {"query", "0x10000"}, "0 to 0xFFFF"},
        UsageCase{"KeyWithoutCategory", {"query", "0x7001"}, "names no category"},
        UsageCase{"InternalKey", {"query", "0x5008"}, "answered by no export"},
        UsageCase{"MalformedSetting", {"query", "0x1007", "4:3"}, "N=V"},
        UsageCase{"SettingBeyondCount", {"query", "0x1007", "200=1"}, "only 95 settings"},
        UsageCase{"SymbolicOnRootKey", {"query", "2", "--paper", "210x297mm"}, "not a Drv key"},
        UsageCase{"NoSuchPaperSize", {"query", "4099", "--paper", "100x100mm"}, "no paper size"},
        UsageCase{"PaperWithoutUnit", {"query", "4099", "--paper", "210x297"}, "unit"},
        UsageCase{"UnknownMedia", {"query", "4099", "4=3", "--media", "999"}, "media 999"},
        UsageCase{"UserSizeWithoutLength", {"query", "4100", "--paper", "user", "--width", "100mm"}, "--length"},
        UsageCase{"JobKeyOutsideSequences", {"job", "--keys", "4119"}, "4120-4125"},
        UsageCase{"UnknownOption", {"query", "2", "--frobnicate"}, "frobnicate"},
        UsageCase{"SilentWindowMalformed", {"printer", "set", "P", "--window", "25:00-07:00"}, "HH:MM-HH:MM"}),
    [](const ::testing::TestParamInfo<UsageCase>& p) { return std::string(p.param.name); });

TEST_F(MpxqTest, HelpAndVersionExitWithZero) {
  const ToolResult help = Mpxq({"--help"});
  EXPECT_EQ(help.exitStatus, 0);
  EXPECT_TRUE(Contains(help.out, "explain")) << help.out;
  const ToolResult version = Mpxq({"--version"});
  EXPECT_EQ(version.exitStatus, 0);
  EXPECT_TRUE(version.out.starts_with("mpxq ")) << version.out;
}

// ---- explain --------------------------------------------------------------------------------

struct ExplainCase {
  const char* name;
  const char* colour;    // setting 9
  int64_t answer;
};

class MpxqExplainTest : public MpxqTest, public ::testing::WithParamInterface<ExplainCase> {};

TEST_P(MpxqExplainTest, TreeOf0x1007ShowsGuardSwitchAndAnsweringLeaf) {
  const ExplainCase& c = GetParam();
  const std::string colour = std::string("9=") + c.colour;
  const json out = MpxqJson({"explain", "0x1007", "4=3", colour}, 0);
  ASSERT_EQ(out["evaluations"].size(), 1u) << out.dump(1);
  const json& evaluation = out["evaluations"][0];
  EXPECT_EQ(evaluation["status"], 0);
  EXPECT_EQ(evaluation["answer_key"], 0x1007);
  bool guardOpened = false;
  bool switchedOnColour = false;
  std::vector<std::string> types;
  for (const json& event : evaluation["events"]) {
    if (event["event"] == "guard") guardOpened = event["setting"] == 4 && event["value"] == 3 && event["opened"] == true;
    if (event["event"] == "selector") {
      switchedOnColour = event["kind"] == "setting" && event["parameter"] == 9 && event["value"] == std::stoi(c.colour);
    }
    if (event["event"] == "enter") types.push_back(event["type"]);
  }
  EXPECT_TRUE(guardOpened);
  EXPECT_TRUE(switchedOnColour);
  // Filter, guard, three leaves of other keys, the switch, the answering leaf.
  EXPECT_EQ(types, (std::vector<std::string>{"SettingFilter", "SettingGuard", "Int16Array", "SignedBytes",
                                             "SignedBytes", "SettingSwitch", "SignedBytes"}));
  EXPECT_EQ(out["answer"]["values"], json::array({c.answer}));

  const ToolResult text = Mpxq({"explain", "0x1007", "4=3", colour});
  EXPECT_TRUE(Contains(text.out, "setting 4 = 3, opens")) << text.out;
  EXPECT_TRUE(Contains(text.out, "selector: setting 9 = " + std::string(c.colour))) << text.out;
  EXPECT_TRUE(Contains(text.out, "SignedBytes @0x1007 x1 [" + std::to_string(c.answer) + "]   <= answer")) << text.out;
}

INSTANTIATE_TEST_SUITE_P(ColourModes, MpxqExplainTest,
                         ::testing::Values(ExplainCase{"Colour", "0", 24}, ExplainCase{"Greyscale", "1", 8}),
                         [](const ::testing::TestParamInfo<ExplainCase>& p) { return std::string(p.param.name); });

TEST_F(MpxqTest, ExplainShowsAClosedGuardAndNoAnswer) {
  const ToolResult result = Mpxq({"explain", "0x1007", "4=2", "9=0"});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_TRUE(Contains(result.out, "setting 4 = 2, stays closed")) << result.out;
  EXPECT_FALSE(Contains(result.out, "<= answer")) << result.out;
}

TEST_F(MpxqTest, ExplainFollowsThePrinterDataSwitchOfTheJobStart) {
  ASSERT_EQ(Mpxq({"printer", "create", "P"}).exitStatus, 0);
  ASSERT_EQ(Mpxq({"printer", "set", "P", "--silent", "on"}).exitStatus, 0);
  const ToolResult result = Mpxq({"explain", "4120", "--printer", "P"});
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_TRUE(Contains(result.out, "printer-data value \"VrdUI_SilentModeEnable\" (number 153) = 1")) << result.out;
  EXPECT_TRUE(Contains(result.out, "| SetSilent=ON")) << result.out;
}

// ---- job ------------------------------------------------------------------------------------

TEST_F(MpxqTest, JobHeaderOfKey4121IsTheKnownA4Answer) {
  // The same bytes whether the job's settings are named, defaulted or written as numbers.
  const std::vector<std::vector<std::string>> forms = {
      {"--media", "1", "--quality", "4", "--paper", "210x297mm"},
      {},  // A4 on the default media and quality
      {"--set", "5=1", "--set", "8=4", "--set", "28=9"},
  };
  for (size_t i = 0; i < forms.size(); ++i) {
    const std::string output = File("job" + std::to_string(i) + ".prn");
    std::vector<std::string> args = {"job", "--keys", "4121", "-o", output};
    args.insert(args.end(), forms[i].begin(), forms[i].end());
    const ToolResult result = Mpxq(args);
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(tooltest::ReadFile(output), kA4JobCommands) << "form " << i;
    EXPECT_TRUE(Contains(result.out, "wrote 116 bytes")) << result.out;
  }
}

TEST_F(MpxqTest, JobHeaderToStdoutPutsTheListingOnStderr) {
  const ToolResult result = Mpxq({"job", "--keys", "4121", "-o", "-"});
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(std::vector<uint8_t>(result.out.begin(), result.out.end()), kA4JobCommands);
  EXPECT_TRUE(Contains(result.err, "ESC ( p  page format (51 bytes)")) << result.err;
}

TEST_F(MpxqTest, JobListingDecodesThePageFormatWithUnits) {
  const json out = MpxqJson({"job", "--keys", "4121"}, 0);
  const json& part = out["job"]["parts"][0];
  EXPECT_EQ(part["size"], 116);
  std::vector<std::string> commands;
  std::map<std::string, std::string> units;
  std::map<std::string, int64_t> lastValue;
  for (const json& command : part["commands"]) {
    commands.push_back(command["command"]);
    if (command["command"] != "ESC ( p") continue;
    for (const json& field : command["fields"]) {
      lastValue[field["name"]] = field["value"];
      units[field["name"]] = field.value("unit", "");
    }
  }
  EXPECT_EQ(commands, (std::vector<std::string>{"ESC ( b", "ESC ( c", "ESC ( d", "ESC ( t", "ESC ( p", "ESC ( l"}));
  EXPECT_EQ(lastValue["paper width"], 4961);
  EXPECT_EQ(lastValue["paper length"], 7016);
  EXPECT_EQ(lastValue["printable length"], 6827);
  EXPECT_EQ(lastValue["left offset"], 80);
  EXPECT_EQ(lastValue["top offset"], 70);
  EXPECT_EQ(units["paper width"], "dots");
  EXPECT_EQ(units["resolution of the lengths"], "dpi");
  const ToolResult text = Mpxq({"job", "--keys", "4121"});
  EXPECT_TRUE(Contains(text.out, "printable length                683 1/60 in")) << text.out;
  EXPECT_TRUE(Contains(text.out, "paper length                   7016 dots    297.01 mm")) << text.out;
}

TEST_F(MpxqTest, WholeJobNeedsAPrinterAndShowsItsCommandLanguageBlocks) {
  const std::string output = File("job.prn");
  const ToolResult refused = Mpxq({"job", "-o", output});
  EXPECT_EQ(refused.exitStatus, 1);
  EXPECT_TRUE(Contains(refused.err, "--printer")) << refused.err;
  EXPECT_TRUE(tooltest::ReadFile(output).empty()) << "an incomplete job header is not written";

  ASSERT_EQ(Mpxq({"printer", "create", "Q770 on desk"}).exitStatus, 0);
  const ToolResult result = Mpxq({"job", "--printer", "Q770 on desk", "-o", output});
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  const std::vector<uint8_t> bytes = tooltest::ReadFile(output);
  // Time setting (65), silent off (56), ESC [ K 00 0F (7); then 4121-4125.
  ASSERT_EQ(bytes.size(), 128u + 116u + 6u + 2u + 6u + 8u);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 128, bytes.begin() + 244), kA4JobCommands);
  EXPECT_TRUE(Contains(result.out, "| SetTime=")) << result.out;
  EXPECT_TRUE(Contains(result.out, "| SetSilent=OFF")) << result.out;
  EXPECT_TRUE(Contains(result.out, "| QXLEND")) << result.out;
}

// ---- printers -------------------------------------------------------------------------------

TEST_F(MpxqTest, PrinterValuesSetInTheStoreChangeTheSilentModePart) {
  const json created = MpxqJson({"printer", "create", "Q770"}, 0);
  EXPECT_EQ(created["created"], true);
  EXPECT_EQ(created["path"], StorePath() + "/Q770.ini");
  EXPECT_TRUE(Contains(Mpxq({"printer", "create", "Q770"}).out, "already")) << "a second create keeps the printer";

  ASSERT_EQ(Mpxq({"printer", "set", "Q770", "--silent", "window", "--window", "22:00-07:00"}).exitStatus, 0);
  const std::vector<uint8_t> file = tooltest::ReadFile(StorePath() + "/Q770.ini");
  const std::string text(file.begin(), file.end());
  EXPECT_TRUE(Contains(text, "VrdUI_SilentModeEnable=2")) << text;
  EXPECT_TRUE(Contains(text, "VrdUI_SilentModeTime=" + std::to_string(1320 | 420 << 16))) << text;

  const json shown = MpxqJson({"printer", "show", "Q770"}, 0);
  EXPECT_EQ(shown["values"]["VrdUI_SilentModeEnable"], 2);
  EXPECT_EQ(shown["values"]["VrdUI_SilentModeTime"], 1320 | 420 << 16);

  // Always on: the stored 55-byte block.
  ASSERT_EQ(Mpxq({"printer", "set", "Q770", "--silent", "on"}).exitStatus, 0);
  EXPECT_EQ(MpxqJson({"printer", "show", "Q770"}, 0)["job_start_silent_line"], "SetSilent=ON");
  const json job = MpxqJson({"job", "--keys", "4120", "--printer", "Q770"}, 0);
  EXPECT_EQ(job["job"]["parts"][0]["size"], 65 + 55 + 7);
}

TEST_F(MpxqTest, PrinterThatDoesNotExistIsAFailure) {
  const ToolResult result = Mpxq({"printer", "show", "nobody"});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_TRUE(Contains(result.err, "printer create")) << result.err;
}

// ---- modes, keys, dump ----------------------------------------------------------------------

TEST_F(MpxqTest, ModesListsEverySupportedPrintMode) {
  const json out = MpxqJson({"modes"}, 0);
  ASSERT_EQ(out["count"], 56);
  std::map<int64_t, int> perMedia;
  for (const json& mode : out["modes"]) {
    EXPECT_EQ(mode["engine"], 3);
    EXPECT_EQ(mode["resolution"], json::array({600, 600}));
    ++perMedia[mode["media"]];
  }
  // Media 1: qualities 1, 4, 5 with margins and 4 without, in colour and greyscale.
  EXPECT_EQ(perMedia[1], 8);
  EXPECT_EQ(perMedia[276], 2);
}

TEST_F(MpxqTest, KeysListsTheDirectoryAndTheKeysAnsweredByCode) {
  const json out = MpxqJson({"keys", "drv"}, 0);
  int inDirectory = 0;
  std::map<int64_t, json> byKey;
  for (const json& entry : out["keys"]) {
    inDirectory += entry["in_directory"].get<bool>() ? 1 : 0;
    byKey[entry["key"]] = entry;
  }
  EXPECT_EQ(inDirectory, 63);
  EXPECT_EQ(byKey[4103]["selectors"], "settings 4, 9");
  EXPECT_EQ(byKey[4103]["answers"], "SignedBytes");
  EXPECT_FALSE(byKey[4121]["in_directory"].get<bool>());
  EXPECT_TRUE(Contains(byKey[4162]["description"], "table file"));
  EXPECT_EQ(Mpxq({"keys", "nothing"}).exitStatus, 2);
}

TEST_F(MpxqTest, DumpPrintsTheDatabaseAsSource) {
  const ToolResult result = Mpxq({"dump"});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_TRUE(Contains(result.out, "key 0x0002 = WideText \"1.52\"")) << result.out.substr(0, 400);
  EXPECT_TRUE(Contains(result.out, "key 0x1007 = ")) << "the directory entry of 0x1007";
  EXPECT_TRUE(Contains(result.out, "SettingSwitch 9 {")) << "the switch of 0x1007's tree";
}

}  // namespace
