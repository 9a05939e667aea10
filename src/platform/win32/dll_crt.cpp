// The C names of the DLL runtime (dll_runtime.h). Linked into the DLLs only: every other
// program has a C runtime of its own. The toolchain's <cstdio> sends the C++ snprintf to
// its C99 formatter, __mingw_vsnprintf, so that name is served too.
#include <cstdarg>
#include <cstddef>

#include "dll_runtime.h"

extern "C" {

void* memcpy(void* to, const void* from, size_t count) {
  return plat::dllrt::memcpy(to, from, count);
}
void* memmove(void* to, const void* from, size_t count) {
  return plat::dllrt::memmove(to, from, count);
}
void* memset(void* to, int value, size_t count) { return plat::dllrt::memset(to, value, count); }
int memcmp(const void* a, const void* b, size_t count) { return plat::dllrt::memcmp(a, b, count); }
void* memchr(const void* bytes, int value, size_t count) {
  return plat::dllrt::memchr(bytes, value, count);
}
size_t strlen(const char* text) { return plat::dllrt::strlen(text); }
size_t strnlen(const char* text, size_t limit) { return plat::dllrt::strnlen(text, limit); }
int strcmp(const char* a, const char* b) { return plat::dllrt::strcmp(a, b); }
int strncmp(const char* a, const char* b, size_t limit) {
  return plat::dllrt::strncmp(a, b, limit);
}
long strtol(const char* text, char** end, int base) {
  return plat::dllrt::strtol(text, end, base);
}
int vsnprintf(char* out, size_t size, const char* format, va_list args) {
  return plat::dllrt::vsnprintf(out, size, format, args);
}
int snprintf(char* out, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int length = plat::dllrt::vsnprintf(out, size, format, args);
  va_end(args);
  return length;
}

int __mingw_vsnprintf(char* out, size_t size, const char* format, va_list args) {
  return plat::dllrt::vsnprintf(out, size, format, args);
}

}  // extern "C"
