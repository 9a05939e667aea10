// The POSIX code both the shipped backend and the test backend run: file calls, path and
// file-name conversion, and the country-text answer. Internal to src/platform.
#pragma once

#include <cstdint>

#include "platform.h"

namespace plat::posix {

// The native (byte) form of a UTF-16 path: UTF-8, with U+DC80..U+DCFF turned back into the
// raw byte AnsiToWide took them from. Null (errno set) for an empty path, a lone surrogate
// outside that range, or no memory. The caller frees the result with std::free.
char* NativePath(const char16_t* path);

int32_t AnsiToWide(const char* text, int32_t count, char16_t* out, int32_t capacity);

FileHandle FileOpen(const char16_t* path, FileAccess access, FileDisposition disposition);
bool FileClose(FileHandle file);
bool FileRead(FileHandle file, void* buffer, uint32_t count, uint32_t* done);
bool FileWrite(FileHandle file, const void* buffer, uint32_t count, uint32_t* done);
uint32_t FileSeek(FileHandle file, int32_t offset);
uint32_t FileGetSize(FileHandle file);
bool FileFlush(FileHandle file);

// How FileCopy moves the bytes: copy_file_range (in the kernel, within or across file
// systems as the kernel allows), sendfile, or read and write through a buffer. Each method
// hands the rest to the next when the system refuses it for these two files; tests start
// further down the list to compare them.
enum class CopyMethod : uint8_t { Kernel, SendFile, Buffered };
bool FileCopy(FileHandle from, FileHandle to, uint32_t count, uint32_t* done,
              CopyMethod first = CopyMethod::Kernel);
bool FileDelete(const char16_t* path);
bool FileReplace(const char16_t* from, const char16_t* to);
bool DirectoryFlush(const char16_t* directory);

// GetLocaleInfoA's size protocol over a country text: the text must be 1 to 7 decimal
// digits, else 0. Size 0 answers the length with the NUL; a smaller size than that, 0.
int32_t CopyCountryText(const char* text, char* buffer, int32_t size);

}  // namespace plat::posix
