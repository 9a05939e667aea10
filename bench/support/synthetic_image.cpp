#include "synthetic_image.h"

#include <span>

#include "directory_index.h"

namespace mdbbench {

bool AttachDirectoryIndex(mdb::DbImage* image, std::vector<uint16_t>* pages,
                          std::vector<uint16_t>* slots, mdb::DirectoryIndex* index) {
  if (image->directoryKeys == nullptr) return false;
  const std::span<const uint16_t> keys(image->directoryKeys, image->counts[mdb::kDirectoryCount]);
  const uint32_t pageCount = mdb::DirectoryIndexPages(keys);
  if (pageCount == 0) return false;
  pages->assign(mdb::kIndexPageTableSize, 0);
  slots->assign(static_cast<size_t>(pageCount) * mdb::kIndexPageSize, 0);
  if (!mdb::FillDirectoryIndex(keys, *pages, *slots)) return false;
  *index = mdb::MakeDirectoryIndex(keys, *pages, *slots);
  image->directoryIndex = index;
  return true;
}

void BuildSyntheticImage(const SyntheticSpec& spec, SyntheticImage* out) {
  const uint32_t entries = spec.distinctKeys + spec.repeats;
  out->nodes.clear();
  out->keys.clear();
  out->roots.clear();
  out->bytePool.clear();
  out->nodes.reserve(entries);
  out->keys.reserve(entries);
  out->roots.reserve(entries);
  out->bytePool.reserve(static_cast<size_t>(entries) * 4);

  uint32_t state = 0x9E3779B9u;  // a fixed xorshift sequence picks the repeated keys
  for (uint32_t entry = 0; entry < entries; ++entry) {
    uint16_t key = 0;
    if (entry < spec.distinctKeys) {
      key = SyntheticKey(entry);
    } else {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      key = SyntheticKey(state % spec.distinctKeys);
    }
    const auto offset = static_cast<uint32_t>(out->bytePool.size());
    for (uint32_t shift = 0; shift < 32; shift += 8) {
      out->bytePool.push_back(static_cast<uint8_t>((entry >> shift) & 0xFFu));
    }
    out->nodes.push_back(mdb::MakeNode(mdb::NodeType::Bytes, offset, key, uint16_t{4}));
    out->keys.push_back(key);
    out->roots.push_back(entry);
  }

  out->image = mdb::DbImage{};
  out->image.counts[mdb::kNodeCount] = entries;
  out->image.counts[mdb::kDirectoryCount] = entries;
  out->image.counts[mdb::kByteCount] = static_cast<uint32_t>(out->bytePool.size());
  out->image.nodes = out->nodes.data();
  out->image.directoryKeys = out->keys.data();
  out->image.directoryRoots = out->roots.data();
  out->image.bytePool = out->bytePool.data();
  out->index = mdb::DirectoryIndex{};
  if (spec.indexed) {
    AttachDirectoryIndex(&out->image, &out->indexPages, &out->indexSlots, &out->index);
  }
}

}  // namespace mdbbench
