#include "printer_store.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "cli.h"
#include "drv_keys.h"
#include "mpxspool.h"
#include "store.h"
#include "text.h"
#include "answer.h"

namespace mpxq {

namespace {

using tools::ToolError;

constexpr uint32_t kMinutesPerDay = 24 * 60;
constexpr uint32_t kSilentAlwaysOn = 1;
constexpr uint32_t kSilentInWindow = 2;

struct OpenPrinter {
  void* handle = nullptr;
  explicit OpenPrinter(const std::string& name) {
    const std::optional<std::u16string> wide = tools::Utf8ToUtf16(name);
    if (!wide || OpenPrinterW(wide->c_str(), &handle, nullptr) == 0) {
      throw ToolError("printer \"" + name + "\" does not open; create it with: mpxq printer create \"" + name + "\"");
    }
  }
  ~OpenPrinter() { ClosePrinter(handle); }
  OpenPrinter(const OpenPrinter&) = delete;
  OpenPrinter& operator=(const OpenPrinter&) = delete;
};

}  // namespace

bool CreatePrinter(const std::string& name, std::string* path) {
  const std::optional<std::u16string> wide = tools::Utf8ToUtf16(name);
  if (!wide || wide->empty() || !spool::PrinterFilePath(wide->c_str(), path)) {
    throw ToolError("no printer file can be made for \"" + name +
                    "\" (an empty or ill-formed name, or no store directory: set MPX_SPOOL_DIR)");
  }
  std::error_code error;
  const std::filesystem::path file(*path);
  if (std::filesystem::is_regular_file(file, error)) return false;
  std::filesystem::create_directories(file.parent_path(), error);
  if (error) throw ToolError("cannot create the store " + file.parent_path().string() + ": " + error.message());
  std::ofstream out(file, std::ios::app);
  if (!out) throw ToolError("cannot create " + *path);
  out << "# Printer data of \"" << name << "\": one ValueName=Number line per value.\n";
  if (!out.flush()) throw ToolError("cannot write " + *path);
  return true;
}

std::string ValueName(const ModelDb& db, int32_t number) {
  Query query;
  query.category = FindCategory("root");
  query.key = drv::kValueNameKey;
  query.settings = {number};
  std::vector<uint8_t> answer;
  const int32_t status = db.Ask(query, &answer);
  if (status != MPX_OK) {
    throw ToolError("Root key 8 gives no value name for number " + std::to_string(number) + " (status " +
                    std::to_string(status) + ")");
  }
  return DecodeText(answer);
}

void SetPrinterValues(const std::string& printer, const std::vector<std::pair<std::string, uint32_t>>& values) {
  OpenPrinter open(printer);
  for (const auto& [name, value] : values) {
    const std::optional<std::u16string> wide = tools::Utf8ToUtf16(name);
    const uint8_t data[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                             static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    const uint32_t error = wide ? SetPrinterDataW(open.handle, wide->c_str(), MPX_REG_DWORD, data, 4)
                                : MPX_ERROR_FILE_NOT_FOUND;
    if (error != MPX_ERROR_SUCCESS) {
      throw ToolError("cannot set \"" + name + "\" of printer \"" + printer + "\" (error " + std::to_string(error) + ")");
    }
  }
}

std::vector<PrinterValue> ReadPrinterValues(const std::string& printer, const std::vector<std::string>& names) {
  OpenPrinter open(printer);
  std::vector<PrinterValue> values;
  for (const std::string& name : names) {
    const std::optional<std::u16string> wide = tools::Utf8ToUtf16(name);
    uint32_t type = 0;
    uint32_t needed = 0;
    uint8_t data[4] = {0, 0, 0, 0};
    PrinterValue value{name, std::nullopt};
    if (wide && GetPrinterDataW(open.handle, wide->c_str(), &type, data, 4, &needed) == MPX_ERROR_SUCCESS) {
      value.value = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                    static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
    }
    values.push_back(value);
  }
  return values;
}

std::optional<uint32_t> ParseSilentWindow(const std::string& text) {
  unsigned startHour = 0, startMinute = 0, endHour = 0, endMinute = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%2u:%2u-%2u:%2u%c", &startHour, &startMinute, &endHour, &endMinute, &tail) != 4) {
    return std::nullopt;
  }
  if (startHour > 23 || endHour > 23 || startMinute > 59 || endMinute > 59) return std::nullopt;
  const uint32_t start = startHour * 60 + startMinute;
  const uint32_t end = endHour * 60 + endMinute;
  return start | end << 16;
}

std::string SilentWindowText(uint32_t value) {
  const uint32_t start = value & 0xFFFFu;
  const uint32_t end = value >> 16;
  char buffer[64];
  if (start >= kMinutesPerDay || end >= kMinutesPerDay) {
    std::snprintf(buffer, sizeof buffer, "minutes %u to %u", start, end);
  } else {
    std::snprintf(buffer, sizeof buffer, "%02u:%02u to %02u:%02u", start / 60, start % 60, end / 60, end % 60);
  }
  std::string text = buffer;
  if (start == end) text += " (empty: never on)";
  return text;
}

std::string SilentModeMeaning(uint32_t value) {
  if (value == kSilentAlwaysOn) return "silent mode always on";
  if (value == kSilentInWindow) return "silent mode on during the window";
  return "silent mode off";
}

}  // namespace mpxq
