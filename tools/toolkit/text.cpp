#include "text.h"

#include <cstdio>

namespace tools {

std::optional<std::u16string> Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<uint8_t>(text[i]);
    uint32_t code = 0;
    size_t extra = 0;
    if (lead < 0x80) {
      code = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      code = lead & 0x1Fu;
      extra = 1;
    } else if ((lead & 0xF0) == 0xE0) {
      code = lead & 0x0Fu;
      extra = 2;
    } else if ((lead & 0xF8) == 0xF0) {
      code = lead & 0x07u;
      extra = 3;
    } else {
      return std::nullopt;
    }
    if (extra > 0 && i + extra >= text.size()) return std::nullopt;  // cut short
    for (size_t k = 1; k <= extra; ++k) {
      const auto next = static_cast<uint8_t>(text[i + k]);
      if ((next & 0xC0) != 0x80) return std::nullopt;
      code = (code << 6) | (next & 0x3Fu);
    }
    // Overlong forms, surrogates and values beyond U+10FFFF are not UTF-8.
    static constexpr uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
    if (code < kMinimum[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      return std::nullopt;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FFu)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
    i += extra + 1;
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t code = text[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<uint32_t>(text[i + 1]) - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
    }
    if (code < 0x80) {
      out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (code >> 6)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (code >> 12)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (code >> 18)));
      out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }
  return out;
}

std::optional<int64_t> ParseInteger(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  uint32_t base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (const char c : text) {
    uint32_t digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = static_cast<uint32_t>(c - 'a' + 10);
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    if (value > (static_cast<uint64_t>(INT64_MAX) - digit) / base) return std::nullopt;
    value = value * base + digit;
  }
  const auto magnitude = static_cast<int64_t>(value);
  return negative ? -magnitude : magnitude;
}

std::optional<int64_t> ParseIntegerIn(std::string_view text, int64_t low, int64_t high) {
  const std::optional<int64_t> value = ParseInteger(text);
  if (!value || *value < low || *value > high) return std::nullopt;
  return value;
}

std::string HexBytes(std::span<const uint8_t> bytes, std::string_view separator) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) out += separator;
    out.push_back(kDigits[bytes[i] >> 4]);
    out.push_back(kDigits[bytes[i] & 0x0F]);
  }
  return out;
}

std::string HexNumber(uint64_t value, int digits) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "0x%0*llX", digits, static_cast<unsigned long long>(value));
  return buffer;
}

std::string PrintableText(std::span<const uint8_t> bytes) {
  std::string out;
  for (const uint8_t b : bytes) {
    if (b >= 0x20 && b < 0x7F && b != '\\') {
      out.push_back(static_cast<char>(b));
    } else if (b == '\\') {
      out += "\\\\";
    } else {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\x%02X", b);
      out += buffer;
    }
  }
  return out;
}

}  // namespace tools
