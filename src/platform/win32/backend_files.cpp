// The Win32 backend: files, file-name conversion and the path separator.
#include "platform.h"
#include "win32_calls.h"

namespace plat {

FileHandle FileOpen(const char16_t* path, FileAccess access, FileDisposition disposition) {
  return win32::FileOpen(path, access, disposition);
}
bool FileClose(FileHandle file) { return win32::FileClose(file); }
bool FileRead(FileHandle file, void* buffer, uint32_t count, uint32_t* done) {
  return win32::FileRead(file, buffer, count, done);
}
bool FileWrite(FileHandle file, const void* buffer, uint32_t count, uint32_t* done) {
  return win32::FileWrite(file, buffer, count, done);
}
uint32_t FileSeek(FileHandle file, int32_t offset) { return win32::FileSeek(file, offset); }
uint32_t FileGetSize(FileHandle file) { return win32::FileGetSize(file); }
// Win32 has no copy between two open handles, so this is the loop the caller would write,
// through one buffer of at most 256 KiB from the global heap.
bool FileCopy(FileHandle from, FileHandle to, uint32_t count, uint32_t* done) {
  if (done != nullptr) *done = 0;
  constexpr uint32_t kBufferSize = 256 * 1024;
  const uint32_t size = count < kBufferSize ? count : kBufferSize;
  if (size == 0) return true;
  auto* buffer = static_cast<uint8_t*>(win32::HeapAlloc(size, false));
  if (buffer == nullptr) return false;
  uint32_t moved = 0;
  bool ok = true;
  while (ok && moved < count) {
    const uint32_t chunk = count - moved < size ? count - moved : size;
    uint32_t got = 0;
    uint32_t put = 0;
    ok = win32::FileRead(from, buffer, chunk, &got);
    if (!ok || got == 0) break;
    ok = win32::FileWrite(to, buffer, got, &put) && put == got;
    moved += put;
    if (got < chunk) break;  // the source ended
  }
  win32::HeapFree(buffer);
  if (done != nullptr) *done = moved;
  return ok;
}
bool FileFlush(FileHandle file) { return win32::FileFlush(file); }
bool FileDelete(const char16_t* path) { return win32::FileDelete(path); }
bool FileReplace(const char16_t* from, const char16_t* to) {
  return win32::FileReplace(from, to);
}
bool DirectoryFlush(const char16_t* directory) { return win32::DirectoryFlush(directory); }
int32_t AnsiToWide(const char* text, int32_t count, char16_t* out, int32_t capacity) {
  return win32::AnsiToWide(text, count, out, capacity);
}
char16_t PathSeparator() { return win32::PathSeparator(); }

}  // namespace plat
