// File calls on POSIX, behaving like the Win32 calls they stand in for.
//
// Windows keeps a read-only attribute that stops even an administrator from writing or
// deleting the file; POSIX permission bits do not stop root. So a regular file without any
// write permission bit counts as read-only here: it cannot be opened for writing, deleted
// or replaced, whoever asks. Share modes have no POSIX counterpart and are ignored.
#include <fcntl.h>
#if defined(__linux__)
#include <sys/sendfile.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "posix_shared.h"

namespace plat::posix {
namespace {

constexpr uint32_t kInvalidPosition = 0xFFFFFFFF;
// Linux moves at most this much per read or write call.
constexpr size_t kMaxTransfer = 0x7FFFF000;

bool IsReadOnlyFile(const struct stat& info) {
  return S_ISREG(info.st_mode) && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// lstat of a path that must not be a read-only file: false (errno EACCES) when it is one.
// A path that does not exist passes.
bool NotReadOnly(const char* native) {
  struct stat info {};
  if (lstat(native, &info) != 0) return true;
  if (IsReadOnlyFile(info)) {
    errno = EACCES;
    return false;
  }
  return true;
}

// Handle 0 is never handed out (see FileOpen), so a stray 0 cannot reach stdin.
int ToDescriptor(FileHandle file) {
  if (file <= 0 || file > INT32_MAX) return -1;
  return static_cast<int>(file);
}

void CloseKeepingErrno(int fd) {
  const int saved = errno;
  close(fd);
  errno = saved;
}

}  // namespace

FileHandle FileOpen(const char16_t* path, FileAccess access, FileDisposition disposition) {
  char* native = NativePath(path);
  if (native == nullptr) return kInvalidFile;
  int flags = O_CLOEXEC | O_NOCTTY;
  switch (access) {
    case FileAccess::Read: flags |= O_RDONLY; break;
    case FileAccess::Write: flags |= O_WRONLY; break;
    case FileAccess::ReadWrite: flags |= O_RDWR; break;
  }
  if (disposition == FileDisposition::CreateNew) flags |= O_CREAT | O_EXCL;
  int fd = -1;
  do {
    fd = open(native, flags, 0666);
  } while (fd < 0 && errno == EINTR);
  std::free(native);
  if (fd < 0) return kInvalidFile;

  // Tested on the open descriptor, so a rename in between cannot slip past.
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    CloseKeepingErrno(fd);
    return kInvalidFile;
  }
  if (S_ISDIR(info.st_mode)) {
    close(fd);
    errno = EISDIR;
    return kInvalidFile;
  }
  if (access != FileAccess::Read && disposition == FileDisposition::OpenExisting &&
      IsReadOnlyFile(info)) {
    close(fd);
    errno = EACCES;
    return kInvalidFile;
  }
  // Callers take handle 0 for "no handle"; a process with stdin closed could get it.
  if (fd == 0) {
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 1);
    close(fd);
    if (moved < 0) return kInvalidFile;
    fd = moved;
  }
  return fd;
}

bool FileClose(FileHandle file) {
  const int fd = ToDescriptor(file);
  if (fd < 0) {
    errno = EBADF;
    return false;
  }
  // On Linux the descriptor is gone even when close reports EINTR; retrying could close
  // a descriptor another thread has just been given.
  return close(fd) == 0 || errno == EINTR;
}

bool FileRead(FileHandle file, void* buffer, uint32_t count, uint32_t* done) {
  if (done != nullptr) *done = 0;
  const int fd = ToDescriptor(file);
  if (fd < 0 || (buffer == nullptr && count > 0)) {
    errno = fd < 0 ? EBADF : EFAULT;
    return false;
  }
  auto* bytes = static_cast<uint8_t*>(buffer);
  size_t moved = 0;
  // ReadFile on a file returns less only at the end of the file.
  while (moved < count) {
    size_t chunk = count - moved;
    if (chunk > kMaxTransfer) chunk = kMaxTransfer;
    const ssize_t got = read(fd, bytes + moved, chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      if (done != nullptr) *done = static_cast<uint32_t>(moved);
      return false;
    }
    if (got == 0) break;
    moved += static_cast<size_t>(got);
  }
  if (done != nullptr) *done = static_cast<uint32_t>(moved);
  return true;
}

bool FileWrite(FileHandle file, const void* buffer, uint32_t count, uint32_t* done) {
  if (done != nullptr) *done = 0;
  const int fd = ToDescriptor(file);
  if (fd < 0 || (buffer == nullptr && count > 0)) {
    errno = fd < 0 ? EBADF : EFAULT;
    return false;
  }
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  size_t moved = 0;
  while (moved < count) {
    size_t chunk = count - moved;
    if (chunk > kMaxTransfer) chunk = kMaxTransfer;
    const ssize_t put = write(fd, bytes + moved, chunk);
    if (put < 0) {
      if (errno == EINTR) continue;
      if (done != nullptr) *done = static_cast<uint32_t>(moved);
      return false;
    }
    moved += static_cast<size_t>(put);
  }
  if (done != nullptr) *done = static_cast<uint32_t>(moved);
  return true;
}

uint32_t FileSeek(FileHandle file, int32_t offset) {
  const int fd = ToDescriptor(file);
  if (fd < 0 || offset < 0) {
    errno = fd < 0 ? EBADF : EINVAL;
    return kInvalidPosition;
  }
  const off_t position = lseek(fd, offset, SEEK_SET);
  if (position < 0) return kInvalidPosition;
  return static_cast<uint32_t>(position);
}

uint32_t FileGetSize(FileHandle file) {
  const int fd = ToDescriptor(file);
  struct stat info {};
  if (fd < 0 || fstat(fd, &info) != 0) return kInvalidPosition;
  if (info.st_size < 0 || static_cast<uint64_t>(info.st_size) >= kInvalidPosition) {
    errno = EOVERFLOW;
    return kInvalidPosition;
  }
  return static_cast<uint32_t>(info.st_size);
}

namespace {

constexpr size_t kCopyBufferSize = 256 * 1024;

enum class CopyStep : uint8_t { Done, Refused, Failed };

#if defined(__linux__)
// Errors by which a copy call says it cannot serve these two files (another file system, a
// kernel without the call, a descriptor kind it does not take), not that a read or a write
// failed: the next method takes over from the current positions.
bool CopyRefused(int error) {
  return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP ||
         error == ENOTSUP || error == EBADF;
}

// One in-kernel method until count bytes are moved or the source ends. A first call that
// moves nothing hands over as well: some file systems answer 0 instead of refusing.
template <typename Call>
CopyStep CopyInKernel(Call call, size_t count, size_t* moved) {
  const size_t start = *moved;
  while (*moved < count) {
    size_t chunk = count - *moved;
    if (chunk > kMaxTransfer) chunk = kMaxTransfer;
    const ssize_t got = call(chunk);
    if (got > 0) {
      *moved += static_cast<size_t>(got);
      continue;
    }
    if (got == 0) return *moved == start ? CopyStep::Refused : CopyStep::Done;
    if (errno == EINTR) continue;
    return *moved == start && CopyRefused(errno) ? CopyStep::Refused : CopyStep::Failed;
  }
  return CopyStep::Done;
}
#endif

bool CopyBuffered(int in, int out, size_t count, size_t* moved) {
  const size_t size = count - *moved < kCopyBufferSize ? count - *moved : kCopyBufferSize;
  if (size == 0) return true;
  auto* buffer = static_cast<uint8_t*>(std::malloc(size));
  if (buffer == nullptr) {
    errno = ENOMEM;
    return false;
  }
  bool ok = true;
  while (ok && *moved < count) {
    const size_t chunk = count - *moved < size ? count - *moved : size;
    const ssize_t got = read(in, buffer, chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (got == 0) break;
    size_t put = 0;
    while (put < static_cast<size_t>(got)) {
      const ssize_t wrote = write(out, buffer + put, static_cast<size_t>(got) - put);
      if (wrote < 0) {
        if (errno == EINTR) continue;
        ok = false;
        break;
      }
      put += static_cast<size_t>(wrote);
    }
    *moved += put;
  }
  const int saved = errno;
  std::free(buffer);
  errno = saved;
  return ok;
}

}  // namespace

bool FileCopy(FileHandle from, FileHandle to, uint32_t count, uint32_t* done, CopyMethod first) {
  if (done != nullptr) *done = 0;
  const int in = ToDescriptor(from);
  const int out = ToDescriptor(to);
  if (in < 0 || out < 0) {
    errno = EBADF;
    return false;
  }
  size_t moved = 0;
  bool ok = true;
  CopyStep step = CopyStep::Refused;
#if defined(__linux__)
  if (first == CopyMethod::Kernel) {
    step = CopyInKernel(
        [&](size_t chunk) { return copy_file_range(in, nullptr, out, nullptr, chunk, 0); }, count,
        &moved);
  }
  if (step == CopyStep::Refused && first != CopyMethod::Buffered) {
    step = CopyInKernel([&](size_t chunk) { return sendfile(out, in, nullptr, chunk); }, count,
                        &moved);
  }
#else
  (void)first;  // no in-kernel copy here: always through the buffer
#endif
  if (step == CopyStep::Refused) ok = CopyBuffered(in, out, count, &moved);
  if (step == CopyStep::Failed) ok = false;
#if defined(__linux__)
  // Start writing the copy out now, so that a flush that follows has less left to wait for.
  if (ok && moved > 0) sync_file_range(out, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
  if (done != nullptr) *done = static_cast<uint32_t>(moved);
  return ok;
}

bool FileFlush(FileHandle file) {
  const int fd = ToDescriptor(file);
  if (fd < 0) {
    errno = EBADF;
    return false;
  }
  return fsync(fd) == 0;
}

bool FileDelete(const char16_t* path) {
  char* native = NativePath(path);
  if (native == nullptr) return false;
  const bool deleted = NotReadOnly(native) && unlink(native) == 0;
  std::free(native);
  return deleted;
}

bool FileReplace(const char16_t* from, const char16_t* to) {
  char* nativeFrom = NativePath(from);
  char* nativeTo = NativePath(to);
  bool replaced = false;
  if (nativeFrom != nullptr && nativeTo != nullptr) {
    struct stat info {};
    // A directory is not a file to move, whatever rename() would allow.
    if (lstat(nativeFrom, &info) == 0 && S_ISDIR(info.st_mode)) {
      errno = EISDIR;
    } else {
      replaced = NotReadOnly(nativeTo) && std::rename(nativeFrom, nativeTo) == 0;
    }
  }
  std::free(nativeFrom);
  std::free(nativeTo);
  return replaced;
}

bool DirectoryFlush(const char16_t* directory) {
  char* native = NativePath(directory);
  if (native == nullptr) return false;
  int fd = -1;
  do {
    fd = open(native, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  std::free(native);
  if (fd < 0) return false;
  // A file system that cannot sync a directory has nothing to make durable.
  const bool flushed = fsync(fd) == 0 || errno == EINVAL;
  close(fd);
  return flushed;
}

}  // namespace plat::posix
