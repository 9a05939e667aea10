// Level validation and curve replacement, in the simple and the structured layout, and the
// whole pass over a table file.
#include <functional>

#include "curves.h"
#include "table_file.h"
#include "test_support.h"

namespace caltest {
namespace {

using cal::sample::DataOrder;
using cal::sample::KIND_DB;
using cal::sample::KIND_HT;
using cal::sample::StructuredBody;
using cal::sample::StructuredSpec;
using cal::sample::TableLayout;
using cal::sample::TableSpec;
using plat::testing::FileOp;
using plat::testing::FileOpCount;
using plat::testing::LiveBlocks;

const cal::PresetCurve& Preset(int32_t tableId, int16_t level, int16_t ink) {
  const cal::PresetGroup* group = cal::FindPresetGroup(tableId);
  EXPECT_NE(group, nullptr);
  const cal::PresetCurve* curve = cal::FindPresetCurve(*group, level, ink);
  EXPECT_NE(curve, nullptr);
  return *curve;
}

CalibrationRequest RequestFor(int16_t inkConfiguration) { return {1, inkConfiguration, 0, 0, 0}; }

// ---- Levels -------------------------------------------------------------------------------

struct LevelCase {
  int16_t level;
  int16_t withSpecial;     // CheckLevel while the special level is on
  int16_t withoutSpecial;  // and while it is off
};

class CheckLevelTest : public ::testing::TestWithParam<LevelCase> {};

TEST_P(CheckLevelTest, AcceptsNeutralSpecialAndAdjustLevelsOnly) {
  const LevelCase& c = GetParam();
  EXPECT_EQ(cal::CheckLevel(c.level), c.withSpecial);
  EXPECT_EQ(cal::CheckLevel(c.level, nullptr), c.withoutSpecial);
}

INSTANTIATE_TEST_SUITE_P(
    Levels, CheckLevelTest,
    ::testing::Values(LevelCase{0, CAL_OK, CAL_OK}, LevelCase{-5, CAL_OK, CAL_OK},
                      LevelCase{-3, CAL_OK, CAL_OK}, LevelCase{3, CAL_OK, CAL_OK},
                      LevelCase{5, CAL_OK, CAL_OK},
                      LevelCase{8, CAL_OK, CALERR_UNSUPPORTED},
                      LevelCase{1, CALERR_UNSUPPORTED, CALERR_UNSUPPORTED},
                      LevelCase{2, CALERR_UNSUPPORTED, CALERR_UNSUPPORTED},
                      LevelCase{-4, CALERR_UNSUPPORTED, CALERR_UNSUPPORTED},
                      LevelCase{-8, CALERR_UNSUPPORTED, CALERR_UNSUPPORTED},
                      LevelCase{32767, CALERR_UNSUPPORTED, CALERR_UNSUPPORTED}));

struct ExtractCase {
  int16_t inkConfiguration;
  std::vector<int16_t> levels;
  std::vector<int16_t> positions;
};

class ExtractLevelsTest : public ::testing::TestWithParam<ExtractCase> {};

TEST_P(ExtractLevelsTest, PicksTheEntriesTheConfigurationUses) {
  const ExtractCase& c = GetParam();
  const int16_t levelArray[8] = {10, 11, 12, 13, 14, 15, 16, 17};
  cal::ExtractedLevels extracted;
  std::fill(std::begin(extracted.levels), std::end(extracted.levels), int16_t{-99});
  cal::ExtractLevels(RequestFor(c.inkConfiguration), levelArray, extracted);
  ASSERT_EQ(extracted.count, static_cast<int16_t>(c.levels.size()));
  EXPECT_EQ(std::vector<int16_t>(extracted.levels, extracted.levels + extracted.count), c.levels);
  EXPECT_EQ(std::vector<int16_t>(extracted.inkPositions, extracted.inkPositions + extracted.count),
            c.positions);
  for (int16_t i = extracted.count; i < cal::MAX_EXTRACTED_LEVELS; ++i) EXPECT_EQ(extracted.levels[i], -99);
}

INSTANTIATE_TEST_SUITE_P(
    Configurations, ExtractLevelsTest,
    ::testing::Values(ExtractCase{1, {10, 11, 12, 13}, {0, 1, 2, 3}},
                      ExtractCase{4, {10, 11, 12, 13}, {0, 1, 2, 3}},
                      ExtractCase{2, {13}, {3}},
                      ExtractCase{3, {10, 11, 12, 13, 14, 15}, {0, 1, 2, 3, 4, 5}},
                      ExtractCase{5, {10, 11, 12, 13, 14, 15}, {0, 1, 2, 3, 4, 5}},
                      ExtractCase{6, {10, 11, 12, 13, 14, 15}, {0, 1, 2, 3, 4, 5}},
                      ExtractCase{0, {}, {}}, ExtractCase{7, {}, {}}, ExtractCase{-3, {}, {}}));

struct AllLevelsCase {
  const char* name;
  int16_t inkConfiguration;
  std::vector<int16_t> levels;  // eight entries
  int16_t checkAll;
  int16_t special;
  int16_t specialWhenOff;
};

class AllLevelsTest : public ::testing::TestWithParam<AllLevelsCase> {};

TEST_P(AllLevelsTest, LooksOnlyAtTheUsedEntries) {
  const AllLevelsCase& c = GetParam();
  const CalibrationRequest request = RequestFor(c.inkConfiguration);
  EXPECT_EQ(cal::CheckAllLevels(request, c.levels.data()), c.checkAll);
  EXPECT_EQ(cal::HasSpecialLevel(request, c.levels.data()), c.special);
  EXPECT_EQ(cal::HasSpecialLevel(request, c.levels.data(), nullptr), c.specialWhenOff);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AllLevelsTest,
    ::testing::Values(
        AllLevelsCase{"AllNeutral", 3, {0, 0, 0, 0, 0, 0, 0, 0}, CAL_OK, 0, 0},
        AllLevelsCase{"Adjusted", 3, {3, 0, -5, 0, 0, 5, 0, 0}, CAL_OK, 0, 0},
        AllLevelsCase{"OneInFirst", 3, {1, 0, 0, 0, 0, 0, 0, 0}, CALERR_UNSUPPORTED, 0, 0},
        AllLevelsCase{"TwoInLastUsed", 3, {0, 0, 0, 0, 0, 2, 0, 0}, CALERR_UNSUPPORTED, 0, 0},
        AllLevelsCase{"MinusFourInMiddle", 3, {0, 0, -4, 0, 0, 0, 0, 0}, CALERR_UNSUPPORTED, 0, 0},
        AllLevelsCase{"OneInUnusedSeventh", 3, {0, 0, 0, 0, 0, 0, 1, 0}, CAL_OK, 0, 0},
        AllLevelsCase{"Special", 3, {0, 8, 0, 0, 0, 0, 0, 0}, CAL_OK, cal::LEVELS_SPECIAL, 0},
        AllLevelsCase{"SpecialAndBad", 3, {8, 1, 0, 0, 0, 0, 0, 0}, CALERR_UNSUPPORTED, cal::LEVELS_SPECIAL, 0},
        AllLevelsCase{"SpecialInUnusedSeventh", 3, {0, 0, 0, 0, 0, 0, 8, 0}, CAL_OK, 0, 0},
        AllLevelsCase{"ConfigTwoReadsEntryThreeOnly", 2, {1, 1, 1, 8, 1, 1, 1, 1}, CAL_OK, cal::LEVELS_SPECIAL, 0},
        AllLevelsCase{"UnknownConfigUsesNothing", 9, {1, 1, 1, 8, 1, 1, 1, 1}, CAL_OK, 0, 0}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(CheckAllLevels, SpecialLevelSwitchedOffIsRefused) {
  const int16_t levels[6] = {0, 8, 0, 0, 0, 0};
  EXPECT_EQ(cal::CheckAllLevels(RequestFor(3), levels, nullptr), CALERR_UNSUPPORTED);
}

TEST(SimpleCurveCount, FollowsTheTableIdRange) {
  const std::vector<std::pair<int32_t, int16_t>> cases = {
      {1199, 0}, {1200, 4}, {1299, 4}, {1300, 6}, {1302, 6}, {1399, 6},
      {1400, 7}, {1499, 7}, {1500, 0}, {-1302, 0}, {0x10000 + 1302, 0}};
  for (const auto& [id, n] : cases) EXPECT_EQ(cal::SimpleCurveCount(id), n) << id;
}

// ---- Replacement on a body in memory ------------------------------------------------------

// A body with guard bytes around it, to see that nothing outside it is touched.
struct GuardedBody {
  static constexpr size_t kGuard = 64;
  Bytes all;
  explicit GuardedBody(const Bytes& body) : all(body.size() + 2 * kGuard, 0xEE) {
    std::copy(body.begin(), body.end(), all.begin() + kGuard);
  }
  std::span<uint8_t> Body() { return {all.data() + kGuard, all.size() - 2 * kGuard}; }
  Bytes Contents() const { return Bytes(all.begin() + kGuard, all.end() - kGuard); }
  bool GuardsIntact() const {
    for (size_t i = 0; i < kGuard; ++i) {
      if (all[i] != 0xEE || all[all.size() - 1 - i] != 0xEE) return false;
    }
    return true;
  }
};

class ReplaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::testing::Reset();
    context_.request = &request_;
    context_.levels = levels_;
    context_.byteOrderCode = cal::BYTE_ORDER_HOST;
  }
  const cal::PresetGroup& Group1304() { return *cal::FindPresetGroup(1304); }
  cal::ExtractedLevels Extracted() {
    cal::ExtractedLevels extracted;
    cal::ExtractLevels(request_, levels_, extracted);
    return extracted;
  }

  CalibrationRequest request_ = RequestFor(3);
  int16_t levels_[8] = {3, -3, 5, -5, 3, 5, 0, 0};  // every ink changes
  cal::WorkContext context_{};
};

TEST_F(ReplaceTest, NeutralLevelKeepsTheCurveBytesExactly) {
  Bytes curve(512);
  for (size_t i = 0; i < curve.size(); ++i) curve[i] = static_cast<uint8_t>(i * 5 + 1);
  const Bytes before = curve;
  context_.byteOrderCode = cal::BYTE_ORDER_SWAPPED;  // not even converted
  cal::ApplyPresetCurve(context_, Group1304(), std::span<uint8_t, 512>(curve.data(), 512), 0, 2);
  EXPECT_EQ(curve, before);
  cal::ApplyPresetCurve(context_, Group1304(), std::span<uint8_t, 512>(curve.data(), 512), 3, 2);
  EXPECT_EQ(curve, CurveBytes(Preset(1304, 3, 2), DataOrder::Big));
}

TEST_F(ReplaceTest, SimpleBodyShorterThanItsCurvesIsRefusedUntouched) {
  for (const size_t size : {size_t{0}, size_t{4}, size_t{511}, size_t{5 * 512}, size_t{6 * 512 - 1}}) {
    Bytes body(size);
    for (size_t i = 0; i < size; ++i) body[i] = static_cast<uint8_t>(i);
    GuardedBody guarded(body);
    EXPECT_EQ(cal::ReplaceCurvesSimple(context_, Group1304(), 1304, guarded.Body(), Extracted()),
              cal::CURVES_FAILED) << size;
    EXPECT_EQ(guarded.Contents(), body) << size;
    EXPECT_TRUE(guarded.GuardsIntact()) << size;
  }
}

TEST_F(ReplaceTest, SimpleBodyOutsideTheCurveRangesIsRefused) {
  Bytes body = cal::sample::SimpleCurveBody(1304, 1, DataOrder::Little);
  const Bytes before = body;
  EXPECT_EQ(cal::ReplaceCurvesSimple(context_, Group1304(), 1500, body, Extracted()), cal::CURVES_FAILED);
  EXPECT_EQ(body, before);
}

TEST_F(ReplaceTest, SimpleBodyReplacesEachInkAndKeepsTheTail) {
  Bytes body = cal::sample::SimpleCurveBody(1304, 1, DataOrder::Little, 100);
  Bytes expected = body;
  for (int16_t k = 0; k < 6; ++k) {
    Overwrite(expected, 512 * static_cast<size_t>(k), CurveBytes(Preset(1304, levels_[k], k), DataOrder::Little));
  }
  GuardedBody guarded(body);
  ASSERT_EQ(cal::ReplaceCurvesSimple(context_, Group1304(), 1304, guarded.Body(), Extracted()), CAL_OK);
  EXPECT_EQ(guarded.Contents(), expected);
  EXPECT_TRUE(guarded.GuardsIntact());
}

TEST_F(ReplaceTest, FirstWordChoosesTheLayout) {
  // The same table id, once with a structured body and once with a simple one.
  const StructuredBody structured =
      cal::sample::StructuredCurveBody(cal::sample::StandardStructured({4}), DataOrder::Little);
  Bytes body = structured.bytes;
  ASSERT_EQ(cal::ReplaceCurvesInChunk(context_, 1304, body), CAL_OK);
  Bytes expected = structured.bytes;
  Overwrite(expected, structured.curveOffsets[0], CurveBytes(Preset(1304, levels_[4], 4), DataOrder::Little));
  EXPECT_EQ(body, expected);

  Bytes simple = cal::sample::SimpleCurveBody(1304, 3, DataOrder::Little);
  ASSERT_NE(cal::sample::GetLe32(simple, 0), cal::STRUCTURED_FORMAT_WORD);
  ASSERT_EQ(cal::ReplaceCurvesInChunk(context_, 1304, simple), CAL_OK);
  EXPECT_EQ(Bytes(simple.begin(), simple.begin() + 512), CurveBytes(Preset(1304, levels_[0], 0), DataOrder::Little));
}

TEST_F(ReplaceTest, TableWithoutAGroupIsLeftAsItIs) {
  Bytes body = cal::sample::SimpleCurveBody(1305, 3, DataOrder::Little);
  const Bytes before = body;
  EXPECT_EQ(cal::ReplaceCurvesInChunk(context_, 1305, body), CAL_OK);
  EXPECT_EQ(body, before);
  Bytes empty;
  EXPECT_EQ(cal::ReplaceCurvesInChunk(context_, 1305, empty), CAL_OK);
}

// ---- Structured layout rules --------------------------------------------------------------

struct StructuredCase {
  const char* name;
  std::function<StructuredSpec()> build;
  std::function<void(Bytes&, const StructuredBody&)> damage;  // may be empty
  int16_t expected;
  std::vector<size_t> replacedBlocks;  // on success
};

StructuredSpec Standard(std::vector<int32_t> inks) { return cal::sample::StandardStructured(inks, 5); }

StructuredSpec WithEntries(std::vector<cal::sample::StructEntrySpec> entries, size_t blocks) {
  StructuredSpec spec;
  spec.entries = std::move(entries);
  for (size_t b = 0; b < blocks; ++b) spec.blocks.push_back({static_cast<int32_t>(b % 6), static_cast<uint32_t>(b)});
  return spec;
}

StructuredSpec WithBlock(std::function<void(cal::sample::CurveBlockSpec&)> change) {
  StructuredSpec spec = Standard({0, 1, 2});
  change(spec.blocks[1]);
  return spec;
}

constexpr uint8_t kValue = cal::ENTRY_VALUE;
constexpr uint8_t kIgnored = cal::ENTRY_IGNORED;
constexpr uint8_t kOffset = cal::ENTRY_OFFSET;

cal::sample::StructEntrySpec Off(uint32_t block) { return {kOffset, block, true}; }

std::vector<cal::sample::StructEntrySpec> ValueThenOffsets(uint32_t value, uint32_t offsets) {
  std::vector<cal::sample::StructEntrySpec> entries = {{kValue, value}};
  for (uint32_t b = 0; b < offsets; ++b) entries.push_back(Off(b));
  return entries;
}

void PutWord(Bytes& bytes, size_t offset, uint32_t value) { cal::sample::PutLe32(bytes, offset, value); }

class StructuredRulesTest : public ReplaceTest, public ::testing::WithParamInterface<StructuredCase> {};

TEST_P(StructuredRulesTest, AcceptsOnlyWellFormedBodiesAndTouchesNothingOutside) {
  const StructuredCase& c = GetParam();
  const StructuredSpec spec = c.build();
  const StructuredBody built = cal::sample::StructuredCurveBody(spec, DataOrder::Little);
  Bytes body = built.bytes;
  if (c.damage) c.damage(body, built);

  Bytes expected = body;
  if (c.expected == CAL_OK) {
    for (const size_t b : c.replacedBlocks) {
      const auto ink = static_cast<int16_t>(spec.blocks[b].inkPosition);
      Overwrite(expected, built.curveOffsets[b], CurveBytes(Preset(1304, levels_[ink], ink), DataOrder::Little));
    }
  }
  GuardedBody guarded(body);
  EXPECT_EQ(cal::ReplaceCurvesStructured(context_, Group1304(), guarded.Body(), Extracted()), c.expected);
  EXPECT_EQ(guarded.Contents(), expected);
  EXPECT_TRUE(guarded.GuardsIntact());
}

INSTANTIATE_TEST_SUITE_P(
    Rules, StructuredRulesTest,
    ::testing::Values(
        StructuredCase{"Standard", [] { return Standard({0, 1, 2, 3, 4, 5}); }, {}, CAL_OK, {0, 1, 2, 3, 4, 5}},
        StructuredCase{"InksInAnyOrder", [] { return Standard({5, 0, 3}); }, {}, CAL_OK, {0, 1, 2}},
        StructuredCase{"ValueEight", [] { return WithEntries(ValueThenOffsets(8, 0), 0); }, {}, cal::CURVES_FAILED, {}},
        StructuredCase{"ValueSevenAndSevenOffsets", [] { return WithEntries(ValueThenOffsets(7, 7), 7); }, {}, CAL_OK,
                       {0, 1, 2, 3, 4, 5, 6}},
        StructuredCase{"EighthOffset", [] { return WithEntries(ValueThenOffsets(7, 8), 8); }, {}, cal::CURVES_FAILED, {}},
        StructuredCase{"OffsetBeyondTheCount", [] { return WithEntries(ValueThenOffsets(2, 3), 3); }, {},
                       cal::CURVES_FAILED, {}},
        StructuredCase{"FewerOffsetsThanTheCount", [] { return WithEntries(ValueThenOffsets(3, 2), 3); }, {}, CAL_OK,
                       {0, 1}},
        StructuredCase{"OffsetBeforeValue", [] { return WithEntries({Off(0), {kValue, 1}}, 1); }, {},
                       cal::CURVES_FAILED, {}},
        StructuredCase{"IgnoredBeforeBetweenAfter",
                       [] {
                         return WithEntries({{kIgnored, 0}, {kValue, 2}, {kIgnored, 0}, Off(0), {kIgnored, 9}, Off(1),
                                             {kIgnored, 0}},
                                            2);
                       },
                       {}, CAL_OK, {0, 1}},
        StructuredCase{"OnlyIgnored", [] { return WithEntries({{kIgnored, 0}, {kIgnored, 1}}, 1); }, {}, CAL_OK, {}},
        StructuredCase{"NoEntries", [] { return WithEntries({}, 1); }, {}, CAL_OK, {}},
        StructuredCase{"ValueZero", [] { return WithEntries({{kValue, 0}}, 1); }, {}, CAL_OK, {}},
        StructuredCase{"SecondValue", [] { return WithEntries({{kValue, 1}, Off(0), {kValue, 1}}, 1); }, {},
                       cal::CURVES_FAILED, {}},
        StructuredCase{"NegativeValue", [] { return WithEntries({{kValue, 0xFFFFFFFF}}, 0); }, {}, cal::CURVES_FAILED,
                       {}},
        StructuredCase{"UnknownTag", [] { return WithEntries({{kValue, 1}, {0x11, 0}, Off(0)}, 1); }, {},
                       cal::CURVES_FAILED, {}},
        StructuredCase{"BlockTagWrong", [] { return WithBlock([](auto& b) { b.tag = 0xF7; }); }, {},
                       cal::CURVES_FAILED, {}},
        StructuredCase{"DescriptorCount257", [] { return WithBlock([](auto& b) { b.descriptor = 0x44000101; }); }, {},
                       cal::CURVES_FAILED, {}},
        StructuredCase{"DescriptorBit30Clear", [] { return WithBlock([](auto& b) { b.descriptor = 0x04000100; }); },
                       {}, cal::CURVES_FAILED, {}},
        StructuredCase{"DescriptorBit31Set", [] { return WithBlock([](auto& b) { b.descriptor = 0xC4000100; }); }, {},
                       cal::CURVES_FAILED, {}},
        StructuredCase{"DescriptorKindTwo", [] { return WithBlock([](auto& b) { b.descriptor = 0x48000100; }); }, {},
                       cal::CURVES_FAILED, {}},
        StructuredCase{"InkPositionSix", [] { return WithBlock([](auto& b) { b.inkPosition = 6; }); }, {},
                       cal::CURVES_FAILED, {}},
        StructuredCase{"InkPositionNegative", [] { return WithBlock([](auto& b) { b.inkPosition = -1; }); }, {},
                       cal::CURVES_FAILED, {}},
        StructuredCase{"CurvePastTheBody", [] { return WithBlock([](auto& b) { b.curveOffset = 100000; }); }, {},
                       cal::CURVES_FAILED, {}},
        StructuredCase{"CurveOffsetHuge", [] { return WithBlock([](auto& b) { b.curveOffset = 0xFFFFFFF0; }); }, {},
                       cal::CURVES_FAILED, {}},
        StructuredCase{"CurveRunsOverTheEnd", [] { return Standard({0, 1, 2}); },
                       [](Bytes& body, const StructuredBody& built) {
                         // The last block's curve starts 2 bytes later: its last entry would end past the body.
                         PutWord(body, built.blockOffsets[2] + 60, 66);
                       },
                       cal::CURVES_FAILED, {}},
        StructuredCase{"BlockPastTheBody", [] { return Standard({0, 1}); },
                       [](Bytes& body, const StructuredBody&) {
                         PutWord(body, 16 + 8 * 4 + 4, static_cast<uint32_t>(body.size()) - 40);
                       },
                       cal::CURVES_FAILED, {}},
        StructuredCase{"BlockOffsetHuge", [] { return Standard({0, 1}); },
                       [](Bytes& body, const StructuredBody&) { PutWord(body, 16 + 8 * 3 + 4, 0xFFFFFFC0u); },
                       cal::CURVES_FAILED, {}},
        StructuredCase{"EntriesPastTheBody", [] { return Standard({0}); },
                       [](Bytes& body, const StructuredBody&) { PutWord(body, 8, 100000); }, cal::CURVES_FAILED, {}},
        StructuredCase{"NegativeEntryCount", [] { return Standard({0}); },
                       [](Bytes& body, const StructuredBody&) { PutWord(body, 8, 0xFFFFFFFFu); }, CAL_OK, {}},
        StructuredCase{"LaterBlockBadEarlierUnchanged", [] { return Standard({0, 1, 2}); },
                       [](Bytes& body, const StructuredBody& built) {
                         PutWord(body, built.blockOffsets[2] + 56, 0x44000101u);
                       },
                       cal::CURVES_FAILED, {}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(ReplaceTest, StructuredBodyShorterThanItsHeaderIsRefused) {
  Bytes body(12, 0);
  cal::sample::PutLe32(body, 0, cal::STRUCTURED_FORMAT_WORD);
  GuardedBody guarded(body);
  EXPECT_EQ(cal::ReplaceCurvesInChunk(context_, 1304, guarded.Body()), cal::CURVES_FAILED);
  EXPECT_EQ(guarded.Contents(), body);
  EXPECT_TRUE(guarded.GuardsIntact());
}

// ---- The pass over a table file -----------------------------------------------------------

// The sample table with the places of its curves, to compute what a pass must leave.
struct SampleFile {
  Bytes bytes;
  TableLayout layout;
  StructuredBody structured;  // the body of 1304
};

SampleFile BuildSample(DataOrder order) {
  SampleFile sample;
  sample.bytes = cal::sample::BuildTableFile(cal::sample::SampleTable(order), &sample.layout);
  sample.structured =
      cal::sample::StructuredCurveBody(cal::sample::StandardStructured({0, 1, 2, 3, 4, 5}, 12), order);
  return sample;
}

// The sample file as a pass with these six levels must leave it.
Bytes Calibrated(const SampleFile& sample, const int16_t* levels, DataOrder order) {
  Bytes expected = sample.bytes;
  for (const int32_t id : {1302, 1303, 1304, 1308, 1309}) {
    const cal::sample::PlacedChunk* chunk = sample.layout.Find(KIND_HT, static_cast<uint16_t>(id));
    for (int16_t ink = 0; ink < 6; ++ink) {
      if (levels[ink] == 0) continue;
      const size_t curve = id == 1304 ? sample.structured.curveOffsets[static_cast<size_t>(ink)] : 512u * static_cast<size_t>(ink);
      Overwrite(expected, chunk->chunkOffset + 4 + curve, CurveBytes(Preset(id, levels[ink], ink), order));
    }
  }
  return expected;
}

using PassTest = TableTest;

TEST_F(PassTest, NeutralLevelsRewriteEveryListedChunkWithIdenticalBytes) {
  const SampleFile sample = BuildSample(DataOrder::Little);
  SetLevels({0, 0, 0, 0, 0, 0});
  OpenTable(sample.bytes);
  const uint32_t writesBefore = FileOpCount(FileOp::Write);
  ASSERT_EQ(cal::ApplyCalibrationToTable(context_), CAL_OK);
  EXPECT_EQ(FileOpCount(FileOp::Write) - writesBefore, 6u) << "one write-back per listed chunk";
  CloseTable();
  EXPECT_EQ(Get(kTable), sample.bytes);
  EXPECT_EQ(LiveBlocks(), 0u);
}

TEST_F(PassTest, LevelsOnTable1302ReplaceCurvesZeroTwoAndFive) {
  const SampleFile sample = BuildSample(DataOrder::Little);
  SetLevels({3, 0, -5, 0, 0, 5});
  OpenTable(sample.bytes);
  ASSERT_EQ(cal::ApplyCalibrationToTable(context_), CAL_OK);
  CloseTable();
  const Bytes after = Get(kTable);
  EXPECT_EQ(LiveBlocks(), 0u);

  // Table 1302 itself, spelled out.
  const cal::sample::PlacedChunk* chunk = sample.layout.Find(KIND_HT, 1302);
  const size_t body = chunk->chunkOffset + 4;
  const auto curveAt = [&](const Bytes& file, size_t k) {
    return Bytes(file.begin() + static_cast<std::ptrdiff_t>(body + 512 * k),
                 file.begin() + static_cast<std::ptrdiff_t>(body + 512 * (k + 1)));
  };
  EXPECT_EQ(curveAt(after, 0), CurveBytes(Preset(1302, 3, 0), DataOrder::Little));
  EXPECT_EQ(curveAt(after, 2), CurveBytes(Preset(1302, -5, 2), DataOrder::Little));
  EXPECT_EQ(curveAt(after, 5), CurveBytes(Preset(1302, 5, 5), DataOrder::Little));
  for (const size_t k : {size_t{1}, size_t{3}, size_t{4}}) EXPECT_EQ(curveAt(after, k), curveAt(sample.bytes, k)) << k;
  EXPECT_EQ(cal::sample::GetU16(after, body + 2 * 255, DataOrder::Little), 3869);

  // And the whole file: every other table as its group says, 1305 and everything else
  // unchanged.
  EXPECT_EQ(after, Calibrated(sample, levels_, DataOrder::Little));
}

TEST_F(PassTest, SwappedByteOrderWritesReplacedCurvesSwappedAndKeepsTheRest) {
  const SampleFile sample = BuildSample(DataOrder::Big);
  SetLevels({-3, 0, 5, 0, 3, 0});
  OpenTable(sample.bytes);
  context_.byteOrderCode = cal::BYTE_ORDER_SWAPPED;
  ASSERT_EQ(cal::ApplyCalibrationToTable(context_), CAL_OK);
  CloseTable();
  EXPECT_EQ(Get(kTable), Calibrated(sample, levels_, DataOrder::Big));
  EXPECT_EQ(LiveBlocks(), 0u);
}

TEST_F(PassTest, SharedDirectoryGivesTheSameResult) {
  SampleFile sample;
  sample.bytes = cal::sample::BuildTableFile(cal::sample::SampleTable(DataOrder::Little, true), &sample.layout);
  sample.structured =
      cal::sample::StructuredCurveBody(cal::sample::StandardStructured({0, 1, 2, 3, 4, 5}, 12), DataOrder::Little);
  ASSERT_EQ(sample.layout.dbDirectoryOffset, sample.layout.htDirectoryOffset);
  SetLevels({5, 5, 5, -5, -5, -5});
  OpenTable(sample.bytes);
  ASSERT_EQ(cal::ApplyCalibrationToTable(context_), CAL_OK);
  CloseTable();
  EXPECT_EQ(Get(kTable), Calibrated(sample, levels_, DataOrder::Little));
}

// A refused chunk is not written back; chunks listed before it stay written.
TEST_F(PassTest, RefusedChunkIsNotWrittenBack) {
  TableSpec spec = cal::sample::SampleTable();
  StructuredSpec bad = cal::sample::StandardStructured({0, 1, 2, 3, 4, 5}, 12);
  bad.blocks[3].descriptor = 0xC4000100;
  for (auto& chunk : spec.chunks) {
    if (chunk.kind == KIND_HT && chunk.id == 1304) chunk.body = cal::sample::StructuredCurveBody(bad, DataOrder::Little).bytes;
  }
  TableLayout layout;
  const Bytes original = cal::sample::BuildTableFile(spec, &layout);
  SetLevels({3, 3, 3, 3, 3, 3});
  OpenTable(original);
  const uint32_t writesBefore = FileOpCount(FileOp::Write);
  EXPECT_EQ(cal::ApplyCalibrationToTable(context_), cal::CURVES_FAILED);
  EXPECT_EQ(FileOpCount(FileOp::Write) - writesBefore, 2u) << "1302 and 1303 only";
  CloseTable();
  EXPECT_EQ(LiveBlocks(), 0u);

  Bytes expected = original;
  for (const int32_t id : {1302, 1303}) {
    const auto* chunk = layout.Find(KIND_HT, static_cast<uint16_t>(id));
    for (int16_t ink = 0; ink < 6; ++ink) {
      Overwrite(expected, chunk->chunkOffset + 4 + 512u * static_cast<size_t>(ink),
                CurveBytes(Preset(id, 3, ink), DataOrder::Little));
    }
  }
  EXPECT_EQ(Get(kTable), expected);
}

struct PassFailureCase {
  const char* name;
  std::function<TableSpec()> build;
};

class PassFailureTest : public TableTest, public ::testing::WithParamInterface<PassFailureCase> {};

TEST_P(PassFailureTest, FailsAndLeavesNothingAllocated) {
  const Bytes original = cal::sample::BuildTableFile(GetParam().build());
  SetLevels({3, 3, 3, 3, 3, 3});
  OpenTable(original);
  EXPECT_EQ(cal::ApplyCalibrationToTable(context_), cal::CURVES_FAILED);
  CloseTable();
  EXPECT_EQ(LiveBlocks(), 0u);
  EXPECT_EQ(Get(kTable), original) << "the failing chunk is the first listed";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PassFailureTest,
    ::testing::Values(
        PassFailureCase{"ListedTableMissing",
                        [] {
                          TableSpec spec;
                          spec.chunks = {{KIND_DB, 1000, cal::sample::DbChunkBody(0, {1302}, DataOrder::Little)}};
                          return spec;
                        }},
        PassFailureCase{"SimpleBodyTooShort",
                        [] {
                          TableSpec spec;
                          spec.chunks = {{KIND_DB, 1000, cal::sample::DbChunkBody(0, {1302}, DataOrder::Little)},
                                         {KIND_HT, 1302, Bytes(5 * 512, 0x11)}};
                          return spec;
                        }},
        PassFailureCase{"TwoHundredFiftySixTables",
                        [] {
                          std::vector<int32_t> ids;
                          for (int32_t i = 0; i < 256; ++i) ids.push_back(1300 + i);
                          TableSpec spec;
                          spec.chunks = {{KIND_DB, 1000, cal::sample::DbChunkBody(1, ids, DataOrder::Little)}};
                          for (const int32_t id : ids) {
                            spec.chunks.push_back({KIND_HT, static_cast<uint16_t>(id),
                                                   cal::sample::SimpleCurveBody(id, 0, DataOrder::Little)});
                          }
                          return spec;
                        }}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(PassTest, TableIdsUseTheirLowSixteenBitsAsChunkId) {
  // A version-0 record names 0x10000 + 1302: the chunk is 1302, but no group has that id,
  // so the chunk goes back unchanged.
  TableSpec spec;
  spec.chunks = {{KIND_DB, 1000, cal::sample::DbChunkBody(0, {0x10000 + 1302}, DataOrder::Little)},
                 {KIND_HT, 1302, cal::sample::SimpleCurveBody(1302, 0, DataOrder::Little)}};
  const Bytes original = cal::sample::BuildTableFile(spec);
  SetLevels({3, 3, 3, 3, 3, 3});
  OpenTable(original);
  const uint32_t writesBefore = FileOpCount(FileOp::Write);
  ASSERT_EQ(cal::ApplyCalibrationToTable(context_), CAL_OK);
  EXPECT_EQ(FileOpCount(FileOp::Write) - writesBefore, 1u);
  CloseTable();
  EXPECT_EQ(Get(kTable), original);
}

TEST_F(PassTest, ScaledSampleCalibratesItsSixTablesOnly) {
  const TableSpec spec = cal::sample::ScaledSampleTable(2u << 20);
  TableLayout layout;
  const Bytes original = cal::sample::BuildTableFile(spec, &layout);
  EXPECT_GE(original.size(), 2u << 20);
  EXPECT_LT(original.size(), (2u << 20) + (1u << 20));
  SetLevels({0, 0, 0, 0, 0, 0});
  OpenTable(original);
  ASSERT_EQ(cal::CollectTableIds(context_), CAL_OK);
  EXPECT_EQ(context_.tableIds.count, 255);
  ASSERT_EQ(cal::ApplyCalibrationToTable(context_), CAL_OK);
  CloseTable();
  EXPECT_EQ(Get(kTable), original);
  EXPECT_EQ(LiveBlocks(), 0u);
}

}  // namespace
}  // namespace caltest
