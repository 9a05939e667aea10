// Text and number conversion for the tools: UTF-8 and UTF-16, integers in decimal or hex,
// hex dumps.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tools {

// UTF-8 to UTF-16; nullopt for ill-formed UTF-8.
std::optional<std::u16string> Utf8ToUtf16(std::string_view text);
// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// A whole string as a signed integer: optional sign, then decimal digits or 0x and hex
// digits. nullopt when anything else is there or the value does not fit 64 bits.
std::optional<int64_t> ParseInteger(std::string_view text);
// The same, limited to [low, high].
std::optional<int64_t> ParseIntegerIn(std::string_view text, int64_t low, int64_t high);

// "1B 28 70" style, with `separator` between bytes.
std::string HexBytes(std::span<const uint8_t> bytes, std::string_view separator = " ");
// "0x1007" style, at least `digits` hex digits.
std::string HexNumber(uint64_t value, int digits = 4);

// Escapes a string for a JSON-free text listing: printable ASCII as is, others as \xHH.
std::string PrintableText(std::span<const uint8_t> bytes);

}  // namespace tools
