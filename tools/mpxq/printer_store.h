// Printers of the spooler stand-in: creating one in the store and setting or showing the
// printer-data values the database reads (the silent-mode switch and window).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "modeldb_client.h"

namespace mpxq {

// The printer's file in the store; created (with the store) when absent. True when it was
// created, false when it was there. Throws tools::ToolError when it cannot be made.
bool CreatePrinter(const std::string& name, std::string* path);

struct PrinterValue {
  std::string name;
  std::optional<uint32_t> value;  // nullopt: not set or unreadable
};

// The name Root key 8 gives a value-name number.
std::string ValueName(const ModelDb& db, int32_t number);

// Sets REG_DWORD values through the spooler; ToolError when the printer does not open or a
// value cannot be written.
void SetPrinterValues(const std::string& printer, const std::vector<std::pair<std::string, uint32_t>>& values);
std::vector<PrinterValue> ReadPrinterValues(const std::string& printer, const std::vector<std::string>& names);

// "22:00-07:00" to the window value (start minute in the low 16 bits, end in the high);
// nullopt when malformed.
std::optional<uint32_t> ParseSilentWindow(const std::string& text);
std::string SilentWindowText(uint32_t value);
// What the silent-mode switch value means.
std::string SilentModeMeaning(uint32_t value);

}  // namespace mpxq
