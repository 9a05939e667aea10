// File calls on the Win32 file API.
#include <iterator>

#include "win32_api.h"
#include "win32_calls.h"

namespace plat::win32 {
namespace {

constexpr uint32_t kInvalidPosition = 0xFFFFFFFF;

struct AccessRow {
  DWORD desiredAccess;
  DWORD shareMode;
};
// Indexed by FileAccess: the share mode follows the access.
constexpr AccessRow kAccessRows[] = {
    {GENERIC_READ, FILE_SHARE_READ},
    {GENERIC_WRITE, FILE_SHARE_WRITE},
    {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE},
};

bool HasAttribute(const char16_t* path, DWORD attribute) {
  const DWORD attributes = ::GetFileAttributesW(Wide(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & attribute) != 0;
}

bool IsReadOnly(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION information{};
  return ::GetFileInformationByHandle(handle, &information) != 0 &&
         (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
}

}  // namespace

FileHandle FileOpen(const char16_t* path, FileAccess access, FileDisposition disposition) {
  const auto row = static_cast<size_t>(access);
  if (path == nullptr || path[0] == u'\0' || row >= std::size(kAccessRows)) return kInvalidFile;
  const DWORD creation = disposition == FileDisposition::CreateNew ? CREATE_NEW : OPEN_EXISTING;
  HANDLE handle = ::CreateFileW(Wide(path), kAccessRows[row].desiredAccess,
                                kAccessRows[row].shareMode, nullptr, creation,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return kInvalidFile;
  // Windows itself refuses to write a read-only file, whoever asks; a file system that lets
  // a privileged user through anyway (wine run as root) is held to the same rule. Checked on
  // the open handle, so a rename in between cannot slip past.
  if (access != FileAccess::Read && disposition == FileDisposition::OpenExisting &&
      IsReadOnly(handle)) {
    ::CloseHandle(handle);
    ::SetLastError(ERROR_ACCESS_DENIED);
    return kInvalidFile;
  }
  return FromHandle(handle);
}

bool FileClose(FileHandle file) {
  // CloseHandle(-1) would "close" the current-process pseudo handle and report success.
  if (!IsOpenHandle(file)) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  return ::CloseHandle(ToHandle(file)) != 0;
}

bool FileRead(FileHandle file, void* buffer, uint32_t count, uint32_t* done) {
  if (done != nullptr) *done = 0;
  if (!IsOpenHandle(file) || (buffer == nullptr && count > 0)) return false;
  DWORD moved = 0;
  const bool ok = ::ReadFile(ToHandle(file), buffer, count, &moved, nullptr) != 0;
  if (done != nullptr) *done = moved;
  return ok;
}

bool FileWrite(FileHandle file, const void* buffer, uint32_t count, uint32_t* done) {
  if (done != nullptr) *done = 0;
  if (!IsOpenHandle(file) || (buffer == nullptr && count > 0)) return false;
  DWORD moved = 0;
  const bool ok = ::WriteFile(ToHandle(file), buffer, count, &moved, nullptr) != 0;
  if (done != nullptr) *done = moved;
  return ok;
}

uint32_t FileSeek(FileHandle file, int32_t offset) {
  if (!IsOpenHandle(file) || offset < 0) return kInvalidPosition;
  return ::SetFilePointer(ToHandle(file), offset, nullptr, FILE_BEGIN);
}

uint32_t FileGetSize(FileHandle file) {
  if (!IsOpenHandle(file)) return kInvalidPosition;
  // Asked with the high part, so that a file of 4 GiB or more fails instead of answering
  // its size modulo 4 GiB.
  DWORD high = 0;
  ::SetLastError(NO_ERROR);
  const DWORD low = ::GetFileSize(ToHandle(file), &high);
  if (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) return kInvalidPosition;
  if (high != 0) return kInvalidPosition;
  return low;
}

bool FileFlush(FileHandle file) {
  return IsOpenHandle(file) && ::FlushFileBuffers(ToHandle(file)) != 0;
}

bool FileDelete(const char16_t* path) {
  if (path == nullptr || path[0] == u'\0') return false;
  // As for opening: a read-only file stays, even where the file system would let it go.
  if (HasAttribute(path, FILE_ATTRIBUTE_READONLY)) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  return ::DeleteFileW(Wide(path)) != 0;
}

bool FileReplace(const char16_t* from, const char16_t* to) {
  if (from == nullptr || to == nullptr || from[0] == u'\0' || to[0] == u'\0') return false;
  // Only files are moved, and a read-only file is never replaced; said here rather than
  // left to how a given Windows version or file system (or wine run as root) treats it.
  if (HasAttribute(from, FILE_ATTRIBUTE_DIRECTORY) || HasAttribute(to, FILE_ATTRIBUTE_READONLY)) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  return ::MoveFileExW(Wide(from), Wide(to),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool DirectoryFlush(const char16_t* directory) {
  // The write-through move has made the rename durable; the directory only has to exist.
  return directory != nullptr && directory[0] != u'\0' &&
         HasAttribute(directory, FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace plat::win32
