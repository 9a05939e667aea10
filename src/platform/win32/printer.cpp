// Printers through the spooler (winspool). Kept in a file of its own so that a DLL using no
// printer does not import the spooler.
#include "win32_api.h"
// After windows.h, which it builds on.
#include <winspool.h>

#include "win32_calls.h"

namespace plat::win32 {

bool PrinterOpen(const char16_t* name, void** handle) {
  if (handle == nullptr) return false;
  *handle = nullptr;
  if (name == nullptr || name[0] == u'\0') return false;
  HANDLE opened = nullptr;
  if (::OpenPrinterW(Wide(name), &opened, nullptr) == 0 || opened == nullptr) return false;
  *handle = opened;
  return true;
}

void PrinterClose(void* handle) {
  if (handle != nullptr) ::ClosePrinter(handle);
}

uint32_t PrinterGetData(void* handle, const char16_t* valueName, uint32_t* type, uint8_t* data,
                        uint32_t size, uint32_t* needed) {
  if (handle == nullptr) return kErrorInvalidHandle;
  if (valueName == nullptr) return kErrorInvalidParameter;
  // The spooler insists on both outputs; callers of the layer may leave either out.
  DWORD valueType = 0;
  DWORD valueSize = 0;
  const DWORD error =
      ::GetPrinterDataW(handle, Wide(valueName), &valueType, data, size, &valueSize);
  if (type != nullptr) *type = valueType;
  if (needed != nullptr) *needed = valueSize;
  return error;
}

}  // namespace plat::win32
