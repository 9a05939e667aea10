// The image readers: node access, the key directory search and the typed value fetch.
#include <cstddef>

#include "computed.h"
#include "directory_index.h"
#include "fetch.h"
#include "image.h"

namespace mdb {

namespace {

// The first position of `wanted` through the image's directory index: MPX_OK with the
// position, or MPX_KEY_NOT_FOUND. -1 when the image has no index that describes its
// directory, or one whose entry does not hold the key (a damaged index): the caller then
// searches entry by entry.
int32_t IndexedPosition(const DbImage& image, uint16_t wanted, uint32_t* position) {
  const DirectoryIndex* index = image.directoryIndex;
  const uint32_t entries = image.counts[kDirectoryCount];
  if (index == nullptr || index->keys != image.directoryKeys || index->entries != entries ||
      index->pages == nullptr || index->slots == nullptr) {
    return MPX_ERR_DATABASE;
  }
  const uint32_t page = index->pages[wanted >> 8];
  if (page == 0) return MPX_KEY_NOT_FOUND;
  if (page > index->pageCount) return MPX_ERR_DATABASE;
  const uint32_t slot = index->slots[(page - 1) * kIndexPageSize + (wanted & 0xFFu)];
  if (slot == 0) return MPX_KEY_NOT_FOUND;
  if (slot > entries || image.directoryKeys[slot - 1] != wanted) return MPX_ERR_DATABASE;
  *position = slot - 1;
  return MPX_OK;
}

int32_t LinearPosition(const DbImage& image, uint16_t wanted, uint32_t* position) {
  const uint32_t entries = image.counts[kDirectoryCount];
  for (uint32_t i = 0; i < entries; ++i) {
    if (image.directoryKeys[i] == wanted) {
      *position = i;
      return MPX_OK;
    }
  }
  return MPX_KEY_NOT_FOUND;
}

}  // namespace

int32_t DirectorySearch(const DbImage& image, uint32_t key, uint32_t* rootIndex, DbNode* root) {
  if (image.directoryKeys == nullptr || image.directoryRoots == nullptr ||
      image.counts[kDirectoryCount] == 0) {
    return MPX_ERR_DATABASE;
  }
  const uint16_t wanted = static_cast<uint16_t>(key & 0xFFFFu);
  uint32_t position = 0;
  int32_t found = IndexedPosition(image, wanted, &position);
  if (found == MPX_ERR_DATABASE) found = LinearPosition(image, wanted, &position);
  if (found != MPX_OK) return found;

  const uint32_t index = image.directoryRoots[position];
  DbNode node{};
  if (!ReadNode(image, index, &node)) return MPX_ERR_DATABASE;
  if (rootIndex != nullptr) *rootIndex = index;
  if (root != nullptr) *root = node;
  return MPX_OK;
}

namespace {

// offset + count <= poolCount, without overflow.
bool RunInPool(const void* pool, uint32_t poolCount, uint32_t offset, uint32_t count) {
  return pool != nullptr && offset <= poolCount && count <= poolCount - offset;
}

void Store16(uint8_t* out, uint16_t v) {
  out[0] = static_cast<uint8_t>(v & 0xFFu);
  out[1] = static_cast<uint8_t>(v >> 8);
}

void Store32(uint8_t* out, uint32_t v) {
  out[0] = static_cast<uint8_t>(v & 0xFFu);
  out[1] = static_cast<uint8_t>((v >> 8) & 0xFFu);
  out[2] = static_cast<uint8_t>((v >> 16) & 0xFFu);
  out[3] = static_cast<uint8_t>(v >> 24);
}

// Copies a stored leaf whose size the caller has already tested against the buffer.
int32_t CopyStoredLeaf(const DbImage& image, NodeType type, uint32_t offset, uint32_t n,
                       uint8_t* out) {
  switch (type) {
    case NodeType::Bytes:
    case NodeType::SignedBytes:
    case NodeType::UnsignedBytes:
    case NodeType::WideText: {
      if (!RunInPool(image.bytePool, image.counts[kByteCount], offset, n)) return MPX_ERR_DATABASE;
      const uint8_t* src = image.bytePool + offset;
      for (uint32_t i = 0; i < n; ++i) {
        if (type == NodeType::Bytes) {
          out[i] = src[i];
        } else if (type == NodeType::SignedBytes) {
          Store32(out + 4 * i, static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(src[i]))));
        } else if (type == NodeType::UnsignedBytes) {
          Store32(out + 4 * i, src[i]);
        } else {
          Store16(out + 2 * i, src[i]);
        }
      }
      return MPX_OK;
    }
    case NodeType::Int32Array: {
      if (!RunInPool(image.int32Pool, image.counts[kInt32Count], offset, n)) return MPX_ERR_DATABASE;
      for (uint32_t i = 0; i < n; ++i) {
        Store32(out + 4 * i, static_cast<uint32_t>(image.int32Pool[offset + i]));
      }
      return MPX_OK;
    }
    case NodeType::Int16Array:
    case NodeType::UInt16Array: {
      if (!RunInPool(image.int16Pool, image.counts[kInt16Count], offset, n)) return MPX_ERR_DATABASE;
      for (uint32_t i = 0; i < n; ++i) {
        const uint16_t element = image.int16Pool[offset + i];
        const uint32_t widened =
            type == NodeType::Int16Array
                ? static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(element)))
                : element;
        Store32(out + 4 * i, widened);
      }
      return MPX_OK;
    }
    default:
      return MPX_ERR_DATABASE;
  }
}

}  // namespace

int32_t FetchTypedValue(const QueryEnv& env, const QueryContext* context, uint32_t bufferSize,
                        void* buffer, uint32_t* requiredSize, DbNode leaf) {
  const uint32_t typeCode = NodeTypeCode(leaf);
  const uint32_t offset = NodeIndex(leaf);
  const uint32_t n = NodeCount(leaf);
  const NodeType type = static_cast<NodeType>(typeCode);

  // The size first: a size query answers even for a run outside its pool.
  uint32_t size = 0;
  switch (typeCode) {
    case static_cast<uint32_t>(NodeType::Bytes):
      size = n;
      break;
    case static_cast<uint32_t>(NodeType::Int32Array):
    case static_cast<uint32_t>(NodeType::SignedBytes):
    case static_cast<uint32_t>(NodeType::Int16Array):
    case static_cast<uint32_t>(NodeType::UnsignedBytes):
    case static_cast<uint32_t>(NodeType::UInt16Array):
      size = 4 * n;
      break;
    case static_cast<uint32_t>(NodeType::WideText):
      size = 2 * n;
      break;
    case static_cast<uint32_t>(NodeType::Computed):
      break;
    default:
      return MPX_ERR_DATABASE;
  }
  if (requiredSize == nullptr || env.image == nullptr) return MPX_ERR_DATABASE;

  if (type == NodeType::Computed) {
    const int32_t sized = ComputeValue(env, n, context, 0, nullptr, &size);
    if (sized == MPX_NO_ANSWER) {
      size = 0;
    } else if (sized != MPX_OK && sized != MPX_BUFFER_TOO_SMALL) {
      return sized;
    }
  }

  if (buffer == nullptr || bufferSize < size) {
    *requiredSize = size;
    return MPX_BUFFER_TOO_SMALL;
  }

  if (type == NodeType::Computed) {
    const int32_t computed = ComputeValue(env, n, context, bufferSize, buffer, &size);
    if (computed != MPX_OK) return computed;
  } else {
    const int32_t copied = CopyStoredLeaf(*env.image, type, offset, n, static_cast<uint8_t*>(buffer));
    if (copied != MPX_OK) return copied;
  }
  *requiredSize = size;
  return MPX_OK;
}

}  // namespace mdb
