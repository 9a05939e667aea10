// Printers through the spooler stand-in, libmpxspool. Kept in a file of its own so that a
// library using no printer does not pull the spooler in.
#include "mpxspool.h"
#include "platform.h"

namespace plat {

bool PrinterOpen(const char16_t* name, void** handle) {
  if (handle == nullptr) return false;
  *handle = nullptr;
  if (OpenPrinterW(name, handle, nullptr) != 0) return true;
  *handle = nullptr;
  return false;
}

void PrinterClose(void* handle) { ClosePrinter(handle); }

uint32_t PrinterGetData(void* handle, const char16_t* valueName, uint32_t* type, uint8_t* data,
                        uint32_t size, uint32_t* needed) {
  return GetPrinterDataW(handle, valueName, type, data, size, needed);
}

}  // namespace plat
