#include "file_layer.h"

#include <cstring>

namespace cal {

// ---- Memory -----------------------------------------------------------------------------------

int16_t MemBlockAlloc(uint32_t size, MemBlock& block, void** outPointer) {
  *outPointer = nullptr;
  block.base = plat::HeapAlloc(size, true);
  if (block.base == nullptr) return CALERR_MEMORY;
  *outPointer = block.base;
  return CAL_OK;
}

void MemBlockFree(MemBlock& block) {
  if (block.base != nullptr) plat::HeapFree(block.base);
  block.base = nullptr;
}

void MemBlockRelease(MemBlock& block, const void* inUse) {
  if (inUse != nullptr) MemBlockFree(block);
}

void HolderClear(BufferHolder& holder) { holder.data = nullptr; }

int16_t HolderAlloc(uint32_t size, BufferHolder& holder) {
  if (holder.data != nullptr) return CALERR_MEMORY;
  void* memory = nullptr;
  const int16_t status = MemBlockAlloc(size, holder.block, &memory);
  holder.data = static_cast<uint8_t*>(memory);
  return status;
}

void HolderRelease(BufferHolder& holder) { MemBlockRelease(holder.block, holder.data); }

void StrCopy(char* destination, uint32_t capacity, const char* source) {
  if (capacity == 0) return;
  uint32_t i = 0;
  for (; i + 1 < capacity && source[i] != '\0'; ++i) destination[i] = source[i];
  destination[i] = '\0';
}

// ---- Paths ------------------------------------------------------------------------------------

namespace {

// The full path of a context's file in a heap buffer: directory, separator, converted name.
// Both temporary buffers are freed by PathRelease on every exit.
struct PathBuffers {
  MemBlock path;
  MemBlock name;
};

uint32_t WideLength(const char16_t* text) {
  uint32_t n = 0;
  while (text[n] != u'\0') ++n;
  return n;
}

void PathRelease(PathBuffers& buffers) {
  MemBlockFree(buffers.path);
  MemBlockFree(buffers.name);
}

// CAL_OK with *path set, CALERR_MEMORY when the path buffers cannot be allocated, or
// CALERR_FILE (no directory, no name, or a name that does not convert). The caller calls
// PathRelease in every case.
int16_t PathBuild(const FileContext& file, PathBuffers& buffers, const char16_t** path) {
  buffers = PathBuffers{};
  *path = nullptr;
  if (file.directory == nullptr) return CALERR_FILE;
  const uint32_t nameLength = static_cast<uint32_t>(strnlen(file.name, FILE_NAME_SIZE));
  // An empty or unterminated name would name the directory itself, or something unknown.
  if (nameLength == 0 || nameLength >= FILE_NAME_SIZE) return CALERR_FILE;
  const uint32_t directoryLength = WideLength(file.directory);
  if (directoryLength > (UINT32_MAX / 2) - nameLength - 2) return CALERR_FILE;

  void* pathMemory = nullptr;
  const uint32_t pathUnits = directoryLength + nameLength + 2;
  if (MemBlockAlloc(pathUnits * 2, buffers.path, &pathMemory) != CAL_OK) return CALERR_MEMORY;
  auto* full = static_cast<char16_t*>(pathMemory);
  std::memcpy(full, file.directory, directoryLength * sizeof(char16_t));
  full[directoryLength] = plat::PathSeparator();

  void* nameMemory = nullptr;
  if (MemBlockAlloc((nameLength + 1) * 2, buffers.name, &nameMemory) != CAL_OK) {
    return CALERR_MEMORY;
  }
  auto* wideName = static_cast<char16_t*>(nameMemory);
  const int32_t converted = plat::AnsiToWide(file.name, static_cast<int32_t>(nameLength),
                                             wideName, static_cast<int32_t>(nameLength));
  if (converted <= 0 || static_cast<uint32_t>(converted) > nameLength) return CALERR_FILE;
  std::memcpy(full + directoryLength + 1, wideName,
              static_cast<uint32_t>(converted) * sizeof(char16_t));
  *path = full;
  return CAL_OK;
}

}  // namespace

// ---- Files ------------------------------------------------------------------------------------

void FileSetLocation(FileContext& file, const char16_t* directory, const char* name) {
  if (directory != nullptr) file.directory = directory;
  if (strnlen(name, FILE_NAME_SIZE) >= FILE_NAME_SIZE) {
    file.name[0] = '\0';  // does not fit: the next open fails
    return;
  }
  StrCopy(file.name, FILE_NAME_SIZE, name);
}

int16_t FileOpen(FileContext& file, int16_t mode) {
  plat::FileAccess access;
  if (mode == FILE_MODE_READ) {
    access = plat::FileAccess::Read;
  } else if (mode == FILE_MODE_READ_WRITE) {
    access = plat::FileAccess::ReadWrite;
  } else {
    return CALERR_FILE;
  }
  PathBuffers buffers;
  const char16_t* path = nullptr;
  int16_t status = PathBuild(file, buffers, &path);
  if (status == CAL_OK) {
    file.handle = plat::FileOpen(path, access, plat::FileDisposition::OpenExisting);
    if (file.handle == plat::kInvalidFile) status = CALERR_FILE;
  }
  PathRelease(buffers);
  return status;
}

int16_t FileRecreate(FileContext& file) {
  PathBuffers buffers;
  const char16_t* path = nullptr;
  int16_t status = PathBuild(file, buffers, &path);
  if (status == CAL_OK) {
    // A file that opens for writing is ours to replace; one that does not (read-only) is
    // left alone, and creating it new then fails because it exists.
    file.handle = plat::FileOpen(path, plat::FileAccess::Write, plat::FileDisposition::OpenExisting);
    if (file.handle != plat::kInvalidFile) {
      FileClose(file);
      if (!plat::FileDelete(path)) status = CALERR_FILE;
    }
  }
  if (status == CAL_OK) {
    file.handle = plat::FileOpen(path, plat::FileAccess::Write, plat::FileDisposition::CreateNew);
    if (file.handle == plat::kInvalidFile) {
      status = CALERR_FILE;
    } else {
      FileClose(file);
    }
  }
  PathRelease(buffers);
  return status;
}

int16_t FileOpenIn(FileContext& file, const char16_t* directory, const char* name, int16_t mode) {
  FileSetLocation(file, directory, name);
  return FileOpen(file, mode) == CAL_OK ? CAL_OK : CALERR_FILE;
}

int16_t FileOpenReadWrite(FileContext& file, const char16_t* directory, const char* name) {
  return FileOpenIn(file, directory, name, FILE_MODE_READ_WRITE);
}

int16_t FileCreateEmpty(FileContext& file, const char16_t* directory, const char* name) {
  FileSetLocation(file, directory, name);
  return FileRecreate(file) == CAL_OK ? CAL_OK : CALERR_FILE;
}

void FileClose(FileContext& file) {
  // A handle of 0 was never opened; an invalid one belongs to a failed open.
  if (file.handle != 0 && file.handle != plat::kInvalidFile) plat::FileClose(file.handle);
}

int16_t FileSeek(FileContext& file, int32_t offset) {
  if (offset < 0) return CALERR_FILE;
  return plat::FileSeek(file.handle, offset) == UINT32_MAX ? CALERR_FILE : CAL_OK;
}

int16_t FileRead(FileContext& file, void* buffer, uint32_t count) {
  uint32_t done = 0;
  if (!plat::FileRead(file.handle, buffer, count, &done) || done != count) return CALERR_FILE;
  return CAL_OK;
}

int16_t FileWrite(FileContext& file, const void* buffer, uint32_t count) {
  uint32_t done = 0;
  return plat::FileWrite(file.handle, buffer, count, &done) ? CAL_OK : CALERR_FILE;
}

int32_t FileGetSize(FileContext& file) {
  const uint32_t size = plat::FileGetSize(file.handle);
  if (size == UINT32_MAX || size > static_cast<uint32_t>(INT32_MAX)) return CALERR_FILE;
  return static_cast<int32_t>(size);
}

int16_t FileReadAll(FileContext& file, const char16_t* directory, const char* name) {
  FileSetLocation(file, directory, name);
  const int16_t opened = FileOpen(file, FILE_MODE_READ);
  // No memory for the path is no memory, not a missing file: a history that merely could not
  // be named must not read as no history, or the next write would drop its entries.
  if (opened == CALERR_MEMORY) return CALERR_MEMORY;
  if (opened != CAL_OK) return CALERR_NOFILE;
  int16_t status = CAL_OK;
  const int32_t size = FileGetSize(file);
  if (size == CALERR_FILE || size <= 0) {
    status = CALERR_FILE;
  } else if (HolderAlloc(static_cast<uint32_t>(size), file.holder) != CAL_OK) {
    status = CALERR_MEMORY;
  } else {
    file.dataLength = static_cast<uint32_t>(size);
    if (FileSeek(file, 0) != CAL_OK ||
        FileRead(file, file.holder.data, static_cast<uint32_t>(size)) != CAL_OK) {
      status = CALERR_FILE;
    }
  }
  FileClose(file);
  return status;
}

int16_t FileWriteData(FileContext& file, const char16_t* directory, const char* name) {
  if (FileOpenIn(file, directory, name, FILE_MODE_READ_WRITE) != CAL_OK) return CALERR_FILE;
  int16_t status = CAL_OK;
  if (file.writeOffset == WRITE_AT_END) {
    const int32_t size = FileGetSize(file);
    if (size == CALERR_FILE) {
      status = CALERR_FILE;
    } else {
      file.writeOffset = size;
    }
  }
  // The data must end where a 32-bit offset can still reach.
  if (status == CAL_OK &&
      (file.writeOffset < 0 ||
       static_cast<uint64_t>(file.writeOffset) + file.dataLength > static_cast<uint64_t>(INT32_MAX))) {
    status = CALERR_FILE;
  }
  if (status == CAL_OK &&
      (FileSeek(file, file.writeOffset) != CAL_OK ||
       FileWrite(file, file.holder.data, file.dataLength) != CAL_OK)) {
    status = CALERR_FILE;
  }
  FileClose(file);
  return status;
}

int16_t FileCopyWhole(FileContext& source, const char16_t* sourceDirectory,
                      const char* sourceName, FileContext& target,
                      const char16_t* targetDirectory, const char* targetName) {
  FileSetLocation(source, sourceDirectory, sourceName);
  const int16_t opened = FileOpen(source, FILE_MODE_READ);
  if (opened == CALERR_MEMORY) return CALERR_MEMORY;
  if (opened != CAL_OK) return CALERR_NOFILE;
  const int32_t size = FileGetSize(source);
  if (size == CALERR_FILE || size <= 0) {
    FileClose(source);
    return CALERR_FILE;
  }
  source.dataLength = static_cast<uint32_t>(size);
  target.dataLength = source.dataLength;
  int16_t status = FileCreateEmpty(target, targetDirectory, targetName);
  if (status == CAL_OK) status = FileOpenIn(target, targetDirectory, targetName, FILE_MODE_READ_WRITE);
  if (status == CAL_OK) {
    uint32_t copied = 0;
    if (FileSeek(source, 0) != CAL_OK || FileSeek(target, 0) != CAL_OK ||
        !plat::FileCopy(source.handle, target.handle, source.dataLength, &copied) ||
        copied != source.dataLength) {
      status = CALERR_FILE;
    }
    FileClose(target);
  }
  FileClose(source);
  return status == CAL_OK ? CAL_OK : CALERR_FILE;
}

int16_t FileCreateNew(FileContext& file, const char16_t* directory, const char* name) {
  FileSetLocation(file, directory, name);
  PathBuffers buffers;
  const char16_t* path = nullptr;
  int16_t status = PathBuild(file, buffers, &path);
  if (status == CAL_OK) {
    file.handle = plat::FileOpen(path, plat::FileAccess::Write, plat::FileDisposition::CreateNew);
    if (file.handle == plat::kInvalidFile) {
      status = CALERR_FILE;
    } else {
      FileClose(file);
    }
  }
  PathRelease(buffers);
  return status;
}

int16_t FileRemove(FileContext& file, const char16_t* directory, const char* name) {
  FileSetLocation(file, directory, name);
  PathBuffers buffers;
  const char16_t* path = nullptr;
  int16_t status = PathBuild(file, buffers, &path);
  if (status == CAL_OK && !plat::FileDelete(path)) status = CALERR_FILE;
  PathRelease(buffers);
  return status;
}

int16_t FileFlush(FileContext& file) {
  return plat::FileFlush(file.handle) ? CAL_OK : CALERR_FILE;
}

int16_t FileMoveOver(FileContext& source, FileContext& target) {
  PathBuffers sourceBuffers{};
  PathBuffers targetBuffers{};
  const char16_t* sourcePath = nullptr;
  const char16_t* targetPath = nullptr;
  int16_t status = PathBuild(source, sourceBuffers, &sourcePath);
  if (status == CAL_OK) status = PathBuild(target, targetBuffers, &targetPath);
  if (status == CAL_OK && !plat::FileReplace(sourcePath, targetPath)) status = CALERR_FILE;
  if (status == CAL_OK && !plat::DirectoryFlush(target.directory)) status = CALERR_FILE;
  PathRelease(sourceBuffers);
  PathRelease(targetBuffers);
  return status;
}

// ---- Byte order -------------------------------------------------------------------------------

void ByteSwap(uint8_t* data, int32_t length, int16_t unit) {
  if (length <= 0 || (unit != 2 && unit != 4)) return;
  const uint32_t step = static_cast<uint32_t>(unit);
  const uint32_t whole = static_cast<uint32_t>(length) / step * step;
  for (uint32_t i = 0; i < whole; i += step) {
    for (uint32_t a = i, b = i + step - 1; a < b; ++a, --b) {
      const uint8_t t = data[a];
      data[a] = data[b];
      data[b] = t;
    }
  }
}

}  // namespace cal
