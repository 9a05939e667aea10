#include "db_query.h"

#include <cstdio>

namespace dbtest {

void Build(const HostState& state, BuiltContext* built) {
  built->settings.assign(state.settingCount, 0);
  for (const auto& [number, value] : state.settings) {
    if (number < built->settings.size()) built->settings[number] = value;
  }
  built->strings.assign(state.stringCount, std::string());
  for (const auto& [position, text] : state.strings) {
    if (position < built->strings.size()) built->strings[position] = text;
  }
  built->stringPointers.clear();
  for (const std::string& text : built->strings) built->stringPointers.push_back(text.c_str());
  built->printerName = state.printerName;

  QueryContext& c = built->context;
  c = QueryContext{};
  c.hPrinter = nullptr;
  c.hostData = 0x5A5A;
  c.stringCount = state.noStrings ? 0 : state.stringCount;
  c.strings = state.noStrings || built->stringPointers.empty() ? nullptr
                                                                : built->stringPointers.data();
  c.settingCount = state.noSettings ? 0 : state.settingCount;
  c.settings = state.noSettings || built->settings.empty() ? nullptr : built->settings.data();
  c.printerName = built->printerName.empty() ? nullptr : built->printerName.c_str();
}

Answer Ask(QueryFn query, uint32_t key, const HostState& state) {
  BuiltContext built;
  Build(state, &built);
  Answer answer;
  uint32_t size = 0;
  answer.status = query(key, &built.context, 0, nullptr, &size);
  if (answer.status != MPX_BUFFER_TOO_SMALL) return answer;
  answer.size = size;
  // One spare byte shows that nothing is written past the answer.
  std::vector<uint8_t> buffer(size + 1, kUntouched);
  uint32_t written = 0xFFFFFFFFu;
  answer.status = query(key, &built.context, size, buffer.data(), &written);
  if (buffer[size] != kUntouched) answer.status = 1000;  // wrote past the buffer
  buffer.resize(size);
  answer.bytes = std::move(buffer);
  return answer;
}

std::vector<int32_t> Int32s(const Answer& answer) {
  std::vector<int32_t> values;
  for (size_t i = 0; i + 4 <= answer.bytes.size(); i += 4) {
    const uint32_t v = static_cast<uint32_t>(answer.bytes[i]) |
                       (static_cast<uint32_t>(answer.bytes[i + 1]) << 8) |
                       (static_cast<uint32_t>(answer.bytes[i + 2]) << 16) |
                       (static_cast<uint32_t>(answer.bytes[i + 3]) << 24);
    values.push_back(static_cast<int32_t>(v));
  }
  return values;
}

std::string Text(const Answer& answer) {
  std::string text;
  for (size_t i = 0; i + 2 <= answer.bytes.size(); i += 2) {
    const uint32_t unit = answer.bytes[i] | (static_cast<uint32_t>(answer.bytes[i + 1]) << 8);
    if (unit == 0 && i + 2 == answer.bytes.size()) break;  // the terminating NUL
    text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
  }
  return text;
}

std::vector<uint8_t> LeBytes(const std::vector<int32_t>& values) {
  std::vector<uint8_t> bytes;
  for (int32_t value : values) {
    const auto v = static_cast<uint32_t>(value);
    for (uint32_t shift = 0; shift < 32; shift += 8) {
      bytes.push_back(static_cast<uint8_t>((v >> shift) & 0xFFu));
    }
  }
  return bytes;
}

std::vector<uint8_t> HexBytes(const std::string& hex) {
  std::vector<uint8_t> bytes;
  unsigned value = 0;
  int digits = 0;
  for (char ch : hex) {
    int nibble = -1;
    if (ch >= '0' && ch <= '9') nibble = ch - '0';
    if (ch >= 'A' && ch <= 'F') nibble = ch - 'A' + 10;
    if (ch >= 'a' && ch <= 'f') nibble = ch - 'a' + 10;
    if (nibble < 0) continue;
    value = value * 16 + static_cast<unsigned>(nibble);
    if (++digits == 2) {
      bytes.push_back(static_cast<uint8_t>(value));
      value = 0;
      digits = 0;
    }
  }
  return bytes;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string text;
  char piece[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(piece, sizeof piece, i == 0 ? "%02X" : " %02X", bytes[i]);
    text += piece;
  }
  return text;
}

}  // namespace dbtest
