#include "printer_commands.h"

#include <cstdio>
#include <string_view>

#include "text.h"

namespace mpxq {

namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kLineFeed = 0x0A;
// ESC ( x and ESC [ x carry a 2-byte little-endian parameter length after the letter.
constexpr size_t kLengthPrefixedHeader = 5;
constexpr std::string_view kBlockEndLine = "QXLEND";

enum class Unit : uint8_t { None, Sixtieths, Dots, Dpi, Hex };

struct FieldSpec {
  uint32_t offset;  // from the command's first byte
  uint32_t size;    // 1, 2 or 4, big-endian
  bool isSigned;
  const char* name;
  Unit unit;
};

// The page-format command: lengths in sixtieths and in dots of 1/600 inch.
constexpr FieldSpec kPageFormatFields[] = {
    {5, 2, false, "printable length", Unit::Sixtieths},
    {7, 2, false, "reserved", Unit::None},
    {9, 2, false, "printable width", Unit::Sixtieths},
    {11, 2, false, "left shift", Unit::None},
    {13, 2, false, "reserved", Unit::None},
    {15, 4, false, "resolution of the lengths", Unit::Dpi},
    {19, 4, true, "left offset", Unit::Dots},
    {23, 4, true, "top offset", Unit::Dots},
    {27, 4, true, "printable width", Unit::Dots},
    {31, 4, true, "printable length", Unit::Dots},
    {35, 4, false, "reserved", Unit::None},
    {39, 4, false, "reserved", Unit::None},
    {43, 4, true, "paper width", Unit::Dots},
    {47, 4, true, "paper length", Unit::Dots},
};
constexpr FieldSpec kPrintModeFields[] = {
    {5, 1, false, "mode", Unit::Hex},
    {6, 1, false, "media code", Unit::Hex},
    {7, 1, false, "quality code", Unit::None},
};
constexpr FieldSpec kResolutionFields[] = {
    {5, 2, false, "horizontal", Unit::Dpi},
    {7, 2, false, "vertical", Unit::Dpi},
};
constexpr FieldSpec kMediaFields[] = {
    {5, 1, false, "first parameter", Unit::Hex},
    {6, 1, false, "media byte", Unit::Hex},
};
constexpr FieldSpec kOptionFlagsFields[] = {
    {5, 1, false, "first parameter", Unit::Hex},
    {6, 1, false, "second parameter", Unit::Hex},
    {7, 1, false, "bit 23 of setting 79", Unit::None},
    {8, 2, false, "low 16 bits of setting 80", Unit::None},
    {10, 1, false, "reserved", Unit::None},
    {11, 1, false, "flag byte", Unit::Hex},
};

struct CommandKind {
  uint8_t introducer;  // '(' or '['
  uint8_t letter;
  const char* name;
  uint16_t parameterLength;  // the fields apply only to this length
  const FieldSpec* fields;
  size_t fieldCount;
};

template <size_t N>
constexpr CommandKind Kind(uint8_t introducer, uint8_t letter, const char* name, uint16_t length,
                           const FieldSpec (&fields)[N]) {
  return {introducer, letter, name, length, fields, N};
}

constexpr CommandKind kKinds[] = {
    Kind('(', 'p', "page format", 46, kPageFormatFields),
    Kind('(', 'c', "print mode", 3, kPrintModeFields),
    Kind('(', 'd', "resolution", 4, kResolutionFields),
    Kind('(', 'l', "media", 2, kMediaFields),
    Kind('(', '$', "option flags", 7, kOptionFlagsFields),
    {'(', 't', "print-mode parameters", 0, nullptr, 0},
};

const CommandKind* FindKind(uint8_t introducer, uint8_t letter) {
  for (const CommandKind& kind : kKinds) {
    if (kind.introducer == introducer && kind.letter == letter) return &kind;
  }
  return nullptr;
}

std::string Millimetres(double mm) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.2f mm", mm);
  return buffer;
}

std::string FlagByteMeaning(uint8_t flags) {
  std::string note;
  const auto add = [&note](const char* text) {
    if (!note.empty()) note += ", ";
    note += text;
  };
  if ((flags & 0x01u) != 0) add("bits 20 and 22 of setting 79 equal");
  if ((flags & 0x10u) != 0) add("bit 22 set");
  if ((flags & 0x40u) != 0) add("bit 21 set");
  return note.empty() ? "no flag set" : note;
}

CommandField DecodeField(std::span<const uint8_t> command, const FieldSpec& spec, char letter) {
  uint32_t raw = 0;
  for (uint32_t i = 0; i < spec.size; ++i) raw = raw << 8 | command[spec.offset + i];
  int64_t value = raw;
  if (spec.isSigned && spec.size == 4) value = static_cast<int32_t>(raw);
  CommandField field{spec.name, value, "", ""};
  switch (spec.unit) {
    case Unit::Sixtieths:
      field.unit = "1/60 in";
      field.note = Millimetres(static_cast<double>(value) * 25.4 / 60.0);
      break;
    case Unit::Dots:
      field.unit = "dots";
      field.note = Millimetres(static_cast<double>(value) * 25.4 / 600.0);
      break;
    case Unit::Dpi:
      field.unit = "dpi";
      break;
    case Unit::Hex:
      field.note = tools::HexNumber(static_cast<uint64_t>(value), 2);
      break;
    case Unit::None:
      break;
  }
  if (letter == '$' && spec.offset == 11) field.note += " (" + FlagByteMeaning(static_cast<uint8_t>(raw)) + ")";
  return field;
}

// Single control bytes a printer takes outside any command.
const char* ControlByteName(uint8_t b) {
  switch (b) {
    case 0x0C: return "form feed";
    case 0x0D: return "carriage return";
    case 0x0A: return "line feed";
    default: return nullptr;
  }
}

bool IsTextByte(uint8_t b) { return (b >= 0x20 && b < 0x7F) || b == kLineFeed; }

// Lines of text ended by line feeds; a last line without one is kept as it is.
std::vector<std::string> TextLines(std::span<const uint8_t> text) {
  std::vector<std::string> lines;
  std::string line;
  for (const uint8_t b : text) {
    if (b == kLineFeed) {
      lines.push_back(line);
      line.clear();
    } else {
      line.push_back(static_cast<char>(b));
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// A command-language block's lines follow its lead-in up to the end line, the next command
// or the end of the bytes.
size_t BlockLinesEnd(std::span<const uint8_t> bytes, size_t start, std::vector<std::string>* lines) {
  size_t at = start;
  while (at < bytes.size() && bytes[at] != kEsc) {
    size_t end = at;
    while (end < bytes.size() && bytes[end] != kLineFeed && bytes[end] != kEsc) ++end;
    const std::string line(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                           bytes.begin() + static_cast<std::ptrdiff_t>(end));
    lines->push_back(line);
    at = end < bytes.size() && bytes[end] == kLineFeed ? end + 1 : end;
    if (line == kBlockEndLine) break;
  }
  return at;
}

}  // namespace

std::vector<PrinterCommand> SplitCommands(std::span<const uint8_t> bytes) {
  std::vector<PrinterCommand> commands;
  size_t at = 0;
  while (at < bytes.size()) {
    PrinterCommand command;
    command.offset = static_cast<uint32_t>(at);
    size_t end = at;
    if (bytes[at] != kEsc) {
      while (end < bytes.size() && bytes[end] != kEsc) ++end;
      command.mnemonic = "data";
      const std::span<const uint8_t> run = bytes.subspan(at, end - at);
      bool text = true;
      for (const uint8_t b : run) text = text && IsTextByte(b);
      if (run.size() == 1 && ControlByteName(run[0]) != nullptr) {
        command.name = ControlByteName(run[0]);
      } else if (text) {
        command.name = "text";
        command.lines = TextLines(run);
      }
    } else if (at + 1 >= bytes.size()) {
      command.mnemonic = "ESC";
      command.truncated = true;
      end = at + 1;
    } else if (bytes[at + 1] == '@') {
      command.mnemonic = "ESC @";
      command.name = "initialise";
      end = at + 2;
    } else if (bytes[at + 1] == '(' || bytes[at + 1] == '[') {
      const uint8_t introducer = bytes[at + 1];
      if (at + kLengthPrefixedHeader > bytes.size()) {
        command.mnemonic = std::string("ESC ") + static_cast<char>(introducer);
        command.truncated = true;
        end = bytes.size();
      } else {
        const uint8_t letter = bytes[at + 2];
        const auto length = static_cast<uint16_t>(bytes[at + 3] | bytes[at + 4] << 8);
        command.mnemonic = std::string("ESC ") + static_cast<char>(introducer) + " " +
                           (IsTextByte(letter) ? std::string(1, static_cast<char>(letter))
                                               : tools::HexNumber(letter, 2));
        end = at + kLengthPrefixedHeader + length;
        if (end > bytes.size()) {
          command.truncated = true;
          end = bytes.size();
        }
        command.parameters.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at + kLengthPrefixedHeader),
                                  bytes.begin() + static_cast<std::ptrdiff_t>(end));
        const CommandKind* kind = FindKind(introducer, letter);
        if (kind != nullptr) {
          command.name = kind->name;
          if (!command.truncated && kind->fields != nullptr && length == kind->parameterLength) {
            const std::span<const uint8_t> whole = bytes.subspan(at, end - at);
            for (size_t f = 0; f < kind->fieldCount; ++f) {
              command.fields.push_back(DecodeField(whole, kind->fields[f], static_cast<char>(letter)));
            }
          }
        }
        // ESC [ K with the parameters 00 1F leads in a command-language block.
        if (introducer == '[' && letter == 'K' && !command.truncated && length == 2 &&
            command.parameters[0] == 0x00 && command.parameters[1] == 0x1F) {
          command.name = "command-language block";
          end = BlockLinesEnd(bytes, end, &command.lines);
          if (command.lines.empty() || command.lines.back() != kBlockEndLine) {
            command.name += " (no end line)";
          }
        }
      }
    } else {
      command.mnemonic = "ESC " + tools::HexNumber(bytes[at + 1], 2);
      end = at + 2;
    }
    command.bytes.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                         bytes.begin() + static_cast<std::ptrdiff_t>(end));
    commands.push_back(std::move(command));
    at = end;
  }
  return commands;
}

std::string ListCommands(const std::vector<PrinterCommand>& commands, const std::string& indent) {
  constexpr size_t kHexPerLine = 16;
  std::string out;
  char buffer[160];
  for (const PrinterCommand& command : commands) {
    std::snprintf(buffer, sizeof buffer, "%s+%-4u %-8s %s%s(%zu byte%s)%s\n", indent.c_str(),
                  command.offset, command.mnemonic.c_str(), command.name.c_str(),
                  command.name.empty() ? "" : " ", command.bytes.size(),
                  command.bytes.size() == 1 ? "" : "s", command.truncated ? ", cut short" : "");
    out += buffer;
    const std::string pad = indent + "      ";
    // A command-language block shows its lead-in bytes; its lines follow as text.
    size_t hexBytes = command.bytes.size();
    if (!command.lines.empty() && command.mnemonic != "data") hexBytes = 7;
    if (command.mnemonic == "data" && !command.lines.empty()) hexBytes = 0;
    for (size_t i = 0; i < hexBytes; i += kHexPerLine) {
      const size_t n = hexBytes - i < kHexPerLine ? hexBytes - i : kHexPerLine;
      out += pad + tools::HexBytes(std::span(command.bytes).subspan(i, n)) + "\n";
    }
    for (const CommandField& field : command.fields) {
      std::snprintf(buffer, sizeof buffer, "%s%-26s %8lld %-8s%s\n", pad.c_str(), field.name.c_str(),
                    static_cast<long long>(field.value), field.unit.c_str(), field.note.c_str());
      out += buffer;
    }
    for (const std::string& line : command.lines) out += pad + "| " + line + "\n";
  }
  return out;
}

nlohmann::json CommandsJson(const std::vector<PrinterCommand>& commands) {
  nlohmann::json list = nlohmann::json::array();
  for (const PrinterCommand& command : commands) {
    nlohmann::json item = {{"offset", command.offset},
                           {"command", command.mnemonic},
                           {"name", command.name},
                           {"size", command.bytes.size()},
                           {"hex", tools::HexBytes(command.bytes, "")}};
    if (command.truncated) item["truncated"] = true;
    if (!command.fields.empty()) {
      nlohmann::json fields = nlohmann::json::array();
      for (const CommandField& field : command.fields) {
        nlohmann::json f = {{"name", field.name}, {"value", field.value}};
        if (!field.unit.empty()) f["unit"] = field.unit;
        if (!field.note.empty()) f["note"] = field.note;
        fields.push_back(f);
      }
      item["fields"] = fields;
    }
    if (!command.lines.empty()) item["lines"] = command.lines;
    list.push_back(item);
  }
  return list;
}

}  // namespace mpxq
