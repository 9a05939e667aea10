// The evaluator on hand-built trees: every node type, the bound rules and the order in which
// errors win.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "evaluator.h"
#include "image_builder.h"
#include "testing/fault_control.h"

namespace {

using mdbtest::ContextHolder;
using mdbtest::ImageBuilder;
using mdb::DbNode;
using mdb::MakeNode;
using mdb::NodeType;

constexpr uint16_t kKey = 0x1001;
constexpr uint16_t kOther = 0x1002;

// Evaluates node `root` for kKey; on 0 `answer` holds the first element of the leaf's run
// (its byte for byte leaves), so a test can tell leaves apart.
struct Outcome {
  int32_t status;
  DbNode leaf;
};

Outcome Evaluate(ImageBuilder& b, uint32_t root, const ContextHolder& holder, uint16_t key = kKey) {
  const QueryContext context = holder.Get();
  const mdb::QueryEnv env = b.Env();
  Outcome out{0, DbNode{0, 0}};
  out.status = mdb::EvaluateNode(env, key, &context, root, &out.leaf);
  return out;
}

// The leaf records tests look for, each with a distinct marker byte.
DbNode Marked(ImageBuilder& b, int8_t marker, uint16_t label = kKey) {
  return b.SignedBytes(label, {marker});
}
int8_t MarkerOf(const ImageBuilder& b, DbNode leaf) {
  return static_cast<int8_t>(b.bytePool.at(mdb::NodeIndex(leaf)));
}

class Evaluator : public ::testing::Test {
 protected:
  void SetUp() override { plat::testing::Reset(); }
  void TearDown() override { EXPECT_EQ(plat::testing::LiveBlocks(), 0u); }
  ImageBuilder b;
  ContextHolder ctx;
};

// ---- Leaves, sequences, direct evaluation ------------------------------------------------------

TEST_F(Evaluator, SequenceSkipsLeavesOfOtherKeysAndTakesTheFirstMatch) {
  const uint32_t root = b.Add(b.Sequence({Marked(b, 1, kOther), b.Sequence({}), Marked(b, 2),
                                          Marked(b, 3)}));
  const Outcome r = Evaluate(b, root, ctx);
  ASSERT_EQ(r.status, MPX_OK);
  EXPECT_EQ(MarkerOf(b, r.leaf), 2);
  EXPECT_EQ(Evaluate(b, root, ctx, kOther).status, MPX_OK);
  EXPECT_EQ(Evaluate(b, root, ctx, 0x1003).status, MPX_NO_ANSWER);
  // Only the low 16 bits of the key count.
  EXPECT_EQ(Evaluate(b, root, ctx, kKey).status, MPX_OK);
  const QueryContext context = ctx.Get();
  DbNode leaf{};
  EXPECT_EQ(mdb::EvaluateNode(b.Env(), 0x77770000u | kKey, &context, root, &leaf), MPX_OK);
}

TEST_F(Evaluator, EmptySequenceAnswersOne) {
  const uint32_t root = b.Add(b.Sequence({}));
  EXPECT_EQ(Evaluate(b, root, ctx).status, MPX_NO_ANSWER);
}

TEST_F(Evaluator, ErrorBelowASequenceStopsItBeforeLaterAlternatives) {
  const uint32_t root = b.Add(b.Sequence({b.Switch(5, {}), Marked(b, 1)}));
  EXPECT_EQ(Evaluate(b, root, ctx).status, MPX_ERR_SETTINGS);
}

TEST_F(Evaluator, ChildIndexBeyondTheTableIsMalformed) {
  b.Add(Marked(b, 1, kOther));
  const uint32_t root = b.Add(MakeNode(NodeType::Sequence, 0, 0, 3));  // children 0, 1, 2
  EXPECT_EQ(Evaluate(b, root, ctx).status, MPX_ERR_DATABASE);
}

TEST_F(Evaluator, GuardValueAndDefaultCasesEvaluatedDirectlyAreSequences) {
  for (NodeType type : {NodeType::SettingGuard, NodeType::ValueCase, NodeType::DefaultCase}) {
    ImageBuilder local;
    const DbNode group = local.Group(type, 7, {Marked(local, 1, kOther), Marked(local, 2)});
    const uint32_t root = local.Add(group);
    const Outcome r = Evaluate(local, root, ctx);  // no settings at all: no guard test is made
    ASSERT_EQ(r.status, MPX_OK) << static_cast<int>(type);
    EXPECT_EQ(MarkerOf(local, r.leaf), 2);
  }
}

TEST_F(Evaluator, InvalidAndNonEvaluableTypesAnswerMinusOne) {
  for (uint32_t type : {0u, 16u, 20u, 21u, 22u, 200u}) {
    ImageBuilder local;
    local.Add(Marked(local, 1));
    const uint32_t root = local.Add(DbNode{type << 24, 0x10010001u});
    EXPECT_EQ(Evaluate(local, root, ctx).status, MPX_ERR_DATABASE) << "type " << type;
  }
}

TEST_F(Evaluator, MissingLeafOutputOrNodeIsMalformed) {
  const uint32_t root = b.Add(Marked(b, 1));
  const QueryContext context = ctx.Get();
  EXPECT_EQ(mdb::EvaluateNode(b.Env(), kKey, &context, root, nullptr), MPX_ERR_DATABASE);
  DbNode leaf{};
  EXPECT_EQ(mdb::EvaluateNode(b.Env(), kKey, &context, root + 1, &leaf), MPX_ERR_DATABASE);
}

TEST_F(Evaluator, LookupSearchesTheDirectoryThenEvaluates) {
  const uint32_t root = b.Add(b.Sequence({Marked(b, 1, kOther), Marked(b, 2)}));
  b.Key(kKey, root);
  b.Key(kOther, root);
  const QueryContext context = ctx.Get();
  DbNode leaf{};
  ASSERT_EQ(mdb::LookupKey(b.Env(), kOther, &context, &leaf), MPX_OK);
  EXPECT_EQ(MarkerOf(b, leaf), 1);
  ASSERT_EQ(mdb::LookupKey(b.Env(), kKey, &context, &leaf), MPX_OK);
  EXPECT_EQ(MarkerOf(b, leaf), 2);
  EXPECT_EQ(mdb::LookupKey(b.Env(), 0x1003, &context, &leaf), MPX_KEY_NOT_FOUND);
  b.roots[0] = 1000;
  EXPECT_EQ(mdb::LookupKey(b.Env(), kKey, &context, &leaf), MPX_ERR_DATABASE);
}

// ---- SettingFilter and SettingGuard --------------------------------------------------------

TEST_F(Evaluator, FilterOpensOnlyTheGuardEqualToTheSetting) {
  const uint32_t root = b.Add(b.Filter(1, {b.Guard(2, {Marked(b, 2)}), b.Guard(3, {Marked(b, 3)}),
                                           Marked(b, 9)}));
  struct Row {
    int32_t setting;
    int8_t marker;
  };
  for (Row row : {Row{2, 2}, Row{3, 3}, Row{4, 9}, Row{-1, 9}}) {
    ctx.settings = {0, row.setting};
    const Outcome r = Evaluate(b, root, ctx);
    ASSERT_EQ(r.status, MPX_OK) << row.setting;
    EXPECT_EQ(MarkerOf(b, r.leaf), row.marker) << row.setting;
  }
}

TEST_F(Evaluator, GuardValuesAreZeroTo65535AndNeverMatchOutsideThatRange) {
  const uint32_t root = b.Add(b.Filter(0, {b.Guard(0, {Marked(b, 1)}), b.Guard(0xFFFF, {Marked(b, 2)})}));
  struct Row {
    int32_t setting;
    int32_t status;
  };
  for (Row row : {Row{0, MPX_OK}, Row{65535, MPX_OK}, Row{65536, MPX_NO_ANSWER},
                  Row{-1, MPX_NO_ANSWER}, Row{-65536, MPX_NO_ANSWER}, Row{131071, MPX_NO_ANSWER}}) {
    ctx.settings = {row.setting};
    EXPECT_EQ(Evaluate(b, root, ctx).status, row.status) << row.setting;
  }
}

TEST_F(Evaluator, FilterReportsMissingSettingOnlyWhenItReachesAGuard) {
  const uint32_t answered = b.Add(b.Filter(2, {Marked(b, 1), b.Guard(0, {Marked(b, 2)})}));
  const uint32_t passedOn = b.Add(b.Filter(2, {Marked(b, 1, kOther), b.Guard(0, {Marked(b, 2)})}));
  const uint32_t noGuard = b.Add(b.Filter(2, {Marked(b, 1, kOther)}));
  ctx.settings = {0, 0};  // setting 2 = settingCount
  EXPECT_EQ(Evaluate(b, answered, ctx).status, MPX_OK);
  EXPECT_EQ(Evaluate(b, passedOn, ctx).status, MPX_ERR_SETTINGS);
  EXPECT_EQ(Evaluate(b, noGuard, ctx).status, MPX_NO_ANSWER);
  ctx.settings = {0, 0, 0};
  ctx.nullSettings = true;
  EXPECT_EQ(Evaluate(b, passedOn, ctx).status, MPX_ERR_SETTINGS);
}

TEST_F(Evaluator, FilterWithAllGuardsClosedAnswersOne) {
  const uint32_t root = b.Add(b.Filter(0, {b.Guard(1, {Marked(b, 1)}), b.Guard(2, {Marked(b, 2)})}));
  ctx.settings = {3};
  EXPECT_EQ(Evaluate(b, root, ctx).status, MPX_NO_ANSWER);
}

// ---- SettingSwitch and its cases -------------------------------------------------------------

TEST_F(Evaluator, SwitchCasesCompareAllThirtyTwoBitsAndSignedRanges) {
  const uint32_t allOnes = b.Add(Marked(b, 1));
  const uint32_t positive = b.Add(Marked(b, 2));
  const uint32_t negative = b.Add(Marked(b, 3));
  const uint32_t zero = b.Add(Marked(b, 4));
  const uint32_t root = b.Add(b.Switch(0, {ImageBuilder::Value(0xFFFFFFFFu, allOnes),
                                           b.Range(1, INT_MAX, positive),
                                           b.Range(INT_MIN, -1, negative),
                                           ImageBuilder::Value(0, zero)}));
  struct Row {
    int32_t setting;
    int8_t marker;
  };
  for (Row row : {Row{-1, 1}, Row{1, 2}, Row{INT_MAX, 2}, Row{70000, 2}, Row{-2, 3},
                  Row{INT_MIN, 3}, Row{0, 4}}) {
    ctx.settings = {row.setting};
    const Outcome r = Evaluate(b, root, ctx);
    ASSERT_EQ(r.status, MPX_OK) << row.setting;
    EXPECT_EQ(MarkerOf(b, r.leaf), row.marker) << row.setting;
  }
}

TEST_F(Evaluator, SwitchWithoutMatchOrCasesAnswersOneButMissingSettingWins) {
  const uint32_t target = b.Add(Marked(b, 1));
  const uint32_t someCases = b.Add(b.Switch(1, {ImageBuilder::Value(5, target)}));
  const uint32_t noCases = b.Add(b.Switch(1, {}));
  ctx.settings = {0, 6};
  EXPECT_EQ(Evaluate(b, someCases, ctx).status, MPX_NO_ANSWER);
  EXPECT_EQ(Evaluate(b, noCases, ctx).status, MPX_NO_ANSWER);
  ctx.settings = {0};
  EXPECT_EQ(Evaluate(b, noCases, ctx).status, MPX_ERR_SETTINGS);
  EXPECT_EQ(Evaluate(b, someCases, ctx).status, MPX_ERR_SETTINGS);
}

TEST_F(Evaluator, MatchedCaseNeverFallsThrough) {
  const uint32_t silent = b.Add(Marked(b, 1, kOther));
  const uint32_t answer = b.Add(Marked(b, 2));
  const uint32_t root = b.Add(b.Switch(0, {ImageBuilder::Value(1, silent),
                                           ImageBuilder::Default(answer)}));
  ctx.settings = {1};
  EXPECT_EQ(Evaluate(b, root, ctx).status, MPX_NO_ANSWER);
  ctx.settings = {2};
  EXPECT_EQ(Evaluate(b, root, ctx).status, MPX_OK);
}

TEST_F(Evaluator, RangeCasePairMustLieInsideTheInt32Pool) {
  const uint32_t target = b.Add(Marked(b, 1));
  b.int32Pool = {0, 10, 20};
  const uint32_t lastPair = b.Add(b.Switch(0, {MakeNode(NodeType::RangeCase, target, 1u)}));
  const uint32_t lastElement = b.Add(b.Switch(0, {MakeNode(NodeType::RangeCase, target, 2u)}));
  const uint32_t wrapping = b.Add(b.Switch(0, {MakeNode(NodeType::RangeCase, target, 0xFFFFFFFFu)}));
  ctx.settings = {15};
  EXPECT_EQ(Evaluate(b, lastPair, ctx).status, MPX_OK);
  EXPECT_EQ(Evaluate(b, lastElement, ctx).status, MPX_ERR_DATABASE);
  EXPECT_EQ(Evaluate(b, wrapping, ctx).status, MPX_ERR_DATABASE);
  mdb::DbImage noPool = b.Image();
  noPool.int32Pool = nullptr;
  const QueryContext context = ctx.Get();
  DbNode leaf{};
  EXPECT_EQ(mdb::EvaluateNode(mdb::QueryEnv{&noPool, nullptr}, kKey, &context, lastPair, &leaf),
            MPX_ERR_DATABASE);
}

TEST_F(Evaluator, CaseAndTargetIndexesAreBoundChecked) {
  const uint32_t target = b.Add(Marked(b, 1));
  const uint32_t badTarget = b.Add(b.Switch(0, {ImageBuilder::Value(0, 5000)}));
  const uint32_t leafAsCase = b.Add(b.Switch(0, {Marked(b, 1)}));
  const uint32_t caseBeyond = b.Add(MakeNode(NodeType::SettingSwitch, target, 0, 5000));
  ctx.settings = {0};
  EXPECT_EQ(Evaluate(b, badTarget, ctx).status, MPX_ERR_DATABASE);
  EXPECT_EQ(Evaluate(b, leafAsCase, ctx).status, MPX_ERR_DATABASE);
  // Case 0 is the leaf itself, not a case type.
  EXPECT_EQ(Evaluate(b, caseBeyond, ctx).status, MPX_ERR_DATABASE);
  const uint32_t beyondOnly = b.Add(MakeNode(NodeType::SettingSwitch, 5000, 0, 1));
  EXPECT_EQ(Evaluate(b, beyondOnly, ctx).status, MPX_ERR_DATABASE);
}

// ---- MaskedSettingSwitch ---------------------------------------------------------------------

TEST_F(Evaluator, MaskedSwitchComparesTheMaskedSetting) {
  const uint32_t set = b.Add(Marked(b, 1));
  const uint32_t clear = b.Add(Marked(b, 2));
  const uint32_t root = b.Add(b.Masked(0, 0x00800000u, {ImageBuilder::Value(8388608, set),
                                                        ImageBuilder::Value(0, clear)}));
  struct Row {
    int32_t setting;
    int8_t marker;
  };
  for (Row row : {Row{0x00800000, 1}, Row{-1, 1}, Row{0x00FFFFFF, 1}, Row{0x007FFFFF, 2},
                  Row{0x01000000, 2}}) {
    ctx.settings = {row.setting};
    const Outcome r = Evaluate(b, root, ctx);
    ASSERT_EQ(r.status, MPX_OK) << row.setting;
    EXPECT_EQ(MarkerOf(b, r.leaf), row.marker) << row.setting;
  }
}

TEST_F(Evaluator, MaskedSwitchNeedsItsHeaderBeforeItsSetting) {
  const uint32_t target = b.Add(Marked(b, 1));
  const uint32_t notHeader = b.Add(MakeNode(NodeType::MaskedSettingSwitch, target, 0, 0));
  const uint32_t beyond = b.Add(MakeNode(NodeType::MaskedSettingSwitch, 9999, 0, 0));
  // No settings at all: the header test still comes first.
  EXPECT_EQ(Evaluate(b, notHeader, ctx).status, MPX_ERR_DATABASE);
  EXPECT_EQ(Evaluate(b, beyond, ctx).status, MPX_ERR_DATABASE);
  const uint32_t good = b.Add(b.Masked(0, 1, {}));
  EXPECT_EQ(Evaluate(b, good, ctx).status, MPX_ERR_SETTINGS);
}

// ---- StringSwitch ----------------------------------------------------------------------------

TEST_F(Evaluator, StringCasesMatchWholeStringsByteForByte) {
  const uint32_t ds = b.Add(Marked(b, 1));
  const uint32_t empty = b.Add(Marked(b, 2));
  const uint32_t fallback = b.Add(Marked(b, 3));
  const uint32_t root = b.Add(b.Group(NodeType::StringSwitch, 1,
                                      {b.StringCaseNode("DS", ds), b.StringCaseNode("", empty),
                                       ImageBuilder::Default(fallback)}));
  struct Row {
    const char* text;
    int8_t marker;
  };
  for (Row row : {Row{"DS", 1}, Row{"", 2}, Row{nullptr, 2}, Row{"DS,LS", 3}, Row{"ds", 3},
                  Row{"D", 3}, Row{"DSX", 3}}) {
    ctx.strings = {"ignored", row.text};
    const Outcome r = Evaluate(b, root, ctx);
    ASSERT_EQ(r.status, MPX_OK) << (row.text ? row.text : "(null)");
    EXPECT_EQ(MarkerOf(b, r.leaf), row.marker) << (row.text ? row.text : "(null)");
  }
}

TEST_F(Evaluator, NullStringEntryMatchesOnlyTheEmptyString) {
  const uint32_t target = b.Add(Marked(b, 1));
  const uint32_t root = b.Add(b.Group(NodeType::StringSwitch, 0, {b.StringCaseNode("DS", target)}));
  ctx.strings = {nullptr};
  EXPECT_EQ(Evaluate(b, root, ctx).status, MPX_NO_ANSWER);
}

TEST_F(Evaluator, StringsAreReadOnlyWhenAStringCaseIsReached) {
  const uint32_t target = b.Add(Marked(b, 1));
  const uint32_t defaultFirst = b.Add(b.Group(NodeType::StringSwitch, 4,
                                              {ImageBuilder::Default(target),
                                               b.StringCaseNode("x", target)}));
  const uint32_t stringFirst = b.Add(b.Group(NodeType::StringSwitch, 4,
                                             {b.StringCaseNode("x", target),
                                              ImageBuilder::Default(target)}));
  const uint32_t noCases = b.Add(b.Group(NodeType::StringSwitch, 4, {}));
  EXPECT_EQ(Evaluate(b, defaultFirst, ctx).status, MPX_OK);  // strings null
  EXPECT_EQ(Evaluate(b, stringFirst, ctx).status, MPX_ERR_STRINGS);
  EXPECT_EQ(Evaluate(b, noCases, ctx).status, MPX_NO_ANSWER);
  ctx.strings = {"a", "b", "c", "d"};  // position 4 = stringCount
  EXPECT_EQ(Evaluate(b, stringFirst, ctx).status, MPX_ERR_STRINGS);
  ctx.strings.push_back("x");
  EXPECT_EQ(Evaluate(b, stringFirst, ctx).status, MPX_OK);
  ctx.nullStrings = true;
  EXPECT_EQ(Evaluate(b, stringFirst, ctx).status, MPX_ERR_STRINGS);
}

TEST_F(Evaluator, StringDescriptorsAreBoundCheckedBeforeTheStringsAreNeeded) {
  const uint32_t target = b.Add(Marked(b, 1));
  b.stringPool = {'A', 'B', 'C'};
  const uint32_t atEnd = b.Add(MakeNode(NodeType::Bytes, 1, 0, 2));  // "BC"
  const uint32_t pastEnd = b.Add(MakeNode(NodeType::Bytes, 2, 0, 2));
  const uint32_t notBytes = b.Add(MakeNode(NodeType::SignedBytes, 0, 0, 1));
  auto switchOn = [&](uint32_t descriptor) {
    return b.Add(b.Group(NodeType::StringSwitch, 0,
                         {MakeNode(NodeType::StringCase, target, descriptor)}));
  };
  const uint32_t good = switchOn(atEnd);
  const uint32_t bad = switchOn(pastEnd);
  const uint32_t wrongType = switchOn(notBytes);
  const uint32_t beyond = switchOn(7777);
  const uint32_t badTarget =
      b.Add(b.Group(NodeType::StringSwitch, 0, {MakeNode(NodeType::StringCase, 7777, atEnd)}));
  const uint32_t wrongCase = b.Add(b.Group(NodeType::StringSwitch, 0, {ImageBuilder::Value(0, target)}));

  ctx.strings = {"BC"};
  EXPECT_EQ(Evaluate(b, good, ctx).status, MPX_OK);
  EXPECT_EQ(Evaluate(b, bad, ctx).status, MPX_ERR_DATABASE);
  EXPECT_EQ(Evaluate(b, badTarget, ctx).status, MPX_ERR_DATABASE);
  EXPECT_EQ(Evaluate(b, wrongCase, ctx).status, MPX_ERR_DATABASE);
  ctx.strings = {};
  // The descriptor is read before the strings; its pool bounds after them.
  EXPECT_EQ(Evaluate(b, wrongType, ctx).status, MPX_ERR_DATABASE);
  EXPECT_EQ(Evaluate(b, beyond, ctx).status, MPX_ERR_DATABASE);
  EXPECT_EQ(Evaluate(b, bad, ctx).status, MPX_ERR_STRINGS);
}

// ---- Depth limit ------------------------------------------------------------------------------

TEST_F(Evaluator, CyclicImageStopsAtTheDepthLimit) {
  b.Add(MakeNode(NodeType::Sequence, 0, 0, 1));  // node 0 is its own child
  EXPECT_EQ(Evaluate(b, 0, ctx).status, MPX_ERR_DATABASE);

  ImageBuilder loop;  // a switch whose case leads back to itself
  loop.Add(MakeNode(NodeType::SettingSwitch, 1, 0, 1));
  loop.Add(ImageBuilder::Default(0));
  ctx.settings = {0};
  EXPECT_EQ(Evaluate(loop, 0, ctx).status, MPX_ERR_DATABASE);
}

// A chain of `length` nested sequences ending in the answering leaf.
uint32_t Chain(ImageBuilder& b, uint32_t length) {
  DbNode node = Marked(b, 1);
  for (uint32_t i = 1; i < length; ++i) node = b.Sequence({node});
  return b.Add(node);
}

TEST_F(Evaluator, PathsUpToTheDepthLimitAnswer) {
  const uint32_t deepest = Chain(b, mdb::kMaxEvalDepth);
  const uint32_t tooDeep = Chain(b, mdb::kMaxEvalDepth + 1);
  EXPECT_EQ(Evaluate(b, deepest, ctx).status, MPX_OK);
  EXPECT_EQ(Evaluate(b, tooDeep, ctx).status, MPX_ERR_DATABASE);
}

}  // namespace
