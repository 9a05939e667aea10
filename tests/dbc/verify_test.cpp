// Every class of problem the compiler reports, with its message and place; and the checks
// of images that did not come from the compiler.
#include <gtest/gtest.h>

#include <string>

#include "dbc_test_util.h"
#include "image_check.h"

namespace {

using dbc::OwnedImage;
using dbc_test::Compile;
using dbc_test::Messages;

std::string Nested(int sequences) {
  std::string text = "key 1 = ";
  for (int i = 0; i < sequences; ++i) text += "Sequence { ";
  text += "SignedBytes [7]";
  for (int i = 0; i < sequences; ++i) text += " }";
  return text + "\n";
}

std::string ManyValues(int n) {
  std::string text = "key 1 = Int16Array [";
  for (int i = 0; i < n; ++i) text += "0 ";
  return text + "]\n";
}

const std::string kAllRows =
    "row 1 { zeros 48 }\nrow 2 { zeros 40 }\nrow 3 { zeros 36 }\nrow 4 { zeros 48 }\n";

struct ErrorCase {
  const char* name;
  std::string source;
  std::string messages;  // the compiler's whole report
};

const ErrorCase kErrorCases[] = {
    {"UnknownName", "key 1 = use missing\n", "t.mdb:1:9: error: unknown name 'missing'\n"},
    {"UnknownNodeType", "key 1 = Bites \"x\"\n", "t.mdb:1:9: error: unknown node type 'Bites'\n"},
    {"UnknownStatement", "kee 1 = Bytes \"x\"\n",
     "t.mdb:1:1: error: expected a statement (key, tree, node, list, category, selector or row), "
     "found 'kee'\n"},
    {"ValueNotFittingItsType", "key 1 = SignedBytes [1, 200]\n",
     "t.mdb:1:25: error: value 200 does not fit a signed byte (-128..127)\n"},
    {"UnsignedValueNegative", "key 1 = UInt16Array [-1]\n",
     "t.mdb:1:22: error: value -1 does not fit 16 bits (0..65535)\n"},
    {"KeyBeyond16Bits", "key 0x10000 = Bytes \"x\"\n",
     "t.mdb:1:5: error: value 65536 does not fit a key\n"},
    {"SettingBeyond16Bits", "key 1 = SettingSwitch 65536 { default: Bytes \"x\" }\n",
     "t.mdb:1:23: error: value 65536 does not fit 16 bits (0..65535)\n"},
    {"CountBeyond16Bits", ManyValues(65536),
     "t.mdb:1:9: error: this node holds 65536 elements; a 16-bit count allows at most 65535\n"},
    {"LabelNotInDirectory", "key 1 = Sequence {\n  SignedBytes @0x0099 [1]\n}\n",
     "t.mdb:2:3: error: leaf label 0x0099 is not a key of the directory\n"},
    {"CycleThroughOneName", "key 1 = a: Sequence {\n  Sequence { use a }\n}\n",
     "t.mdb:2:14: error: cycle: 'a' -> the Sequence at t.mdb:2:3 -> 'a'\n"},
    {"CycleThroughKey8", "key 8 = PrinterDataSwitch 1 { default: WideText \"x\" }\n",
     "t.mdb:1:9: error: cycle: the PrinterDataSwitch at t.mdb:1:9 -> (key 8) -> the "
     "PrinterDataSwitch at t.mdb:1:9\n"},
    {"CycleAcrossKeys", "key 1 = a: Sequence { use b }\nkey 2 = b: Sequence { use a }\n",
     "t.mdb:2:23: error: cycle: 'a' -> 'b' -> 'a'\n"},
    {"DepthBeyondTheEvaluator", Nested(64),
     "t.mdb:1:1: error: the longest evaluation path of key 0x0001 has 65 nodes; the evaluator "
     "allows 64\n"},
    {"DepthFromAllTrees", Nested(63) + "key 0x5008 = AllTrees\n",
     "t.mdb:2:1: error: the longest evaluation path from AllTrees has 65 nodes; the evaluator "
     "allows 64\n"},
    {"ValueCaseInStringSwitch", "key 1 = StringSwitch 0 {\n  case 5: Bytes \"x\"\n}\n",
     "t.mdb:2:8: error: a value case is not allowed in a StringSwitch (only text cases and "
     "default)\n"},
    {"RangeCaseInStringSwitch", "key 1 = StringSwitch 0 {\n  range 1..2: Bytes \"x\"\n}\n",
     "t.mdb:2:3: error: a range case is not allowed in a StringSwitch (only text cases and "
     "default)\n"},
    {"TextCaseInSettingSwitch", "key 1 = SettingSwitch 0 { case \"x\": Bytes \"y\" }\n",
     "t.mdb:1:32: error: a text case is not allowed in a SettingSwitch (only value, range and "
     "default cases)\n"},
    {"MaskHeaderOutsideItsSwitch", "key 1 = Sequence { MaskHeader 0xFF }\n",
     "t.mdb:1:20: error: a MaskHeader stands only under its MaskedSettingSwitch (write "
     "'MaskedSettingSwitch <setting> mask <mask> { ... }')\n"},
    {"SelectorRowBeyondItsTable",
     kAllRows + "selector (4=3, 9=0, 5=1, 8=1, 6=1, 81=0) rows (0, 0, 1, 0)\n",
     "t.mdb:5:54: error: row 1 of table 3 does not exist (row count 1)\n"},
    {"ListEntryNamingNoNode", "key 1 = Bytes \"x\"\nlist 4121 = [nothing]\n",
     "t.mdb:2:14: error: list 0x1019 names 'nothing', which is no node of the source\n"},
    {"RowNotMatchingItsSize", "row 2 { u32 1 }\n",
     "t.mdb:1:1: error: a row of table 2 is 40 bytes; this one has 4\n"},
    {"RowTableNumber", "row 5 { zeros 48 }\n",
     "t.mdb:1:5: error: selector row tables are numbered 1 to 4, not 5\n"},
    {"NameGivenTwice", "key 1 = x: Bytes \"a\"\nkey 2 = x: Bytes \"b\"\n",
     "t.mdb:2:9: error: the name 'x' is already given at t.mdb:1:9\n"},
    {"UnterminatedText", "key 1 = Bytes \"abc\n", "t.mdb:1:15: error: unterminated text\n"},
    {"UnknownEscape", "key 1 = Bytes \"a\\q\"\n",
     "t.mdb:1:17: error: unknown escape \\q (known: \\e \\n \\r \\t \\0 \\\\ \\\" \\xHH)\n"},
    {"MissingBrace", "key 1 = Sequence {\n  Bytes \"x\"\n",
     "t.mdb:3:1: error: expected '}', found the end of the file\n"},
    {"OddHexDigits", "key 1 = Bytes { 1B2 }\n",
     "t.mdb:1:17: error: expected hex byte pairs, found '1B2'\n"},
    {"StandaloneValueCaseCount", "key 1 = ValueCase 2 { Bytes \"x\" }\n",
     "t.mdb:1:9: error: a ValueCase evaluated as a sequence has as many children as the low 16 "
     "bits of its value (2); 1 are written\n"},
    {"SelectorMissingASetting", kAllRows + "selector (4=3, 9=0, 5=1, 8=1, 6=1) rows (0, 0, 0, 0)\n",
     "t.mdb:5:34: error: the selector does not give setting 81\n"},
    {"EveryProblemIsReported",
     "key 1 = SignedBytes [300]\nkey 2 = Bytes \"ok\"\nkey 3 = use nowhere\nlist 4121 = [gone]\n",
     "t.mdb:1:22: error: value 300 does not fit a signed byte (-128..127)\n"
     "t.mdb:3:9: error: unknown name 'nowhere'\n"
     "t.mdb:4:14: error: list 0x1019 names 'gone', which is no node of the source\n"},
};

class VerifierErrors : public testing::TestWithParam<ErrorCase> {};

TEST_P(VerifierErrors, ReportsMessageAndPlace) {
  OwnedImage image;
  std::string messages;
  EXPECT_FALSE(Compile(GetParam().source, &image, &messages));
  EXPECT_EQ(messages, GetParam().messages);
  EXPECT_TRUE(image.nodes.empty()) << "nothing is laid out after an error";
}

INSTANTIATE_TEST_SUITE_P(Classes, VerifierErrors, testing::ValuesIn(kErrorCases),
                         [](const testing::TestParamInfo<ErrorCase>& p) { return p.param.name; });

TEST(Verifier, PathOfExactlyTheLimitCompilesAndEvaluates) {
  OwnedImage image;
  std::string messages;
  ASSERT_TRUE(Compile(Nested(63), &image, &messages)) << messages;
  const dbc_test::Answer answer = dbc_test::Query(image, 1, {});
  EXPECT_EQ(answer.status, MPX_OK);
  EXPECT_EQ(answer.bytes, dbc_test::Le32({7}));
}

TEST(Verifier, DuplicateKeyIsAWarningAndTheFirstEntryWins) {
  OwnedImage image;
  std::string messages;
  ASSERT_TRUE(Compile("key 1 = Bytes \"a\"\nkey 1 = Bytes \"b\"\n", &image, &messages));
  EXPECT_EQ(messages,
            "t.mdb:2:1: warning: key 0x0001 is already in the directory at t.mdb:1:1; the first "
            "entry wins\n");
  EXPECT_EQ(image.directoryKeys, (std::vector<uint16_t>{1, 1}));
  const dbc_test::Answer answer = dbc_test::Query(image, 1, {});
  EXPECT_EQ(answer.status, MPX_OK);
  EXPECT_EQ(answer.bytes, (std::vector<uint8_t>{'a'}));
}

TEST(Verifier, MessagesNameTheirFile) {
  dbc::Diagnostics diags;
  OwnedImage image;
  EXPECT_FALSE(dbc::CompileSources({{"db/root.mdb", "key 1 = Bytes \"x\"\n"},
                                    {"db/drv.mdb", "\nkey 2 = use nothing\n"}},
                                   &image, &diags));
  EXPECT_EQ(dbc::FormatAll(diags), "db/drv.mdb:2:9: error: unknown name 'nothing'\n");
}

// Images from elsewhere: a sound compiled image with one field broken.
struct ImageCase {
  const char* name;
  void (*corrupt)(OwnedImage*);
  const char* problem;
};

// 0 roots; 1 string switch; 2 masked switch; 3 key 3's sequence; 4 the tree; then the blocks.
const char* const kSoundSource =
    "key 1 = StringSwitch 0 { case \"DS\": SignedBytes [1] }\n"
    "key 2 = MaskedSettingSwitch 3 mask 0xFF { case 1: SignedBytes [2] }\n"
    "key 3 = Sequence { SignedBytes [3] Int16Array [4] }\n"
    "row 1 { zeros 48 }\nrow 2 { zeros 40 }\nrow 3 { zeros 36 }\nrow 4 { zeros 48 }\n"
    "selector (4=3, 9=0, 5=1, 8=1, 6=1, 81=0) rows (0, 0, 0, 0)\n"
    "list 4122 = [seq]\n"
    "tree seq for 3 = Sequence { SignedBytes [5] }\n";

uint32_t FindType(const OwnedImage& image, mdb::NodeType type) {
  for (uint32_t i = 0; i < image.nodes.size(); ++i) {
    if (mdb::NodeTypeCode(image.nodes[i]) == static_cast<uint32_t>(type)) return i;
  }
  return 0;
}

const ImageCase kImageCases[] = {
    {"StringOutsideStringPool",
     [](OwnedImage* im) {
       const uint32_t c = FindType(*im, mdb::NodeType::StringCase);
       im->nodes[im->nodes[c].value].value += 1;  // one character more than the pool holds
     },
     "its case string lies outside the string pool"},
    {"StringNotDescribedByBytes",
     [](OwnedImage* im) { im->nodes[FindType(*im, mdb::NodeType::StringCase)].value = 0; },
     "its string is not described by a Bytes node"},
    {"ChildrenBeyondTable",
     [](OwnedImage* im) { im->nodes[3].tag = (im->nodes[3].tag & 0xFF000000u) | 0x00FFFFF0u; },
     "its children run beyond the node table"},
    {"CaseKind",
     [](OwnedImage* im) {
       const uint32_t c = FindType(*im, mdb::NodeType::ValueCase);
       im->nodes[c] = mdb::MakeNode(mdb::NodeType::StringCase, mdb::NodeIndex(im->nodes[c]), 0u);
     },
     "is not a case kind its switch"},
    {"MaskIndexNotAHeader",
     [](OwnedImage* im) {
       im->nodes[2] = mdb::MakeNode(mdb::NodeType::MaskedSettingSwitch, 3, 3, 1);
     },
     "its mask index does not name a MaskHeader"},
    {"MaskHeaderAmongChildren",
     [](OwnedImage* im) {
       const uint32_t h = FindType(*im, mdb::NodeType::MaskHeader);
       im->nodes[3] = mdb::MakeNode(mdb::NodeType::Sequence, h, 0, 1);
     },
     "a MaskHeader stands among its children"},
    {"LabelNotInDirectory",
     [](OwnedImage* im) { im->nodes[mdb::NodeIndex(im->nodes[3])].value = (0x0777u << 16) | 1u; },
     "leaf label 1911 is not a key of the directory"},
    {"RunOutsidePool", [](OwnedImage* im) { im->nodes[mdb::NodeIndex(im->nodes[3]) + 1].value += 5; },
     "its run lies outside the int16 pool"},
    {"Cycle", [](OwnedImage* im) { im->nodes[3] = mdb::MakeNode(mdb::NodeType::Sequence, 3, 0, 1); },
     "a cycle leads back to node 3"},
    {"SelectorRowBeyondTable", [](OwnedImage* im) { im->selectors[0].row3 = 1; },
     "selector 0 names row 1 of table 3, which does not exist"},
    {"ListEntryBeyondNodes", [](OwnedImage* im) { im->nodeIndexList[0] = 5000; },
     "names node 5000, which does not exist"},
    {"RootBeyondNodes", [](OwnedImage* im) { im->directoryRoots[0] = 5000; },
     "has root 5000, beyond the node table"},
};

class ImageChecks : public testing::TestWithParam<ImageCase> {};

TEST_P(ImageChecks, FindTheBrokenField) {
  OwnedImage image;
  std::string messages;
  ASSERT_TRUE(Compile(kSoundSource, &image, &messages)) << messages;
  ASSERT_TRUE(dbc::CheckImage(dbc::ViewOf(image)).empty());
  GetParam().corrupt(&image);
  const std::vector<std::string> problems = dbc::CheckImage(dbc::ViewOf(image));
  std::string all;
  for (const std::string& p : problems) all += p + "\n";
  EXPECT_NE(all.find(GetParam().problem), std::string::npos) << all;
}

INSTANTIATE_TEST_SUITE_P(Fields, ImageChecks, testing::ValuesIn(kImageCases),
                         [](const testing::TestParamInfo<ImageCase>& p) { return p.param.name; });

TEST(ImageChecks, DepthBeyondTheEvaluatorInAHandImage) {
  // A chain of 65 sequences ending in a leaf: one more than a source may hold.
  OwnedImage image;
  image.nodes.push_back(mdb::MakeNode(mdb::NodeType::Sequence, 1, 0, 1));
  for (uint32_t i = 1; i < 65; ++i) image.nodes.push_back(mdb::MakeNode(mdb::NodeType::Sequence, i + 1, 0, 1));
  image.nodes.push_back(mdb::MakeNode(mdb::NodeType::SignedBytes, 0, 1, 1));
  image.bytePool = {7};
  image.directoryKeys = {1};
  image.directoryRoots = {0};
  const std::vector<std::string> problems = dbc::CheckImage(dbc::ViewOf(image));
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0], "node 0: its longest evaluation path has 66 nodes; the evaluator allows 64");
  // The evaluator agrees that it cannot answer.
  EXPECT_EQ(dbc_test::Query(image, 1, {}).status, MPX_ERR_DATABASE);
}

}  // namespace
