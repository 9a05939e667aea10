// Images printed back as source compile to the same image byte for byte; compiled images
// answer the documented examples through the library.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "dbc_test_util.h"
#include "decompiler.h"

namespace {

using dbc::OwnedImage;
using dbc_test::Answer;
using dbc_test::Compile;
using dbc_test::Le32;
using dbc_test::Query;

// The documented examples: keys 0x0002, 0x1005, 0x1006 and the tree of 0x1007.
const char* const kExamples =
    "key 0x0002 = WideText \"1.52\"\n"
    "key 0x1005 = UInt16Array [21590, 58420]\n"
    "key 0x1006 = Int16Array [9000, 12000]\n"
    "key 0x1007 as drv_1007 = SettingFilter 4 {\n"
    "  SettingGuard 3 {\n"
    "    SignedBytes @0x500C [1]\n"
    "    SignedBytes @0x500B [1]\n"
    "    SignedBytes @0x103A [3]\n"
    "    SettingSwitch 9 {\n"
    "      case 0: SignedBytes [24]\n"
    "      case 1: SignedBytes [8]\n"
    "    }\n"
    "  }\n"
    "}\n"
    "key 0x103A = use drv_1007\n"
    "key 0x500B = use drv_1007\n"
    "key 0x500C = use drv_1007\n"
    "key 0x5008 = AllTrees\n";

const char* const kRoundTripSources[] = {
    kExamples,
    "key 1 = SettingSwitch 0 {\n"
    "  case 1: shared: Sequence { Int16Array [5] Int16Array [6] }\n"
    "  case 2: use shared\n"
    "  case 3, 4, 5: SignedBytes [-3]\n"
    "  range 10..20: use shared\n"
    "  default: Computed 2\n"
    "}\n"
    "key 2 = Sequence { use shared Bytes { 1B 28 62 01 00 01 \"QXLSTART\\n\" 00 } }\n"
    "tree frag for 3 = Sequence { part: Bytes \"ab\" WideText raw { 41 00 42 } }\n"
    "key 3 = StringSwitch 4 { case \"DS,LS\", \"SC,LS\": Int32Array [-2147483648, 7] case \"\": use part default: UnsignedBytes [200] }\n"
    "key 4 = MaskedSettingSwitch 11 mask 0x3F { case 8: LocaleSwitch tag 7 { case 1: SignedBytes [1] } default: LocaleSwitch { } }\n"
    "key 5 = use frag\n"
    "key 8 = SettingSwitch 0 { case 153: WideText \"VrdUI_SilentModeEnable\" }\n"
    "key 6 = PrinterDataSwitch 153 { case 1: Bytes \"on\" default: Bytes \"off\" }\n"
    "key 1 = Bytes \"second\"\n"
    "node listed for 3 = SettingGuard 5 { Bytes \"g\" }\n"
    "list 4121 = [listed, part]\n"
    "list 4120 = [shared]\n"
    "category 28 { 11 = 15762 9 = 15760 }\ncategory 4 {}\n"
    "row 1 { u16 124 8; bytes { FF 00 00 01 }; zeros 6; u16 0 1; text \"htab0000.tbl\"; pad 48 }\n"
    "row 3 { u16 13 7 0 15; u32 21590 27940; u16 3 1; pad 36 }\n"
    "row 2 { zeros 40 }\nrow 4 { zeros 48 }\n"
    "selector (4=3, 9=1, 5=263, 8=5, 6=2, 81=0) rows (0, 0, 0, 0)\n",
    "key 0x5008 = AllTrees\n",
    "",
    // A tree whose root also stands inside an earlier tree; a key rooted inside another tree.
    "key 1 = Sequence { Bytes \"a\" x: Bytes { 00 } }\ntree t for 1 = Bytes \"a\"\nkey 2 = use x\n",
    // A node both listed and shared by cases, and a cycle-free chain through names.
    "key 1 = SettingSwitch 3 { case 1: use b case 2: use b }\nnode a for 1 = Sequence { use b }\n"
    "node b for 1 = SettingGuard 9 { Int16Array [-1] }\nlist 4124 = [a, b, a]\n",
};

void ExpectRoundTrip(const OwnedImage& image) {
  const std::string text = dbc::DecompileImage(dbc::ViewOf(image));
  OwnedImage again;
  std::string messages;
  ASSERT_TRUE(Compile(text, &again, &messages)) << messages << "\n" << text;
  std::string difference;
  EXPECT_TRUE(dbc::SameImage(dbc::ViewOf(image), dbc::ViewOf(again), &difference))
      << difference << "\n" << text;
  EXPECT_EQ(dbc::DecompileImage(dbc::ViewOf(again)), text);
}

class RoundTrip : public testing::TestWithParam<const char*> {};

TEST_P(RoundTrip, DecompiledSourceCompilesToTheSameImage) {
  OwnedImage image;
  std::string messages;
  ASSERT_TRUE(Compile(GetParam(), &image, &messages)) << messages;
  ExpectRoundTrip(image);
}

INSTANTIATE_TEST_SUITE_P(Sources, RoundTrip, testing::ValuesIn(kRoundTripSources));

TEST(RoundTrip, DecompiledTextIsReadable) {
  OwnedImage image;
  ASSERT_TRUE(Compile(kRoundTripSources[1], &image));
  const std::string text = dbc::DecompileImage(dbc::ViewOf(image));
  // Shared nodes by name, labels only where they differ, text where printable, rows as fields.
  EXPECT_NE(text.find("case 1, 2: seq_"), std::string::npos) << text;
  EXPECT_NE(text.find("range 10..20: use seq_"), std::string::npos) << text;
  EXPECT_NE(text.find("case 3, 4, 5: SignedBytes [-3]"), std::string::npos) << text;
  EXPECT_NE(text.find("list 0x1018 = [seq_"), std::string::npos) << text;
  EXPECT_NE(text.find("node guard_"), std::string::npos) << "a listed node outside every tree";
  EXPECT_NE(text.find("Bytes { 1B 28 62 01 00 01 \"QXLSTART\\n\" 00 }"), std::string::npos) << text;
  EXPECT_NE(text.find("case \"DS,LS\", \"SC,LS\": Int32Array [-2147483648, 7]"), std::string::npos) << text;
  EXPECT_NE(text.find("WideText \"VrdUI_SilentModeEnable\""), std::string::npos) << text;
  EXPECT_NE(text.find("WideText raw { 41 00 42 }"), std::string::npos) << text;
  EXPECT_NE(text.find("text \"htab0000.tbl\"; pad 48;"), std::string::npos) << text;
  EXPECT_NE(text.find("LocaleSwitch tag 0x0007"), std::string::npos) << text;
  EXPECT_EQ(text.find("@0x"), std::string::npos) << "every leaf carries its enclosing key's label";
}

void ExpectExamples(const OwnedImage& image) {
  // Key 0x1006: two signed 32-bit values.
  Answer a = Query(image, 0x1006, {});
  EXPECT_EQ(a.status, MPX_OK);
  EXPECT_EQ(a.bytes, (std::vector<uint8_t>{0x28, 0x23, 0, 0, 0xE0, 0x2E, 0, 0}));
  // Key 0x0002: the version text as 16-bit characters with its NUL.
  a = Query(image, 0x0002, {});
  EXPECT_EQ(a.status, MPX_OK);
  EXPECT_EQ(a.bytes, (std::vector<uint8_t>{0x31, 0, 0x2E, 0, 0x35, 0, 0x32, 0, 0, 0}));
  // Key 0x1005: unsigned 16-bit elements, zero-extended.
  a = Query(image, 0x1005, {});
  EXPECT_EQ(a.status, MPX_OK);
  EXPECT_EQ(a.bytes, Le32({21590, 58420}));

  std::vector<int32_t> settings(10, 0);
  settings[4] = 3;
  settings[9] = 1;
  EXPECT_EQ(Query(image, 0x1007, settings).bytes, Le32({8}));
  settings[9] = 0;
  EXPECT_EQ(Query(image, 0x1007, settings).bytes, Le32({24}));
  settings[9] = 7;
  EXPECT_EQ(Query(image, 0x1007, settings).status, MPX_NO_ANSWER);
  settings[4] = 2;
  settings[9] = 1;
  EXPECT_EQ(Query(image, 0x1007, settings).status, MPX_NO_ANSWER);
  EXPECT_EQ(Query(image, 0x1007, {0, 0, 0, 0, 3}).status, MPX_ERR_SETTINGS);
  settings[4] = 3;
  a = Query(image, 0x103A, settings);
  EXPECT_EQ(a.status, MPX_OK);
  EXPECT_EQ(a.bytes, Le32({3}));
}

TEST(CompiledExamples, AnswerThroughTheLibrary) {
  OwnedImage image;
  std::string messages;
  ASSERT_TRUE(Compile(kExamples, &image, &messages)) << messages;
  ExpectExamples(image);
}

bool CompileShippedSources(OwnedImage* image, std::string* messages) {
  std::vector<dbc::SourceFile> files;
  for (const std::string& path : dbc_test::ShippedSourceFiles()) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    files.push_back(dbc::SourceFile{path, text.str()});
  }
  dbc::Diagnostics diags;
  const bool ok = dbc::CompileSources(files, image, &diags);
  *messages = dbc::FormatAll(diags);
  return ok;
}

TEST(ShippedSource, CompilesAndAnswersTheExamples) {
  if (dbc_test::ShippedSourceFiles().empty()) GTEST_SKIP() << "no database source in this tree";
  OwnedImage image;
  std::string messages;
  ASSERT_TRUE(CompileShippedSources(&image, &messages)) << messages;
  ExpectExamples(image);
  ExpectRoundTrip(image);
}

}  // namespace
