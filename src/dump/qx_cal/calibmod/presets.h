// The calibration presets: the ink configurations the module accepts, the adjustment
// levels, and for each calibrated table and level the six replacement curves. Constant data,
// shared by all calls. The curve values are generated at build time from the control points
// in preset_points.txt.
#pragma once

#include <array>
#include <cstdint>

namespace cal {

inline constexpr std::array<int16_t, 1> SUPPORTED_INK_CONFIGS = {3};
inline constexpr int16_t SUPPORTED_INK_CONFIG_COUNT =
    static_cast<int16_t>(SUPPORTED_INK_CONFIGS.size());

inline constexpr int16_t NEUTRAL_LEVEL = 0;
// Accepted by validation; a request holding it for a used ink succeeds without calibrating.
inline constexpr int16_t SPECIAL_LEVEL = 8;
// The special level is on while this reference is set; a null reference switches it off
// (CheckLevel then refuses 8 and HasSpecialLevel never reports it). Delivered switched on.
inline constexpr const int16_t* SPECIAL_LEVEL_REF = &SPECIAL_LEVEL;

// The levels that select preset curves, in the order of every group's rows.
inline constexpr std::array<int16_t, 4> ADJUST_LEVELS = {-5, -3, 3, 5};
inline constexpr int16_t ADJUST_LEVEL_COUNT = static_cast<int16_t>(ADJUST_LEVELS.size());

inline constexpr uint32_t PRESET_CURVE_ENTRIES = 256;
inline constexpr uint32_t PRESET_INKS = 6;
inline constexpr int32_t PRESET_ROW_END = -1;

// 256 host-order entries, in the form of a QXHT curve.
using PresetCurve = std::array<uint16_t, PRESET_CURVE_ENTRIES>;

struct PresetRow {
  const int16_t* level;  // an entry of ADJUST_LEVELS
  const PresetCurve* curves[PRESET_INKS];  // by ink position
  int32_t endMarker;  // PRESET_ROW_END: no seventh curve
};

struct PresetGroup {
  int32_t tableId;        // the QXHT table the group applies to
  const PresetRow* rows;  // ADJUST_LEVEL_COUNT rows in the order of ADJUST_LEVELS
};

inline constexpr uint32_t PRESET_GROUP_COUNT = 5;
inline constexpr uint32_t PRESET_ROW_COUNT = PRESET_GROUP_COUNT * ADJUST_LEVELS.size();
inline constexpr uint32_t PRESET_DISTINCT_CURVES = 36;

extern const std::array<PresetGroup, PRESET_GROUP_COUNT> PRESET_GROUPS;
extern const std::array<PresetRow, PRESET_ROW_COUNT> PRESET_ROWS;
// Every distinct curve once; the rows point into it.
extern const std::array<PresetCurve, PRESET_DISTINCT_CURVES> PRESET_CURVES;

// The group for a table id, or null: a table without a group is never changed.
const PresetGroup* FindPresetGroup(int32_t tableId);
// The curve of a group for a level and ink position, or null (neutral level, a level without
// a row, or an ink position outside 0-5).
const PresetCurve* FindPresetCurve(const PresetGroup& group, int16_t level, int16_t inkPosition);

}  // namespace cal
