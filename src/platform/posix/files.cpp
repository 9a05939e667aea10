// The file calls of the shipped POSIX backend.
#include "platform.h"
#include "posix_shared.h"

namespace plat {

FileHandle FileOpen(const char16_t* path, FileAccess access, FileDisposition disposition) {
  return posix::FileOpen(path, access, disposition);
}
bool FileClose(FileHandle file) { return posix::FileClose(file); }
bool FileRead(FileHandle file, void* buffer, uint32_t count, uint32_t* done) {
  return posix::FileRead(file, buffer, count, done);
}
bool FileWrite(FileHandle file, const void* buffer, uint32_t count, uint32_t* done) {
  return posix::FileWrite(file, buffer, count, done);
}
uint32_t FileSeek(FileHandle file, int32_t offset) { return posix::FileSeek(file, offset); }
uint32_t FileGetSize(FileHandle file) { return posix::FileGetSize(file); }
bool FileCopy(FileHandle from, FileHandle to, uint32_t count, uint32_t* done) {
  return posix::FileCopy(from, to, count, done);
}
bool FileFlush(FileHandle file) { return posix::FileFlush(file); }
bool FileDelete(const char16_t* path) { return posix::FileDelete(path); }
bool FileReplace(const char16_t* from, const char16_t* to) {
  return posix::FileReplace(from, to);
}
bool DirectoryFlush(const char16_t* directory) { return posix::DirectoryFlush(directory); }
int32_t AnsiToWide(const char* text, int32_t count, char16_t* out, int32_t capacity) {
  return posix::AnsiToWide(text, count, out, capacity);
}
char16_t PathSeparator() { return u'/'; }

}  // namespace plat
