// Synthetic database images with directories of any length, for the lookup benchmarks and
// the directory-index tests: every key is the root of a one-leaf tree labelled with it.
#pragma once

#include <cstdint>
#include <vector>

#include "image.h"

namespace mdbbench {

struct SyntheticSpec {
  uint32_t distinctKeys;  // 1 to 65536, scattered over the 16-bit range in no order
  uint32_t repeats;       // further entries that repeat earlier keys with roots of their own
  bool indexed;           // give the image a directory index (when the directory allows one)
};

// Owns the tables; `image` points into them, so the record is built in place and not
// copied or moved afterwards.
struct SyntheticImage {
  std::vector<mdb::DbNode> nodes;
  std::vector<uint16_t> keys;
  std::vector<uint32_t> roots;
  std::vector<uint8_t> bytePool;
  std::vector<uint16_t> indexPages;
  std::vector<uint16_t> indexSlots;
  mdb::DirectoryIndex index{};
  mdb::DbImage image{};

  SyntheticImage() = default;
  SyntheticImage(const SyntheticImage&) = delete;
  SyntheticImage& operator=(const SyntheticImage&) = delete;
};

// Directory entry i < distinctKeys holds SyntheticKey(i); the entries after them repeat keys
// picked by a fixed pseudo-random sequence. Entry e's root is node e, a Bytes leaf whose
// 4 bytes are e in little-endian order, so an answer tells which entry was found.
void BuildSyntheticImage(const SyntheticSpec& spec, SyntheticImage* out);

// The key of entry i: an odd multiplier makes i -> key a permutation of the 16-bit range.
constexpr uint16_t SyntheticKey(uint32_t i) {
  return static_cast<uint16_t>((i * 40503u + 12345u) & 0xFFFFu);
}

// Adds an index to an image made elsewhere: pages and slots receive its tables, and `index`
// is pointed at them and set in the image. False (image unchanged) when its directory
// cannot be indexed.
bool AttachDirectoryIndex(mdb::DbImage* image, std::vector<uint16_t>* pages,
                          std::vector<uint16_t>* slots, mdb::DirectoryIndex* index);

}  // namespace mdbbench
