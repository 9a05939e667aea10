// Reading and rewriting the value lines of a printer's file.
#include "printer_file.h"

namespace spool {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseNumber(std::string_view text, uint32_t* value) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    uint64_t number = 0;
    for (const char c : text.substr(2)) {
      const int digit = HexDigit(c);
      if (digit < 0) return false;
      number = number * 16 + static_cast<uint64_t>(digit);
      if (number > 0xFFFFFFFFu) return false;
    }
    *value = static_cast<uint32_t>(number);
    return true;
  }
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) text.remove_prefix(1);
  if (text.empty()) return false;
  uint64_t number = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + static_cast<uint64_t>(c - '0');
    if (number > (negative ? 0x80000000u : 0xFFFFFFFFu)) return false;
  }
  // Two's complement: -1 is stored as 0xFFFFFFFF.
  *value = negative ? static_cast<uint32_t>(0 - number) : static_cast<uint32_t>(number);
  return true;
}

// A value line's name and number; false for comments, blanks and malformed lines.
bool ParseLine(std::string_view line, std::string_view* name, uint32_t* value) {
  const std::string_view content = Trim(line);
  if (content.empty() || content[0] == '#' || content[0] == ';') return false;
  const size_t equals = content.find('=');
  if (equals == std::string_view::npos) return false;
  *name = Trim(content.substr(0, equals));
  return !name->empty() && ParseNumber(Trim(content.substr(equals + 1)), value);
}

// Calls visit(lineStart, lineLength, name, value) for every value line.
template <typename Visit>
void ForEachValueLine(std::string_view text, Visit visit) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view lineName;
    uint32_t lineValue = 0;
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (ParseLine(line, &lineName, &lineValue)) visit(start, line.size(), lineName, lineValue);
    start = end + 1;
  }
}

}  // namespace

bool FindValue(std::string_view text, std::string_view name, uint32_t* value) {
  bool found = false;
  ForEachValueLine(text, [&](size_t, size_t, std::string_view lineName, uint32_t lineValue) {
    if (SameName(lineName, name)) {
      *value = lineValue;
      found = true;
    }
  });
  return found;
}

bool IsStorableName(std::string_view name) {
  if (name.empty() || IsBlank(name.front()) || IsBlank(name.back())) return false;
  if (name[0] == '#' || name[0] == ';') return false;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '=' || byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

std::string WithValue(std::string_view text, std::string_view name, uint32_t value) {
  size_t lineStart = std::string_view::npos;
  size_t lineLength = 0;
  ForEachValueLine(text, [&](size_t start, size_t length, std::string_view lineName, uint32_t) {
    if (SameName(lineName, name)) {
      lineStart = start;
      lineLength = length;
    }
  });
  const std::string line = std::string(name) + "=" + std::to_string(value);
  std::string result;
  if (lineStart != std::string_view::npos) {
    result.append(text.substr(0, lineStart));
    result.append(line);
    result.append(text.substr(lineStart + lineLength));
    return result;
  }
  result.append(text);
  if (!result.empty() && result.back() != '\n') result.push_back('\n');
  result.append(line);
  result.push_back('\n');
  return result;
}

}  // namespace spool
