// Control of the fault-injecting test backend (mpx_platform_test).
//
// The test backend serves heap, clock, locale and printers from memory, and files from the
// real POSIX file system, and can fail any single operation. Every setting lasts until
// Reset(). Tests call Reset() first. All functions are thread-safe.
#pragma once

#include <cstdint>
#include <string>

#include "platform.h"

namespace plat::testing {

void Reset();

// ---- Heap ----------------------------------------------------------------------------------
// Blocks asked for without zeroFill come filled with 0xCD, so code that reads memory it never
// wrote sees garbage. Freeing a pointer the heap never handed out (or freeing twice) aborts.
// Fail the nth allocation from now (1-based); 0 never fails.
void FailAllocation(uint32_t nth);
uint32_t AllocationCount();  // allocations attempted since Reset()
uint32_t LiveBlocks();       // allocated and not yet freed

// ---- Clock and locale ---------------------------------------------------------------------
// The clock stands still at the time set; after Reset() it is Friday 2002-02-08 09:05:03.000.
void SetClock(const LocalTime& time);
void SetLocaleCountry(const char* code);  // the text GetLocaleCountry answers (default "1")
void FailLocale(bool fail);               // every GetLocaleCountry call answers 0
// Only the nth GetLocaleCountry call from now (1-based) answers 0; 0 clears.
void FailLocaleCall(uint32_t nth);
uint32_t LocaleCallCount();  // GetLocaleCountry calls since Reset()

// ---- Printers ------------------------------------------------------------------------------
// Printer names match exactly; value names ignore ASCII case, as registry names do. The
// value functions add the printer when it is not there yet. Handles stay valid until closed
// or Reset(); a closed handle is never handed out again, so it answers 6.
void AddPrinter(const std::u16string& name);
// A value of any length (type REG_BINARY, 3); a value longer than the buffer answers "more
// data" (234) with the length needed, a shorter one succeeds with its own length.
void SetPrinterValue(const std::u16string& printer, const std::u16string& valueName,
                     const std::string& bytes);
// A REG_DWORD value, stored little-endian.
void SetPrinterDword(const std::u16string& printer, const std::u16string& valueName,
                     uint32_t value);
void RemovePrinterValue(const std::u16string& printer, const std::u16string& valueName);
void FailPrinterOpen(bool fail);
// Every PrinterGetData on a valid handle answers errorCode (say 5, access denied); 0 clears.
void FailPrinterRead(uint32_t errorCode);
uint32_t OpenPrinterHandles();  // opened and not yet closed
uint32_t PrinterOpenCount();    // PrinterOpen calls since Reset(), failed ones included
uint32_t PrinterReadCount();    // PrinterGetData calls since Reset()

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
// reads. A failed operation does not reach the file system, except that a failed Close
// still closes the file, so nothing leaks.
void FailFileOp(FileOp op, uint32_t nth);
uint32_t FileOpCount(FileOp op);  // operations of the kind since Reset()
// End the process with _exit(77) just before the nth file operation of any kind: a crash
// in the middle of a calibration, for crash-consistency tests run in a child process.
void CrashAtFileOp(uint32_t nth);

}  // namespace plat::testing
