// The presets: their structure and sharing, the curves' shape and telling values, and the
// monotone interpolation they are generated with.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "monotone.h"
#include "presets.h"

namespace {

using cal::PresetCurve;

const cal::PresetGroup& Group(int32_t tableId) {
  const cal::PresetGroup* group = cal::FindPresetGroup(tableId);
  EXPECT_NE(group, nullptr) << tableId;
  return *group;
}

const PresetCurve& Curve(int32_t tableId, int16_t level, int16_t ink) {
  const PresetCurve* curve = cal::FindPresetCurve(Group(tableId), level, ink);
  EXPECT_NE(curve, nullptr) << tableId << " " << level << " " << ink;
  return *curve;
}

TEST(Presets, LevelsAndInkConfigurations) {
  EXPECT_EQ(std::vector<int16_t>(cal::SUPPORTED_INK_CONFIGS.begin(), cal::SUPPORTED_INK_CONFIGS.end()),
            std::vector<int16_t>{3});
  EXPECT_EQ(cal::SUPPORTED_INK_CONFIG_COUNT, 1);
  EXPECT_EQ(cal::NEUTRAL_LEVEL, 0);
  EXPECT_EQ(cal::SPECIAL_LEVEL, 8);
  EXPECT_EQ(cal::SPECIAL_LEVEL_REF, &cal::SPECIAL_LEVEL);
  EXPECT_EQ(std::vector<int16_t>(cal::ADJUST_LEVELS.begin(), cal::ADJUST_LEVELS.end()),
            (std::vector<int16_t>{-5, -3, 3, 5}));
}

TEST(Presets, TwentyRowsOfSixCurvesHoldThirtySixDistinctCurves) {
  const std::vector<int32_t> ids = {1302, 1303, 1304, 1308, 1309};
  ASSERT_EQ(cal::PRESET_GROUPS.size(), ids.size());
  std::set<const PresetCurve*> slots;
  std::set<PresetCurve> contents;
  size_t slotCount = 0;
  for (size_t g = 0; g < ids.size(); ++g) {
    const cal::PresetGroup& group = cal::PRESET_GROUPS[g];
    EXPECT_EQ(group.tableId, ids[g]);
    for (size_t r = 0; r < cal::ADJUST_LEVELS.size(); ++r) {
      const cal::PresetRow& row = group.rows[r];
      EXPECT_EQ(row.level, &cal::ADJUST_LEVELS[r]) << "rows follow ADJUST_LEVELS";
      EXPECT_EQ(row.endMarker, -1);
      std::set<const PresetCurve*> inRow;
      for (const PresetCurve* curve : row.curves) {
        ASSERT_NE(curve, nullptr);
        slots.insert(curve);
        contents.insert(*curve);
        inRow.insert(curve);
        ++slotCount;
      }
      EXPECT_EQ(inRow.size(), 6u) << "the six inks of a row have six curves";
    }
  }
  EXPECT_EQ(slotCount, 120u);
  EXPECT_EQ(slots.size(), 36u);
  EXPECT_EQ(contents.size(), 36u) << "36 curves of different values";
  EXPECT_EQ(cal::PRESET_CURVES.size(), 36u);
}

// Which levels of a group share one set of six curves.
TEST(Presets, CurvesAreSharedAcrossLevelsAsDocumented) {
  for (const int32_t id : {1302, 1303, 1304}) {
    for (int16_t ink = 0; ink < 6; ++ink) {
      const PresetCurve* first = &Curve(id, -5, ink);
      for (const int16_t level : cal::ADJUST_LEVELS) EXPECT_EQ(&Curve(id, level, ink), first) << id;
    }
  }
  for (const int32_t id : {1308, 1309}) {
    for (int16_t ink = 0; ink < 6; ++ink) {
      EXPECT_EQ(&Curve(id, -5, ink), &Curve(id, -3, ink));
      EXPECT_EQ(&Curve(id, 3, ink), &Curve(id, 5, ink));
      EXPECT_NE(Curve(id, -3, ink), Curve(id, 3, ink));
    }
  }
  for (const int16_t level : cal::ADJUST_LEVELS) {
    for (const int16_t shared : {int16_t{0}, int16_t{2}, int16_t{3}}) EXPECT_EQ(&Curve(1309, level, shared), &Curve(1308, level, shared));
    for (const int16_t own : {int16_t{1}, int16_t{4}, int16_t{5}}) EXPECT_NE(Curve(1309, level, own), Curve(1308, level, own));
  }
}

struct EndCase {
  int32_t tableId;
  std::vector<int16_t> levels;
  std::array<uint16_t, 6> ends;
};

class PresetEndTest : public ::testing::TestWithParam<EndCase> {};

TEST_P(PresetEndTest, LastEntriesMatchTheTable) {
  const EndCase& c = GetParam();
  for (const int16_t level : c.levels) {
    for (int16_t ink = 0; ink < 6; ++ink) {
      EXPECT_EQ(Curve(c.tableId, level, ink)[255], c.ends[static_cast<size_t>(ink)])
          << c.tableId << " level " << level << " ink " << ink;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Groups, PresetEndTest,
    ::testing::Values(EndCase{1302, {-5, -3, 3, 5}, {3869, 3903, 3896, 3920, 3808, 3920}},
                      EndCase{1303, {-5, -3, 3, 5}, {3920, 3920, 3920, 3920, 3920, 3920}},
                      EndCase{1304, {-5, -3, 3, 5}, {3920, 3760, 3920, 3920, 3920, 3904}},
                      EndCase{1308, {-5, -3}, {3920, 3920, 3920, 3840, 3920, 3840}},
                      EndCase{1308, {3, 5}, {3597, 3597, 3597, 3523, 3597, 3523}},
                      EndCase{1309, {-5, -3}, {3920, 3920, 3920, 3840, 3920, 3840}},
                      EndCase{1309, {3, 5}, {3597, 3597, 3597, 3523, 3597, 3523}}));

struct TellingCase {
  int32_t tableId;
  std::vector<int16_t> levels;
  int16_t ink;
  std::array<uint16_t, 9> values;  // entries 0, 1, 2, 3, 64, 128, 192, 254, 255
};

class TellingValueTest : public ::testing::TestWithParam<TellingCase> {};

TEST_P(TellingValueTest, CurvePassesThroughItsTellingValues) {
  const TellingCase& c = GetParam();
  constexpr std::array<size_t, 9> kAt = {0, 1, 2, 3, 64, 128, 192, 254, 255};
  for (const int16_t level : c.levels) {
    const PresetCurve& curve = Curve(c.tableId, level, c.ink);
    for (size_t i = 0; i < kAt.size(); ++i) EXPECT_EQ(curve[kAt[i]], c.values[i]) << "entry " << kAt[i];
  }
}

INSTANTIATE_TEST_SUITE_P(
    Curves, TellingValueTest,
    ::testing::Values(TellingCase{1302, {-5, -3, 3, 5}, 0, {0, 9, 18, 27, 572, 1144, 1716, 3764, 3869}},
                      TellingCase{1303, {-5, -3, 3, 5}, 0, {0, 5, 11, 16, 424, 1029, 2012, 3875, 3920}},
                      TellingCase{1308, {3, 5}, 3, {0, 7, 14, 21, 441, 1037, 1753, 3476, 3523}}));

// Every curve starts at 0, never decreases, ends between 3523 and 3920, and is smooth: its
// step from one entry to the next changes by very little, except for the last step, which
// the given end values dictate.
TEST(Presets, EveryCurveIsSmoothAndNeverDecreases) {
  for (size_t c = 0; c < cal::PRESET_CURVES.size(); ++c) {
    const PresetCurve& curve = cal::PRESET_CURVES[c];
    EXPECT_EQ(curve[0], 0) << c;
    EXPECT_GE(curve[255], 3523) << c;
    EXPECT_LE(curve[255], 3920) << c;
    for (size_t i = 0; i + 1 < curve.size(); ++i) ASSERT_LE(curve[i], curve[i + 1]) << c << " at " << i;
    for (size_t i = 0; i + 2 < 255; ++i) {
      const int step = curve[i + 1] - curve[i];
      const int next = curve[i + 2] - curve[i + 1];
      ASSERT_LE(std::abs(next - step), 4) << "curve " << c << " bends sharply at " << i + 1;
    }
  }
}

TEST(Presets, LookupFindsNothingForUnlistedTablesNeutralLevelsOrBadInks) {
  EXPECT_EQ(cal::FindPresetGroup(1305), nullptr);
  EXPECT_EQ(cal::FindPresetGroup(0), nullptr);
  const cal::PresetGroup& group = Group(1302);
  EXPECT_EQ(cal::FindPresetCurve(group, 0, 0), nullptr);
  EXPECT_EQ(cal::FindPresetCurve(group, 8, 0), nullptr);
  EXPECT_EQ(cal::FindPresetCurve(group, 1, 0), nullptr);
  EXPECT_EQ(cal::FindPresetCurve(group, 3, 6), nullptr);
  EXPECT_EQ(cal::FindPresetCurve(group, 3, -1), nullptr);
  for (int16_t ink = 0; ink < 6; ++ink) EXPECT_EQ(&Curve(1302, -5, ink), &Curve(1302, 5, ink));
}

// ---- The interpolation behind the generator ----------------------------------------------

struct BadPointsCase {
  const char* name;
  std::vector<curvegen::ControlPoint> points;
};

class BadPointsTest : public ::testing::TestWithParam<BadPointsCase> {};

TEST_P(BadPointsTest, IsRejectedWithAReason) {
  EXPECT_FALSE(curvegen::CheckPoints(GetParam().points).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadPointsTest,
    ::testing::Values(BadPointsCase{"One", {{0, 0}}},
                      BadPointsCase{"NotFromZero", {{1, 0}, {255, 10}}},
                      BadPointsCase{"NotTo255", {{0, 0}, {254, 10}}},
                      BadPointsCase{"Decreasing", {{0, 0}, {100, 50}, {200, 40}, {255, 60}}},
                      BadPointsCase{"RepeatedIndex", {{0, 0}, {100, 50}, {100, 60}, {255, 70}}},
                      BadPointsCase{"TooLarge", {{0, 0}, {255, 70000}}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(MonotoneInterpolation, PassesThroughPointsAndNeverOvershoots) {
  // A flat stretch between steep ones: a plain cubic spline would dip and overshoot here.
  const std::vector<curvegen::ControlPoint> points = {
      {0, 0}, {10, 2000}, {20, 2000}, {30, 2000}, {200, 2100}, {254, 3000}, {255, 4000}};
  ASSERT_TRUE(curvegen::CheckPoints(points).empty());
  const auto curve = curvegen::Interpolate(points);
  for (const auto& p : points) EXPECT_EQ(curve[static_cast<size_t>(p.index)], p.value);
  for (size_t i = 0; i + 1 < curve.size(); ++i) ASSERT_LE(curve[i], curve[i + 1]) << i;
  for (size_t i = 10; i <= 30; ++i) EXPECT_EQ(curve[i], 2000) << i;
}

TEST(MonotoneInterpolation, StraightPointsGiveAStraightLine) {
  const std::vector<curvegen::ControlPoint> points = {{0, 0}, {51, 510}, {255, 2550}};
  const auto curve = curvegen::Interpolate(points);
  for (size_t i = 0; i < curve.size(); ++i) EXPECT_EQ(curve[i], 10 * i) << i;
}

}  // namespace
