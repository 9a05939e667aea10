#include "presets.h"

#include <cstddef>

namespace cal {

// PRESET_CURVES and the curve_index names, generated from preset_points.txt.
#include "preset_curves.inc"

namespace {

constexpr const PresetCurve* C(size_t index) { return &PRESET_CURVES[index]; }

}  // namespace

using namespace curve_index;

// Four rows per group, in the order of ADJUST_LEVELS. Groups 1302-1304 share one set of
// curves across all levels; 1308 and 1309 have one set for -5 and -3 and one for 3 and 5,
// and 1309 takes ink positions 0, 2 and 3 from 1308.
const std::array<PresetRow, PRESET_ROW_COUNT> PRESET_ROWS = {{
    // 1302: levels -5, -3, 3, 5
    {&ADJUST_LEVELS[0], {C(G1302_INK0), C(G1302_INK1), C(G1302_INK2), C(G1302_INK3), C(G1302_INK4), C(G1302_INK5)}, PRESET_ROW_END},
    {&ADJUST_LEVELS[1], {C(G1302_INK0), C(G1302_INK1), C(G1302_INK2), C(G1302_INK3), C(G1302_INK4), C(G1302_INK5)}, PRESET_ROW_END},
    {&ADJUST_LEVELS[2], {C(G1302_INK0), C(G1302_INK1), C(G1302_INK2), C(G1302_INK3), C(G1302_INK4), C(G1302_INK5)}, PRESET_ROW_END},
    {&ADJUST_LEVELS[3], {C(G1302_INK0), C(G1302_INK1), C(G1302_INK2), C(G1302_INK3), C(G1302_INK4), C(G1302_INK5)}, PRESET_ROW_END},
    // 1303: levels -5, -3, 3, 5
    {&ADJUST_LEVELS[0], {C(G1303_INK0), C(G1303_INK1), C(G1303_INK2), C(G1303_INK3), C(G1303_INK4), C(G1303_INK5)}, PRESET_ROW_END},
    {&ADJUST_LEVELS[1], {C(G1303_INK0), C(G1303_INK1), C(G1303_INK2), C(G1303_INK3), C(G1303_INK4), C(G1303_INK5)}, PRESET_ROW_END},
    {&ADJUST_LEVELS[2], {C(G1303_INK0), C(G1303_INK1), C(G1303_INK2), C(G1303_INK3), C(G1303_INK4), C(G1303_INK5)}, PRESET_ROW_END},
    {&ADJUST_LEVELS[3], {C(G1303_INK0), C(G1303_INK1), C(G1303_INK2), C(G1303_INK3), C(G1303_INK4), C(G1303_INK5)}, PRESET_ROW_END},
    // 1304: levels -5, -3, 3, 5
    {&ADJUST_LEVELS[0], {C(G1304_INK0), C(G1304_INK1), C(G1304_INK2), C(G1304_INK3), C(G1304_INK4), C(G1304_INK5)}, PRESET_ROW_END},
    {&ADJUST_LEVELS[1], {C(G1304_INK0), C(G1304_INK1), C(G1304_INK2), C(G1304_INK3), C(G1304_INK4), C(G1304_INK5)}, PRESET_ROW_END},
    {&ADJUST_LEVELS[2], {C(G1304_INK0), C(G1304_INK1), C(G1304_INK2), C(G1304_INK3), C(G1304_INK4), C(G1304_INK5)}, PRESET_ROW_END},
    {&ADJUST_LEVELS[3], {C(G1304_INK0), C(G1304_INK1), C(G1304_INK2), C(G1304_INK3), C(G1304_INK4), C(G1304_INK5)}, PRESET_ROW_END},
    // 1308: levels -5, -3, 3, 5
    {&ADJUST_LEVELS[0], {C(G1308_MINUS_INK0), C(G1308_MINUS_INK1), C(G1308_MINUS_INK2), C(G1308_MINUS_INK3), C(G1308_MINUS_INK4), C(G1308_MINUS_INK5)}, PRESET_ROW_END},
    {&ADJUST_LEVELS[1], {C(G1308_MINUS_INK0), C(G1308_MINUS_INK1), C(G1308_MINUS_INK2), C(G1308_MINUS_INK3), C(G1308_MINUS_INK4), C(G1308_MINUS_INK5)}, PRESET_ROW_END},
    {&ADJUST_LEVELS[2], {C(G1308_PLUS_INK0), C(G1308_PLUS_INK1), C(G1308_PLUS_INK2), C(G1308_PLUS_INK3), C(G1308_PLUS_INK4), C(G1308_PLUS_INK5)}, PRESET_ROW_END},
    {&ADJUST_LEVELS[3], {C(G1308_PLUS_INK0), C(G1308_PLUS_INK1), C(G1308_PLUS_INK2), C(G1308_PLUS_INK3), C(G1308_PLUS_INK4), C(G1308_PLUS_INK5)}, PRESET_ROW_END},
    // 1309: levels -5, -3, 3, 5
    {&ADJUST_LEVELS[0], {C(G1308_MINUS_INK0), C(G1309_MINUS_INK1), C(G1308_MINUS_INK2), C(G1308_MINUS_INK3), C(G1309_MINUS_INK4), C(G1309_MINUS_INK5)}, PRESET_ROW_END},
    {&ADJUST_LEVELS[1], {C(G1308_MINUS_INK0), C(G1309_MINUS_INK1), C(G1308_MINUS_INK2), C(G1308_MINUS_INK3), C(G1309_MINUS_INK4), C(G1309_MINUS_INK5)}, PRESET_ROW_END},
    {&ADJUST_LEVELS[2], {C(G1308_PLUS_INK0), C(G1309_PLUS_INK1), C(G1308_PLUS_INK2), C(G1308_PLUS_INK3), C(G1309_PLUS_INK4), C(G1309_PLUS_INK5)}, PRESET_ROW_END},
    {&ADJUST_LEVELS[3], {C(G1308_PLUS_INK0), C(G1309_PLUS_INK1), C(G1308_PLUS_INK2), C(G1308_PLUS_INK3), C(G1309_PLUS_INK4), C(G1309_PLUS_INK5)}, PRESET_ROW_END},
}};

const std::array<PresetGroup, PRESET_GROUP_COUNT> PRESET_GROUPS = {{
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
  if (level == NEUTRAL_LEVEL || inkPosition < 0 || inkPosition >= static_cast<int16_t>(PRESET_INKS)) {
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
