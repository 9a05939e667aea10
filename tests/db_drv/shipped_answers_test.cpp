// The shipped database through the exported functions, as a host calls them: the stored
// answers of the Root and Drv keys for the inputs the printer's documentation lists.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "db_query.h"
#include "modeldb.h"
#include "q770_model.h"

namespace {

using dbtest::Answer;
using dbtest::Ask;
using dbtest::HostState;
using dbtest::Int32s;
using dbtest::Text;

HostState RootState(int32_t valueNumber, const std::string& code = "") {
  HostState s;
  s.settingCount = 1;
  s.stringCount = 1;
  s.settings[0] = valueNumber;
  s.strings[0] = code;
  return s;
}

// The default print mode: colour, plain paper, margins, quality 4, first variant, A4.
HostState DrvState(std::map<uint32_t, int32_t> overrides = {}) {
  HostState s;
  s.stringCount = 0;
  s.settings = {{q770::kEngine, 3}, {q770::kGrey, 0},  {q770::kMedia, 1},
                {q770::kQuality, 4}, {q770::kVariant, 1}, {q770::kInkSet, 7},
                {q770::kPaperSize, 9}};
  for (const auto& [k, v] : overrides) s.settings[k] = v;
  return s;
}

Answer Root(uint32_t key, const HostState& s) { return Ask(MPX_AccessRootDataBase, key, s); }
Answer Drv(uint32_t key, const HostState& s) { return Ask(MPX_AccessDrvDataBase, key, s); }

// ---- Root -------------------------------------------------------------------------------------

struct TextCase {
  uint32_t key;
  const char* text;
};

class RootFileNames : public ::testing::TestWithParam<TextCase> {};

TEST_P(RootFileNames, AnswerTheNameWithItsNul) {
  const Answer a = Root(GetParam().key, RootState(0));
  ASSERT_EQ(a.status, MPX_OK);
  EXPECT_EQ(Text(a), GetParam().text);
  const std::string text = GetParam().text;
  EXPECT_EQ(a.size, 2 * (text.size() + 1)) << "the count includes the NUL";
  EXPECT_EQ(a.bytes[a.size - 2], 0);
  EXPECT_EQ(a.bytes[a.size - 1], 0);
}

INSTANTIATE_TEST_SUITE_P(
    Shipped, RootFileNames,
    ::testing::Values(TextCase{2, "1.52"}, TextCase{3, "comp01.dll"}, TextCase{10, "comp02.exe"},
                      TextCase{11, "comp03.hlp"}, TextCase{16, "comp04.hlp"},
                      TextCase{19, "comp05.dll"}, TextCase{20, "comp06.dll"},
                      TextCase{24, "comp07.dll"}, TextCase{26, "comp08.smr"},
                      TextCase{27, "comp08.exe"}, TextCase{29, "comp09.ini"},
                      TextCase{30, "calibmod.dll"}, TextCase{37, "comp10.exe"},
                      TextCase{38, "comp11.dll"}, TextCase{39, "comp12.dll"},
                      TextCase{42, "comp13.exe"}, TextCase{43, "comp14.hlp"}));

TEST(RootVersion, IsTenBytesOfWideText) {
  const Answer a = Root(2, RootState(0));
  ASSERT_EQ(a.status, MPX_OK);
  EXPECT_EQ(dbtest::Hex(a.bytes), "31 00 2E 00 35 00 32 00 00 00");
}

TEST(RootDisplayNames, AreNonEmptyTerminatedTexts) {
  for (uint32_t key : {25u, 28u, 35u}) {
    const Answer a = Root(key, RootState(0));
    ASSERT_EQ(a.status, MPX_OK) << key;
    EXPECT_FALSE(Text(a).empty()) << key;
    ASSERT_GE(a.size, 4u);
    EXPECT_EQ(a.bytes[a.size - 2] | a.bytes[a.size - 1], 0) << key;
  }
}

struct NumbersCase {
  uint32_t key;
  std::vector<int32_t> values;
};

class RootNumbers : public ::testing::TestWithParam<NumbersCase> {};

TEST_P(RootNumbers, AnswerTheirValues) {
  const Answer a = Root(GetParam().key, RootState(0));
  ASSERT_EQ(a.status, MPX_OK);
  EXPECT_EQ(Int32s(a), GetParam().values);
}

INSTANTIATE_TEST_SUITE_P(
    Shipped, RootNumbers,
    ::testing::Values(NumbersCase{4, {1}}, NumbersCase{12, {1}}, NumbersCase{15, {1}},
                      NumbersCase{21, {1}}, NumbersCase{22, {1}}, NumbersCase{33, {1}},
                      NumbersCase{36, {1}}, NumbersCase{40, {1}}, NumbersCase{9, {0}},
                      NumbersCase{13, {0}}, NumbersCase{31, {0}}, NumbersCase{34, {0}},
                      NumbersCase{5, {103}}, NumbersCase{6, {104}}, NumbersCase{7, {102}},
                      NumbersCase{14, {7}}, NumbersCase{17, {17603}}, NumbersCase{23, {3, 1}},
                      NumbersCase{44, {14844}}));

TEST(RootDirectory, HoldsExactlyTheRootKeys) {
  for (uint32_t key = 1; key <= 0x0FFF; ++key) {
    const bool listed = (key >= 2 && key <= 31) || (key >= 33 && key <= 40) ||
                        (key >= 42 && key <= 44);
    const Answer a = Root(key, RootState(1, "SSR"));
    if (listed) {
      EXPECT_EQ(a.status, MPX_OK) << key;
    } else {
      EXPECT_EQ(a.status, MPX_KEY_NOT_FOUND) << key;
    }
  }
}

// The 80 printer-data value names by value-name number.
const std::vector<std::pair<int32_t, std::string>>& ValueNames() {
  static const std::vector<std::pair<int32_t, std::string>> names = [] {
    std::vector<std::pair<int32_t, std::string>> n{
        {1, "VrdUI_CustomPhotoDetect"}, {2, "VrdUI_CustomECPMode"},
        {3, "VrdUI_CustomPausePage"}, {4, "VrdUI_CustomPauseScan"},
        {5, "VrdUI_CustomPHAAfter"}, {6, "VrdUI_CustomManualPHA"},
        {7, "VrdUI_CustomCleanAfter"}, {8, "VrdUI_CustomEconomyClean"},
        {9, "VrdUI_CustomInkOutDetect"}, {10, "VrdUI_CustomPreventTrans"},
        {11, "VrdUI_CustomEnableSealedPrintMode"}, {12, "VrdUI_CustomEvenlyPrint"},
        {51, "VrdUI_InkDry"}, {101, "VrdSLM_CHDID"}, {102, "VrdSLM_CartridgeDetectID"},
        {151, "VrdUI_AutoPowerOn"}, {152, "VrdUI_AutoPowerOff"},
        {153, "VrdUI_SilentModeEnable"}, {154, "VrdUI_SilentModeTime"},
        {156, "VrdUI_InkAlertEnable"}, {157, "VrdUI_InkAlertMessage"},
        {301, "VrdSLM_DeviceID"}, {302, "VrdSLM_Status"}, {303, "VrdSLM_UserName"},
        {304, "VrdSLM_PaperSource"}, {305, "VrdSLM_JobId"}, {306, "VrdSLM_Page"},
        {307, "VrdSLM_Notify"}, {308, "VrdSLM_ECP"}, {309, "VrdSLM_BSCCStatus"},
        {310, "VrdSLM_TimeLastUpdated"}, {311, "VrdSLM_CartridgeJobInfo"},
        {313, "VrdSLM_Version"}, {314, "VrdSLM_LMStatusType"},
        {315, "VrdSLM_LMStatusNoofParam"}, {321, "VrdSLM_Bidirection"},
        {322, "VrdSLM_AllowCancel"}, {323, "VrdSLM_WriteError"},
        {324, "VrdSLM_DifferentPrinter"}, {325, "VrdSLM_StatusInfo"},
        {326, "VrdSLM_LMStatusMagicNumber"}, {327, "VrdSLM_DisplayDialog"},
        {402, "VrdUI_ManageablePrinter"}, {403, "VrdUI_ShipmentPlace"},
        {404, "VrdUI_LanguageDefault"}, {405, "VrdUI_LanguageCurrent"},
        {406, "VrdUI_LanguageSelect"}, {501, "VrdPP_Counter"}, {502, "VrdPP_LMCheck"},
        {503, "VrdPP_TurnPage"}, {504, "VrdPP_DupInfo"}};
    const char* codes[] = {"SSR", "SFA", "RDC", "RST", "TLN", "FEP", "BST", "ECH",
                           "PID", "TRB", "CHD", "CIL", "SPS", "OPT", "LVR", "MID",
                           "HCU", "DJS", "DBS", "DWS", "DOC", "DSC", "CIR", "TNK"};
    for (int32_t i = 0; i < 24; ++i) n.emplace_back(201 + i, std::string("VrdSLM_") + codes[i]);
    for (int32_t i = 1; i <= 5; ++i) {
      n.emplace_back(315 + i, "VrdSLM_LMStatusParam" + std::to_string(i));
    }
    return n;
  }();
  return names;
}

TEST(RootValueNames, AnswerEveryNumberAndNothingElse) {
  ASSERT_EQ(ValueNames().size(), 80u);
  std::map<int32_t, std::string> byNumber(ValueNames().begin(), ValueNames().end());
  for (int32_t number = -1; number <= 600; ++number) {
    const Answer a = Root(8, RootState(number));
    const auto found = byNumber.find(number);
    if (found == byNumber.end()) {
      EXPECT_EQ(a.status, MPX_NO_ANSWER) << number;
    } else {
      ASSERT_EQ(a.status, MPX_OK) << number;
      EXPECT_EQ(Text(a), found->second) << number;
    }
  }
}

TEST(RootValueNames, SilentModeTimeIsFortyTwoBytes) {
  const Answer a = Root(8, RootState(154));
  ASSERT_EQ(a.status, MPX_OK);
  EXPECT_EQ(a.size, 42u);
  EXPECT_EQ(Text(a), "VrdUI_SilentModeTime");
  EXPECT_EQ(Root(8, RootState(155)).status, MPX_NO_ANSWER);
}

TEST(RootStatusCodes, MapEachCodeToItsValueName) {
  for (int32_t i = 0; i < 24; ++i) {
    const std::string name = ValueNames()[static_cast<size_t>(51 + i)].second;  // 201 + i
    ASSERT_EQ(name.substr(0, 7), "VrdSLM_");
    const Answer a = Root(18, RootState(0, name.substr(7)));
    ASSERT_EQ(a.status, MPX_OK) << name;
    EXPECT_EQ(Text(a), name);
  }
}

TEST(RootStatusCodes, OtherStringsHaveNoAnswer) {
  for (const char* code : {"XYZ", "tnk", "TNK ", "TN", "", "SSRSFA"}) {
    EXPECT_EQ(Root(18, RootState(0, code)).status, MPX_NO_ANSWER) << code;
  }
  HostState none = RootState(0);
  none.noStrings = true;
  EXPECT_EQ(Root(18, none).status, MPX_ERR_STRINGS);
}

// ---- Drv: paper -------------------------------------------------------------------------------

class DrvPaper : public ::testing::TestWithParam<q770::Paper> {};

TEST_P(DrvPaper, GeometryFollowsTheTable) {
  const q770::Paper& p = GetParam();
  const HostState plain = DrvState({{q770::kPaperSize, p.size}});
  const HostState noTopBottom = DrvState({{q770::kPaperSize, p.size}, {q770::kMarginMode, 5}});
  const HostState borderless = DrvState({{q770::kPaperSize, p.size}, {q770::kBorderless, 1}});
  const HostState both = DrvState(
      {{q770::kPaperSize, p.size}, {q770::kBorderless, 1}, {q770::kMarginMode, 5}});

  if (p.size == q770::kUserDefinedSize) {
    EXPECT_EQ(Drv(4099, plain).status, MPX_NO_ANSWER) << "the host's own settings 29 and 30";
    EXPECT_EQ(Drv(4097, plain).status, MPX_NO_ANSWER) << "key 4100 answers instead";
    EXPECT_EQ(Drv(4098, plain).status, MPX_NO_ANSWER);
    return;
  }
  EXPECT_EQ(Int32s(Drv(4099, plain)), (std::vector<int32_t>{p.width, p.length}));
  EXPECT_EQ(Drv(4100, plain).status, MPX_NO_ANSWER);
  if (!p.printable) {
    for (const HostState& s : {plain, noTopBottom, borderless}) {
      EXPECT_EQ(Drv(4097, s).status, MPX_NO_ANSWER);
      EXPECT_EQ(Drv(4098, s).status, MPX_NO_ANSWER);
      EXPECT_EQ(Drv(4147, s).status, MPX_NO_ANSWER);
      EXPECT_EQ(Drv(4176, s).status, MPX_NO_ANSWER);
    }
    return;
  }
  EXPECT_EQ(Int32s(Drv(4097, plain)),
            (std::vector<int32_t>{p.printableWidth, p.printableLength}));
  EXPECT_EQ(Int32s(Drv(4098, plain)), (std::vector<int32_t>{p.top, p.left}));
  EXPECT_EQ(Drv(4147, plain).status, MPX_NO_ANSWER);
  EXPECT_EQ(Drv(4176, plain).status, MPX_NO_ANSWER);

  // Without top and bottom margins: full length, top 0, left 3.40 mm, also with 81 = 1.
  for (const HostState& s : {noTopBottom, both}) {
    EXPECT_EQ(Int32s(Drv(4097, s)), (std::vector<int32_t>{p.printableWidth, p.length}));
    EXPECT_EQ(Int32s(Drv(4098, s)), (std::vector<int32_t>{0, 340}));
    EXPECT_EQ(Int32s(Drv(4147, s)), (std::vector<int32_t>{q770::Dots(p.length)}));
    EXPECT_EQ(Drv(4176, s).status, MPX_NO_ANSWER);
  }

  if (p.borderless) {
    EXPECT_EQ(Int32s(Drv(4097, borderless)), (std::vector<int32_t>{p.width, p.length}));
    EXPECT_EQ(Int32s(Drv(4098, borderless)), (std::vector<int32_t>{0, 0}));
    EXPECT_EQ(Int32s(Drv(4176, borderless)),
              (std::vector<int32_t>{1, -200, -200, p.width + 500, p.length + 700, 200, 200,
                                    p.width - 500, p.length - 700}));
  } else {
    EXPECT_EQ(Int32s(Drv(4097, borderless)),
              (std::vector<int32_t>{p.printableWidth, p.printableLength}));
    EXPECT_EQ(Int32s(Drv(4098, borderless)), (std::vector<int32_t>{p.top, p.left}));
    EXPECT_EQ(Drv(4176, borderless).status, MPX_NO_ANSWER);
  }
}

INSTANTIATE_TEST_SUITE_P(Shipped, DrvPaper, ::testing::ValuesIn(q770::kPapers),
                         [](const ::testing::TestParamInfo<q770::Paper>& param) {
                           return "size" + std::to_string(param.param.size);
                         });

TEST(DrvPaperEdges, LargeLengthsComeUnsigned) {
  EXPECT_EQ(dbtest::Hex(Drv(4099, DrvState({{q770::kPaperSize, 5}})).bytes),
            "56 54 00 00 E8 8A 00 00");  // 21590, 35560
  EXPECT_EQ(Int32s(Drv(4101, DrvState())), (std::vector<int32_t>{21590, 58420}));
  EXPECT_EQ(Int32s(Drv(4102, DrvState())), (std::vector<int32_t>{9000, 12000}));
  EXPECT_EQ(Int32s(Drv(4132, DrvState())), (std::vector<int32_t>{42000, 59400}));
  EXPECT_EQ(Drv(4099, DrvState({{q770::kPaperSize, 999}})).status, MPX_NO_ANSWER);
}

TEST(DrvBleed, AFourWithoutMargins) {
  EXPECT_EQ(Int32s(Drv(4176, DrvState({{q770::kBorderless, 1}}))),
            (std::vector<int32_t>{1, -200, -200, 21500, 30400, 200, 200, 20500, 29000}));
}

// ---- Drv: settings-selected numbers -------------------------------------------------------

struct DrvCase {
  const char* name;
  uint32_t key;
  std::map<uint32_t, int32_t> settings;  // over the default print mode
  int32_t status;
  std::vector<int32_t> values;
};

class DrvNumbers : public ::testing::TestWithParam<DrvCase> {};

TEST_P(DrvNumbers, Answer) {
  const DrvCase& c = GetParam();
  const Answer a = Drv(c.key, DrvState(c.settings));
  ASSERT_EQ(a.status, c.status);
  if (c.status == MPX_OK) {
    EXPECT_EQ(Int32s(a), c.values);
  }
}

const std::vector<int32_t> kColourFlags{1, 1, 1, 1, 1, 1, 1, 1, -1};

INSTANTIATE_TEST_SUITE_P(
    Shipped, DrvNumbers,
    ::testing::Values(
        DrvCase{"BitsColour", 4103, {}, 0, {24}},
        DrvCase{"BitsGrey", 4103, {{9, 1}}, 0, {8}},
        DrvCase{"BitsOtherEngine", 4103, {{4, 2}}, 1, {}},
        DrvCase{"BitsOtherColour", 4103, {{9, 7}}, 1, {}},
        DrvCase{"FlagsOption19", 4105, {{19, 1}}, 0, {1, 1, 1, 1, 1, 1, 0, 0, -1}},
        DrvCase{"FlagsOption18", 4105, {{18, 3}}, 0, {1, 1, 1, 1, 1, 1, 1, 0, -1}},
        DrvCase{"FlagsOption19Wins", 4105, {{18, 3}, {19, 1}}, 0, {1, 1, 1, 1, 1, 1, 0, 0, -1}},
        DrvCase{"FlagsColour", 4105, {}, 0, kColourFlags},
        DrvCase{"FlagsGrey", 4105, {{9, 1}, {19, 1}}, 0, {0, 0, 0, 0, 1, 0, 0, 0, -1}},
        DrvCase{"PlainPaper", 4106, {}, 0, {1}},
        DrvCase{"NotPlainPaper", 4106, {{5, 281}}, 0, {0}},
        DrvCase{"PlainPaperAgain", 4171, {}, 0, {1}},
        DrvCase{"NotPlainPaperAgain", 4171, {{5, 263}}, 0, {0}},
        DrvCase{"ModeSettings", 4107, {}, 0, {4, 5, 81, 7, 8, 6}},
        DrvCase{"Settings4128", 4128, {}, 0, {0, 28, 5, 1, 5, 28}},
        DrvCase{"RelatedByMedia", 4129, {{0, 1}, {5, 279}}, 0, {1, 275}},
        DrvCase{"RelatedBySize", 4129, {{0, 0}, {28, 275}}, 0, {1, 279}},
        DrvCase{"RelatedNone", 4129, {{0, 1}, {5, 263}}, 1, {}},
        DrvCase{"RelatedEnvelopes", 4130, {{0, 1}, {5, 263}}, 0, {20, 27}},
        DrvCase{"Related275", 4130, {{0, 1}, {5, 279}}, 0, {275}},
        DrvCase{"RelatedTo263", 4130, {{0, 0}, {28, 20}}, 0, {263}},
        DrvCase{"RelatedTo263From27", 4130, {{0, 0}, {28, 27}}, 0, {263}},
        DrvCase{"RelatedTo279", 4130, {{0, 0}, {28, 275}}, 0, {279}},
        DrvCase{"RelatedOtherMode", 4130, {{0, 2}, {28, 20}}, 1, {}},
        DrvCase{"Defaults", 4131, {}, 0, {4, 3, 5, 1, 81, 0, 7, 7, 8, 4, 18, 0, 17, 2}},
        DrvCase{"One4133", 4133, {}, 0, {1}},
        DrvCase{"InkGroupNoMargins", 4134, {{52, 5}}, 0, {21013}},
        DrvCase{"InkGroup273", 4134, {{5, 273}}, 0, {21013}},
        DrvCase{"InkGroup263", 4134, {{5, 263}}, 0, {21013}},
        DrvCase{"InkGroupPlain", 4134, {}, 0, {21011}},
        DrvCase{"InkGroupOther", 4134, {{5, 281}}, 0, {21011}},
        DrvCase{"InkGroupOtherInkSet", 4134, {{7, 4}}, 1, {}},
        DrvCase{"Media258", 4136, {{5, 258}}, 0, {1}},
        DrvCase{"Media273", 4136, {{5, 273}}, 0, {1}},
        DrvCase{"Media1", 4136, {}, 0, {0}},
        DrvCase{"NoMarginsFlag", 4138, {{52, 5}}, 0, {1}},
        DrvCase{"MarginsFlag", 4138, {}, 0, {0}},
        DrvCase{"Ids4139", 4139, {}, 0, {21001, 21002, 21003, 21011, 21013}},
        DrvCase{"Ids4140", 4140, {}, 0, {21031, 21041, 21042, 21067, 21051, 21052, 21053, 21054}},
        DrvCase{"MarginIdsNone", 4141, {{52, 5}}, 0, {21003}},
        DrvCase{"MarginIds", 4141, {}, 0, {21001, 21002}},
        DrvCase{"InkIdsNoMargins", 4142, {{52, 5}, {7, 4}}, 0, {21067}},
        DrvCase{"InkIds7", 4142, {}, 0, {21041, 21042}},
        DrvCase{"InkIds4", 4142, {{7, 4}}, 0, {21043}},
        DrvCase{"InkIdsOther", 4142, {{7, 0}}, 0, {21044}},
        DrvCase{"Duplex2", 4143, {{20, 2}}, 0, {21053, 21054}},
        DrvCase{"Duplex1", 4143, {{20, 1}}, 0, {21051, 21052}},
        DrvCase{"DuplexNone", 4143, {}, 1, {}},
        DrvCase{"Reserved4145", 4145, {}, 1, {}},
        DrvCase{"One4151", 4151, {}, 0, {1}},
        DrvCase{"Value4152", 4152, {}, 0, {33, 161}},
        DrvCase{"Value4153", 4153, {}, 0, {124}},
        DrvCase{"Engine", 4154, {}, 0, {3}},
        DrvCase{"EngineOther", 4154, {{4, 2}}, 1, {}},
        DrvCase{"Value4157", 4157, {}, 0, {124}},
        DrvCase{"Correction1", 4158, {{82, 1}}, 0,
                {0, 17402, 2102, 3, 1, 17403, 2103, 3, 2, 17404, 2104, 2, 3, 17401, 2101, 0}},
        DrvCase{"Correction0", 4158, {}, 0,
                {0, 17402, 2102, 0, 1, 17403, 2103, 0, 2, 17404, 2104, 2, 3, 17401, 2101, 0}},
        DrvCase{"CorrectionGrey", 4158, {{9, 1}, {82, 1}}, 0,
                {0, 17402, 2102, 0, 1, 17403, 2103, 0, 2, 17404, 2104, 2, 3, 17401, 2101, 0}},
        DrvCase{"Halftone19", 4159, {{19, 1}}, 0,
                {1, 15601, 1, 32, 2, 15602, 2, 18, 3, 15605, 3, 22}},
        DrvCase{"Halftone", 4159, {}, 0, {1, 15601, 1, 14, 2, 15602, 2, 18, 3, 15605, 3, 22}},
        DrvCase{"HalftoneGrey", 4159, {{9, 1}, {19, 1}}, 0,
                {1, 15601, 1, 14, 2, 15602, 2, 18, 3, 15605, 3, 22}},
        DrvCase{"Options19", 4161, {{19, 1}}, 0, {16, 3, 17, 1, 18, 1}},
        DrvCase{"OptionsGrey", 4161, {{9, 1}}, 0, {17, 2}},
        DrvCase{"OptionsColour", 4161, {}, 1, {}},
        DrvCase{"Minus2", 4163, {}, 0, {-2}},
        DrvCase{"Ids4169", 4169, {}, 0, {16402, 16645}},
        DrvCase{"One4172", 4172, {}, 0, {1}},
        DrvCase{"One4175", 4175, {}, 0, {1}},
        DrvCase{"Three4178", 4178, {}, 0, {0, 1, 2}},
        DrvCase{"Resolution4179", 4179, {}, 0, {600}},
        DrvCase{"Resolution", 4104, {}, 0, {600, 600}},
        DrvCase{"ResolutionSecondVariant", 4104, {{8, 5}, {6, 2}}, 0, {600, 600}},
        DrvCase{"ResolutionNoSecondVariant", 4104, {{6, 2}}, 1, {}},
        DrvCase{"ResolutionUnsupported", 4104, {{5, 285}}, 1, {}},
        DrvCase{"ModeNumbers", 4117, {}, 0, {0, 4, 0, 0}},
        DrvCase{"ModeNumbersGrey5", 4117, {{9, 1}, {8, 5}}, 0, {5, 5, 0, 0}},
        DrvCase{"ModeNumbersColour5", 4117, {{8, 5}}, 0, {0, 5, 0, 0}},
        DrvCase{"ModeNumbersUnsupported", 4117, {{8, 2}}, 1, {}}),
    [](const ::testing::TestParamInfo<DrvCase>& param) { return param.param.name; });

TEST(DrvFileNames, AnswerTheirNames) {
  const std::pair<uint32_t, const char*> names[] = {
      {4127, "cprof002.icm"}, {4149, "comp15.dll"}, {4155, "comp16.dll"},
      {4162, "htab0000.tbl"}, {4168, "comp17.dll"}};
  for (const auto& [key, name] : names) {
    const Answer a = Drv(key, DrvState());
    ASSERT_EQ(a.status, MPX_OK) << key;
    EXPECT_EQ(Text(a), name) << key;
  }
}

TEST(DrvInkLimits, TwoBlocksOf533BytesThatDifferInAFewBytes) {
  const std::vector<uint8_t> first = Drv(4166, DrvState()).bytes;
  ASSERT_EQ(first.size(), 533u);
  for (int32_t media : {262, 263, 275, 278, 383}) {
    const Answer a = Drv(4166, DrvState({{q770::kMedia, media}}));
    ASSERT_EQ(a.status, MPX_OK) << media;
    EXPECT_EQ(a.bytes, first) << media;
  }
  const std::vector<uint8_t> other = Drv(4166, DrvState({{q770::kMedia, 281}})).bytes;
  ASSERT_EQ(other.size(), 533u);
  size_t differences = 0;
  for (size_t i = 0; i < first.size(); ++i) differences += first[i] != other[i] ? 1u : 0u;
  EXPECT_GT(differences, 0u);
  EXPECT_LE(differences, 16u);
  for (int32_t media : {2, 271, 276, 277, 284, 285, 0, 999}) {
    EXPECT_EQ(Drv(4166, DrvState({{q770::kMedia, media}})).bytes, other) << media;
  }
}

TEST(DrvDirectory, HoldsTheDrvKeys) {
  // Keys the dispatcher answers without the directory are left out here.
  const std::vector<std::pair<uint32_t, uint32_t>> ranges{
      {4097, 4108}, {4110, 4110}, {4112, 4114}, {4116, 4119}, {4127, 4134}, {4136, 4136},
      {4138, 4143}, {4145, 4147}, {4149, 4149}, {4151, 4155}, {4157, 4159}, {4161, 4163},
      {4166, 4166}, {4168, 4169}, {4171, 4180}};
  auto listed = [&ranges](uint32_t key) {
    for (const auto& [lo, hi] : ranges) {
      if (key >= lo && key <= hi) return true;
    }
    return false;
  };
  for (uint32_t key = 0x1001; key <= 0x1FFF; ++key) {
    if ((key >= 4108 && key <= 4126) || key == 4173 || key == 4174 || key == 4177 ||
        key == 4180) {
      continue;  // the dispatcher's own keys
    }
    const Answer a = Drv(key, DrvState());
    if (listed(key)) {
      EXPECT_NE(a.status, MPX_KEY_NOT_FOUND) << key;
    } else {
      EXPECT_EQ(a.status, MPX_KEY_NOT_FOUND) << key;
    }
  }
}

}  // namespace
