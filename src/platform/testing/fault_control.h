// Control of the fault-injecting test backend (mpx_platform_test).
//
// The test backend serves heap, clock, locale and printers from memory, and files from the
// real POSIX file system, and can fail any single operation. Every setting lasts until
// Reset(). Tests call Reset() first.
#pragma once

#include <cstdint>
#include <string>

#include "platform.h"

namespace plat::testing {

void Reset();

// ---- Heap ----------------------------------------------------------------------------------
// Fail the nth allocation from now (1-based); 0 never fails.
void FailAllocation(uint32_t nth);
uint32_t AllocationCount();  // allocations attempted since Reset()
uint32_t LiveBlocks();       // allocated and not yet freed

// ---- Clock and locale ---------------------------------------------------------------------
void SetClock(const LocalTime& time);
void SetLocaleCountry(const char* code);  // the text GetLocaleCountry answers
void FailLocale(bool fail);               // GetLocaleCountry answers 0

// ---- Printers ------------------------------------------------------------------------------
void AddPrinter(const std::u16string& name);
// A value of any length; values of more than 4 bytes answer "more data" (234).
void SetPrinterValue(const std::u16string& printer, const std::u16string& valueName,
                     const std::string& bytes);
void SetPrinterDword(const std::u16string& printer, const std::u16string& valueName,
                     uint32_t value);
void RemovePrinterValue(const std::u16string& printer, const std::u16string& valueName);
void FailPrinterOpen(bool fail);
uint32_t OpenPrinterHandles();  // opened and not yet closed

// ---- Files -----------------------------------------------------------------------------------
enum class FileOp : uint8_t {
  Open,       // FileOpen with OpenExisting
  Create,     // FileOpen with CreateNew
  Close,
  Read,       // the call fails
  ShortRead,  // the call succeeds but moves one byte less than asked
  Write,
  Seek,
  Size,
  Flush,
  Delete,
  Replace,
  DirectoryFlush,
  Any  // counts every file operation above
};
// Fail the nth operation of the kind from now (1-based); 0 clears. A ShortRead fault counts
// reads.
void FailFileOp(FileOp op, uint32_t nth);
uint32_t FileOpCount(FileOp op);  // operations of the kind since Reset()
// End the process with _exit(77) just before the nth file operation of any kind: a crash
// in the middle of a calibration, for crash-consistency tests run in a child process.
void CrashAtFileOp(uint32_t nth);

}  // namespace plat::testing
