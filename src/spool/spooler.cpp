// libmpxspool: the exported spooler calls over the printer files of the store.
//
// Handles are tokens from a registry, never addresses: a handle that was not handed out,
// or was closed already, is recognised and refused. Reads open the printer's file anew
// each time, so they see every change at once; writes replace the file by an atomic
// rename, so a reader sees either the old or the new text, never a mix.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

#include "mpxspool.h"
#include "printer_file.h"
#include "store.h"

namespace spool {
namespace {

constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kDwordSize = 4;
// Printer files hold a few dozen lines; anything this large is not one.
constexpr off_t kMaxPrinterFileSize = 16 * 1024 * 1024;

constexpr uintptr_t kFirstHandle = 0x5F0010;
constexpr uintptr_t kHandleStep = 0x10;

struct Registry {
  std::mutex lock;
  std::map<uintptr_t, std::string> paths;  // open handle -> its printer's file
  uintptr_t next = kFirstHandle;
};

Registry& Handles() {
  static Registry registry;
  return registry;
}

// Writers of this process queue here; writers of other processes on the directory lock.
std::mutex& WriteLock() {
  static std::mutex lock;
  return lock;
}

bool HandlePath(void* handle, std::string* path) {
  Registry& registry = Handles();
  std::lock_guard guard(registry.lock);
  const auto found = registry.paths.find(reinterpret_cast<uintptr_t>(handle));
  if (found == registry.paths.end()) return false;
  *path = found->second;
  return true;
}

uint32_t ErrorFromErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR: return MPX_ERROR_FILE_NOT_FOUND;
    case ENOMEM: return kErrorNotEnoughMemory;
    case ENOSPC:
    case EDQUOT: return kErrorDiskFull;
    default: return kErrorAccessDenied;
  }
}

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The whole file; 0 or a Win32 error.
uint32_t ReadPrinterFile(const std::string& path, std::string* text, mode_t* mode) {
  // Non-blocking, so a FIFO put in place of the file cannot hang the caller.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return ErrorFromErrno(errno);
  struct stat info {};
  uint32_t status = MPX_ERROR_SUCCESS;
  if (fstat(fd, &info) != 0) {
    status = ErrorFromErrno(errno);
  } else if (!S_ISREG(info.st_mode)) {
    status = MPX_ERROR_FILE_NOT_FOUND;  // no longer a printer
  } else if (info.st_size > kMaxPrinterFileSize) {
    status = kErrorAccessDenied;
  }
  if (status != MPX_ERROR_SUCCESS) {
    close(fd);
    return status;
  }
  if (mode != nullptr) *mode = info.st_mode & 07777;
  text->clear();
  char chunk[4096];
  for (;;) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int error = errno;
      close(fd);
      return ErrorFromErrno(error);
    }
    if (got == 0) break;
    text->append(chunk, static_cast<size_t>(got));
    if (text->size() > static_cast<size_t>(kMaxPrinterFileSize)) {
      close(fd);
      return kErrorAccessDenied;
    }
  }
  close(fd);
  return MPX_ERROR_SUCCESS;
}

bool WriteAll(int fd, const std::string& text) {
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t put = write(fd, text.data() + written, text.size() - written);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return false;
    written += static_cast<size_t>(put);
  }
  return true;
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Replaces the printer's file by its text with the value set: a temporary file in the
// same directory, synced, renamed over the old one, and the directory synced.
uint32_t StoreValue(const std::string& path, const std::string& name, uint32_t value) {
  std::lock_guard writer(WriteLock());
  const std::string directory = DirectoryOf(path);
  const int directoryFd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directoryFd < 0) return ErrorFromErrno(errno);
  // Serialises read-modify-write cycles of other processes on the same store.
  while (flock(directoryFd, LOCK_EX) != 0 && errno == EINTR) {
  }

  std::string text;
  mode_t mode = 0644;
  uint32_t status = ReadPrinterFile(path, &text, &mode);
  if (status == MPX_ERROR_SUCCESS) {
    const std::string updated = WithValue(text, name, value);
    std::string temporary = directory + "/.mpxspool.XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
      status = ErrorFromErrno(errno);
    } else {
      const bool written = WriteAll(fd, updated) && fchmod(fd, mode) == 0 && fsync(fd) == 0;
      const int writeError = errno;
      const bool closed = close(fd) == 0;
      if (!written || !closed || rename(temporary.c_str(), path.c_str()) != 0) {
        status = ErrorFromErrno(written && closed ? errno : writeError);
        unlink(temporary.c_str());
      } else if (fsync(directoryFd) != 0 && errno != EINVAL) {
        status = ErrorFromErrno(errno);
      }
    }
  }
  flock(directoryFd, LOCK_UN);
  close(directoryFd);
  return status;
}

uint32_t ReadDword(const char16_t* valueName, const std::string& path, uint32_t* value) {
  std::string name;
  if (!ToUtf8(valueName, &name)) return MPX_ERROR_FILE_NOT_FOUND;
  std::string text;
  const uint32_t status = ReadPrinterFile(path, &text, nullptr);
  if (status != MPX_ERROR_SUCCESS) return status;
  return FindValue(text, name, value) ? MPX_ERROR_SUCCESS : MPX_ERROR_FILE_NOT_FOUND;
}

}  // namespace
}  // namespace spool

// The exports catch everything: an exception must never cross the C boundary. The only
// one that can arise is std::bad_alloc.

extern "C" int32_t OpenPrinterW(const char16_t* printerName, void** handle, const void*) try {
  if (handle == nullptr) return 0;
  *handle = nullptr;
  std::string path;
  if (!spool::PrinterFilePath(printerName, &path) || !spool::IsRegularFile(path)) return 0;
  spool::Registry& registry = spool::Handles();
  std::lock_guard guard(registry.lock);
  const uintptr_t token = registry.next;
  registry.paths.emplace(token, std::move(path));
  registry.next += spool::kHandleStep;
  *handle = reinterpret_cast<void*>(token);
  return 1;
} catch (...) {
  return 0;
}

extern "C" int32_t ClosePrinter(void* handle) try {
  spool::Registry& registry = spool::Handles();
  std::lock_guard guard(registry.lock);
  return registry.paths.erase(reinterpret_cast<uintptr_t>(handle)) == 1 ? 1 : 0;
} catch (...) {
  return 0;
}

extern "C" uint32_t GetPrinterDataW(void* handle, const char16_t* valueName, uint32_t* type,
                                    uint8_t* data, uint32_t size, uint32_t* needed) try {
  std::string path;
  if (!spool::HandlePath(handle, &path)) return MPX_ERROR_INVALID_HANDLE;
  if (valueName == nullptr) return spool::kErrorInvalidParameter;
  uint32_t value = 0;
  const uint32_t status = spool::ReadDword(valueName, path, &value);
  if (status != MPX_ERROR_SUCCESS) return status;
  if (type != nullptr) *type = MPX_REG_DWORD;
  if (needed != nullptr) *needed = spool::kDwordSize;
  if (size < spool::kDwordSize) return MPX_ERROR_MORE_DATA;
  if (data == nullptr) return spool::kErrorInvalidParameter;
  for (uint32_t i = 0; i < spool::kDwordSize; ++i) {
    data[i] = static_cast<uint8_t>((value >> (8 * i)) & 0xFF);
  }
  return MPX_ERROR_SUCCESS;
} catch (...) {
  return spool::kErrorNotEnoughMemory;
}

extern "C" uint32_t SetPrinterDataW(void* handle, const char16_t* valueName, uint32_t type,
                                    const uint8_t* data, uint32_t size) try {
  std::string path;
  if (!spool::HandlePath(handle, &path)) return MPX_ERROR_INVALID_HANDLE;
  std::string name;
  if (valueName == nullptr || !spool::ToUtf8(valueName, &name) || !spool::IsStorableName(name)) {
    return spool::kErrorInvalidParameter;
  }
  // The store holds REG_DWORD values only.
  if (type != MPX_REG_DWORD || size != spool::kDwordSize || data == nullptr) {
    return spool::kErrorInvalidParameter;
  }
  const uint32_t value = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                         static_cast<uint32_t>(data[2]) << 16 |
                         static_cast<uint32_t>(data[3]) << 24;
  return spool::StoreValue(path, name, value);
} catch (...) {
  return spool::kErrorNotEnoughMemory;
}

extern "C" uint32_t MpxSpoolOpenHandleCount(void) {
  spool::Registry& registry = spool::Handles();
  std::lock_guard guard(registry.lock);
  return static_cast<uint32_t>(registry.paths.size());
}
