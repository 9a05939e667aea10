// The fault-injecting test backend: heap, clock, locale and printers in memory, files on
// the real file system through the native file code, and any single operation made to fail.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>

#include "../posix/posix_shared.h"
#include "platform.h"
#include "testing/fault_control.h"

// Files go through the native file calls, with the native separator.
#if defined(_WIN32)
#include "../win32/win32_calls.h"
namespace plat {
namespace native = win32;
constexpr char16_t kNativeSeparator = u'\\';
}  // namespace plat
#else
namespace plat {
namespace native = posix;
constexpr char16_t kNativeSeparator = u'/';
}  // namespace plat
#endif

namespace plat {
namespace {

constexpr LocalTime kDefaultClock{2002, 2, 5, 8, 9, 5, 3, 0};
constexpr uint8_t kUninitialisedByte = 0xCD;
constexpr uint32_t kRegBinary = 3;
constexpr int kCrashExitCode = 77;
// Handles are tokens, never addresses, so a closed handle is never valid again.
constexpr uintptr_t kFirstPrinterHandle = 0x7E570000;
constexpr uintptr_t kPrinterHandleStep = 0x10;

constexpr size_t kFileOpKinds = static_cast<size_t>(testing::FileOp::Any) + 1;

struct PrinterValue {
  uint32_t type = 0;
  std::string bytes;
};

// Registry value names ignore ASCII case.
struct ValueNameLess {
  static char16_t Fold(char16_t c) { return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c; }
  bool operator()(const std::u16string& a, const std::u16string& b) const {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
      const char16_t x = Fold(a[i]);
      const char16_t y = Fold(b[i]);
      if (x != y) return x < y;
    }
    return a.size() < b.size();
  }
};
using PrinterValues = std::map<std::u16string, PrinterValue, ValueNameLess>;

struct State {
  std::mutex lock;

  // Heap: live blocks and the Reset() generation they were handed out in.
  uint64_t generation = 0;
  std::unordered_map<void*, uint64_t> blocks;
  uint32_t allocations = 0;
  uint32_t liveBlocks = 0;
  uint32_t failAllocationAt = 0;

  LocalTime clock = kDefaultClock;

  std::string country = "1";
  bool failLocale = false;
  uint32_t localeCalls = 0;
  uint32_t failLocaleAt = 0;

  std::map<std::u16string, PrinterValues> printers;
  std::map<uintptr_t, std::u16string> handles;
  uintptr_t nextHandle = kFirstPrinterHandle;
  bool failPrinterOpen = false;
  uint32_t printerReadError = 0;
  uint32_t printerOpens = 0;
  uint32_t printerReads = 0;

  std::array<uint32_t, kFileOpKinds> fileOps{};
  std::array<uint32_t, kFileOpKinds> failFileAt{};
  uint32_t crashAt = 0;
};

State& Shared() {
  static State state;
  return state;
}

// The absolute count at which "the nth from now" falls; 0 stays "never".
uint32_t FromNow(uint32_t current, uint32_t nth) { return nth == 0 ? 0 : current + nth; }

size_t Index(testing::FileOp op) { return static_cast<size_t>(op); }

enum class Fault : uint8_t { None, Fail, Short };

// Counts one file operation and tells whether it is to fail; ends the process first when
// this is the operation the crash was set for.
Fault CountFileOp(testing::FileOp op) {
  using testing::FileOp;
  State& s = Shared();
  std::lock_guard guard(s.lock);
  const uint32_t any = ++s.fileOps[Index(FileOp::Any)];
  if (s.crashAt != 0 && any == s.crashAt) std::_Exit(kCrashExitCode);
  const uint32_t own = ++s.fileOps[Index(op)];
  Fault fault = Fault::None;
  uint32_t& anyAt = s.failFileAt[Index(FileOp::Any)];
  if (anyAt != 0 && any == anyAt) {
    anyAt = 0;
    fault = Fault::Fail;
  }
  uint32_t& ownAt = s.failFileAt[Index(op)];
  if (ownAt != 0 && own == ownAt) {
    ownAt = 0;
    fault = Fault::Fail;
  }
  if (op == FileOp::Read) {
    uint32_t& shortAt = s.failFileAt[Index(FileOp::ShortRead)];
    if (shortAt != 0 && own == shortAt) {
      shortAt = 0;
      if (fault == Fault::None) fault = Fault::Short;
    }
  }
  return fault;
}

}  // namespace

// ---- Heap ---------------------------------------------------------------------------------

void* HeapAlloc(uint32_t size, bool zeroFill) {
  State& s = Shared();
  {
    std::lock_guard guard(s.lock);
    ++s.allocations;
    if (s.failAllocationAt != 0 && s.allocations == s.failAllocationAt) {
      s.failAllocationAt = 0;
      return nullptr;
    }
  }
  const size_t bytes = size == 0 ? 1 : size;
  void* block = std::malloc(bytes);
  if (block == nullptr) return nullptr;
  std::memset(block, zeroFill ? 0 : kUninitialisedByte, bytes);
  std::lock_guard guard(s.lock);
  s.blocks[block] = s.generation;
  ++s.liveBlocks;
  return block;
}

void HeapFree(void* block) {
  if (block == nullptr) return;
  State& s = Shared();
  {
    std::lock_guard guard(s.lock);
    const auto found = s.blocks.find(block);
    if (found == s.blocks.end()) {
      std::fprintf(stderr, "test heap: HeapFree of %p, which is not a live block\n", block);
      std::abort();
    }
    if (found->second == s.generation) --s.liveBlocks;
    s.blocks.erase(found);
  }
  std::free(block);
}

// ---- Printers -------------------------------------------------------------------------------

bool PrinterOpen(const char16_t* name, void** handle) {
  if (handle != nullptr) *handle = nullptr;
  State& s = Shared();
  std::lock_guard guard(s.lock);
  ++s.printerOpens;
  if (handle == nullptr || name == nullptr || s.failPrinterOpen) return false;
  const std::u16string printer(name);
  if (s.printers.find(printer) == s.printers.end()) return false;
  const uintptr_t token = s.nextHandle;
  s.nextHandle += kPrinterHandleStep;
  s.handles.emplace(token, printer);
  *handle = reinterpret_cast<void*>(token);
  return true;
}

void PrinterClose(void* handle) {
  State& s = Shared();
  std::lock_guard guard(s.lock);
  s.handles.erase(reinterpret_cast<uintptr_t>(handle));
}

uint32_t PrinterGetData(void* handle, const char16_t* valueName, uint32_t* type, uint8_t* data,
                        uint32_t size, uint32_t* needed) {
  State& s = Shared();
  std::lock_guard guard(s.lock);
  ++s.printerReads;
  const auto open = s.handles.find(reinterpret_cast<uintptr_t>(handle));
  if (open == s.handles.end()) return kErrorInvalidHandle;
  if (valueName == nullptr) return kErrorInvalidParameter;
  if (s.printerReadError != 0) return s.printerReadError;
  const PrinterValues& values = s.printers[open->second];
  const auto value = values.find(std::u16string(valueName));
  if (value == values.end()) return kErrorFileNotFound;
  const auto length = static_cast<uint32_t>(value->second.bytes.size());
  if (type != nullptr) *type = value->second.type;
  if (needed != nullptr) *needed = length;
  if (length > size) return kErrorMoreData;
  if (data == nullptr && length > 0) return kErrorInvalidParameter;
  if (length > 0) std::memcpy(data, value->second.bytes.data(), length);
  return kErrorSuccess;
}

// ---- Clock and locale -----------------------------------------------------------------------

void GetLocalTime(LocalTime* time) {
  if (time == nullptr) return;
  State& s = Shared();
  std::lock_guard guard(s.lock);
  *time = s.clock;
}

int32_t GetLocaleCountry(char* buffer, int32_t size) {
  State& s = Shared();
  std::lock_guard guard(s.lock);
  ++s.localeCalls;
  if (s.failLocale) return 0;
  if (s.failLocaleAt != 0 && s.localeCalls == s.failLocaleAt) {
    s.failLocaleAt = 0;
    return 0;
  }
  return posix::CopyCountryText(s.country.c_str(), buffer, size);
}

// ---- Files ----------------------------------------------------------------------------------

FileHandle FileOpen(const char16_t* path, FileAccess access, FileDisposition disposition) {
  const auto op = disposition == FileDisposition::CreateNew ? testing::FileOp::Create
                                                            : testing::FileOp::Open;
  if (CountFileOp(op) != Fault::None) return kInvalidFile;
  return native::FileOpen(path, access, disposition);
}

bool FileClose(FileHandle file) {
  const Fault fault = CountFileOp(testing::FileOp::Close);
  const bool closed = native::FileClose(file);
  return fault == Fault::None && closed;
}

bool FileRead(FileHandle file, void* buffer, uint32_t count, uint32_t* done) {
  switch (CountFileOp(testing::FileOp::Read)) {
    case Fault::Fail:
      if (done != nullptr) *done = 0;
      return false;
    case Fault::Short:
      return native::FileRead(file, buffer, count == 0 ? 0 : count - 1, done);
    case Fault::None:
      break;
  }
  return native::FileRead(file, buffer, count, done);
}

bool FileWrite(FileHandle file, const void* buffer, uint32_t count, uint32_t* done) {
  if (CountFileOp(testing::FileOp::Write) != Fault::None) {
    if (done != nullptr) *done = 0;
    return false;
  }
  return native::FileWrite(file, buffer, count, done);
}

// The copy goes through this backend's own reads and writes, so that each of them can fail,
// fall short or crash like any other.
bool FileCopy(FileHandle from, FileHandle to, uint32_t count, uint32_t* done) {
  if (done != nullptr) *done = 0;
  std::array<uint8_t, 64 * 1024> buffer;
  uint32_t moved = 0;
  while (moved < count) {
    const uint32_t chunk = std::min<uint32_t>(count - moved, static_cast<uint32_t>(buffer.size()));
    uint32_t got = 0;
    uint32_t put = 0;
    const bool read = FileRead(from, buffer.data(), chunk, &got);
    const bool written = read && (got == 0 || FileWrite(to, buffer.data(), got, &put));
    if (!read || !written) {
      if (done != nullptr) *done = moved;
      return false;
    }
    moved += put;
    if (got < chunk) break;  // the source ended
  }
  if (done != nullptr) *done = moved;
  return true;
}

uint32_t FileSeek(FileHandle file, int32_t offset) {
  if (CountFileOp(testing::FileOp::Seek) != Fault::None) return 0xFFFFFFFF;
  return native::FileSeek(file, offset);
}

uint32_t FileGetSize(FileHandle file) {
  if (CountFileOp(testing::FileOp::Size) != Fault::None) return 0xFFFFFFFF;
  return native::FileGetSize(file);
}

bool FileFlush(FileHandle file) {
  return CountFileOp(testing::FileOp::Flush) == Fault::None && native::FileFlush(file);
}

bool FileDelete(const char16_t* path) {
  return CountFileOp(testing::FileOp::Delete) == Fault::None && native::FileDelete(path);
}

bool FileReplace(const char16_t* from, const char16_t* to) {
  return CountFileOp(testing::FileOp::Replace) == Fault::None && native::FileReplace(from, to);
}

bool DirectoryFlush(const char16_t* directory) {
  return CountFileOp(testing::FileOp::DirectoryFlush) == Fault::None &&
         native::DirectoryFlush(directory);
}

int32_t AnsiToWide(const char* text, int32_t count, char16_t* out, int32_t capacity) {
  return native::AnsiToWide(text, count, out, capacity);
}

char16_t PathSeparator() { return kNativeSeparator; }

// ---- Control --------------------------------------------------------------------------------

namespace testing {

void Reset() {
  State& s = Shared();
  std::lock_guard guard(s.lock);
  // Blocks of earlier tests may still be freed later; they just no longer count as live.
  ++s.generation;
  s.allocations = 0;
  s.liveBlocks = 0;
  s.failAllocationAt = 0;
  s.clock = kDefaultClock;
  s.country = "1";
  s.failLocale = false;
  s.localeCalls = 0;
  s.failLocaleAt = 0;
  s.printers.clear();
  s.handles.clear();
  s.failPrinterOpen = false;
  s.printerReadError = 0;
  s.printerOpens = 0;
  s.printerReads = 0;
  s.fileOps.fill(0);
  s.failFileAt.fill(0);
  s.crashAt = 0;
}

void FailAllocation(uint32_t nth) {
  State& s = Shared();
  std::lock_guard guard(s.lock);
  s.failAllocationAt = FromNow(s.allocations, nth);
}

uint32_t AllocationCount() {
  State& s = Shared();
  std::lock_guard guard(s.lock);
  return s.allocations;
}

uint32_t LiveBlocks() {
  State& s = Shared();
  std::lock_guard guard(s.lock);
  return s.liveBlocks;
}

void SetClock(const LocalTime& time) {
  State& s = Shared();
  std::lock_guard guard(s.lock);
  s.clock = time;
}

void SetLocaleCountry(const char* code) {
  State& s = Shared();
  std::lock_guard guard(s.lock);
  s.country = code == nullptr ? "" : code;
}

void FailLocale(bool fail) {
  State& s = Shared();
  std::lock_guard guard(s.lock);
  s.failLocale = fail;
}

void FailLocaleCall(uint32_t nth) {
  State& s = Shared();
  std::lock_guard guard(s.lock);
  s.failLocaleAt = FromNow(s.localeCalls, nth);
}

uint32_t LocaleCallCount() {
  State& s = Shared();
  std::lock_guard guard(s.lock);
  return s.localeCalls;
}

void AddPrinter(const std::u16string& name) {
  State& s = Shared();
  std::lock_guard guard(s.lock);
  s.printers[name];
}

void SetPrinterValue(const std::u16string& printer, const std::u16string& valueName,
                     const std::string& bytes) {
  State& s = Shared();
  std::lock_guard guard(s.lock);
  s.printers[printer][valueName] = PrinterValue{kRegBinary, bytes};
}

void SetPrinterDword(const std::u16string& printer, const std::u16string& valueName,
                     uint32_t value) {
  std::string bytes(4, '\0');
  for (size_t i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  State& s = Shared();
  std::lock_guard guard(s.lock);
  s.printers[printer][valueName] = PrinterValue{kRegDword, bytes};
}

void RemovePrinterValue(const std::u16string& printer, const std::u16string& valueName) {
  State& s = Shared();
  std::lock_guard guard(s.lock);
  const auto found = s.printers.find(printer);
  if (found != s.printers.end()) found->second.erase(valueName);
}

void FailPrinterOpen(bool fail) {
  State& s = Shared();
  std::lock_guard guard(s.lock);
  s.failPrinterOpen = fail;
}

void FailPrinterRead(uint32_t errorCode) {
  State& s = Shared();
  std::lock_guard guard(s.lock);
  s.printerReadError = errorCode;
}

uint32_t OpenPrinterHandles() {
  State& s = Shared();
  std::lock_guard guard(s.lock);
  return static_cast<uint32_t>(s.handles.size());
}

uint32_t PrinterOpenCount() {
  State& s = Shared();
  std::lock_guard guard(s.lock);
  return s.printerOpens;
}

uint32_t PrinterReadCount() {
  State& s = Shared();
  std::lock_guard guard(s.lock);
  return s.printerReads;
}

void FailFileOp(FileOp op, uint32_t nth) {
  if (Index(op) >= kFileOpKinds) return;
  State& s = Shared();
  std::lock_guard guard(s.lock);
  // A short read falls on the nth read.
  const FileOp counted = op == FileOp::ShortRead ? FileOp::Read : op;
  s.failFileAt[Index(op)] = FromNow(s.fileOps[Index(counted)], nth);
}

uint32_t FileOpCount(FileOp op) {
  if (Index(op) >= kFileOpKinds) return 0;
  State& s = Shared();
  std::lock_guard guard(s.lock);
  const FileOp counted = op == FileOp::ShortRead ? FileOp::Read : op;
  return s.fileOps[Index(counted)];
}

void CrashAtFileOp(uint32_t nth) {
  State& s = Shared();
  std::lock_guard guard(s.lock);
  s.crashAt = FromNow(s.fileOps[Index(FileOp::Any)], nth);
}

}  // namespace testing
}  // namespace plat
