// The file layer: the only place where the calibration module touches the file system and
// the heap. Files are named by a UTF-16 directory and an 8-bit file name; memory comes
// zero-filled from the global heap and goes back to it before the exported call returns.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "calibmod.h"  // CAL_OK, CALERR_FILE, CALERR_MEMORY, CALERR_UNSUPPORTED
#include "platform.h"

namespace cal {

// FileReadAll could not open its file. Never leaves the module.
inline constexpr int16_t CALERR_NOFILE = -2;

// ---- Memory -----------------------------------------------------------------------------------

// One allocation from the global heap; base is null while the block is empty.
struct MemBlock {
  void* base;
};

// A block and the pointer handed to users. data non-null means "in use"; after an allocation
// it equals block.base. A caller may point data at a buffer it owns elsewhere (to write it),
// and the holder then owns nothing.
struct BufferHolder {
  MemBlock block;
  uint8_t* data;
};

// Sets *outPointer to null, then allocates size zero-filled bytes into block.base:
// CAL_OK and *outPointer == block.base, or CALERR_MEMORY with block.base null.
int16_t MemBlockAlloc(uint32_t size, MemBlock& block, void** outPointer);
// Frees block.base when it is set and empties the block.
void MemBlockFree(MemBlock& block);
// MemBlockFree only when inUse is non-null.
void MemBlockRelease(MemBlock& block, const void* inUse);

void HolderClear(BufferHolder& holder);
// CALERR_MEMORY at once while the holder is in use; else allocates size bytes into it.
int16_t HolderAlloc(uint32_t size, BufferHolder& holder);
// Frees the memory when the holder is in use. data keeps its value: HolderClear before the
// holder is allocated again.
void HolderRelease(BufferHolder& holder);

// Copies source up to and including its NUL into destination, which holds capacity bytes.
// A source that does not fit is cut to capacity - 1 bytes; the result always ends in a NUL.
void StrCopy(char* destination, uint32_t capacity, const char* source);

// ---- Files ------------------------------------------------------------------------------------

inline constexpr uint32_t FILE_NAME_SIZE = 32;  // name field: at most 31 characters and a NUL

inline constexpr int16_t FILE_MODE_READ = 0;
inline constexpr int16_t FILE_MODE_READ_WRITE = 1;

// The whole-data write position "at the current end of the file".
inline constexpr int32_t WRITE_AT_END = -1;

// One file as the module sees it. Lives in the caller's storage.
struct FileContext {
  char name[FILE_NAME_SIZE];    // 8-bit file name, NUL-terminated
  plat::FileHandle handle;      // plat::kInvalidFile after a failed open
  const char16_t* directory;    // borrowed, without a trailing separator
  uint32_t dataLength;          // set by FileReadAll; the count FileWriteData writes
  int32_t writeOffset;          // where FileWriteData writes; WRITE_AT_END appends
  BufferHolder holder;          // the data of FileReadAll / FileWriteData
};

// Stores directory when it is non-null (null keeps the one already there) and copies name.
// A name of more than 31 bytes does not fit: the name field is left empty, so the next open
// fails with CALERR_FILE instead of opening a cut name.
void FileSetLocation(FileContext& file, const char16_t* directory, const char* name);

// Opens the existing file for reading (FILE_MODE_READ) or reading and writing
// (FILE_MODE_READ_WRITE); never creates or truncates. CAL_OK, CALERR_MEMORY (no memory for
// the path) or CALERR_FILE.
int16_t FileOpen(FileContext& file, int16_t mode);
// Deletes the file if it opens for writing, then creates it new and empty and closes it.
// A file that exists but cannot be opened for writing (read-only) is left alone: CALERR_FILE.
int16_t FileRecreate(FileContext& file);

int16_t FileOpenIn(FileContext& file, const char16_t* directory, const char* name, int16_t mode);
int16_t FileOpenReadWrite(FileContext& file, const char16_t* directory, const char* name);
int16_t FileCreateEmpty(FileContext& file, const char16_t* directory, const char* name);
void FileClose(FileContext& file);

// Positions at offset from the start of the file.
int16_t FileSeek(FileContext& file, int32_t offset);
// Reads exactly count bytes; a short read is CALERR_FILE.
int16_t FileRead(FileContext& file, void* buffer, uint32_t count);
// Only the write call's own failure is CALERR_FILE.
int16_t FileWrite(FileContext& file, const void* buffer, uint32_t count);
// The size in bytes, or CALERR_FILE. Sizes of 2 GiB or more cannot be positioned in and
// are reported as CALERR_FILE too.
int32_t FileGetSize(FileContext& file);

// Reads the whole file into file.holder (cleared beforehand) and sets dataLength.
// CALERR_NOFILE when it cannot open, CALERR_FILE for an empty or unreadable file,
// CALERR_MEMORY when the holder is in use or an allocation (the path's too) fails. Once
// allocated, the holder owns the memory whatever follows: the caller releases it, after a
// failure too.
int16_t FileReadAll(FileContext& file, const char16_t* directory, const char* name);
// Writes dataLength bytes from holder.data at writeOffset (WRITE_AT_END: at the end, and
// writeOffset keeps the resolved offset). The file must exist; nothing is truncated.
int16_t FileWriteData(FileContext& file, const char16_t* directory, const char* name);

// Copies the whole source file into a target file made new and empty first, with the
// platform's whole-file copy (in the kernel where it can): the bytes of FileReadAll followed
// by FileCreateEmpty and FileWriteData at offset 0, without holding them in memory. The
// source is opened and sized before the target is touched: CALERR_NOFILE when it does not
// open (CALERR_MEMORY when its path cannot be allocated), CALERR_FILE when it is empty or
// cannot be sized. Once the target is made: CALERR_FILE when it cannot be opened or
// written, or the source ends early. source.dataLength and target.dataLength receive the
// size once known. Both files are closed again on every path.
int16_t FileCopyWhole(FileContext& source, const char16_t* sourceDirectory,
                      const char* sourceName, FileContext& target,
                      const char16_t* targetDirectory, const char* targetName);

// Replacing a file whole. A new content is written under another name, flushed, and moved
// over the file, so the file holds either its old or its new content after any failure.

// Creates the named file new and empty and closes it; CALERR_FILE when a file of that name
// exists already or the file cannot be created. Nothing existing is ever touched.
int16_t FileCreateNew(FileContext& file, const char16_t* directory, const char* name);
// Deletes the named file. CAL_OK or CALERR_FILE.
int16_t FileRemove(FileContext& file, const char16_t* directory, const char* name);
// Flushes the open file to the disk. CAL_OK or CALERR_FILE.
int16_t FileFlush(FileContext& file);
// Puts the file of source (its location set) in place of the file of target (in the same
// directory) in one step, then flushes the directory so the move survives a crash.
// CAL_OK or CALERR_FILE.
int16_t FileMoveOver(FileContext& source, FileContext& target);

// ---- Byte order -------------------------------------------------------------------------------

// Unit 2 exchanges the bytes of each whole 2-byte unit, unit 4 reverses each whole 4-byte
// unit. Trailing bytes, a negative length and any other unit are left alone.
void ByteSwap(uint8_t* data, int32_t length, int16_t unit);

// Whether the host's byte order differs from the table file's (little-endian).
constexpr int32_t HostNeedsSwap() { return std::endian::native == std::endian::little ? 0 : 1; }

// Fixed-width loads and stores of file data. The little-endian form reads the table file's
// own fields; the host-order form reads data that has already been converted in place.
inline uint32_t LoadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint16_t LoadLe16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t LoadHost32(const uint8_t* p) {
  uint32_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}
inline uint16_t LoadHost16(const uint8_t* p) {
  uint16_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

}  // namespace cal
