#include "curves.h"

#include <cstring>

#include "table_file.h"
#include "work_context.h"

namespace cal {

// ---- Levels -----------------------------------------------------------------------------------

namespace {

// Which entries of the level array an ink configuration uses: count entries from first,
// each at the ink position of its index.
struct InkLevelUse {
  int16_t inkConfiguration;
  int16_t first;
  int16_t count;
};

constexpr InkLevelUse kInkLevelUses[] = {
    {1, 0, 4}, {4, 0, 4}, {2, 3, 1}, {3, 0, 6}, {5, 0, 6}, {6, 0, 6},
};

}  // namespace

int16_t CheckLevel(int16_t level, const int16_t* specialLevel) {
  if (level == NEUTRAL_LEVEL) return CAL_OK;
  if (specialLevel != nullptr && level == *specialLevel) return CAL_OK;
  for (const int16_t adjust : ADJUST_LEVELS) {
    if (level == adjust) return CAL_OK;
  }
  return CALERR_UNSUPPORTED;
}

void ExtractLevels(const CalibrationRequest& request, const int16_t* levelArray,
                   ExtractedLevels& extracted) {
  extracted.count = 0;
  if (levelArray == nullptr) return;
  for (const InkLevelUse& use : kInkLevelUses) {
    if (use.inkConfiguration != request.inkConfiguration) continue;
    for (int16_t i = 0; i < use.count; ++i) {
      const int16_t position = static_cast<int16_t>(use.first + i);
      extracted.levels[i] = levelArray[position];
      extracted.inkPositions[i] = position;
    }
    extracted.count = use.count;
    return;
  }
}

int16_t CheckAllLevels(const CalibrationRequest& request, const int16_t* levelArray,
                       const int16_t* specialLevel) {
  ExtractedLevels extracted;
  ExtractLevels(request, levelArray, extracted);
  for (int16_t i = 0; i < extracted.count; ++i) {
    const int16_t status = CheckLevel(extracted.levels[i], specialLevel);
    if (status != CAL_OK) return status;
  }
  return CAL_OK;
}

int16_t HasSpecialLevel(const CalibrationRequest& request, const int16_t* levelArray,
                        const int16_t* specialLevel) {
  if (specialLevel == nullptr) return CAL_OK;
  ExtractedLevels extracted;
  ExtractLevels(request, levelArray, extracted);
  for (int16_t i = 0; i < extracted.count; ++i) {
    if (extracted.levels[i] == *specialLevel) return LEVELS_SPECIAL;
  }
  return CAL_OK;
}

// ---- Structured layout words ------------------------------------------------------------------

void LoadStructHeader(WorkContext& context, const uint8_t* source, StructHeader& destination) {
  uint8_t copy[STRUCT_HEADER_SIZE];
  std::memcpy(copy, source, sizeof copy);
  SwapIfNeeded(context.byteOrderCode | SWAP_MARK_STRUCT, copy, sizeof copy, 4);
  destination.formatWord = LoadHost32(copy);
  destination.reserved1 = LoadHost32(copy + 4);
  destination.entryCount = LoadHost32(copy + 8);
  destination.reserved2 = LoadHost32(copy + 12);
}

void LoadStructEntry(WorkContext& context, const uint8_t* source, StructEntry& destination) {
  uint8_t copy[STRUCT_ENTRY_SIZE];
  std::memcpy(copy, source, sizeof copy);
  SwapIfNeeded(context.byteOrderCode | SWAP_MARK_STRUCT, copy, sizeof copy, 4);
  destination.tagWord = LoadHost32(copy);
  destination.value = LoadHost32(copy + 4);
}

// ---- Curve replacement ------------------------------------------------------------------------

int16_t SimpleCurveCount(int32_t tableId) {
  if (tableId >= 1200 && tableId <= 1299) return 4;
  if (tableId >= 1300 && tableId <= 1399) return 6;
  if (tableId >= 1400 && tableId <= 1499) return 7;
  return 0;
}

void ApplyPresetCurve(WorkContext& context, const PresetGroup& group,
                      std::span<uint8_t, CURVE_BYTES> curve, int16_t level, int16_t inkPosition) {
  // A neutral ink keeps its bytes exactly, unconverted.
  if (level == NEUTRAL_LEVEL) return;
  const PresetCurve* preset = FindPresetCurve(group, level, inkPosition);
  // Levels that reach here passed CheckAllLevels and are not special, so a row exists; if
  // none did, the curve is left as it is rather than converted.
  if (preset == nullptr) return;
  std::memcpy(curve.data(), preset->data(), CURVE_BYTES);
  SwapIfNeeded(context.byteOrderCode | SWAP_MARK_CURVE, curve.data(), CURVE_BYTES, 2);
}

int16_t ReplaceCurvesSimple(WorkContext& context, const PresetGroup& group, int32_t tableId,
                            std::span<uint8_t> body, const ExtractedLevels& extracted) {
  const int16_t curves = SimpleCurveCount(tableId);
  if (curves == 0) return CURVES_FAILED;
  // A body too short for its curves is damaged; refuse it rather than write past it.
  if (body.size() < static_cast<size_t>(curves) * CURVE_BYTES) return CURVES_FAILED;
  // A curve without an extracted level (the seventh of a 7-curve table with six levels)
  // is left unchanged.
  for (int16_t k = 0; k < curves && k < extracted.count; ++k) {
    const auto curve = body.subspan(static_cast<size_t>(k) * CURVE_BYTES).first<CURVE_BYTES>();
    ApplyPresetCurve(context, group, curve, extracted.levels[k], extracted.inkPositions[k]);
  }
  return CAL_OK;
}

namespace {

constexpr uint32_t TagOf(uint32_t tagWord) { return tagWord >> 24; }

// The descriptor of a 256-entry curve: bit 31 clear, bit 30 set, bits 26-29 equal to 1,
// bits 0-25 the entry count.
constexpr bool DescriptorValid(uint32_t descriptor) {
  if ((descriptor & 0x80000000u) != 0) return false;
  if ((descriptor & 0x40000000u) == 0) return false;
  if (((descriptor >> 26) & 0xFu) != 1) return false;
  return (descriptor & 0x03FFFFFFu) == CURVE_ENTRIES;
}
static_assert(DescriptorValid(CURVE_DESCRIPTOR));

// Whether [offset, offset + length) lies inside a body of size bytes.
constexpr bool Inside(uint64_t offset, uint64_t length, size_t size) {
  return offset + length <= size;
}

struct CurvePlace {
  size_t curveOffset;  // from the start of the body
  int16_t slot;        // index into the extracted levels
};

}  // namespace

int16_t ReplaceCurvesStructured(WorkContext& context, const PresetGroup& group,
                                std::span<uint8_t> body, const ExtractedLevels& extracted) {
  if (body.size() < STRUCT_HEADER_SIZE) return CURVES_FAILED;
  StructHeader header;
  LoadStructHeader(context, body.data(), header);
  const int32_t entryCount = static_cast<int32_t>(header.entryCount);
  if (entryCount > 0 &&
      !Inside(STRUCT_HEADER_SIZE, uint64_t{STRUCT_ENTRY_SIZE} * static_cast<uint32_t>(entryCount),
              body.size())) {
    return CURVES_FAILED;
  }

  int32_t blockCount = -1;  // no ENTRY_VALUE yet
  uint32_t offsets[MAX_CURVE_BLOCKS] = {};
  int32_t collected = 0;
  for (int32_t j = 0; j < entryCount; ++j) {
    StructEntry entry;
    LoadStructEntry(context, body.data() + STRUCT_HEADER_SIZE + STRUCT_ENTRY_SIZE * static_cast<uint32_t>(j), entry);
    switch (TagOf(entry.tagWord)) {
      case ENTRY_VALUE:
        // One count, between 0 and 7; a second one or a negative one is not a valid body.
        if (blockCount != -1) return CURVES_FAILED;
        blockCount = static_cast<int32_t>(entry.value);
        if (blockCount < 0 || blockCount > MAX_CURVE_BLOCKS) return CURVES_FAILED;
        break;
      case ENTRY_IGNORED:
        break;
      case ENTRY_OFFSET:
        if (blockCount == -1 || collected >= blockCount) return CURVES_FAILED;
        offsets[collected++] = entry.value;
        break;
      default:
        return CURVES_FAILED;
    }
  }

  // Every block is checked before any curve changes, so a refused body is left as it was.
  CurvePlace places[MAX_CURVE_BLOCKS] = {};
  for (int32_t b = 0; b < collected; ++b) {
    const uint32_t block = offsets[b];
    if (!Inside(block, CURVE_BLOCK_SIZE, body.size())) return CURVES_FAILED;
    StructEntry tag;
    StructEntry descriptor;
    LoadStructEntry(context, body.data() + block + CURVE_BLOCK_TAG, tag);
    LoadStructEntry(context, body.data() + block + CURVE_BLOCK_DESCRIPTOR, descriptor);
    if (TagOf(tag.tagWord) != CURVE_BLOCK_TAG_VALUE) return CURVES_FAILED;
    if (!DescriptorValid(descriptor.tagWord)) return CURVES_FAILED;
    const uint64_t curveOffset = uint64_t{block} + descriptor.value;
    if (!Inside(curveOffset, CURVE_BYTES, body.size())) return CURVES_FAILED;
    const int32_t slot = static_cast<int32_t>(tag.value);
    if (slot < 0 || slot >= extracted.count) return CURVES_FAILED;
    places[b] = CurvePlace{static_cast<size_t>(curveOffset), static_cast<int16_t>(slot)};
  }
  for (int32_t b = 0; b < collected; ++b) {
    const CurvePlace& place = places[b];
    ApplyPresetCurve(context, group, body.subspan(place.curveOffset).first<CURVE_BYTES>(),
                     extracted.levels[place.slot], extracted.inkPositions[place.slot]);
  }
  return CAL_OK;
}

int16_t ReplaceCurvesInChunk(WorkContext& context, int32_t tableId, std::span<uint8_t> body) {
  ExtractedLevels extracted;
  ExtractLevels(*context.request, context.levels, extracted);
  uint32_t firstWord = 0;
  if (body.size() >= 4) {
    uint8_t copy[4];
    std::memcpy(copy, body.data(), sizeof copy);
    SwapIfNeeded(context.byteOrderCode | SWAP_MARK_STRUCT, copy, sizeof copy, 4);
    firstWord = LoadHost32(copy);
  }
  for (const PresetGroup& group : PRESET_GROUPS) {
    if (group.tableId != tableId) continue;
    const int16_t status = firstWord == STRUCTURED_FORMAT_WORD
                               ? ReplaceCurvesStructured(context, group, body, extracted)
                               : ReplaceCurvesSimple(context, group, tableId, body, extracted);
    if (status != CAL_OK) return status;
  }
  return CAL_OK;
}

int16_t ApplyCalibrationToTable(WorkContext& context) {
  if (CollectTableIds(context) != CAL_OK) return CURVES_FAILED;
  const TableIdList& list = context.tableIds;
  for (int16_t i = 0; i < list.count; ++i) {
    const int32_t tableId = list.ids[i];
    const int16_t chunkId = static_cast<int16_t>(static_cast<uint32_t>(tableId) & 0xFFFFu);
    uint8_t* data = nullptr;
    uint32_t size = 0;
    if (ReadHtChunk(context, chunkId, &data, &size) != CAL_OK) return CURVES_FAILED;
    if (ReplaceCurvesInChunk(context, tableId, std::span<uint8_t>(data, size)) != CAL_OK) {
      TableReleaseChunk(context.tableFile);  // refused: not written back
      return CURVES_FAILED;
    }
    const int16_t written = WriteHtChunk(context, chunkId);
    TableReleaseChunk(context.tableFile);
    if (written != CAL_OK) return CURVES_FAILED;
  }
  return CAL_OK;
}

}  // namespace cal
