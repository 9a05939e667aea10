// The model database image: constant tables of decision-tree nodes, the key directory,
// value pools, list tables and selector rows, bounded by one counts block. The image is
// read-only; every reader tests each index against its count when it reads it.
#pragma once

#include <cstdint>

#include "modeldb.h"

namespace mdb {

enum class NodeType : uint8_t {
  Bytes = 1,
  Int32Array = 2,
  SignedBytes = 3,
  Int16Array = 4,
  UnsignedBytes = 5,
  UInt16Array = 6,
  WideText = 7,
  Sequence = 8,
  SettingFilter = 9,
  SettingGuard = 10,
  SettingSwitch = 11,
  StringSwitch = 12,
  PrinterDataSwitch = 13,
  LocaleSwitch = 14,
  ValueCase = 15,
  StringCase = 16,
  DefaultCase = 17,
  Computed = 18,
  MaskedSettingSwitch = 19,
  MaskHeader = 20,
  RangeCase = 21,
};

// One 8-byte node: tag = type (bits 31-24) and index (bits 23-0); value = parameter
// (high 16 bits) and count (low 16 bits) for most types.
struct DbNode {
  uint32_t tag;
  uint32_t value;
};

constexpr uint32_t NodeTypeCode(DbNode n) { return n.tag >> 24; }
constexpr uint32_t NodeIndex(DbNode n) { return n.tag & 0x00FFFFFFu; }
constexpr uint16_t NodeParam(DbNode n) { return static_cast<uint16_t>(n.value >> 16); }
constexpr uint16_t NodeCount(DbNode n) { return static_cast<uint16_t>(n.value & 0xFFFFu); }
constexpr DbNode MakeNode(NodeType type, uint32_t index, uint32_t value) {
  return DbNode{(static_cast<uint32_t>(type) << 24) | (index & 0x00FFFFFFu), value};
}
constexpr DbNode MakeNode(NodeType type, uint32_t index, uint16_t param, uint16_t count) {
  return MakeNode(type, index, (static_cast<uint32_t>(param) << 16) | count);
}

// Positions in the counts block.
enum CountSlot : uint32_t {
  kNodeCount = 0,
  kDirectoryCount = 1,
  kListKeyCount = 2,
  kNodeIndexCount = 3,
  kCategoryCount = 4,
  kItemCount = 5,
  kInt32Count = 6,
  kInt16Count = 7,
  kByteCount = 8,
  kStringCount = 9,
  kSelectorCount = 10,
  kRowTable1Count = 11,
  kRowTable2Count = 12,
  kRowTable3Count = 13,
  kRowTable4Count = 14,
  kReservedCount = 15,
  kCountSlots = 16,
};

// A selector record of key 4126: the six setting values it requires and its four row
// indexes (20 bytes).
struct SelectorRecord {
  int16_t setting4, setting9, setting5, setting8, setting6, setting81;
  uint16_t row1, row2, row3, row4;
};
static_assert(sizeof(SelectorRecord) == 20);

inline constexpr uint32_t kSelectorRowTables = 4;
inline constexpr uint32_t kSelectorRowSize[kSelectorRowTables] = {48, 40, 36, 48};

// An optional index of the key directory, so that a search costs the same however long the
// directory is. Keys are split by their high byte into pages of 256 slots, one page per high
// byte that occurs; a slot holds the first directory position of its key plus one (0: the
// key is absent), so the index answers exactly what a search from the first entry answers.
// It names the key array and length it was built for: a search of any other directory
// ignores it. Built by directory_index.h (512 bytes plus 512 bytes per page).
struct DirectoryIndex {
  const uint16_t* keys;  // the directory it describes
  uint32_t entries;
  const uint16_t* pages;  // 256 entries, by high byte: page number + 1, or 0 for no page
  const uint16_t* slots;  // 256 per page, by low byte: first position + 1, or 0
  uint32_t pageCount;
};

// Every pointer may be null (an absent table); its length is the matching count.
struct DbImage {
  uint32_t counts[kCountSlots];
  const DbNode* nodes;
  const uint16_t* directoryKeys;
  const uint32_t* directoryRoots;
  const uint16_t* listKeys;
  const uint16_t* listCounts;
  const uint32_t* listStarts;
  const uint32_t* nodeIndexList;
  const uint16_t* categoryIds;
  const uint16_t* categoryCounts;
  const uint32_t* categoryStarts;
  const uint16_t* itemIds;
  const uint32_t* itemValues;
  const int32_t* int32Pool;
  const uint16_t* int16Pool;
  const uint8_t* bytePool;
  const uint8_t* stringPool;
  const SelectorRecord* selectors;
  const uint8_t* rowTables[kSelectorRowTables];  // row r of table t at rowTables[t] + r * size
  const DirectoryIndex* directoryIndex;  // null: the directory is searched entry by entry
};

// The image compiled into the library from the database source.
const DbImage& ShippedImage();

// Node by index; false when the table is absent or the index is not below its count.
// Inline: the evaluator reads one node per step.
inline bool ReadNode(const DbImage& image, uint32_t index, DbNode* node) {
  if (image.nodes == nullptr || index >= image.counts[kNodeCount]) return false;
  *node = image.nodes[index];
  return true;
}

// Directory search: the first entry equal to the key's low 16 bits. 0 with the root's
// index and node; 3 when the key is absent; -1 for an empty or partial image. Constant
// time with the image's directory index, linear without one; the answer is the same.
int32_t DirectorySearch(const DbImage& image, uint32_t key, uint32_t* rootIndex, DbNode* root);

}  // namespace mdb
