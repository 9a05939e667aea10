// The entry-point frame on a hand-built image: context and key-range checks, the printer
// opened by name and closed again, statuses passed through, and concurrent callers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "entry.h"
#include "image_builder.h"
#include "testing/fault_control.h"

namespace {

using mdbtest::ContextHolder;
using mdbtest::ImageBuilder;
using mdb::Category;
using mdb::NodeType;

constexpr uint32_t kUntouched = 0xDEADBEEF;
constexpr uint16_t kPrinterKey = 0x0003;   // answers from a printer-data value
constexpr uint16_t kSettingKey = 0x0004;   // switches on setting 0
constexpr uint16_t kStringKey = 0x0005;    // switches on context string 0
const std::u16string kPrinter = u"Desk";

// One Int32Array leaf per key, holding the key itself, plus the three state-dependent keys.
struct FrameImage {
  ImageBuilder b;
  FrameImage() {
    for (uint16_t key : {uint16_t{0x0FFF}, uint16_t{0x1001}, uint16_t{0x1FFF}, uint16_t{0x2001},
                         uint16_t{0x3001}, uint16_t{0x4001}, uint16_t{0x6001}, uint16_t{0x6FFF},
                         uint16_t{0x5008}, uint16_t{0x2FFF}}) {
      b.Key(key, b.Add(b.Int32s(key, {key})));
    }
    b.Key(0x0002, b.Add(b.WideText(0x0002, std::string("1.52\0", 5))));

    const uint32_t name = b.Add(b.WideText(8, std::string("VrdUI_SilentModeEnable\0", 23)));
    b.Key(8, b.Add(b.Switch(0, {ImageBuilder::Value(153, name)})));
    const uint32_t on = b.Add(b.Int32s(kPrinterKey, {1}));
    const uint32_t off = b.Add(b.Int32s(kPrinterKey, {0}));
    b.Key(kPrinterKey, b.Add(b.Group(NodeType::PrinterDataSwitch, 153,
                                     {ImageBuilder::Value(1, on), ImageBuilder::Default(off)})));

    const uint32_t seven = b.Add(b.Int32s(kSettingKey, {7}));
    b.Key(kSettingKey, b.Add(b.Switch(0, {ImageBuilder::Default(seven)})));
    const uint32_t text = b.Add(b.Int32s(kStringKey, {9}));
    b.Key(kStringKey, b.Add(b.Group(NodeType::StringSwitch, 0, {b.StringCaseNode("x", text)})));
  }
};

struct Result {
  int32_t status;
  uint32_t size;
  int32_t value;  // the first element of an Int32Array answer
};

class EntryFrame : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::testing::Reset();
    plat::testing::AddPrinter(kPrinter);
    plat::testing::SetPrinterDword(kPrinter, u"VrdUI_SilentModeEnable", 1);
    env = image.b.Env();
  }
  void TearDown() override {
    EXPECT_EQ(plat::testing::OpenPrinterHandles(), openedByTest);
    EXPECT_EQ(plat::testing::LiveBlocks(), 0u);
  }
  Result Query(Category category, uint32_t key, const ContextHolder& holder) {
    const QueryContext context = holder.Get();
    Result r{0, kUntouched, 0};
    uint8_t buffer[64];
    std::memset(buffer, 0, sizeof buffer);
    r.status = mdb::RunQuery(env, category, key, &context, sizeof buffer, buffer, &r.size);
    std::memcpy(&r.value, buffer, sizeof r.value);
    return r;
  }

  FrameImage image;
  mdb::QueryEnv env{};
  ContextHolder ctx;
  uint32_t openedByTest = 0;
};

TEST_F(EntryFrame, NullContextIsMinusFourBeforeTheKeyTest) {
  for (Category category : {Category::Root, Category::Drv, Category::LM, Category::Mnt,
                            Category::PA, Category::SM}) {
    for (uint32_t key : {0x0000u, 0x0002u, 0x5008u, 0xFFFFFFFFu}) {
      uint32_t size = kUntouched;
      EXPECT_EQ(mdb::RunQuery(env, category, key, nullptr, 0, nullptr, &size), MPX_ERR_CONTEXT);
      EXPECT_EQ(size, kUntouched);
    }
  }
}

struct RangeRow {
  Category category;
  uint32_t key;
  bool accepted;
};

class KeyRange : public EntryFrame, public ::testing::WithParamInterface<RangeRow> {};

// A key outside the export's range answers 1 without touching the database or the printer;
// an accepted key answers its own value (the upper 16 bits of the argument ignored).
TEST_P(KeyRange, AcceptsOnlyTheCategorysKeys) {
  const RangeRow row = GetParam();
  ctx.printerName = kPrinter.c_str();
  const Result r = Query(row.category, row.key, ctx);
  if (!row.accepted) {
    EXPECT_EQ(r.status, MPX_NO_ANSWER);
    EXPECT_EQ(r.size, kUntouched);
    EXPECT_EQ(plat::testing::PrinterOpenCount(), 0u);
    return;
  }
  const auto key16 = static_cast<int32_t>(row.key & 0xFFFFu);
  if (key16 == 0x0001) {
    EXPECT_EQ(r.status, MPX_KEY_NOT_FOUND);
    EXPECT_EQ(r.size, kUntouched);
  } else {
    ASSERT_EQ(r.status, MPX_OK);
    EXPECT_EQ(r.size, 4u);
    EXPECT_EQ(r.value, key16);
  }
  EXPECT_EQ(plat::testing::PrinterOpenCount(), 1u) << "opened by name";
}

INSTANTIATE_TEST_SUITE_P(
    Edges, KeyRange,
    ::testing::Values(RangeRow{Category::Root, 0x0000, false}, RangeRow{Category::Root, 0x0001, true},
                      RangeRow{Category::Root, 0x0FFF, true}, RangeRow{Category::Root, 0x1001, false},
                      RangeRow{Category::Root, 0x2001, false}, RangeRow{Category::Root, 0x5008, false},
                      RangeRow{Category::Root, 0x00010FFF, true},
                      RangeRow{Category::Drv, 0x1000, false}, RangeRow{Category::Drv, 0x1001, true},
                      RangeRow{Category::Drv, 0x00011001, true}, RangeRow{Category::Drv, 0x1FFF, true},
                      RangeRow{Category::Drv, 0x2001, false}, RangeRow{Category::Drv, 0x5008, false},
                      RangeRow{Category::Drv, 0x0FFF, false},
                      RangeRow{Category::LM, 0x2000, false}, RangeRow{Category::LM, 0x2001, true},
                      RangeRow{Category::LM, 0x2FFF, true}, RangeRow{Category::LM, 0x3001, false},
                      RangeRow{Category::LM, 0x5008, false},
                      RangeRow{Category::Mnt, 0x3001, true}, RangeRow{Category::Mnt, 0x0FFF, false},
                      RangeRow{Category::Mnt, 0x5008, false},
                      RangeRow{Category::PA, 0x4001, true}, RangeRow{Category::PA, 0x4000, false},
                      RangeRow{Category::PA, 0x5008, false},
                      RangeRow{Category::SM, 0x6000, false}, RangeRow{Category::SM, 0x6001, true},
                      RangeRow{Category::SM, 0x6FFF, true}, RangeRow{Category::SM, 0x7001, false},
                      RangeRow{Category::SM, 0x5008, false}, RangeRow{Category::SM, 0xFFFF6001, true}));

TEST_F(EntryFrame, CallersHandleIsUsedAndNeverClosed) {
  ASSERT_TRUE(plat::PrinterOpen(kPrinter.c_str(), &ctx.printer));
  openedByTest = 1;
  ctx.printerName = u"Some other printer";
  const Result r = Query(Category::Root, kPrinterKey, ctx);
  ASSERT_EQ(r.status, MPX_OK);
  EXPECT_EQ(r.value, 1);
  EXPECT_EQ(plat::testing::PrinterOpenCount(), 1u) << "only the test's own open";
  EXPECT_EQ(plat::testing::OpenPrinterHandles(), 1u);
  // The handle still works after the call.
  EXPECT_EQ(Query(Category::Root, kPrinterKey, ctx).value, 1);
  plat::PrinterClose(ctx.printer);
  openedByTest = 0;
}

TEST_F(EntryFrame, NameOnlyOpensThePrinterAndClosesIt) {
  ctx.printerName = kPrinter.c_str();
  const Result r = Query(Category::Root, kPrinterKey, ctx);
  ASSERT_EQ(r.status, MPX_OK);
  EXPECT_EQ(r.value, 1);
  EXPECT_EQ(plat::testing::PrinterOpenCount(), 1u);
  EXPECT_EQ(plat::testing::OpenPrinterHandles(), 0u);
  plat::testing::SetPrinterDword(kPrinter, u"VrdUI_SilentModeEnable", 2);
  EXPECT_EQ(Query(Category::Root, kPrinterKey, ctx).value, 0);  // the default case
}

TEST_F(EntryFrame, WithoutAPrinterOnlyPrinterKeysFail) {
  struct Setup {
    const char16_t* name;
    bool failOpen;
  };
  for (Setup s : {Setup{nullptr, false}, Setup{u"No such printer", false},
                  Setup{kPrinter.c_str(), true}}) {
    plat::testing::FailPrinterOpen(s.failOpen);
    ctx.printerName = s.name;
    EXPECT_EQ(Query(Category::Root, kPrinterKey, ctx).status, MPX_ERR_CONTEXT);
    const Result other = Query(Category::Root, 0x0FFF, ctx);
    EXPECT_EQ(other.status, MPX_OK);
    EXPECT_EQ(other.value, 0x0FFF);
    EXPECT_EQ(plat::testing::OpenPrinterHandles(), 0u);
  }
  plat::testing::FailPrinterOpen(false);
}

TEST_F(EntryFrame, StatusesOfTheTreeAndTheFetchPassThrough) {
  EXPECT_EQ(Query(Category::Root, kSettingKey, ctx).status, MPX_ERR_SETTINGS);
  EXPECT_EQ(Query(Category::Root, kStringKey, ctx).status, MPX_ERR_STRINGS);
  ctx.settings = {0};
  ctx.strings = {"y"};
  EXPECT_EQ(Query(Category::Root, kSettingKey, ctx).value, 7);
  const Result noMatch = Query(Category::Root, kStringKey, ctx);
  EXPECT_EQ(noMatch.status, MPX_NO_ANSWER);
  EXPECT_EQ(noMatch.size, kUntouched);
}

TEST_F(EntryFrame, SizeProtocolThroughTheFrame) {
  const QueryContext context = ctx.Get();
  uint32_t size = kUntouched;
  EXPECT_EQ(mdb::RunQuery(env, Category::Root, 0x0002, &context, 0, nullptr, &size),
            MPX_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 10u);
  uint8_t buffer[10];
  std::memset(buffer, 0x55, sizeof buffer);
  size = kUntouched;
  EXPECT_EQ(mdb::RunQuery(env, Category::Root, 0x0002, &context, 9, buffer, &size),
            MPX_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(buffer[0], 0x55);
  EXPECT_EQ(mdb::RunQuery(env, Category::Root, 0x0002, &context, 10, buffer, &size), MPX_OK);
  const uint8_t expected[] = {'1', 0, '.', 0, '5', 0, '2', 0, 0, 0};
  EXPECT_EQ(std::memcmp(buffer, expected, sizeof expected), 0);
}

TEST_F(EntryFrame, MissingSizeOutputIsAnErrorAfterTheRangeTest) {
  ctx.printerName = kPrinter.c_str();
  const QueryContext context = ctx.Get();
  uint8_t buffer[16];
  EXPECT_EQ(mdb::RunQuery(env, Category::Root, 0x0002, &context, 16, buffer, nullptr),
            MPX_ERR_DATABASE);
  EXPECT_EQ(mdb::RunQuery(env, Category::Root, 0x1001, &context, 16, buffer, nullptr),
            MPX_NO_ANSWER);
  EXPECT_EQ(plat::testing::PrinterOpenCount(), 0u);
}

TEST_F(EntryFrame, CallersContextIsNeverWritten) {
  ctx.printerName = kPrinter.c_str();
  ctx.settings = {1, 2};
  ctx.strings = {"x"};
  const QueryContext context = ctx.Get();
  QueryContext copy;
  std::memcpy(&copy, &context, sizeof copy);
  uint32_t size = 0;
  uint8_t buffer[16];
  EXPECT_EQ(mdb::RunQuery(env, Category::Root, kPrinterKey, &context, 16, buffer, &size), MPX_OK);
  EXPECT_EQ(std::memcmp(&copy, &context, sizeof copy), 0);
  EXPECT_EQ(ctx.settings, (std::vector<int32_t>{1, 2}));
}

TEST_F(EntryFrame, ConcurrentCallersGetTheSameAnswers) {
  struct Ask {
    Category category;
    uint16_t key;
  };
  const Ask asks[] = {{Category::Root, 0x0002}, {Category::Root, kPrinterKey},
                      {Category::Drv, 0x1001},  {Category::SM, 0x6FFF},
                      {Category::Root, kSettingKey}, {Category::Root, 0x0001}};
  ctx.printerName = kPrinter.c_str();
  ctx.settings = {3};
  std::vector<Result> expected;
  for (const Ask& a : asks) expected.push_back(Query(a.category, a.key, ctx));

  constexpr int kThreads = 4;
  constexpr int kRounds = 500;
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        for (size_t i = 0; i < std::size(asks); ++i) {
          const Result r = Query(asks[i].category, asks[i].key, ctx);
          if (r.status != expected[i].status || r.size != expected[i].size ||
              r.value != expected[i].value) {
            ++mismatches[static_cast<size_t>(t)];
          }
        }
      }
    });
  }
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[static_cast<size_t>(t)], 0) << t;
}

}  // namespace
