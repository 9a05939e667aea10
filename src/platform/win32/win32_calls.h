// The Win32 calls behind the platform layer. They live in a namespace of their own so that
// the test programs can run them next to the fault-injecting backend, and so that the test
// backend can serve files through them; the backend (mpx_platform_win32) only forwards the
// functions of platform.h here. Internal to src/platform.
#pragma once

#include <cstdint>

#include "platform.h"

namespace plat::win32 {

// GlobalAlloc(GMEM_FIXED, with GMEM_ZEROINIT when asked) and GlobalFree.
void* HeapAlloc(uint32_t size, bool zeroFill);
void HeapFree(void* block);

// OpenPrinterW, ClosePrinter and GetPrinterDataW of the spooler. A null or empty name opens
// nothing: to the spooler either would mean the print server rather than a printer.
bool PrinterOpen(const char16_t* name, void** handle);
void PrinterClose(void* handle);
uint32_t PrinterGetData(void* handle, const char16_t* valueName, uint32_t* type, uint8_t* data,
                        uint32_t size, uint32_t* needed);

void GetLocalTime(LocalTime* time);
// GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY, ...).
int32_t GetLocaleCountry(char* buffer, int32_t size);

FileHandle FileOpen(const char16_t* path, FileAccess access, FileDisposition disposition);
bool FileClose(FileHandle file);
bool FileRead(FileHandle file, void* buffer, uint32_t count, uint32_t* done);
bool FileWrite(FileHandle file, const void* buffer, uint32_t count, uint32_t* done);
uint32_t FileSeek(FileHandle file, int32_t offset);
uint32_t FileGetSize(FileHandle file);
bool FileFlush(FileHandle file);
bool FileDelete(const char16_t* path);
bool FileReplace(const char16_t* from, const char16_t* to);
bool DirectoryFlush(const char16_t* directory);

// MultiByteToWideChar(CP_ACP, 0, ...), sized first so that a short buffer is never written.
int32_t AnsiToWide(const char* text, int32_t count, char16_t* out, int32_t capacity);
char16_t PathSeparator();

}  // namespace plat::win32
