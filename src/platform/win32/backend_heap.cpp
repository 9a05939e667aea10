// The Win32 backend: the global heap. The backend files only forward to win32_calls.h,
// one file per service so that a DLL imports only the services it uses.
#include "platform.h"
#include "win32_calls.h"

namespace plat {

void* HeapAlloc(uint32_t size, bool zeroFill) { return win32::HeapAlloc(size, zeroFill); }
void HeapFree(void* block) { win32::HeapFree(block); }

}  // namespace plat
