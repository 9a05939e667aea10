// The Win32 backend: printers through the spooler.
#include "platform.h"
#include "win32_calls.h"

namespace plat {

bool PrinterOpen(const char16_t* name, void** handle) { return win32::PrinterOpen(name, handle); }
void PrinterClose(void* handle) { win32::PrinterClose(handle); }
uint32_t PrinterGetData(void* handle, const char16_t* valueName, uint32_t* type, uint8_t* data,
                        uint32_t size, uint32_t* needed) {
  return win32::PrinterGetData(handle, valueName, type, data, size, needed);
}

}  // namespace plat
