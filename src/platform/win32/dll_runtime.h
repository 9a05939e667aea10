// The C library routines the DLLs use, for DLLs that link no C runtime: that way they
// import nothing beyond KERNEL32 and the spooler, as the system DLLs of the era do.
// dll_crt.cpp gives them their C names inside the DLLs only; the test programs run them
// here, under the namespace, next to the C runtime they are compared with.
//
// They behave as the C standard says, with two limits: strtol cannot set errno (there is
// none), and the formatting functions handle integers, characters and strings only; a
// floating-point, wide or %n conversion makes them fail with -1.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace plat::dllrt {

void* memcpy(void* to, const void* from, size_t count);
void* memmove(void* to, const void* from, size_t count);
void* memset(void* to, int value, size_t count);
int memcmp(const void* a, const void* b, size_t count);
void* memchr(const void* bytes, int value, size_t count);
size_t strlen(const char* text);
size_t strnlen(const char* text, size_t limit);
int strcmp(const char* a, const char* b);
int strncmp(const char* a, const char* b, size_t limit);
long strtol(const char* text, char** end, int base);
int vsnprintf(char* out, size_t size, const char* format, va_list args);
int snprintf(char* out, size_t size, const char* format, ...)
    __attribute__((format(gnu_printf, 3, 4)));

}  // namespace plat::dllrt
