// Printer command bytes split into commands, each named and, where its layout is known,
// decoded field by field: the page-format command with its units, the print-mode,
// resolution, media and option-flags commands, and the lines of command-language blocks.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace mpxq {

struct CommandField {
  std::string name;
  int64_t value;
  std::string unit;  // "1/60 in", "dots", "dpi" or empty
  std::string note;  // the value in millimetres, a meaning, or empty
};

struct PrinterCommand {
  uint32_t offset = 0;          // in the bytes split
  std::vector<uint8_t> bytes;   // the whole command (or data run)
  std::string mnemonic;         // "ESC ( p", "ESC @", or "data"
  std::string name;             // what the command does, when known
  std::vector<uint8_t> parameters;
  std::vector<CommandField> fields;
  std::vector<std::string> lines;  // command-language block or text data
  bool truncated = false;          // the bytes end inside the command
};

std::vector<PrinterCommand> SplitCommands(std::span<const uint8_t> bytes);

// The commands as an indented listing; each line starts with `indent`.
std::string ListCommands(const std::vector<PrinterCommand>& commands, const std::string& indent);
nlohmann::json CommandsJson(const std::vector<PrinterCommand>& commands);

}  // namespace mpxq
