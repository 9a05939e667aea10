#include "owned_image.h"


namespace dbc {

const char* const kCountNames[mdb::kCountSlots] = {
    "nodes",        "directory entries", "list keys",     "node-index list",
    "categories",   "items",             "int32 pool",    "int16 pool",
    "byte pool",    "string pool",       "selectors",     "row table 1",
    "row table 2",  "row table 3",       "row table 4",   "reserved"};

namespace {

template <typename T>
const T* DataOrNull(const std::vector<T>& v) {
  return v.empty() ? nullptr : v.data();
}

template <typename T>
std::vector<T> CopyTable(const T* data, uint32_t count) {
  if (data == nullptr) return {};
  return std::vector<T>(data, data + count);
}

template <typename T>
uint32_t Size(const std::vector<T>& v) {
  return static_cast<uint32_t>(v.size());
}

// Tables compared as bytes (every element type here is plain integers without padding);
// *offset receives the first differing byte.
bool SameTable(const void* a, const void* b, size_t bytes, size_t* offset) {
  *offset = 0;
  if (bytes == 0) return true;
  if (a == nullptr || b == nullptr) return a == b;
  const auto* left = static_cast<const uint8_t*>(a);
  const auto* right = static_cast<const uint8_t*>(b);
  for (size_t i = 0; i < bytes; ++i) {
    if (left[i] != right[i]) {
      *offset = i;
      return false;
    }
  }
  return true;
}

}  // namespace

std::array<uint32_t, mdb::kCountSlots> CountsOf(const OwnedImage& image) {
  std::array<uint32_t, mdb::kCountSlots> c{};
  c[mdb::kNodeCount] = Size(image.nodes);
  c[mdb::kDirectoryCount] = Size(image.directoryKeys);
  c[mdb::kListKeyCount] = Size(image.listKeys);
  c[mdb::kNodeIndexCount] = Size(image.nodeIndexList);
  c[mdb::kCategoryCount] = Size(image.categoryIds);
  c[mdb::kItemCount] = Size(image.itemIds);
  c[mdb::kInt32Count] = Size(image.int32Pool);
  c[mdb::kInt16Count] = Size(image.int16Pool);
  c[mdb::kByteCount] = Size(image.bytePool);
  c[mdb::kStringCount] = Size(image.stringPool);
  c[mdb::kSelectorCount] = Size(image.selectors);
  for (uint32_t t = 0; t < mdb::kSelectorRowTables; ++t) {
    c[mdb::kRowTable1Count + t] = Size(image.rowTables[t]) / mdb::kSelectorRowSize[t];
  }
  c[mdb::kReservedCount] = 0;
  return c;
}

mdb::DbImage ViewOf(const OwnedImage& image) {
  mdb::DbImage view{};
  const auto counts = CountsOf(image);
  for (uint32_t i = 0; i < mdb::kCountSlots; ++i) view.counts[i] = counts[i];
  view.nodes = DataOrNull(image.nodes);
  view.directoryKeys = DataOrNull(image.directoryKeys);
  view.directoryRoots = DataOrNull(image.directoryRoots);
  view.listKeys = DataOrNull(image.listKeys);
  view.listCounts = DataOrNull(image.listCounts);
  view.listStarts = DataOrNull(image.listStarts);
  view.nodeIndexList = DataOrNull(image.nodeIndexList);
  view.categoryIds = DataOrNull(image.categoryIds);
  view.categoryCounts = DataOrNull(image.categoryCounts);
  view.categoryStarts = DataOrNull(image.categoryStarts);
  view.itemIds = DataOrNull(image.itemIds);
  view.itemValues = DataOrNull(image.itemValues);
  view.int32Pool = DataOrNull(image.int32Pool);
  view.int16Pool = DataOrNull(image.int16Pool);
  view.bytePool = DataOrNull(image.bytePool);
  view.stringPool = DataOrNull(image.stringPool);
  view.selectors = DataOrNull(image.selectors);
  for (uint32_t t = 0; t < mdb::kSelectorRowTables; ++t) {
    view.rowTables[t] = DataOrNull(image.rowTables[t]);
  }
  return view;
}

OwnedImage CopyImage(const mdb::DbImage& view) {
  OwnedImage image;
  const uint32_t* c = view.counts;
  image.nodes = CopyTable(view.nodes, c[mdb::kNodeCount]);
  image.directoryKeys = CopyTable(view.directoryKeys, c[mdb::kDirectoryCount]);
  image.directoryRoots = CopyTable(view.directoryRoots, c[mdb::kDirectoryCount]);
  image.listKeys = CopyTable(view.listKeys, c[mdb::kListKeyCount]);
  image.listCounts = CopyTable(view.listCounts, c[mdb::kListKeyCount]);
  image.listStarts = CopyTable(view.listStarts, c[mdb::kListKeyCount]);
  image.nodeIndexList = CopyTable(view.nodeIndexList, c[mdb::kNodeIndexCount]);
  image.categoryIds = CopyTable(view.categoryIds, c[mdb::kCategoryCount]);
  image.categoryCounts = CopyTable(view.categoryCounts, c[mdb::kCategoryCount]);
  image.categoryStarts = CopyTable(view.categoryStarts, c[mdb::kCategoryCount]);
  image.itemIds = CopyTable(view.itemIds, c[mdb::kItemCount]);
  image.itemValues = CopyTable(view.itemValues, c[mdb::kItemCount]);
  image.int32Pool = CopyTable(view.int32Pool, c[mdb::kInt32Count]);
  image.int16Pool = CopyTable(view.int16Pool, c[mdb::kInt16Count]);
  image.bytePool = CopyTable(view.bytePool, c[mdb::kByteCount]);
  image.stringPool = CopyTable(view.stringPool, c[mdb::kStringCount]);
  image.selectors = CopyTable(view.selectors, c[mdb::kSelectorCount]);
  for (uint32_t t = 0; t < mdb::kSelectorRowTables; ++t) {
    image.rowTables[t] =
        CopyTable(view.rowTables[t], c[mdb::kRowTable1Count + t] * mdb::kSelectorRowSize[t]);
  }
  return image;
}

bool SameImage(const mdb::DbImage& a, const mdb::DbImage& b, std::string* difference) {
  for (uint32_t i = 0; i < mdb::kCountSlots; ++i) {
    if (a.counts[i] != b.counts[i]) {
      if (difference != nullptr) {
        *difference = std::string("count of ") + kCountNames[i] + ": " +
                      std::to_string(a.counts[i]) + " against " + std::to_string(b.counts[i]);
      }
      return false;
    }
  }
  struct Table {
    const char* name;
    const void* left;
    const void* right;
    size_t bytes;
    size_t element = 1;
  };
  const uint32_t* c = a.counts;
  const Table tables[] = {
      {"node table", a.nodes, b.nodes, c[mdb::kNodeCount] * sizeof(mdb::DbNode), sizeof(mdb::DbNode)},
      {"directory keys", a.directoryKeys, b.directoryKeys, c[mdb::kDirectoryCount] * 2u, 2},
      {"directory roots", a.directoryRoots, b.directoryRoots, c[mdb::kDirectoryCount] * 4u, 4},
      {"list keys", a.listKeys, b.listKeys, c[mdb::kListKeyCount] * 2u, 2},
      {"list counts", a.listCounts, b.listCounts, c[mdb::kListKeyCount] * 2u, 2},
      {"list starts", a.listStarts, b.listStarts, c[mdb::kListKeyCount] * 4u, 4},
      {"node-index list", a.nodeIndexList, b.nodeIndexList, c[mdb::kNodeIndexCount] * 4u, 4},
      {"category ids", a.categoryIds, b.categoryIds, c[mdb::kCategoryCount] * 2u, 2},
      {"category counts", a.categoryCounts, b.categoryCounts, c[mdb::kCategoryCount] * 2u, 2},
      {"category starts", a.categoryStarts, b.categoryStarts, c[mdb::kCategoryCount] * 4u, 4},
      {"item ids", a.itemIds, b.itemIds, c[mdb::kItemCount] * 2u, 2},
      {"item values", a.itemValues, b.itemValues, c[mdb::kItemCount] * 4u, 4},
      {"int32 pool", a.int32Pool, b.int32Pool, c[mdb::kInt32Count] * 4u, 4},
      {"int16 pool", a.int16Pool, b.int16Pool, c[mdb::kInt16Count] * 2u, 2},
      {"byte pool", a.bytePool, b.bytePool, c[mdb::kByteCount], 1},
      {"string pool", a.stringPool, b.stringPool, c[mdb::kStringCount], 1},
      {"selector records", a.selectors, b.selectors, c[mdb::kSelectorCount] * sizeof(mdb::SelectorRecord), sizeof(mdb::SelectorRecord)},
      {"row table 1", a.rowTables[0], b.rowTables[0], c[mdb::kRowTable1Count] * mdb::kSelectorRowSize[0], mdb::kSelectorRowSize[0]},
      {"row table 2", a.rowTables[1], b.rowTables[1], c[mdb::kRowTable2Count] * mdb::kSelectorRowSize[1], mdb::kSelectorRowSize[1]},
      {"row table 3", a.rowTables[2], b.rowTables[2], c[mdb::kRowTable3Count] * mdb::kSelectorRowSize[2], mdb::kSelectorRowSize[2]},
      {"row table 4", a.rowTables[3], b.rowTables[3], c[mdb::kRowTable4Count] * mdb::kSelectorRowSize[3], mdb::kSelectorRowSize[3]},
  };
  for (const Table& t : tables) {
    size_t offset = 0;
    if (!SameTable(t.left, t.right, t.bytes, &offset)) {
      if (difference != nullptr) {
        *difference = std::string("the ") + t.name + " differs at element " +
                      std::to_string(offset / t.element);
      }
      return false;
    }
  }
  return true;
}

}  // namespace dbc
