// Building the directory index of an image (DirectoryIndex, image.h): by the database
// compiler for the shipped image, and at run time for images made by tests and tools. The
// functions only fill storage the caller provides, and can run at compile time.
#pragma once

#include <cstdint>
#include <span>

#include "image.h"

namespace mdb {

inline constexpr uint32_t kIndexPageTableSize = 256;  // one entry per high byte
inline constexpr uint32_t kIndexPageSize = 256;       // one slot per low byte
// A slot holds a position + 1 in 16 bits, so longer directories are searched linearly.
inline constexpr uint32_t kMaxIndexedEntries = 0xFFFFu;

// The number of pages the index of `keys` needs (the distinct high bytes among them), or 0
// when the directory is empty or too long to index.
constexpr uint32_t DirectoryIndexPages(std::span<const uint16_t> keys) {
  if (keys.empty() || keys.size() > kMaxIndexedEntries) return 0;
  bool used[kIndexPageTableSize] = {};
  uint32_t pages = 0;
  for (const uint16_t key : keys) {
    bool& seen = used[key >> 8];
    if (!seen) ++pages;
    seen = true;
  }
  return pages;
}

// Fills the page table (kIndexPageTableSize entries) and the slots (kIndexPageSize for each
// of DirectoryIndexPages(keys) pages). Pages follow the order of their high bytes, and
// each slot keeps the first position of its key. False, with nothing filled, when the sizes
// do not match or the directory cannot be indexed.
constexpr bool FillDirectoryIndex(std::span<const uint16_t> keys, std::span<uint16_t> pages,
                                  std::span<uint16_t> slots) {
  const uint32_t pageCount = DirectoryIndexPages(keys);
  if (pageCount == 0 || pages.size() != kIndexPageTableSize ||
      slots.size() != static_cast<size_t>(pageCount) * kIndexPageSize) {
    return false;
  }
  for (uint16_t& page : pages) page = 0;
  for (const uint16_t key : keys) pages[key >> 8] = 1;
  uint16_t next = 0;
  for (uint16_t& page : pages) {
    if (page != 0) page = ++next;
  }
  for (uint16_t& slot : slots) slot = 0;
  for (size_t position = 0; position < keys.size(); ++position) {
    const uint16_t key = keys[position];
    uint16_t& slot = slots[(pages[key >> 8] - 1u) * kIndexPageSize + (key & 0xFFu)];
    if (slot == 0) slot = static_cast<uint16_t>(position + 1);  // the first equal entry wins
  }
  return true;
}

// The index over filled tables, for the given directory.
constexpr DirectoryIndex MakeDirectoryIndex(std::span<const uint16_t> keys,
                                            std::span<const uint16_t> pages,
                                            std::span<const uint16_t> slots) {
  return DirectoryIndex{keys.data(), static_cast<uint32_t>(keys.size()), pages.data(),
                        slots.data(), static_cast<uint32_t>(slots.size() / kIndexPageSize)};
}

}  // namespace mdb
