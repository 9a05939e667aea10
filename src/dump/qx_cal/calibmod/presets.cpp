#include "presets.h"

#include <cstddef>

namespace cal {

// PRESET_CURVES and the curve_index names, generated from preset_points.txt.
#include "preset_curves.inc"

using namespace curve_index;

namespace {

// One set of six curves, by ink position.
using CurveSet = std::array<size_t, PRESET_INKS>;

constexpr CurveSet k1302 = {G1302_INK0, G1302_INK1, G1302_INK2, G1302_INK3, G1302_INK4, G1302_INK5};
constexpr CurveSet k1303 = {G1303_INK0, G1303_INK1, G1303_INK2, G1303_INK3, G1303_INK4, G1303_INK5};
constexpr CurveSet k1304 = {G1304_INK0, G1304_INK1, G1304_INK2, G1304_INK3, G1304_INK4, G1304_INK5};
constexpr CurveSet k1308Minus = {G1308_MINUS_INK0, G1308_MINUS_INK1, G1308_MINUS_INK2,
                                 G1308_MINUS_INK3, G1308_MINUS_INK4, G1308_MINUS_INK5};
constexpr CurveSet k1308Plus = {G1308_PLUS_INK0, G1308_PLUS_INK1, G1308_PLUS_INK2,
                                G1308_PLUS_INK3, G1308_PLUS_INK4, G1308_PLUS_INK5};
// 1309 takes ink positions 0, 2 and 3 from 1308.
constexpr CurveSet k1309Minus = {G1308_MINUS_INK0, G1309_MINUS_INK1, G1308_MINUS_INK2,
                                 G1308_MINUS_INK3, G1309_MINUS_INK4, G1309_MINUS_INK5};
constexpr CurveSet k1309Plus = {G1308_PLUS_INK0, G1309_PLUS_INK1, G1308_PLUS_INK2,
                                G1308_PLUS_INK3, G1309_PLUS_INK4, G1309_PLUS_INK5};

constexpr PresetRow Row(size_t level, const CurveSet& set) {
  PresetRow row{&ADJUST_LEVELS[level], {}, PRESET_ROW_END};
  for (size_t ink = 0; ink < PRESET_INKS; ++ink) row.curves[ink] = &PRESET_CURVES[set[ink]];
  return row;
}

}  // namespace

// Four rows per group, in the order of ADJUST_LEVELS (-5, -3, 3, 5).
constinit const std::array<PresetRow, PRESET_ROW_COUNT> PRESET_ROWS = {{
    Row(0, k1302), Row(1, k1302), Row(2, k1302), Row(3, k1302),
    Row(0, k1303), Row(1, k1303), Row(2, k1303), Row(3, k1303),
    Row(0, k1304), Row(1, k1304), Row(2, k1304), Row(3, k1304),
    Row(0, k1308Minus), Row(1, k1308Minus), Row(2, k1308Plus), Row(3, k1308Plus),
    Row(0, k1309Minus), Row(1, k1309Minus), Row(2, k1309Plus), Row(3, k1309Plus),
}};

constinit const std::array<PresetGroup, PRESET_GROUP_COUNT> PRESET_GROUPS = {{
    {1302, &PRESET_ROWS[0]},
    {1303, &PRESET_ROWS[4]},
    {1304, &PRESET_ROWS[8]},
    {1308, &PRESET_ROWS[12]},
    {1309, &PRESET_ROWS[16]},
}};

const PresetGroup* FindPresetGroup(int32_t tableId) {
  for (const PresetGroup& group : PRESET_GROUPS) {
    if (group.tableId == tableId) return &group;
  }
  return nullptr;
}

const PresetCurve* FindPresetCurve(const PresetGroup& group, int16_t level, int16_t inkPosition) {
  if (level == NEUTRAL_LEVEL || inkPosition < 0 ||
      inkPosition >= static_cast<int16_t>(PRESET_INKS)) {
    return nullptr;
  }
  const PresetCurve* found = nullptr;
  // Every row is looked at, so with several rows of one level the last would win.
  for (int16_t r = 0; r < ADJUST_LEVEL_COUNT; ++r) {
    const PresetRow& row = group.rows[r];
    if (*row.level == level) found = row.curves[inkPosition];
  }
  return found;
}

}  // namespace cal
