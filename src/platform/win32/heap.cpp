// The global heap: fixed blocks from GlobalAlloc.
#include "win32_api.h"
#include "win32_calls.h"

namespace plat::win32 {

void* HeapAlloc(uint32_t size, bool zeroFill) {
  // A zero-byte block is still a distinct block, as on the other backends.
  const SIZE_T bytes = size == 0 ? 1 : size;
  return ::GlobalAlloc(zeroFill ? GPTR : GMEM_FIXED, bytes);
}

void HeapFree(void* block) {
  if (block != nullptr) ::GlobalFree(block);
}

}  // namespace plat::win32
