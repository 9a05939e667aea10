// The Windows headers as the backend sources include them, and the casts between the
// platform layer's types and the Win32 ones. Internal to src/platform/win32.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "platform.h"

namespace plat::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide characters are UTF-16 units");

// The Win32 prototypes take non-const wide strings they only read.
inline wchar_t* Wide(const char16_t* text) {
  return reinterpret_cast<wchar_t*>(const_cast<char16_t*>(text));
}

inline HANDLE ToHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }
inline FileHandle FromHandle(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }
inline bool IsOpenHandle(FileHandle file) { return file != 0 && file != kInvalidFile; }

}  // namespace plat::win32
