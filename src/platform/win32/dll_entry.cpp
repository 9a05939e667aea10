// The entry point of the DLLs. They link no C runtime, so this stands in for its start-up
// code: on load it runs the constructors of the DLL's own statics (the linker lists them
// between __CTOR_LIST__'s -1 and a terminating null, to be run last to first). Beyond
// that, loading and unloading do nothing and succeed. Statics with destructors cannot
// occur: they would need atexit, which the DLLs do not have, so such a DLL fails to link.
#include "win32_api.h"

extern "C" {
using StaticConstructor = void (*)();
extern StaticConstructor __CTOR_LIST__[];

BOOL WINAPI MpxDllEntry(HINSTANCE instance, DWORD reason, LPVOID reserved);
}

BOOL WINAPI MpxDllEntry(HINSTANCE /*instance*/, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    size_t count = 0;
    while (__CTOR_LIST__[count + 1] != nullptr) ++count;
    for (size_t i = count; i > 0; --i) __CTOR_LIST__[i]();
  }
  return TRUE;
}
