// The evaluator, the Drv dispatcher and the typed fetch on arbitrary images: any tables,
// any counts, absent tables, any host state. Every call answers a documented status and
// reads nothing outside a table: each table is a heap block of exactly its count, so the
// address sanitizer sees any read past it.
//
// Input: the sixteen counts (each folded into a small range, so evaluation stays quick),
// a mask of absent tables, the host state (query_input.h), the tables' contents in image
// order (zeros once the input ends), then extra keys to ask.
#include <array>
#include <cstdint>
#include <vector>

#include "entry.h"
#include "evaluator.h"
#include "fetch.h"
#include "fuzz_support.h"
#include "image.h"
#include "owned_image.h"
#include "query_input.h"
#include "testing/fault_control.h"

namespace {

using mdb::DbImage;

// Largest count per slot. Shared subtrees make evaluation time exponential in the node
// count (the evaluator bounds depth, not work), so the node table stays small.
constexpr std::array<uint32_t, mdb::kCountSlots> kMaxCounts = {
    40, 16, 8, 48, 8, 48, 128, 128, 512, 256, 8, 6, 6, 6, 6, 0xFFFFFFFFu};

template <typename T, typename Read>
void Fill(std::vector<T>& table, uint32_t count, Read read) {
  table.resize(count);
  table.shrink_to_fit();
  for (T& element : table) element = read();
}

// A table pointer: null when empty or marked absent (its count stays).
template <typename T>
const T* Pointer(const std::vector<T>& table, uint32_t absentMask, uint32_t bit) {
  if (table.empty() || (absentMask & (1u << bit)) != 0) return nullptr;
  return table.data();
}

// The Drv keys the dispatcher answers by code.
constexpr uint16_t kDispatchedKeys[] = {4108, 4109, 4110, 4111, 4112, 4113, 4114,
                                        4115, 4116, 4118, 4119, 4120, 4121, 4122,
                                        4123, 4124, 4125, 4126, 4173, 4174, 4177, 4180};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  plat::testing::Reset();
  fuzz::Reader in{{data, size}};

  DbImage image{};
  for (uint32_t slot = 0; slot < mdb::kCountSlots; ++slot) {
    const uint32_t raw = slot == mdb::kReservedCount ? in.U32() : in.U16();
    image.counts[slot] = kMaxCounts[slot] == 0xFFFFFFFFu ? raw : raw % (kMaxCounts[slot] + 1);
  }
  const uint32_t absent = in.U32();

  fuzz::QueryInput query;
  fuzz::ReadQueryInput(in, query);

  // Every table of the image as a block of its own; the counts stay the input's.
  dbc::OwnedImage t;
  const uint32_t* c = image.counts;
  Fill(t.nodes, c[mdb::kNodeCount], [&] {
    const uint32_t tag = in.U32();
    return mdb::DbNode{tag, in.U32()};
  });
  Fill(t.directoryKeys, c[mdb::kDirectoryCount], [&] { return in.U16(); });
  Fill(t.directoryRoots, c[mdb::kDirectoryCount], [&] { return static_cast<uint32_t>(in.U8()); });
  Fill(t.listKeys, c[mdb::kListKeyCount], [&] { return in.U16(); });
  Fill(t.listCounts, c[mdb::kListKeyCount], [&] { return static_cast<uint16_t>(in.U8()); });
  Fill(t.listStarts, c[mdb::kListKeyCount], [&] { return in.U32(); });
  Fill(t.nodeIndexList, c[mdb::kNodeIndexCount], [&] { return static_cast<uint32_t>(in.U8()); });
  Fill(t.categoryIds, c[mdb::kCategoryCount], [&] { return static_cast<uint16_t>(in.U8()); });
  Fill(t.categoryCounts, c[mdb::kCategoryCount], [&] { return in.U16(); });
  Fill(t.categoryStarts, c[mdb::kCategoryCount], [&] { return in.U32(); });
  Fill(t.itemIds, c[mdb::kItemCount], [&] { return in.U16(); });
  Fill(t.itemValues, c[mdb::kItemCount], [&] { return in.U32(); });
  Fill(t.int32Pool, c[mdb::kInt32Count], [&] { return static_cast<int32_t>(in.U32()); });
  Fill(t.int16Pool, c[mdb::kInt16Count], [&] { return in.U16(); });
  Fill(t.bytePool, c[mdb::kByteCount], [&] { return in.U8(); });
  Fill(t.stringPool, c[mdb::kStringCount], [&] { return in.U8(); });
  Fill(t.selectors, c[mdb::kSelectorCount], [&] {
    mdb::SelectorRecord r{};
    r.setting4 = static_cast<int16_t>(in.U16());
    r.setting9 = static_cast<int16_t>(in.U16());
    r.setting5 = static_cast<int16_t>(in.U16());
    r.setting8 = static_cast<int16_t>(in.U16());
    r.setting6 = static_cast<int16_t>(in.U16());
    r.setting81 = static_cast<int16_t>(in.U16());
    r.row1 = in.U16();
    r.row2 = in.U16();
    r.row3 = in.U16();
    r.row4 = in.U16();
    return r;
  });
  for (uint32_t r = 0; r < mdb::kSelectorRowTables; ++r) {
    Fill(t.rowTables[r], c[mdb::kRowTable1Count + r] * mdb::kSelectorRowSize[r], [&] { return in.U8(); });
  }

  image.nodes = Pointer(t.nodes, absent, 0);
  image.directoryKeys = Pointer(t.directoryKeys, absent, 1);
  image.directoryRoots = Pointer(t.directoryRoots, absent, 2);
  image.listKeys = Pointer(t.listKeys, absent, 3);
  image.listCounts = Pointer(t.listCounts, absent, 4);
  image.listStarts = Pointer(t.listStarts, absent, 5);
  image.nodeIndexList = Pointer(t.nodeIndexList, absent, 6);
  image.categoryIds = Pointer(t.categoryIds, absent, 7);
  image.categoryCounts = Pointer(t.categoryCounts, absent, 8);
  image.categoryStarts = Pointer(t.categoryStarts, absent, 9);
  image.itemIds = Pointer(t.itemIds, absent, 10);
  image.itemValues = Pointer(t.itemValues, absent, 11);
  image.int32Pool = Pointer(t.int32Pool, absent, 12);
  image.int16Pool = Pointer(t.int16Pool, absent, 13);
  image.bytePool = Pointer(t.bytePool, absent, 14);
  image.stringPool = Pointer(t.stringPool, absent, 15);
  image.selectors = Pointer(t.selectors, absent, 16);
  for (uint32_t r = 0; r < mdb::kSelectorRowTables; ++r) {
    image.rowTables[r] = Pointer(t.rowTables[r], absent, 17 + r);
  }

  const mdb::QueryEnv env{&image, nullptr};

  // The keys to ask: the directory's, the dispatched Drv keys, and a few from the input.
  std::vector<uint16_t> keys(t.directoryKeys.begin(), t.directoryKeys.end());
  keys.insert(keys.end(), std::begin(kDispatchedKeys), std::end(kDispatchedKeys));
  for (int extra = 0; extra < 4 && in.Remaining() >= 2; ++extra) keys.push_back(in.U16());

  for (const uint16_t key : keys) {
    const auto category = static_cast<mdb::Category>(key >> 12);
    if (category == mdb::Category{5} || (key >> 12) > 6) {
      // Internal keys: straight to the evaluator and the fetch.
      mdb::DbNode leaf{};
      const int32_t found = mdb::LookupKey(env, key, &query.context, &leaf);
      FUZZ_CHECK(fuzz::DocumentedQueryStatus(found));
      FUZZ_CHECK(plat::testing::LiveBlocks() == 0);
      if (found != MPX_OK) continue;
      fuzz::AskAndCheck(
          [&](const QueryContext* context, uint32_t bufferSize, void* buffer, uint32_t* required) {
            return mdb::FetchTypedValue(env, context, bufferSize, buffer, required, leaf);
          },
          query);
      continue;
    }
    fuzz::AskAndCheck(
        [&](const QueryContext* context, uint32_t bufferSize, void* buffer, uint32_t* required) {
          return mdb::RunQuery(env, category, key, context, bufferSize, buffer, required);
        },
        query, category == mdb::Category::Drv && fuzz::IsItemListKey(key));
  }

  // Every node taken as a leaf: the fetch turns down what is not one.
  for (const mdb::DbNode node : t.nodes) {
    fuzz::AskAndCheck(
        [&](const QueryContext* context, uint32_t bufferSize, void* buffer, uint32_t* required) {
          return mdb::FetchTypedValue(env, context, bufferSize, buffer, required, node);
        },
        query);
  }

  // A context the library does not get at all.
  uint32_t required = fuzz::kUnwritten;
  FUZZ_CHECK(mdb::RunQuery(env, mdb::Category::Drv, 4121, nullptr, 0, nullptr, &required) == MPX_ERR_CONTEXT);
  FUZZ_CHECK(required == fuzz::kUnwritten);

  fuzz::Finish(query);
  FUZZ_CHECK(plat::testing::OpenPrinterHandles() == 0);
  return 0;
}
