// Where the spooler stand-in keeps its printers, and the name of each printer's file.
#pragma once

#include <string>

namespace spool {

// $MPX_SPOOL_DIR, else $XDG_STATE_HOME/mpx/printers, else ~/.local/state/mpx/printers.
// An empty variable counts as unset, and so does a relative XDG_STATE_HOME. False when
// none can be found (no usable variable and no home directory).
bool StoreDirectory(std::string* directory);

// UTF-16 to UTF-8; false on a lone surrogate.
bool ToUtf8(const char16_t* text, std::string* utf8);

// The file name of a printer: its UTF-8 name with '/', '%' and control characters written
// as %XX, then ".ini".
std::string PrinterFileName(const std::string& utf8Name);

// <store>/<file name> of the named printer; false for a null, empty or ill-formed name, or
// when there is no store.
bool PrinterFilePath(const char16_t* name, std::string* path);

}  // namespace spool
