// PrinterDataSwitch and LocaleSwitch: the printer-data value named through key 8, the
// locale's country code, their failures and the order in which their errors win.
#include <gtest/gtest.h>

#include <string>

#include "evaluator.h"
#include "image_builder.h"
#include "testing/fault_control.h"

namespace {

using mdbtest::ContextHolder;
using mdbtest::ImageBuilder;
using mdb::DbNode;
using mdb::MakeNode;
using mdb::NodeType;

constexpr uint16_t kKey = 0x5008;
constexpr uint16_t kValueNameNumber = 153;
const std::u16string kPrinter = u"Office Q770";
const std::u16string kValueName = u"VrdUI_SilentModeEnable";

int8_t MarkerOf(const ImageBuilder& b, DbNode leaf) {
  return static_cast<int8_t>(b.bytePool.at(mdb::NodeIndex(leaf)));
}

class PrinterDataSwitch : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::testing::Reset();
    plat::testing::AddPrinter(kPrinter);
    ASSERT_TRUE(plat::PrinterOpen(kPrinter.c_str(), &ctx.printer));
    // Key 8: value-name number (setting 0) -> the value's name.
    const uint32_t name = b.Add(b.WideText(8, std::string("VrdUI_SilentModeEnable\0", 23)));
    const uint32_t other = b.Add(b.WideText(8, std::string("VrdUI_Other\0", 12)));
    key8Root = b.Add(b.Switch(0, {ImageBuilder::Value(kValueNameNumber, name),
                                  ImageBuilder::Value(200, other)}));
    b.Key(8, key8Root);
    one = b.Add(b.SignedBytes(kKey, {1}));
    two = b.Add(b.SignedBytes(kKey, {2}));
    fallback = b.Add(b.SignedBytes(kKey, {3}));
  }
  void TearDown() override {
    plat::PrinterClose(ctx.printer);
    EXPECT_EQ(plat::testing::LiveBlocks(), 0u) << "every block freed on every path";
  }

  uint32_t Switch(uint16_t number, std::initializer_list<DbNode> cases) {
    return b.Add(b.Group(NodeType::PrinterDataSwitch, number, cases));
  }
  uint32_t StandardSwitch() {
    return Switch(kValueNameNumber, {ImageBuilder::Value(1, one), ImageBuilder::Value(2, two),
                                     ImageBuilder::Default(fallback)});
  }
  int32_t Evaluate(uint32_t root, DbNode* leaf) {
    const QueryContext context = ctx.Get();
    return mdb::EvaluateNode(b.Env(), kKey, &context, root, leaf);
  }
  int8_t Answer(uint32_t root) {
    DbNode leaf{};
    const int32_t status = Evaluate(root, &leaf);
    EXPECT_EQ(status, MPX_OK);
    return status == MPX_OK ? MarkerOf(b, leaf) : int8_t{-100};
  }

  ImageBuilder b;
  ContextHolder ctx;  // no settings and no strings: the switch needs neither
  uint32_t key8Root = 0, one = 0, two = 0, fallback = 0;
};

TEST_F(PrinterDataSwitch, SelectsByTheValueKeyEightNames) {
  const uint32_t root = StandardSwitch();
  plat::testing::SetPrinterDword(kPrinter, kValueName, 1);
  plat::testing::SetPrinterDword(kPrinter, u"VrdUI_Other", 2);
  EXPECT_EQ(Answer(root), 1);
  plat::testing::SetPrinterDword(kPrinter, kValueName, 2);
  EXPECT_EQ(Answer(root), 2);
  plat::testing::SetPrinterDword(kPrinter, kValueName, 0xFFFFFFFFu);
  EXPECT_EQ(Answer(root), 3);
  // A value shorter than four bytes leaves the rest of the selector 0.
  plat::testing::SetPrinterValue(kPrinter, kValueName, std::string("\x02", 1));
  EXPECT_EQ(Answer(root), 2);
  // Another value-name number reads another value.
  const uint32_t byOther = Switch(200, {ImageBuilder::Value(1, one), ImageBuilder::Value(2, two)});
  EXPECT_EQ(Answer(byOther), 2);
}

TEST_F(PrinterDataSwitch, UnavailableValueTakesTheLastDefaultCaseOrAnswersOne) {
  const uint32_t root = StandardSwitch();
  const uint32_t defaultFirst = Switch(kValueNameNumber, {ImageBuilder::Default(fallback),
                                                          ImageBuilder::Value(1, one)});
  const uint32_t noDefault = Switch(kValueNameNumber, {ImageBuilder::Value(1, one)});
  const uint32_t noCases = Switch(kValueNameNumber, {});
  DbNode leaf{};

  // Missing, longer than four bytes, or an access failure: all count as unavailable.
  EXPECT_EQ(Answer(root), 3);
  EXPECT_EQ(Evaluate(defaultFirst, &leaf), MPX_NO_ANSWER);
  EXPECT_EQ(Evaluate(noDefault, &leaf), MPX_NO_ANSWER);
  EXPECT_EQ(Evaluate(noCases, &leaf), MPX_NO_ANSWER);

  plat::testing::SetPrinterValue(kPrinter, kValueName, std::string("\x01\x00\x00\x00\x00", 5));
  EXPECT_EQ(Answer(root), 3);
  EXPECT_EQ(Evaluate(noDefault, &leaf), MPX_NO_ANSWER);

  plat::testing::SetPrinterDword(kPrinter, kValueName, 1);
  plat::testing::FailPrinterRead(5);  // access denied
  EXPECT_EQ(Answer(root), 3);
  EXPECT_EQ(Evaluate(noDefault, &leaf), MPX_NO_ANSWER);
  plat::testing::FailPrinterRead(0);
  // With the value present a default in first position matches like any default.
  EXPECT_EQ(Answer(defaultFirst), 3);
}

TEST_F(PrinterDataSwitch, LastCaseBeyondTheTableIsMalformedWhenTheValueIsMissing) {
  const uint32_t root = b.Add(MakeNode(NodeType::PrinterDataSwitch, one, kValueNameNumber, 9000));
  DbNode leaf{};
  EXPECT_EQ(Evaluate(root, &leaf), MPX_ERR_DATABASE);
}

TEST_F(PrinterDataSwitch, NoHandleAnswersMinusFourEvenWhenADefaultWouldMatch) {
  const uint32_t root = StandardSwitch();
  plat::PrinterClose(ctx.printer);
  ctx.printer = nullptr;
  DbNode leaf{};
  EXPECT_EQ(Evaluate(root, &leaf), MPX_ERR_CONTEXT);
  EXPECT_EQ(plat::testing::PrinterReadCount(), 0u);
}

TEST_F(PrinterDataSwitch, KeyEightIsSearchedBeforeTheHandleIsTested) {
  const uint32_t root = StandardSwitch();
  b.keys[0] = 9;  // key 8 gone from the directory
  DbNode leaf{};
  EXPECT_EQ(Evaluate(root, &leaf), MPX_KEY_NOT_FOUND);
  void* handle = ctx.printer;
  ctx.printer = nullptr;
  EXPECT_EQ(Evaluate(root, &leaf), MPX_KEY_NOT_FOUND);
  ctx.printer = handle;
  b.keys[0] = 8;
  b.roots[0] = 100000;  // key 8 present, root beyond the table
  EXPECT_EQ(Evaluate(root, &leaf), MPX_ERR_DATABASE);
  b.keys.clear();  // empty directory
  b.roots.clear();
  EXPECT_EQ(Evaluate(root, &leaf), MPX_ERR_DATABASE);
}

TEST_F(PrinterDataSwitch, KeyEightMustNameAStoredWideText) {
  DbNode leaf{};
  // A value-name number key 8 does not map: the nested evaluation answers 1.
  const uint32_t unnamed = Switch(77, {ImageBuilder::Default(fallback)});
  EXPECT_EQ(Evaluate(unnamed, &leaf), MPX_ERR_DATABASE);
  // Not a WideText, and a name whose run leaves the byte pool.
  const uint32_t bytesName = b.Add(b.Bytes(8, "VrdUI_SilentModeEnable"));
  const uint32_t outside = b.Add(MakeNode(NodeType::WideText, 0xFFFFF0, 8, 40));
  const uint32_t root = StandardSwitch();
  b.nodes[key8Root - 2] = ImageBuilder::Value(kValueNameNumber, bytesName);
  EXPECT_EQ(Evaluate(root, &leaf), MPX_ERR_DATABASE);
  b.nodes[key8Root - 2] = ImageBuilder::Value(kValueNameNumber, outside);
  EXPECT_EQ(Evaluate(root, &leaf), MPX_ERR_DATABASE);
  // Nothing was read from the printer on these paths.
  EXPECT_EQ(plat::testing::PrinterReadCount(), 0u);
}

TEST_F(PrinterDataSwitch, NameStoredWithoutItsNulIsStillTerminated) {
  const uint32_t rawName = b.Add(b.WideText(8, "VrdUI_SilentModeEnable"));
  b.nodes[key8Root - 2] = ImageBuilder::Value(kValueNameNumber, rawName);
  plat::testing::SetPrinterDword(kPrinter, kValueName, 2);
  EXPECT_EQ(Answer(StandardSwitch()), 2);
}

TEST_F(PrinterDataSwitch, AllocationFailuresAnswerMinusOneAndLeakNothing) {
  const uint32_t root = StandardSwitch();
  plat::testing::SetPrinterDword(kPrinter, kValueName, 1);
  DbNode leaf{};
  const uint32_t before = plat::testing::AllocationCount();
  ASSERT_EQ(Evaluate(root, &leaf), MPX_OK);
  const uint32_t perEvaluation = plat::testing::AllocationCount() - before;
  EXPECT_EQ(perEvaluation, 2u) << "the derived context and the value name";
  for (uint32_t nth = 1; nth <= perEvaluation; ++nth) {
    plat::testing::FailAllocation(nth);
    EXPECT_EQ(Evaluate(root, &leaf), MPX_ERR_DATABASE) << "allocation " << nth;
    EXPECT_EQ(plat::testing::LiveBlocks(), 0u) << "allocation " << nth;
  }
}

TEST_F(PrinterDataSwitch, CyclicKeyEightTreeStopsAtTheDepthLimitWithoutLeaking) {
  // Key 8's root is the switch itself: every level evaluates key 8 again.
  const uint32_t root = StandardSwitch();
  b.roots[0] = root;
  DbNode leaf{};
  EXPECT_EQ(Evaluate(root, &leaf), MPX_ERR_DATABASE);
  EXPECT_EQ(plat::testing::LiveBlocks(), 0u);
  EXPECT_LE(plat::testing::AllocationCount(), mdb::kMaxEvalDepth);
}

// ---- LocaleSwitch ------------------------------------------------------------------------------

class LocaleSwitch : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::testing::Reset();
    us = b.Add(b.SignedBytes(kKey, {1}));
    uk = b.Add(b.SignedBytes(kKey, {44}));
    other = b.Add(b.SignedBytes(kKey, {0}));
  }
  void TearDown() override { EXPECT_EQ(plat::testing::LiveBlocks(), 0u); }
  uint32_t Switch(uint16_t tag, std::initializer_list<DbNode> cases) {
    return b.Add(b.Group(NodeType::LocaleSwitch, tag, cases));
  }
  int32_t Evaluate(uint32_t root, DbNode* leaf) {
    const QueryContext context = ctx.Get();
    return mdb::EvaluateNode(b.Env(), kKey, &context, root, leaf);
  }
  ImageBuilder b;
  ContextHolder ctx;
  uint32_t us = 0, uk = 0, other = 0;
};

TEST_F(LocaleSwitch, SelectsByTheCountryCode) {
  const uint32_t root = Switch(0x500F, {ImageBuilder::Value(1, us), ImageBuilder::Value(44, uk),
                                        ImageBuilder::Default(other)});
  struct Row {
    const char* country;
    int8_t marker;
  };
  for (Row row : {Row{"1", 1}, Row{"44", 44}, Row{"81", 0}, Row{"044", 44}}) {
    plat::testing::SetLocaleCountry(row.country);
    DbNode leaf{};
    ASSERT_EQ(Evaluate(root, &leaf), MPX_OK) << row.country;
    EXPECT_EQ(MarkerOf(b, leaf), row.marker) << row.country;
  }
}

TEST_F(LocaleSwitch, WrongTagOrLocaleFailureIsMinusOneEvenWithADefault) {
  const uint32_t wrongTag = Switch(0x500E, {ImageBuilder::Default(other)});
  const uint32_t root = Switch(0x500F, {ImageBuilder::Default(other)});
  const uint32_t noCases = Switch(0x500F, {});
  DbNode leaf{};
  EXPECT_EQ(Evaluate(wrongTag, &leaf), MPX_ERR_DATABASE);
  EXPECT_EQ(plat::testing::LocaleCallCount(), 0u) << "the tag is tested first";
  EXPECT_EQ(Evaluate(noCases, &leaf), MPX_NO_ANSWER);

  plat::testing::FailLocale(true);
  EXPECT_EQ(Evaluate(root, &leaf), MPX_ERR_DATABASE);
  EXPECT_EQ(Evaluate(noCases, &leaf), MPX_ERR_DATABASE);
  plat::testing::FailLocale(false);
  // The length query succeeds and the read fails.
  plat::testing::FailLocaleCall(2);
  EXPECT_EQ(Evaluate(root, &leaf), MPX_ERR_DATABASE);
  EXPECT_EQ(Evaluate(root, &leaf), MPX_OK);
  plat::testing::FailAllocation(1);
  EXPECT_EQ(Evaluate(root, &leaf), MPX_ERR_DATABASE);
}

}  // namespace
