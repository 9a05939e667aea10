// The tables the compiler lays out for small sources.
#include <gtest/gtest.h>

#include "cpp_writer.h"
#include "dbc_test_util.h"
#include "image.h"

namespace {

using dbc::OwnedImage;
using dbc_test::Compile;
using mdb::DbNode;
using mdb::MakeNode;
using mdb::NodeType;

bool operator==(DbNode a, DbNode b) { return a.tag == b.tag && a.value == b.value; }

OwnedImage MustCompile(const std::string& text) {
  OwnedImage image;
  std::string messages;
  EXPECT_TRUE(Compile(text, &image, &messages)) << messages;
  return image;
}

TEST(CompileLayout, LeavesRootsAndPools) {
  const OwnedImage image = MustCompile(
      "key 0x0002 = WideText \"1.52\"\n"
      "key 0x1006 = Int16Array [9000, 12000]\n"
      "key 0x1005 = UInt16Array [21590, 58420]\n");
  ASSERT_EQ(image.nodes.size(), 4u);
  EXPECT_TRUE(image.nodes[0] == MakeNode(NodeType::Sequence, 1, 0, 3));
  EXPECT_TRUE(image.nodes[1] == MakeNode(NodeType::WideText, 0, 0x0002, 5));
  EXPECT_TRUE(image.nodes[2] == MakeNode(NodeType::Int16Array, 0, 0x1006, 2));
  EXPECT_TRUE(image.nodes[3] == MakeNode(NodeType::UInt16Array, 2, 0x1005, 2));
  EXPECT_EQ(image.bytePool, (std::vector<uint8_t>{'1', '.', '5', '2', 0}));
  EXPECT_EQ(image.int16Pool, (std::vector<uint16_t>{9000, 12000, 21590, 58420}));
  EXPECT_EQ(image.directoryKeys, (std::vector<uint16_t>{0x0002, 0x1006, 0x1005}));
  EXPECT_EQ(image.directoryRoots, (std::vector<uint32_t>{1, 2, 3}));
  const auto counts = dbc::CountsOf(image);
  EXPECT_EQ(counts[mdb::kNodeCount], 4u);
  EXPECT_EQ(counts[mdb::kByteCount], 5u);
  EXPECT_EQ(counts[mdb::kInt16Count], 4u);
  EXPECT_EQ(counts[mdb::kReservedCount], 0u);
}

TEST(CompileLayout, LeafValuesAreStoredAsWritten) {
  const OwnedImage image = MustCompile(
      "key 1 = Bytes { 1B 28 62 01 00 01 \"QX\\n\" }\n"
      "key 2 = SignedBytes [-1, 127, -128]\n"
      "key 3 = Int32Array [-2147483648, 2147483647, 0xFFFFFFFF]\n"
      "key 4 = Int16Array [-32768, 0xFFFF]\n"
      "key 5 = Computed 7\n"
      "key 6 = WideText raw { 41 00 42 }\n"
      "key 7 = Bytes \"\\e\\0\\x7F\\\"\\\\\"\n");
  EXPECT_EQ(image.bytePool, (std::vector<uint8_t>{0x1B, 0x28, 0x62, 0x01, 0x00, 0x01, 'Q', 'X', '\n',
                                                  0xFF, 0x7F, 0x80, 0x41, 0x00, 0x42, 0x1B, 0x00,
                                                  0x7F, '"', '\\'}));
  EXPECT_EQ(image.int32Pool, (std::vector<int32_t>{INT32_MIN, INT32_MAX, -1}));
  EXPECT_EQ(image.int16Pool, (std::vector<uint16_t>{0x8000, 0xFFFF}));
  EXPECT_TRUE(image.nodes[5] == MakeNode(NodeType::Computed, 0, 5, 7));
  EXPECT_TRUE(image.nodes[6] == MakeNode(NodeType::WideText, 12, 6, 3));  // no NUL added
  EXPECT_TRUE(image.nodes[7] == MakeNode(NodeType::Bytes, 15, 7, 5));
}

TEST(CompileLayout, IdenticalRunsSharePoolStorage) {
  const OwnedImage image = MustCompile(
      "key 1 = SignedBytes [1, 2, 3]\n"
      "key 2 = UnsignedBytes [2, 3]\n"     // inside the first run
      "key 3 = SignedBytes [3, 4]\n"       // overlaps the pool's tail
      "key 4 = Int16Array [7, 8]\n"
      "key 5 = UInt16Array [7, 8]\n");
  EXPECT_EQ(image.bytePool, (std::vector<uint8_t>{1, 2, 3, 4}));
  EXPECT_EQ(mdb::NodeIndex(image.nodes[2]), 1u);
  EXPECT_EQ(mdb::NodeIndex(image.nodes[3]), 2u);
  EXPECT_EQ(image.int16Pool, (std::vector<uint16_t>{7, 8}));
  EXPECT_EQ(mdb::NodeIndex(image.nodes[5]), 0u);
}

TEST(CompileLayout, FilterGuardSwitchRecords) {
  const OwnedImage image = MustCompile(
      "key 0x1007 as drv_tree = SettingFilter 4 {\n"
      "  SettingGuard 3 {\n"
      "    SignedBytes @0x500C [1]\n"
      "    SettingSwitch 9 {\n"
      "      case 0: SignedBytes [24]\n"
      "      case 1, 2: SignedBytes [8]\n"
      "    }\n"
      "  }\n"
      "}\n"
      "key 0x500C = use drv_tree\n");
  const std::vector<DbNode> expected = {
      MakeNode(NodeType::Sequence, 1, 0, 1),            // 0: the one root
      MakeNode(NodeType::SettingFilter, 2, 4, 1),       // 1
      MakeNode(NodeType::SettingGuard, 3, 3, 2),        // 2
      MakeNode(NodeType::SignedBytes, 0, 0x500C, 1),    // 3
      MakeNode(NodeType::SettingSwitch, 5, 9, 3),       // 4
      MakeNode(NodeType::ValueCase, 8, 0u),             // 5
      MakeNode(NodeType::ValueCase, 9, 1u),             // 6
      MakeNode(NodeType::ValueCase, 9, 2u),             // 7: same target as case 1
      MakeNode(NodeType::SignedBytes, 1, 0x1007, 1),    // 8
      MakeNode(NodeType::SignedBytes, 2, 0x1007, 1),    // 9
  };
  ASSERT_EQ(image.nodes.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_TRUE(image.nodes[i] == expected[i]) << "node " << i;
  }
  EXPECT_EQ(image.bytePool, (std::vector<uint8_t>{1, 24, 8}));
  EXPECT_EQ(image.directoryRoots, (std::vector<uint32_t>{1, 1}));
}

TEST(CompileLayout, SharedSubtreeIsStoredOnce) {
  // Written once and used twice, and written twice identically: one block each time.
  const OwnedImage image = MustCompile(
      "key 1 = SettingSwitch 0 {\n"
      "  case 1: shared: Sequence { Int16Array [5] Int16Array [6] }\n"
      "  case 2: use shared\n"
      "  case 3: Sequence { Int16Array [5] Int16Array [6] }\n"
      "}\n"
      "key 2 = Sequence { use shared use shared }\n");
  // 0 roots, 1 switch, 2 key 2's sequence, 3-5 cases, 6 the shared sequence, 7-8 key 2's
  // children (copies of the shared record), 9-10 the shared sequence's children.
  ASSERT_EQ(image.nodes.size(), 11u);
  EXPECT_EQ(mdb::NodeIndex(image.nodes[3]), 6u);
  EXPECT_EQ(mdb::NodeIndex(image.nodes[4]), 6u);
  EXPECT_EQ(mdb::NodeIndex(image.nodes[5]), 6u);
  EXPECT_TRUE(image.nodes[2] == MakeNode(NodeType::Sequence, 7, 0, 2));
  EXPECT_TRUE(image.nodes[6] == MakeNode(NodeType::Sequence, 9, 0, 2));
  EXPECT_TRUE(image.nodes[7] == image.nodes[6]);
  EXPECT_TRUE(image.nodes[8] == image.nodes[6]);
  EXPECT_EQ(image.int16Pool, (std::vector<uint16_t>{5, 6}));
}

TEST(CompileLayout, MaskedSwitchStringSwitchAndRanges) {
  const OwnedImage image = MustCompile(
      "key 1 = MaskedSettingSwitch 79 mask 0x00800000 {\n"
      "  case 8388608: SignedBytes [1]\n"
      "  range -2147483648..-1: SignedBytes [2]\n"
      "}\n"
      "key 2 = StringSwitch 1 {\n"
      "  case \"DS,LS\": SignedBytes [3]\n"
      "  case \"DS\", \"\": SignedBytes [4]\n"
      "  default: SignedBytes [5]\n"
      "}\n");
  // 0, roots 1-2, 3 mask header, 4-5 cases, 6-7 targets, 8-11 string cases, 12-14 targets,
  // 15-17 descriptors.
  ASSERT_EQ(image.nodes.size(), 18u);
  EXPECT_TRUE(image.nodes[1] == MakeNode(NodeType::MaskedSettingSwitch, 3, 79, 2));
  EXPECT_TRUE(image.nodes[3] == MakeNode(NodeType::MaskHeader, 4, 0x00800000u));
  EXPECT_TRUE(image.nodes[4] == MakeNode(NodeType::ValueCase, 6, 8388608u));
  EXPECT_TRUE(image.nodes[5] == MakeNode(NodeType::RangeCase, 7, 0u));
  EXPECT_EQ(image.int32Pool, (std::vector<int32_t>{INT32_MIN, -1}));
  EXPECT_TRUE(image.nodes[2] == MakeNode(NodeType::StringSwitch, 8, 1, 4));
  EXPECT_TRUE(image.nodes[8] == MakeNode(NodeType::StringCase, 12, 15u));
  EXPECT_TRUE(image.nodes[9] == MakeNode(NodeType::StringCase, 13, 16u));
  EXPECT_TRUE(image.nodes[10] == MakeNode(NodeType::StringCase, 13, 17u));
  EXPECT_TRUE(image.nodes[11] == MakeNode(NodeType::DefaultCase, 14, 0u));
  // Descriptors carry label 0; "DS" lies inside "DS,LS" in the string pool.
  EXPECT_TRUE(image.nodes[15] == MakeNode(NodeType::Bytes, 0, 0, 5));
  EXPECT_TRUE(image.nodes[16] == MakeNode(NodeType::Bytes, 0, 0, 2));
  EXPECT_TRUE(image.nodes[17] == MakeNode(NodeType::Bytes, 0, 0, 0));
  EXPECT_EQ(std::string(image.stringPool.begin(), image.stringPool.end()), "DS,LS");
}

TEST(CompileLayout, AllTreesTreesAndListsNamingInnerNodes) {
  const OwnedImage image = MustCompile(
      "key 0x5008 = AllTrees\n"
      "tree fragments for 0x5008 = Sequence {\n"
      "  esc_at: Bytes { 1B 40 }\n"
      "  SettingFilter 7 { guard: SettingGuard 7 { Bytes { 1B 28 6C } } }\n"
      "}\n"
      "node lonely for 0x5008 = Bytes \"x\"\n"
      "list 4121 = [guard, esc_at]\n"
      "list 4123 = [lonely]\n"
      "list 4124 = [esc_at]\n");
  EXPECT_EQ(image.directoryKeys, (std::vector<uint16_t>{0x5008}));
  EXPECT_EQ(image.directoryRoots, (std::vector<uint32_t>{0}));
  EXPECT_TRUE(image.nodes[0] == MakeNode(NodeType::Sequence, 1, 0, 1));
  // 1 the tree, 2-3 its children, 4 the guard, 5 the guard's leaf, 6 the list-only node.
  ASSERT_EQ(image.nodes.size(), 7u);
  EXPECT_EQ(mdb::NodeTypeCode(image.nodes[4]), static_cast<uint32_t>(NodeType::SettingGuard));
  EXPECT_EQ(image.nodeIndexList, (std::vector<uint32_t>{4, 2, 6}));
  EXPECT_EQ(image.listKeys, (std::vector<uint16_t>{4121, 4123, 4124}));
  EXPECT_EQ(image.listCounts, (std::vector<uint16_t>{2, 1, 1}));
  EXPECT_EQ(image.listStarts, (std::vector<uint32_t>{0, 2, 1}));  // [esc_at] shares storage
}

TEST(CompileLayout, CategoriesSelectorsAndRows) {
  const OwnedImage image = MustCompile(
      "category 28 { 11 = 15762 9 = 15760 }\n"
      "category 7 { 7 = 15302 }\n"
      "category 4 { 9 = 15760 }\n"
      "selector (4=3, 9=1, 5=263, 8=5, 6=2, 81=0) rows (1, 0, 0, 0)\n"
      "row 1 { u16 124 8; bytes { FF 00 00 01 }; zeros 6; u16 0 1; u16 600 600 600 600;"
      " u16 2; text \"htab0000.tbl\"; pad 48 }\n"
      "row 1 { zeros 48 }\n"
      "row 2 { zeros 40 }\n"
      "row 3 { i16 -1; u32 21590; pad 36 }\n"
      "row 4 { pad 48 }\n");
  EXPECT_EQ(image.categoryIds, (std::vector<uint16_t>{28, 7, 4}));
  EXPECT_EQ(image.categoryCounts, (std::vector<uint16_t>{2, 1, 1}));
  EXPECT_EQ(image.categoryStarts, (std::vector<uint32_t>{0, 2, 1}));
  EXPECT_EQ(image.itemIds, (std::vector<uint16_t>{11, 9, 7}));
  EXPECT_EQ(image.itemValues, (std::vector<uint32_t>{15762, 15760, 15302}));
  ASSERT_EQ(image.selectors.size(), 1u);
  const mdb::SelectorRecord& s = image.selectors[0];
  EXPECT_EQ(s.setting4, 3);
  EXPECT_EQ(s.setting9, 1);
  EXPECT_EQ(s.setting5, 263);
  EXPECT_EQ(s.setting8, 5);
  EXPECT_EQ(s.setting6, 2);
  EXPECT_EQ(s.setting81, 0);
  EXPECT_EQ(s.row1, 1);
  ASSERT_EQ(image.rowTables[0].size(), 96u);
  const std::vector<uint8_t> row0(image.rowTables[0].begin(), image.rowTables[0].begin() + 48);
  std::vector<uint8_t> expected = {0x7C, 0, 8, 0, 0xFF, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0,
                                   0x58, 2, 0x58, 2, 0x58, 2, 0x58, 2, 2, 0};
  const std::string name = "htab0000.tbl";
  expected.insert(expected.end(), name.begin(), name.end());
  expected.resize(48, 0);
  EXPECT_EQ(row0, expected);
  EXPECT_EQ(image.rowTables[2][0], 0xFF);
  EXPECT_EQ(image.rowTables[2][1], 0xFF);
  EXPECT_EQ(image.rowTables[2][2], 0x56);  // 21590 = 0x5456
  EXPECT_EQ(image.rowTables[2][3], 0x54);
  const auto counts = dbc::CountsOf(image);
  EXPECT_EQ(counts[mdb::kRowTable1Count], 2u);
  EXPECT_EQ(counts[mdb::kRowTable3Count], 1u);
}

TEST(CompileLayout, SameSourceGivesTheSameImageAndText) {
  const std::string source =
      "key 1 = SettingSwitch 2 { case 1: SignedBytes [1] default: Int16Array [7] }\n"
      "key 2 = StringSwitch 0 { case \"a\": SignedBytes @1 [9] }\n";
  const OwnedImage a = MustCompile(source);
  const OwnedImage b = MustCompile(source);
  std::string difference;
  EXPECT_TRUE(dbc::SameImage(dbc::ViewOf(a), dbc::ViewOf(b), &difference)) << difference;
  EXPECT_EQ(dbc::WriteImageCpp(a, {"x/root.mdb"}), dbc::WriteImageCpp(b, {"x/root.mdb"}));
}

TEST(CompileLayout, GeneratedCppNamesItsSourcesAndHoldsEveryTable) {
  const OwnedImage image = MustCompile(
      "key 2 = Int32Array [-2147483648]\n"
      "category 4 { 3 = 15003 }\n");
  const std::string cpp = dbc::WriteImageCpp(image, {"/src/db/root.mdb", "/src/db/drv.mdb"});
  EXPECT_NE(cpp.find("Generated by dbc"), std::string::npos);
  EXPECT_NE(cpp.find("root.mdb, drv.mdb"), std::string::npos);
  EXPECT_NE(cpp.find("Do not edit"), std::string::npos);
  EXPECT_NE(cpp.find("const DbImage& ShippedImage()"), std::string::npos);
  EXPECT_NE(cpp.find("-2147483647 - 1"), std::string::npos);
  EXPECT_NE(cpp.find(".categoryIds = kCategoryIds"), std::string::npos);
  EXPECT_NE(cpp.find(".stringPool = nullptr"), std::string::npos);
  EXPECT_NE(cpp.find(".counts = {2, 1, 0, 0, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}"), std::string::npos);
}

}  // namespace

#include <cstdio>
#include <random>

#include "output_file.h"

namespace {

TEST(OutputFile, AnUnchangedOutputIsNotRewritten) {
  const std::string path = testing::TempDir() + "dbc_output_" + std::to_string(std::random_device{}()) + ".cpp";
  std::remove(path.c_str());
  bool written = false;
  ASSERT_TRUE(dbc::WriteFileIfChanged(path, "one\n", &written));
  EXPECT_TRUE(written);
  ASSERT_TRUE(dbc::WriteFileIfChanged(path, "one\n", &written));
  EXPECT_FALSE(written);
  ASSERT_TRUE(dbc::WriteFileIfChanged(path, "two\n", &written));
  EXPECT_TRUE(written);
  std::string text;
  ASSERT_TRUE(dbc::ReadWholeFile(path, &text));
  EXPECT_EQ(text, "two\n");
  EXPECT_FALSE(dbc::WriteFileIfChanged(testing::TempDir() + "no_such_dir/x/y.cpp", "z", &written));
  std::remove(path.c_str());
}

}  // namespace
