// The trace hook: what the explain tool sees, and that tracing changes no answer.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "evaluator.h"
#include "image_builder.h"
#include "testing/fault_control.h"
#include "trace.h"

namespace {

using mdbtest::ContextHolder;
using mdbtest::ImageBuilder;
using mdb::DbNode;
using mdb::NodeType;

std::string Narrow(const char16_t* text) {
  std::string out;
  for (; *text != 0; ++text) out.push_back(static_cast<char>(*text));
  return out;
}

struct Recorder {
  std::vector<std::string> events;

  static void Enter(void* user, uint32_t index, DbNode node, uint32_t depth) {
    Self(user).events.push_back("enter " + std::to_string(index) + " type " +
                                std::to_string(mdb::NodeTypeCode(node)) + " depth " +
                                std::to_string(depth));
  }
  static void Guard(void* user, uint32_t index, uint32_t setting, int32_t value, bool opened) {
    Self(user).events.push_back("guard " + std::to_string(index) + " setting " +
                                std::to_string(setting) + "=" + std::to_string(value) +
                                (opened ? " open" : " closed"));
  }
  static void Selector(void* user, uint32_t index, const mdb::TraceSelector& s) {
    std::string e = "selector " + std::to_string(index) + " kind " +
                    std::to_string(static_cast<int>(s.kind)) + " param " +
                    std::to_string(s.parameter) + " value " + std::to_string(s.value);
    if (s.kind == mdb::TraceSelectorKind::MaskedSetting) {
      e += " raw " + std::to_string(s.rawValue) + " mask " + std::to_string(s.mask);
    }
    if (s.text != nullptr) e += " text '" + std::string(s.text) + "'";
    if (s.valueName != nullptr) {
      e += " name " + Narrow(s.valueName) + (s.available ? " available" : " unavailable");
    }
    Self(user).events.push_back(e);
  }
  static void Case(void* user, uint32_t index, uint32_t caseIndex, uint32_t target) {
    Self(user).events.push_back("case " + std::to_string(index) + " matched " +
                                std::to_string(caseIndex) + " -> " + std::to_string(target));
  }
  static void Leave(void* user, uint32_t index, DbNode, uint32_t depth, int32_t status) {
    Self(user).events.push_back("leave " + std::to_string(index) + " depth " +
                                std::to_string(depth) + " status " + std::to_string(status));
  }
  static Recorder& Self(void* user) { return *static_cast<Recorder*>(user); }

  mdb::EvalTracer Tracer() { return {this, Enter, Guard, Selector, Case, Leave}; }
};

// The documented example tree: a filter on setting 4, a guard for 3, three leaves of other
// keys and a switch on setting 9.
struct ExampleTree {
  ImageBuilder b;
  uint32_t root = 0;
  ExampleTree() {
    const uint32_t twentyFour = b.Add(b.SignedBytes(0x1007, {24}));  // 0
    const uint32_t eight = b.Add(b.SignedBytes(0x1007, {8}));        // 1
    const DbNode sw = b.Switch(9, {ImageBuilder::Value(0, twentyFour),
                                   ImageBuilder::Value(1, eight)});  // cases 2, 3
    const DbNode guard = b.Guard(3, {b.SignedBytes(0x500C, {1}), b.SignedBytes(0x500B, {1}),
                                     b.SignedBytes(0x103A, {2}), sw});  // 4-7
    root = b.Add(b.Filter(4, {guard}));                                 // guard 8, root 9
  }
};

TEST(Trace, ReportsEachNodeTheDecisionsAndTheAnsweringLeaf) {
  plat::testing::Reset();
  ExampleTree t;
  ASSERT_EQ(t.root, 9u);
  ContextHolder ctx;
  ctx.settings = {0, 0, 0, 0, 3, 0, 0, 0, 0, 1};
  Recorder recorder;
  const mdb::EvalTracer tracer = recorder.Tracer();
  const QueryContext context = ctx.Get();
  DbNode leaf{};
  ASSERT_EQ(mdb::EvaluateNode(t.b.Env(&tracer), 0x1007, &context, t.root, &leaf), MPX_OK);
  const std::vector<std::string> expected = {
      "enter 9 type 9 depth 0",
      "guard 8 setting 4=3 open",
      "enter 8 type 10 depth 1",
      "enter 4 type 3 depth 2",
      "leave 4 depth 2 status 1",
      "enter 5 type 3 depth 2",
      "leave 5 depth 2 status 1",
      "enter 6 type 3 depth 2",
      "leave 6 depth 2 status 1",
      "enter 7 type 11 depth 2",
      "selector 7 kind 0 param 9 value 1",
      "case 7 matched 3 -> 1",
      "enter 1 type 3 depth 3",
      "leave 1 depth 3 status 0",
      "leave 7 depth 2 status 0",
      "leave 8 depth 1 status 0",
      "leave 9 depth 0 status 0",
  };
  EXPECT_EQ(recorder.events, expected);
}

TEST(Trace, ReportsStringAndPrinterDataSelectors) {
  plat::testing::Reset();
  ImageBuilder b;
  const uint32_t name = b.Add(b.WideText(8, std::string("VrdUI_SilentModeEnable\0", 23)));
  b.Key(8, b.Add(b.Switch(0, {ImageBuilder::Value(153, name)})));
  const uint32_t leaf1 = b.Add(b.SignedBytes(0x5008, {1}));
  const uint32_t pds = b.Add(b.Group(NodeType::PrinterDataSwitch, 153, {ImageBuilder::Default(leaf1)}));
  const uint32_t strings = b.Add(b.Group(NodeType::StringSwitch, 0, {b.StringCaseNode("DS", pds)}));
  const uint32_t masked = b.Add(b.Masked(0, 0x0F, {ImageBuilder::Value(3, strings)}));

  plat::testing::AddPrinter(u"P");
  ContextHolder ctx;
  ASSERT_TRUE(plat::PrinterOpen(u"P", &ctx.printer));
  ctx.settings = {0x123};
  ctx.strings = {"DS"};
  const QueryContext context = ctx.Get();
  Recorder recorder;
  const mdb::EvalTracer tracer = recorder.Tracer();
  DbNode leaf{};
  ASSERT_EQ(mdb::EvaluateNode(b.Env(&tracer), 0x5008, &context, masked, &leaf), MPX_OK);

  auto has = [&](const std::string& event) {
    return std::find(recorder.events.begin(), recorder.events.end(), event) != recorder.events.end();
  };
  EXPECT_TRUE(has("selector " + std::to_string(masked) + " kind 1 param 0 value 3 raw 291 mask 15"));
  EXPECT_TRUE(has("selector " + std::to_string(strings) + " kind 4 param 0 value 0 text 'DS'"));
  EXPECT_TRUE(has("selector " + std::to_string(pds) +
                  " kind 2 param 153 value 0 name VrdUI_SilentModeEnable unavailable"));
  // The switch sits at depth 2; the nested evaluation of key 8 continues below it.
  EXPECT_TRUE(has("enter " + std::to_string(pds) + " type 13 depth 2"));
  EXPECT_TRUE(has("enter " + std::to_string(b.roots[0]) + " type 11 depth 3"));
  plat::PrinterClose(ctx.printer);
  EXPECT_EQ(plat::testing::LiveBlocks(), 0u);
}

TEST(Trace, TracingChangesNoAnswer) {
  plat::testing::Reset();
  ExampleTree t;
  Recorder recorder;
  const mdb::EvalTracer full = recorder.Tracer();
  const mdb::EvalTracer silent{nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
  for (int32_t s4 : {2, 3}) {
    for (int32_t s9 : {0, 1, 7}) {
      for (uint16_t key : {uint16_t{0x1007}, uint16_t{0x103A}, uint16_t{0x500C}}) {
        ContextHolder ctx;
        ctx.settings = {0, 0, 0, 0, s4, 0, 0, 0, 0, s9};
        const QueryContext context = ctx.Get();
        DbNode plain{}, traced{}, quiet{};
        const int32_t a = mdb::EvaluateNode(t.b.Env(), key, &context, t.root, &plain);
        const int32_t b = mdb::EvaluateNode(t.b.Env(&full), key, &context, t.root, &traced);
        const int32_t c = mdb::EvaluateNode(t.b.Env(&silent), key, &context, t.root, &quiet);
        EXPECT_EQ(a, b);
        EXPECT_EQ(a, c);
        EXPECT_EQ(plain.tag, traced.tag);
        EXPECT_EQ(plain.value, quiet.value);
      }
    }
  }
}

}  // namespace
