// The global heap on the C allocator.
#include <cstdlib>

#include "platform.h"

namespace plat {

void* HeapAlloc(uint32_t size, bool zeroFill) {
  // A zero-byte block is still a distinct block, as GlobalAlloc hands out.
  const size_t bytes = size == 0 ? 1 : size;
  return zeroFill ? std::calloc(1, bytes) : std::malloc(bytes);
}

void HeapFree(void* block) { std::free(block); }

}  // namespace plat
