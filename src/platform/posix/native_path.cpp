// Conversions between 8-bit file names, UTF-16 paths and native POSIX paths.
//
// POSIX file names are bytes, usually UTF-8. AnsiToWide decodes UTF-8 and maps every byte
// that is not part of a well-formed sequence to U+DC00 + byte (a lone low surrogate, which
// well-formed UTF-16 never holds); NativePath maps those back. A name of arbitrary bytes
// thus survives the trip to UTF-16 and back to the file system unchanged.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "posix_shared.h"

namespace plat::posix {
namespace {

constexpr char32_t kEscapeBase = 0xDC00;
constexpr char32_t kEscapeFirst = 0xDC80;
constexpr char32_t kEscapeLast = 0xDCFF;

// The well-formed UTF-8 sequences: the lead byte range, and the allowed range of the
// second byte (later bytes are always 80..BF). Overlong forms, encoded surrogates and code
// points above U+10FFFF fall outside these rows.
struct Utf8Row {
  uint8_t leadFirst, leadLast;
  uint8_t length;
  uint8_t secondFirst, secondLast;
};
constexpr Utf8Row kUtf8Rows[] = {
    {0xC2, 0xDF, 2, 0x80, 0xBF}, {0xE0, 0xE0, 3, 0xA0, 0xBF}, {0xE1, 0xEC, 3, 0x80, 0xBF},
    {0xED, 0xED, 3, 0x80, 0x9F}, {0xEE, 0xEF, 3, 0x80, 0xBF}, {0xF0, 0xF0, 4, 0x90, 0xBF},
    {0xF1, 0xF3, 4, 0x80, 0xBF}, {0xF4, 0xF4, 4, 0x80, 0x8F},
};

// Decodes the sequence at text[0..available) into *codePoint; returns its length, or 0
// when the first byte does not start a well-formed sequence.
size_t DecodeUtf8(const uint8_t* text, size_t available, char32_t* codePoint) {
  const uint8_t lead = text[0];
  if (lead < 0x80) {
    *codePoint = lead;
    return 1;
  }
  for (const Utf8Row& row : kUtf8Rows) {
    if (lead < row.leadFirst || lead > row.leadLast) continue;
    if (available < row.length) return 0;
    if (text[1] < row.secondFirst || text[1] > row.secondLast) return 0;
    for (size_t i = 2; i < row.length; ++i) {
      if (text[i] < 0x80 || text[i] > 0xBF) return 0;
    }
    constexpr uint8_t kLeadMask[] = {0, 0, 0x1F, 0x0F, 0x07};
    char32_t value = lead & kLeadMask[row.length];
    for (size_t i = 1; i < row.length; ++i) value = (value << 6) | (text[i] & 0x3Fu);
    *codePoint = value;
    return row.length;
  }
  return 0;
}

// Converts length bytes to UTF-16 into out (when not null); returns the units.
size_t WidenUtf8(const uint8_t* bytes, size_t length, char16_t* out) {
  size_t units = 0;
  for (size_t i = 0; i < length;) {
    char32_t codePoint = 0;
    size_t used = DecodeUtf8(bytes + i, length - i, &codePoint);
    if (used == 0) {
      codePoint = kEscapeBase + bytes[i];
      used = 1;
    }
    if (codePoint >= 0x10000) {
      if (out != nullptr) {
        const char32_t offset = codePoint - 0x10000;
        out[units] = static_cast<char16_t>(0xD800 + (offset >> 10));
        out[units + 1] = static_cast<char16_t>(0xDC00 + (offset & 0x3FF));
      }
      units += 2;
    } else {
      if (out != nullptr) out[units] = static_cast<char16_t>(codePoint);
      units += 1;
    }
    i += used;
  }
  return units;
}

}  // namespace

int32_t AnsiToWide(const char* text, int32_t count, char16_t* out, int32_t capacity) {
  if (text == nullptr || count == 0 || count < -1 || capacity < 0) return 0;
  if (capacity > 0 && out == nullptr) return 0;
  const size_t length = count == -1 ? std::strlen(text) + 1 : static_cast<size_t>(count);
  const auto* bytes = reinterpret_cast<const uint8_t*>(text);
  // Size first, so a short buffer is never written in part.
  const size_t units = WidenUtf8(bytes, length, nullptr);
  if (units > static_cast<size_t>(INT32_MAX)) return 0;
  if (capacity == 0) return static_cast<int32_t>(units);
  if (units > static_cast<size_t>(capacity)) return 0;
  return static_cast<int32_t>(WidenUtf8(bytes, length, out));
}

char* NativePath(const char16_t* path) {
  if (path == nullptr || path[0] == 0) {
    errno = ENOENT;
    return nullptr;
  }
  size_t units = 0;
  while (path[units] != 0) ++units;
  // At most three bytes per unit: a surrogate pair (two units) takes four.
  auto* native = static_cast<char*>(std::malloc(units * 3 + 1));
  if (native == nullptr) {
    errno = ENOMEM;
    return nullptr;
  }
  size_t n = 0;
  for (size_t i = 0; i < units; ++i) {
    char32_t c = path[i];
    if (c >= 0xD800 && c <= 0xDBFF && path[i + 1] >= 0xDC00 && path[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (path[i + 1] - 0xDC00u);
      ++i;
    } else if (c >= kEscapeFirst && c <= kEscapeLast) {
      native[n++] = static_cast<char>(c - kEscapeBase);
      continue;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      std::free(native);
      errno = EINVAL;
      return nullptr;
    }
    if (c < 0x80) {
      native[n++] = static_cast<char>(c);
    } else if (c < 0x800) {
      native[n++] = static_cast<char>(0xC0 | (c >> 6));
      native[n++] = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      native[n++] = static_cast<char>(0xE0 | (c >> 12));
      native[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      native[n++] = static_cast<char>(0x80 | (c & 0x3F));
    } else {
      native[n++] = static_cast<char>(0xF0 | (c >> 18));
      native[n++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      native[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      native[n++] = static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  native[n] = 0;
  return native;
}

}  // namespace plat::posix
