// QXCalibration end to end, through the exported function of the shared library, on
// temporary directories.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "calibration_support.h"

namespace caltest {
namespace {

constexpr CalibrationRequest kRequest{7, 3, 1, 2, 3};
// The characters working names vary over, in order.
constexpr const char* kVaried = "123456789abcdefghijklmnopqrstuvwxyz";

class CalibrationExportTest : public CalibrationDirs {
 protected:
  int16_t Call(const CalibrationRequest& request = kRequest, const Levels& levels = kAdjusted,
               const char* baseName = kBaseName, const char* stem = kStem) {
    return Run(&QXCalibration, request, levels, baseName, stem);
  }
  // A working file for a history entry that is valid in state 1: a copy of the base file.
  void PutValidWorking(const std::string& name) const { PutWork(name, base_); }
};

TEST_F(CalibrationExportTest, FirstCallInEmptyWorkingDirectory) {
  ASSERT_EQ(Call(), CAL_OK);
  EXPECT_EQ(Returned(), "htab0001.tbl");
  EXPECT_TRUE(SameBytes(Work("htab0001.tbl"), Expected(kAdjusted)));
  EXPECT_EQ(Text(HistoryName()), "7,1,2,3,htab0001.tbl\r\n");
  // Nothing else is left in the working directory, and the base file is as it was.
  EXPECT_EQ(Snapshot(workDir_).size(), 2u);
  EXPECT_TRUE(SameBytes(Read(baseDir_ / kBaseName), base_));
}

TEST_F(CalibrationExportTest, NeutralLevelsCopyTheBaseFileExactly) {
  cal::sample::TableLayout layout;
  const Bytes sample = cal::sample::BuildTableFile(cal::sample::SampleTable(), &layout);
  ASSERT_TRUE(cal::sample::WriteFileBytes((baseDir_ / kBaseName).string(), sample));
  ASSERT_EQ(Call(kRequest, kNeutral), CAL_OK);
  EXPECT_TRUE(SameBytes(Work(Returned()), sample));
}

TEST_F(CalibrationExportTest, RepeatCallWritesNothing) {
  ASSERT_EQ(Call(), CAL_OK);
  AgeFiles(workDir_);
  AgeFiles(baseDir_);
  const DirectoryState work = Snapshot(workDir_);
  const DirectoryState base = Snapshot(baseDir_);

  ASSERT_EQ(Call(), CAL_OK);
  EXPECT_EQ(Returned(), "htab0001.tbl");
  EXPECT_EQ(Snapshot(workDir_), work);
  EXPECT_EQ(Snapshot(baseDir_), base);
}

TEST_F(CalibrationExportTest, DeletedWorkingFileIsRebuiltUnderItsName) {
  ASSERT_EQ(Call(), CAL_OK);
  AgeFiles(workDir_);
  const FileState history = Snapshot(workDir_).at(HistoryName());
  fs::remove(workDir_ / "htab0001.tbl");

  ASSERT_EQ(Call(), CAL_OK);
  EXPECT_EQ(Returned(), "htab0001.tbl");
  EXPECT_TRUE(SameBytes(Work("htab0001.tbl"), Expected(kAdjusted)));
  EXPECT_EQ(Snapshot(workDir_).at(HistoryName()), history);
}

TEST_F(CalibrationExportTest, ChangedIdentificationForcesRebuild) {
  ASSERT_EQ(Call(), CAL_OK);
  const Bytes historyBefore = Work(HistoryName());
  PutBase(BaseSpec("Q770 HTAB0000 1.01"));

  ASSERT_EQ(Call(), CAL_OK);
  EXPECT_EQ(Returned(), "htab0001.tbl");
  EXPECT_TRUE(SameBytes(Work("htab0001.tbl"), Expected(kAdjusted)));
  EXPECT_EQ(Work(HistoryName()), historyBefore);
}

TEST_F(CalibrationExportTest, MissingBaseFileFailsWhateverTheHistoryHolds) {
  ASSERT_EQ(Call(), CAL_OK);
  const DirectoryState work = Snapshot(workDir_);
  fs::remove(baseDir_ / kBaseName);

  EXPECT_EQ(Call(), CALERR_FILE);
  EXPECT_EQ(Returned(), kBaseName);
  EXPECT_EQ(Snapshot(workDir_), work);

  fs::remove_all(workDir_);
  fs::create_directories(workDir_);
  EXPECT_EQ(Call(), CALERR_FILE);
  EXPECT_EQ(Returned(), kBaseName);
  EXPECT_TRUE(Snapshot(workDir_).empty());
}

TEST_F(CalibrationExportTest, OtherCalibrationsGetTheirOwnFiles) {
  ASSERT_EQ(Call(kRequest, kAdjusted), CAL_OK);
  ASSERT_EQ(Call(CalibrationRequest{7, 3, 1, 2, 4}, kOtherAdjusted), CAL_OK);
  EXPECT_EQ(Returned(), "htab0002.tbl");
  EXPECT_EQ(Text(HistoryName()), "7,1,2,3,htab0001.tbl\r\n7,1,2,4,htab0002.tbl\r\n");
  EXPECT_TRUE(SameBytes(Work("htab0001.tbl"), Expected(kAdjusted)));
  EXPECT_TRUE(SameBytes(Work("htab0002.tbl"), Expected(kOtherAdjusted)));
  ASSERT_EQ(Call(kRequest, kAdjusted), CAL_OK);
  EXPECT_EQ(Returned(), "htab0001.tbl");
}

// Two history keys in one working directory: the second never takes the first one's file.
TEST_F(CalibrationExportTest, KeysSharingAWorkingDirectoryDoNotOverwriteEachOther) {
  ASSERT_EQ(Call(CalibrationRequest{7, 3, 1, 2, 3}, kAdjusted), CAL_OK);
  ASSERT_EQ(Call(CalibrationRequest{8, 3, 1, 2, 3}, kOtherAdjusted), CAL_OK);
  EXPECT_EQ(Returned(), "htab0002.tbl");
  EXPECT_EQ(Text(HistoryName(8)), "8,1,2,3,htab0002.tbl\r\n");
  EXPECT_TRUE(SameBytes(Work("htab0001.tbl"), Expected(kAdjusted)));
  EXPECT_TRUE(SameBytes(Work("htab0002.tbl"), Expected(kOtherAdjusted)));
}

TEST_F(CalibrationExportTest, BaseFileInTheWorkingDirectoryIsNeverReplaced) {
  // The base name carries "1" where working names vary, and both directories are one.
  const std::string baseName = "htab0001.tbl";
  fs::rename(baseDir_ / kBaseName, workDir_ / baseName);
  wideBase_ = wideWork_;
  ASSERT_EQ(Call(kRequest, kAdjusted, baseName.c_str()), CAL_OK);
  EXPECT_EQ(Returned(), "htab0002.tbl");
  EXPECT_TRUE(SameBytes(Work(baseName), base_));
  EXPECT_TRUE(SameBytes(Work("htab0002.tbl"), Expected(kAdjusted)));

  // A history that names the base file itself is refused: neither handed out as a
  // calibrated file nor rebuilt over the base file.
  for (const char* named : {"htab0001.tbl", "HTAB0001.TBL"}) {
    PutText(HistoryName(), NameLine(7, 1, 2, 3, named));
    EXPECT_EQ(Call(kRequest, kAdjusted, baseName.c_str()), CALERR_FILE) << named;
    EXPECT_EQ(Returned(), baseName);
    EXPECT_TRUE(SameBytes(Work(baseName), base_));
    EXPECT_EQ(Text(HistoryName()), NameLine(7, 1, 2, 3, named));
  }
}

// ---- Name generation --------------------------------------------------------------------------

struct NameCase {
  const char* label;
  std::vector<std::string> historyNames;  // entries for other calibrations, in order
  std::vector<std::string> otherFiles;    // files in the working directory no entry names
  const char* expected;
};

class NameGenerationTest : public CalibrationExportTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(NameGenerationTest, TakesTheFirstFreeCharacter) {
  const NameCase& c = GetParam();
  std::string history;
  uint32_t id = 100;
  for (const std::string& name : c.historyNames) {
    history += NameLine(7, id++, 0, 0, name);
    PutValidWorking(name);
  }
  if (!history.empty()) PutText(HistoryName(), history);
  for (const std::string& name : c.otherFiles) PutText(name, "someone else's file");
  const DirectoryState before = Snapshot(workDir_);

  ASSERT_EQ(Call(), CAL_OK);
  EXPECT_EQ(Returned(), c.expected);
  EXPECT_TRUE(SameBytes(Work(c.expected), Expected(kAdjusted)));
  EXPECT_EQ(Text(HistoryName()), history + NameLine(7, 1, 2, 3, c.expected));
  // No file that was there before has changed, except the history.
  for (const auto& [name, state] : before) {
    if (name != HistoryName()) {
      EXPECT_EQ(Snapshot(workDir_).at(name).bytes, state.bytes) << name;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NameGenerationTest,
    ::testing::Values(
        NameCase{"NoCandidates", {}, {}, "htab0001.tbl"},
        NameCase{"OneAndTwoTaken", {"htab0001.tbl", "htab0002.tbl"}, {}, "htab0003.tbl"},
        NameCase{"CaseIgnored", {"HTAB0001.TBL", "htab0002.TBL"}, {}, "htab0003.tbl"},
        NameCase{"GapIsUsed", {"htab0001.tbl", "htab0003.tbl"}, {}, "htab0002.tbl"},
        NameCase{"NotACandidateElsewhere", {"htab1001.tbl", "htab0001.tb"}, {}, "htab0001.tbl"},
        NameCase{"ExistingFilesAreSkipped", {"htab0001.tbl"}, {"htab0002.tbl", "htab0003.tbl"},
                 "htab0004.tbl"},
        NameCase{"LettersAfterDigits",
                 {"htab0001.tbl", "htab0002.tbl", "htab0003.tbl", "htab0004.tbl", "htab0005.tbl",
                  "htab0006.tbl", "htab0007.tbl", "htab0008.tbl", "htab0009.tbl"},
                 {},
                 "htab000a.tbl"},
        NameCase{"UpperCaseBlocksLower", {"htab000A.tbl"}, {"htab0001.tbl", "htab0002.tbl",
                 "htab0003.tbl", "htab0004.tbl", "htab0005.tbl", "htab0006.tbl", "htab0007.tbl",
                 "htab0008.tbl", "htab0009.tbl"}, "htab000b.tbl"}),
    [](const auto& p) { return std::string(p.param.label); });

TEST_F(CalibrationExportTest, NoHistoryStillSkipsExistingFiles) {
  PutText("htab0001.tbl", "left from a history that was lost");
  ASSERT_EQ(Call(), CAL_OK);
  EXPECT_EQ(Returned(), "htab0002.tbl");
  EXPECT_EQ(Text("htab0001.tbl"), "left from a history that was lost");
}

TEST_F(CalibrationExportTest, AllNamesTakenByForeignFilesFails) {
  for (char c : std::string(kVaried)) {
    PutText(std::string("htab000") + c + ".tbl", "foreign");
  }
  const DirectoryState before = Snapshot(workDir_);
  EXPECT_EQ(Call(), CALERR_FILE);
  EXPECT_EQ(Returned(), kBaseName);
  EXPECT_EQ(Snapshot(workDir_), before);
}

// All 35 characters in use: the oldest entry gives its character up, and the history is
// rewritten without it, normalised, with the new line last.
TEST_F(CalibrationExportTest, AllCharactersInUseReuseTheOldest) {
  const std::string alphabet(kVaried);
  // Line 1 is not a candidate; the candidate with the smallest sequence is the one of
  // line 2, which carries "k".
  std::string history = " 9 , 4294967295,-,  5- , other.tbl \r\n\r\n";
  std::string expected = "9,4294967295,4294967295,4294967295,other.tbl\r\n";
  std::vector<std::string> order = {"k"};
  for (char c : alphabet) {
    if (c != 'k') order.push_back(std::string(1, c));
  }
  uint32_t id = 100;
  for (const std::string& c : order) {
    const std::string name = "htab000" + c + ".tbl";
    history += NameLine(7, id, 0, 0, name);
    if (c != "k") expected += NameLine(7, id, 0, 0, name);
    ++id;
    PutValidWorking(name);
  }
  PutText(HistoryName(), history);

  ASSERT_EQ(Call(), CAL_OK);
  EXPECT_EQ(Returned(), "htab000k.tbl");
  EXPECT_TRUE(SameBytes(Work("htab000k.tbl"), Expected(kAdjusted)));
  EXPECT_EQ(Text(HistoryName()), expected + NameLine(7, 1, 2, 3, "htab000k.tbl"));
  EXPECT_TRUE(SameBytes(Work("htab0001.tbl"), base_));

  // The entry that gave up its file is a new calibration now: it gets the next oldest.
  ASSERT_EQ(Call(CalibrationRequest{7, 3, 100, 0, 0}, kOtherAdjusted), CAL_OK);
  EXPECT_EQ(Returned(), "htab0001.tbl");
  EXPECT_TRUE(SameBytes(Work("htab0001.tbl"), Expected(kOtherAdjusted)));
  EXPECT_TRUE(SameBytes(Work("htab000k.tbl"), Expected(kAdjusted)));
}

// Of 129 lines only 128 are read: a calibration recorded in the 129th is not found.
TEST_F(CalibrationExportTest, OnlyTheFirst128LinesAreRead) {
  std::string history;
  for (uint32_t i = 0; i < 128; ++i) history += NameLine(7, 1000 + i, 0, 0, "other.tbl");
  history += NameLine(7, 1, 2, 3, "htab0009.tbl");
  PutValidWorking("htab0009.tbl");
  PutText(HistoryName(), history);

  ASSERT_EQ(Call(), CAL_OK);
  EXPECT_EQ(Returned(), "htab0001.tbl");
  EXPECT_EQ(Text(HistoryName()), history + NameLine(7, 1, 2, 3, "htab0001.tbl"));

  // With the 128th line for the request, it is found.
  std::string found;
  for (uint32_t i = 0; i < 127; ++i) found += NameLine(7, 1000 + i, 0, 0, "other.tbl");
  found += NameLine(7, 1, 2, 3, "htab0009.tbl");
  PutText(HistoryName(), found + "not,a,line\r\n");
  ASSERT_EQ(Call(), CAL_OK);
  EXPECT_EQ(Returned(), "htab0009.tbl");
}

// ---- History parsing ------------------------------------------------------------------------

enum class Outcome {
  Found,     // the entry's name comes back and nothing is written
  NotFound,  // a new name; the history keeps its readable entries and gets the new line
  Absent,    // the history counts as absent: afterwards it holds the new line alone
};

struct ParseCase {
  const char* label;
  std::string history;
  CalibrationRequest request;
  Outcome outcome;
  const char* name;           // Found: the entry's name
  std::string historyAfter;   // NotFound: the expected history without the new line
};

class HistoryParsingTest : public CalibrationExportTest, public ::testing::WithParamInterface<ParseCase> {};

TEST_P(HistoryParsingTest, ReadsTheHistoryAsWritten) {
  const ParseCase& c = GetParam();
  PutWork(HistoryName(c.request.historyKey), Bytes(c.history.begin(), c.history.end()));
  PutValidWorking("htab0005.tbl");
  PutValidWorking("abcdefghijklmno");
  const CalibrationRequest& r = c.request;
  const std::string newLine =
      NameLine(r.historyKey, static_cast<uint32_t>(r.identity1), static_cast<uint32_t>(r.identity2),
               static_cast<uint32_t>(r.identity3), "htab0001.tbl");
  AgeFiles(workDir_);
  const DirectoryState before = Snapshot(workDir_);

  ASSERT_EQ(Call(r), CAL_OK);
  switch (c.outcome) {
    case Outcome::Found:
      EXPECT_EQ(Returned(), c.name);
      EXPECT_EQ(Snapshot(workDir_), before);
      break;
    case Outcome::NotFound:
      EXPECT_EQ(Returned(), "htab0001.tbl");
      EXPECT_EQ(Text(HistoryName(c.request.historyKey)), c.historyAfter + newLine);
      break;
    case Outcome::Absent:
      EXPECT_EQ(Returned(), "htab0001.tbl");
      EXPECT_EQ(Text(HistoryName(c.request.historyKey)), newLine);
      break;
  }
}

const std::string kLine = "7,1,2,3,htab0005.tbl\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, HistoryParsingTest,
    ::testing::Values(
        ParseCase{"CrLf", kLine, kRequest, Outcome::Found, "htab0005.tbl", ""},
        ParseCase{"LfAlone", "7,1,2,3,htab0005.tbl\n", kRequest, Outcome::Found, "htab0005.tbl", ""},
        ParseCase{"CrAlone", "7,1,2,3,htab0005.tbl\r", kRequest, Outcome::Found, "htab0005.tbl", ""},
        ParseCase{"EmptyLinesSkipped", "\r\n\n\r\r\n7,1,2,3,htab0005.tbl\n\n", kRequest,
                  Outcome::Found, "htab0005.tbl", ""},
        ParseCase{"BlanksAroundFields", "  7 , 1,2 ,  3  ,  htab0005.tbl   \r\n", kRequest,
                  Outcome::Found, "htab0005.tbl", ""},
        ParseCase{"EmptyNumbersAreZero", ",,,,htab0005.tbl\r\n", CalibrationRequest{0, 3, 0, 0, 0},
                  Outcome::Found, "htab0005.tbl", ""},
        ParseCase{"MinusIsMinusOne", "7,-,12-,-x,htab0005.tbl\r\n",
                  CalibrationRequest{7, 3, -1, -1, -1}, Outcome::Found, "htab0005.tbl", ""},
        ParseCase{"NumbersWrapAt32Bits", "65543,4294967295,4294967298,0,htab0005.tbl\r\n",
                  CalibrationRequest{7, 3, -1, 2, 0}, Outcome::Found, "htab0005.tbl", ""},
        ParseCase{"FirstOfTwoMatchesWins", kLine + "7,1,2,3,abcdefghijklmno\r\n", kRequest,
                  Outcome::Found, "htab0005.tbl", ""},
        ParseCase{"FifteenByteName", "7,1,2,3,abcdefghijklmno\r\n", kRequest, Outcome::Found,
                  "abcdefghijklmno", ""},
        ParseCase{"NulEndsTheText", kLine + std::string("\0garbage,,\r\n", 12), kRequest,
                  Outcome::Found, "htab0005.tbl", ""},
        ParseCase{"OtherIdentity", kLine, CalibrationRequest{7, 3, 1, 2, 4}, Outcome::NotFound, "",
                  kLine},
        ParseCase{"OtherKey", "8,1,2,3,htab0005.tbl\r\n", kRequest, Outcome::NotFound, "",
                  "8,1,2,3,htab0005.tbl\r\n"},
        ParseCase{"EmptyTextLines", "\r\n\r\n", kRequest, Outcome::NotFound, "", "\r\n\r\n"},
        // A last line without a line end is not read; the rewrite drops it rather than
        // appending onto it.
        ParseCase{"UnterminatedLastLine", "7,1,2,3,htab0005.tbl", kRequest, Outcome::NotFound, "",
                  ""},
        ParseCase{"TornAppendIsDropped", "8,1,2,3,htab0005.tbl\r\n7,1,2", kRequest,
                  Outcome::NotFound, "", "8,1,2,3,htab0005.tbl\r\n"},
        ParseCase{"TabIsNoBlank", "7\t,1,2,3,htab0005.tbl\r\n", kRequest, Outcome::Absent, "", ""},
        ParseCase{"FourFields", "7,1,2,htab0005.tbl\r\n", kRequest, Outcome::Absent, "", ""},
        ParseCase{"SixFields", "7,1,2,3,4,htab0005.tbl\r\n", kRequest, Outcome::Absent, "", ""},
        ParseCase{"BlanksOnly", kLine + "    \r\n", kRequest, Outcome::Absent, "", ""},
        ParseCase{"LetterInNumber", "7,1,2,3x,htab0005.tbl\r\n", kRequest, Outcome::Absent, "", ""},
        ParseCase{"EmptyName", "7,1,2,3,  \r\n", kRequest, Outcome::Absent, "", ""},
        ParseCase{"SixteenByteName", "7,1,2,3,abcdefghijklmnop\r\n", kRequest, Outcome::Absent, "",
                  ""},
        ParseCase{"NameWithSlash", "7,1,2,3,../htab0005.tbl\r\n", kRequest, Outcome::Absent, "", ""},
        ParseCase{"NameWithBackslash", "7,1,2,3,x\\htab.tbl\r\n", kRequest, Outcome::Absent, "", ""},
        ParseCase{"NameIsDotDot", "7,1,2,3,..\r\n", kRequest, Outcome::Absent, "", ""},
        ParseCase{"MalformedAfterAGoodLine", kLine + "garbage\r\n", kRequest, Outcome::Absent, "",
                  ""}),
    [](const auto& p) { return std::string(p.param.label); });

TEST_F(CalibrationExportTest, EmptyHistoryFileCountsAsAbsent) {
  PutText(HistoryName(), "");
  ASSERT_EQ(Call(), CAL_OK);
  EXPECT_EQ(Text(HistoryName()), "7,1,2,3,htab0001.tbl\r\n");
}

// ---- Checks before any file is touched ------------------------------------------------------

struct RefusalCase {
  const char* label;
  CalibrationRequest request;
  Levels levels;
  const char* baseName;
  const char* stem;
  int16_t status;
};

class RefusalTest : public CalibrationExportTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusalTest, AnswersWithTheBaseNameAndTouchesNothing) {
  const RefusalCase& c = GetParam();
  EXPECT_EQ(Call(c.request, c.levels, c.baseName, c.stem), c.status);
  EXPECT_EQ(Returned(), std::string(c.baseName).substr(0, 16));
  EXPECT_TRUE(Snapshot(workDir_).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusalTest,
    ::testing::Values(
        RefusalCase{"InkConfiguration1", {7, 1, 1, 2, 3}, kAdjusted, kBaseName, kStem, CALERR_UNSUPPORTED},
        RefusalCase{"InkConfiguration4", {7, 4, 1, 2, 3}, kAdjusted, kBaseName, kStem, CALERR_UNSUPPORTED},
        RefusalCase{"LevelNotAllowed", kRequest, {0, 0, 0, 0, 0, 2, 0, 0}, kBaseName, kStem,
                    CALERR_UNSUPPORTED},
        RefusalCase{"RefusedLevelBeatsSpecial", kRequest, {8, -4, 0, 0, 0, 0, 0, 0}, kBaseName, kStem,
                    CALERR_UNSUPPORTED},
        RefusalCase{"SpecialLevel", kRequest, {0, 0, 8, 3, 0, 0, 0, 0}, kBaseName, kStem, CAL_OK},
        RefusalCase{"NegativeKey", {-1, 3, 1, 2, 3}, kAdjusted, kBaseName, kStem, CALERR_UNSUPPORTED},
        RefusalCase{"BaseNameWithoutDot", kRequest, kAdjusted, "htab0000", kStem, CALERR_UNSUPPORTED},
        RefusalCase{"BaseNameDotFirst", kRequest, kAdjusted, ".tbl", kStem, CALERR_UNSUPPORTED},
        RefusalCase{"BaseNameWithoutNul", kRequest, kAdjusted, "htab000000000.tb", kStem,
                    CALERR_UNSUPPORTED},
        RefusalCase{"BaseNameWithPath", kRequest, kAdjusted, "../htab0000.tbl", kStem,
                    CALERR_UNSUPPORTED},
        RefusalCase{"StemWithPath", kRequest, kAdjusted, kBaseName, "../qx", CALERR_UNSUPPORTED},
        RefusalCase{"StemWithNul", kRequest, kAdjusted, kBaseName, "qx\0\0\0", CALERR_UNSUPPORTED}),
    [](const auto& p) { return std::string(p.param.label); });

TEST_F(CalibrationExportTest, NullArgumentsAreRefused) {
  const std::array<int16_t, 8> levels = kAdjusted;
  struct Args {
    const char* label;
    bool request, levels, base, work;
  };
  for (const Args& a : {Args{"request", false, true, true, true}, Args{"levels", true, false, true, true},
                        Args{"base", true, true, false, true}, Args{"work", true, true, true, false}}) {
    block_.fill(kFill);
    std::memcpy(block_.data(), "htab0000.tbl\0", 13);
    std::memcpy(block_.data() + 32, kStem, 5);
    EXPECT_EQ(QXCalibration(a.request ? &kRequest : nullptr, block_.data(),
                            a.levels ? levels.data() : nullptr, a.base ? wideBase_.c_str() : nullptr,
                            a.work ? wideWork_.c_str() : nullptr),
              CALERR_UNSUPPORTED)
        << a.label;
    EXPECT_EQ(Returned(), kBaseName) << a.label;
  }
  EXPECT_EQ(QXCalibration(&kRequest, nullptr, levels.data(), wideBase_.c_str(), wideWork_.c_str()),
            CALERR_UNSUPPORTED);
  EXPECT_TRUE(Snapshot(workDir_).empty());
}

TEST_F(CalibrationExportTest, MissingWorkingDirectoryFailsCleanly) {
  fs::remove_all(workDir_);
  EXPECT_EQ(Call(), CALERR_FILE);
  EXPECT_EQ(Returned(), kBaseName);
  EXPECT_TRUE(SameBytes(Read(baseDir_ / kBaseName), base_));
}

}  // namespace
}  // namespace caltest
