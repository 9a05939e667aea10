// An image that owns its tables: what the compiler builds and the decompiler reads. ViewOf
// gives the DbImage the library's readers take (null for an empty table, as in the shipped
// image).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "image.h"

namespace dbc {

struct OwnedImage {
  std::vector<mdb::DbNode> nodes;
  std::vector<uint16_t> directoryKeys;
  std::vector<uint32_t> directoryRoots;
  std::vector<uint16_t> listKeys;
  std::vector<uint16_t> listCounts;
  std::vector<uint32_t> listStarts;
  std::vector<uint32_t> nodeIndexList;
  std::vector<uint16_t> categoryIds;
  std::vector<uint16_t> categoryCounts;
  std::vector<uint32_t> categoryStarts;
  std::vector<uint16_t> itemIds;
  std::vector<uint32_t> itemValues;
  std::vector<int32_t> int32Pool;
  std::vector<uint16_t> int16Pool;
  std::vector<uint8_t> bytePool;
  std::vector<uint8_t> stringPool;
  std::vector<mdb::SelectorRecord> selectors;
  std::array<std::vector<uint8_t>, mdb::kSelectorRowTables> rowTables;  // rows laid end to end
};

// The sixteen counts (row tables in rows).
std::array<uint32_t, mdb::kCountSlots> CountsOf(const OwnedImage& image);

// A view valid while `image` lives and is not changed.
mdb::DbImage ViewOf(const OwnedImage& image);

// Copies every table of a view; a null table copies as empty whatever its count says.
OwnedImage CopyImage(const mdb::DbImage& view);

// Compares counts and every table; on a difference describes the first one.
bool SameImage(const mdb::DbImage& a, const mdb::DbImage& b, std::string* difference);

// What each count counts, for messages and the compiler's report.
extern const char* const kCountNames[mdb::kCountSlots];

}  // namespace dbc
