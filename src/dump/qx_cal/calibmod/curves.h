// Level validation and curve replacement: checks the request's levels against the presets
// and, in the open working table file, replaces the curves of every QXHT chunk the QXDB
// records name by the preset curves for its table, level and ink.
//
// A QXHT body is either simple (consecutive 256-entry curves, one per ink) or structured
// (tagged entries locating curve blocks). Every offset, block, curve and ink position is
// checked against the body and the extracted levels before it is used; a body that breaks
// them is refused and nothing outside it is read or written.
#pragma once

#include <cstdint>
#include <span>

#include "calibmod.h"
#include "presets.h"

namespace cal {

struct WorkContext;  // work_context.h

// ApplyCalibrationToTable and the replacement steps: any failure.
inline constexpr int16_t CURVES_FAILED = -1;
// HasSpecialLevel: a used level is the special level.
inline constexpr int16_t LEVELS_SPECIAL = -1;

inline constexpr uint32_t CURVE_ENTRIES = 256;
inline constexpr uint32_t CURVE_BYTES = CURVE_ENTRIES * 2;

// ---- Levels -----------------------------------------------------------------------------------

inline constexpr int16_t MAX_EXTRACTED_LEVELS = 8;

// The levels an ink configuration uses and the ink position of each.
struct ExtractedLevels {
  int16_t levels[MAX_EXTRACTED_LEVELS];
  int16_t inkPositions[MAX_EXTRACTED_LEVELS];
  int16_t count;
};

// CAL_OK for the neutral level, the special level while specialLevel is set, and the
// entries of ADJUST_LEVELS; else CALERR_UNSUPPORTED.
int16_t CheckLevel(int16_t level, const int16_t* specialLevel = SPECIAL_LEVEL_REF);
// Configurations 1 and 4: entries 0-3 at inks 0-3; 2: entry 3 at ink 3; 3, 5 and 6: entries
// 0-5 at inks 0-5; any other: none. Entries beyond the count are left as they are.
void ExtractLevels(const CalibrationRequest& request, const int16_t* levelArray,
                   ExtractedLevels& extracted);
// CheckLevel on every used level in order; the first refusal is returned.
int16_t CheckAllLevels(const CalibrationRequest& request, const int16_t* levelArray,
                       const int16_t* specialLevel = SPECIAL_LEVEL_REF);
// LEVELS_SPECIAL when a used level is the special level (and it is switched on), else 0.
int16_t HasSpecialLevel(const CalibrationRequest& request, const int16_t* levelArray,
                        const int16_t* specialLevel = SPECIAL_LEVEL_REF);

// ---- Curve replacement ------------------------------------------------------------------------

inline constexpr uint32_t STRUCTURED_FORMAT_WORD = 0x50178516;
inline constexpr uint32_t STRUCT_HEADER_SIZE = 16;  // format word, unread, entry count, unread
inline constexpr uint32_t STRUCT_ENTRY_SIZE = 8;    // tag word, value
inline constexpr uint8_t ENTRY_VALUE = 0xF8;        // the number of curve blocks
inline constexpr uint8_t ENTRY_IGNORED = 0x9A;
inline constexpr uint8_t ENTRY_OFFSET = 0xDC;       // offset of one curve block in the body
inline constexpr int32_t MAX_CURVE_BLOCKS = 7;

// Curve block: tag word at 24 (tag ENTRY_VALUE), ink position at 28, descriptor at 56,
// curve offset from the block start at 60.
inline constexpr uint32_t CURVE_BLOCK_TAG = 24;
inline constexpr uint32_t CURVE_BLOCK_DESCRIPTOR = 56;
inline constexpr uint32_t CURVE_BLOCK_SIZE = 64;  // the block bytes that are read
inline constexpr uint8_t CURVE_BLOCK_TAG_VALUE = 0xF8;
inline constexpr uint32_t CURVE_DESCRIPTOR = 0x44000100;

// Converted copies of the structured layout's words (host order).
struct StructHeader {
  uint32_t formatWord;
  uint32_t reserved1;
  uint32_t entryCount;  // signed in the file
  uint32_t reserved2;
};
struct StructEntry {
  uint32_t tagWord;  // the tag is the high byte
  uint32_t value;
};

// Table ids 1200-1299 have 4 curves, 1300-1399 6, 1400-1499 7; any other 0 (refused).
int16_t SimpleCurveCount(int32_t tableId);

// Replaces the curves of every QXHT chunk listed by the QXDB records of the working file
// open in context.tableFile. Every listed chunk is read and written back, changed or not;
// a chunk refused by the replacement is not written back. CAL_OK or CURVES_FAILED.
int16_t ApplyCalibrationToTable(WorkContext& context);
// Replaces the curves of one body for every preset group of tableId.
int16_t ReplaceCurvesInChunk(WorkContext& context, int32_t tableId, std::span<uint8_t> body);
int16_t ReplaceCurvesSimple(WorkContext& context, const PresetGroup& group, int32_t tableId,
                            std::span<uint8_t> body, const ExtractedLevels& extracted);
// All entry checks come before any curve is changed; blocks are checked one by one.
int16_t ReplaceCurvesStructured(WorkContext& context, const PresetGroup& group,
                                std::span<uint8_t> body, const ExtractedLevels& extracted);
// A neutral level leaves the curve's bytes exactly; otherwise the preset curve for level and
// ink position is copied over the 512 bytes in the file's byte order.
void ApplyPresetCurve(WorkContext& context, const PresetGroup& group,
                      std::span<uint8_t, CURVE_BYTES> curve,
                      int16_t level, int16_t inkPosition);

void LoadStructHeader(WorkContext& context, const uint8_t* source, StructHeader& destination);
void LoadStructEntry(WorkContext& context, const uint8_t* source, StructEntry& destination);

}  // namespace cal
