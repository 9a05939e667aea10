// The platform layer: the few operating-system services the libraries use, behind an
// interface of our own. Nothing above this layer includes an OS header.
//
// Backends are chosen at link time: mpx_platform_posix (the shipped Linux libraries),
// mpx_platform_win32 (the DLLs) and mpx_platform_test (fault injection, see
// testing/fault_control.h). Each implements every function declared here.
#pragma once

#include <cstdint>

namespace plat {

// ---- Global heap ------------------------------------------------------------------------
// Fixed blocks; zeroFill asks for zero-filled memory (GMEM_ZEROINIT). Null on failure.
void* HeapAlloc(uint32_t size, bool zeroFill);
void HeapFree(void* block);  // null is allowed

// ---- Spooler -------------------------------------------------------------------------------
// Opens a printer by its UTF-16 name; false (and *handle null) on failure.
bool PrinterOpen(const char16_t* name, void** handle);
void PrinterClose(void* handle);
// GetPrinterDataW: returns the Win32 error code (0 success, 2 not found, 234 more data,
// 6 invalid handle, others for access failures).
uint32_t PrinterGetData(void* handle, const char16_t* valueName, uint32_t* type, uint8_t* data,
                        uint32_t size, uint32_t* needed);

inline constexpr uint32_t kErrorSuccess = 0;
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorInvalidHandle = 6;
inline constexpr uint32_t kErrorInvalidParameter = 87;
inline constexpr uint32_t kErrorMoreData = 234;
inline constexpr uint32_t kRegDword = 4;

// ---- Local time ------------------------------------------------------------------------------
struct LocalTime {
  uint16_t year, month, dayOfWeek, day, hour, minute, second, milliseconds;
};
void GetLocalTime(LocalTime* time);

// ---- Locale ------------------------------------------------------------------------------------
// GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY, buffer, size): with size 0 returns
// the length needed including the NUL; otherwise the characters written including the NUL.
// 0 on failure (also when size is too small).
int32_t GetLocaleCountry(char* buffer, int32_t size);

// ---- Files -----------------------------------------------------------------------------------------
// Paths are NUL-terminated UTF-16, built by the caller from a directory, PathSeparator()
// and a converted file name. An open file's handle is never 0 or kInvalidFile.
using FileHandle = intptr_t;
inline constexpr FileHandle kInvalidFile = -1;

enum class FileAccess : uint8_t { Read, Write, ReadWrite };
enum class FileDisposition : uint8_t { OpenExisting, CreateNew };

// CreateFileW. Share modes follow the access: Read shares reading, Write shares writing,
// ReadWrite shares both (POSIX has no share modes and ignores them). A read-only file
// cannot be opened for writing, and neither can a directory be opened at all. On POSIX a
// regular file without any write permission bit counts as read-only, even for root.
FileHandle FileOpen(const char16_t* path, FileAccess access, FileDisposition disposition);
bool FileClose(FileHandle file);
// ReadFile / WriteFile: false on the call's own failure; *done receives the count moved.
bool FileRead(FileHandle file, void* buffer, uint32_t count, uint32_t* done);
bool FileWrite(FileHandle file, const void* buffer, uint32_t count, uint32_t* done);
// SetFilePointer(FILE_BEGIN) without a high part: the new position, or 0xFFFFFFFF (also
// for a negative offset). A position past the end is allowed.
uint32_t FileSeek(FileHandle file, int32_t offset);
// GetFileSize without a high part: the size, or 0xFFFFFFFF (also for a size of 4 GiB - 1
// or more, which the low part alone cannot tell).
uint32_t FileGetSize(FileHandle file);
// Copies count bytes from the current position of `from` to the current position of `to`,
// advancing both: in the kernel where the system can (no copy passes through this process),
// else through a buffer of at most 256 KiB. *done receives the bytes copied. False on the
// failure of a read or a write; a source that ends first is not a failure, *done tells.
bool FileCopy(FileHandle from, FileHandle to, uint32_t count, uint32_t* done);
// FlushFileBuffers.
bool FileFlush(FileHandle file);
// DeleteFileW: a read-only file is not deleted.
bool FileDelete(const char16_t* path);
// MoveFileExW(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH): atomically puts `from`
// in place of `to`. A read-only `to` is not replaced.
bool FileReplace(const char16_t* from, const char16_t* to);
// Makes a completed rename in this directory durable (fsync of the directory on POSIX;
// nothing to do on Win32, where the write-through move covers it).
bool DirectoryFlush(const char16_t* directory);

// MultiByteToWideChar(CP_ACP, 0, ...): converts count bytes of an 8-bit file name (count
// -1: up to and including the NUL); returns the UTF-16 units written, or (with capacity 0)
// needed; 0 on failure, also when capacity is too small (nothing is written then). Never
// more units than bytes. On POSIX the 8-bit code page is UTF-8, and a byte that is not part
// of valid UTF-8 maps to U+DC00+byte (U+DC80..U+DCFF), so converting the path back to the
// native form restores the bytes.
int32_t AnsiToWide(const char* text, int32_t count, char16_t* out, int32_t capacity);

// The separator between a directory and a file name: '\\' on Win32, '/' on POSIX.
char16_t PathSeparator();

}  // namespace plat
