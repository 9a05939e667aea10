/* libmpxspool: the print-spooler stand-in for POSIX hosts.
 *
 * Printer N exists when <store>/<N>.ini is a regular file; the store is $MPX_SPOOL_DIR,
 * else $XDG_STATE_HOME/mpx/printers, else ~/.local/state/mpx/printers. Lines
 * "ValueName=Number" hold 4-byte REG_DWORD values. */
#ifndef MPX_SPOOL_H
#define MPX_SPOOL_H

#include "mpx_abi.h"

MPX_EXTERN_C_BEGIN

#define MPX_REG_DWORD 4u
#define MPX_ERROR_SUCCESS 0u
#define MPX_ERROR_FILE_NOT_FOUND 2u
#define MPX_ERROR_INVALID_HANDLE 6u
#define MPX_ERROR_MORE_DATA 234u

/* Non-zero on success. */
MPX_EXPORT int32_t OpenPrinterW(const char16_t* printerName, void** handle, const void* defaults);
MPX_EXPORT int32_t ClosePrinter(void* handle);
MPX_EXPORT uint32_t GetPrinterDataW(void* handle, const char16_t* valueName, uint32_t* type,
                                    uint8_t* data, uint32_t size, uint32_t* needed);
MPX_EXPORT uint32_t SetPrinterDataW(void* handle, const char16_t* valueName, uint32_t type,
                                    const uint8_t* data, uint32_t size);
/* Handles opened and not yet closed in this process. */
MPX_EXPORT uint32_t MpxSpoolOpenHandleCount(void);

MPX_EXTERN_C_END

#endif
