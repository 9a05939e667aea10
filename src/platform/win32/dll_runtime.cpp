// The C library routines of the DLLs (see dll_runtime.h). Built with -ffreestanding and
// without loop-to-library-call rewriting, so that no loop here turns into a call of the
// very routine it implements.
#include "dll_runtime.h"

#include <climits>
#include <cstdint>

namespace plat::dllrt {

void* memcpy(void* to, const void* from, size_t count) {
  auto* out = static_cast<unsigned char*>(to);
  const auto* in = static_cast<const unsigned char*>(from);
  for (size_t i = 0; i < count; ++i) out[i] = in[i];
  return to;
}

void* memmove(void* to, const void* from, size_t count) {
  auto* out = static_cast<unsigned char*>(to);
  const auto* in = static_cast<const unsigned char*>(from);
  if (out == in || count == 0) return to;
  // Compared as addresses: copying backwards only when the target lies above the source.
  if (reinterpret_cast<uintptr_t>(out) < reinterpret_cast<uintptr_t>(in)) {
    for (size_t i = 0; i < count; ++i) out[i] = in[i];
  } else {
    for (size_t i = count; i > 0; --i) out[i - 1] = in[i - 1];
  }
  return to;
}

void* memset(void* to, int value, size_t count) {
  auto* out = static_cast<unsigned char*>(to);
  const auto byte = static_cast<unsigned char>(value);
  for (size_t i = 0; i < count; ++i) out[i] = byte;
  return to;
}

int memcmp(const void* a, const void* b, size_t count) {
  const auto* x = static_cast<const unsigned char*>(a);
  const auto* y = static_cast<const unsigned char*>(b);
  for (size_t i = 0; i < count; ++i) {
    if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
  }
  return 0;
}

void* memchr(const void* bytes, int value, size_t count) {
  const auto* in = static_cast<const unsigned char*>(bytes);
  const auto byte = static_cast<unsigned char>(value);
  for (size_t i = 0; i < count; ++i) {
    if (in[i] == byte) return const_cast<unsigned char*>(in + i);
  }
  return nullptr;
}

size_t strlen(const char* text) {
  size_t length = 0;
  while (text[length] != '\0') ++length;
  return length;
}

size_t strnlen(const char* text, size_t limit) {
  size_t length = 0;
  while (length < limit && text[length] != '\0') ++length;
  return length;
}

int strcmp(const char* a, const char* b) { return strncmp(a, b, SIZE_MAX); }

int strncmp(const char* a, const char* b, size_t limit) {
  for (size_t i = 0; i < limit; ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
  return 0;
}

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The value of c as a digit of any base up to 36, or 36 when it is none.
unsigned DigitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'z') return static_cast<unsigned>(c - 'a') + 10;
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned>(c - 'A') + 10;
  return 36;
}

}  // namespace

long strtol(const char* text, char** end, int base) {
  const char* at = text;
  if (end != nullptr) *end = const_cast<char*>(text);
  if (base < 0 || base == 1 || base > 36) return 0;
  while (IsSpace(*at)) ++at;
  bool negative = false;
  if (*at == '+' || *at == '-') negative = *at++ == '-';
  // "0x" counts as a prefix only when a hex digit follows; "0x" alone reads as 0.
  const bool hexPrefix = at[0] == '0' && (at[1] == 'x' || at[1] == 'X') && DigitValue(at[2]) < 16;
  if ((base == 0 || base == 16) && hexPrefix) {
    at += 2;
    base = 16;
  } else if (base == 0) {
    base = at[0] == '0' ? 8 : 10;
  }
  const auto radix = static_cast<unsigned long>(base);
  // The magnitude allowed: LONG_MAX, or one more for a negative value.
  const unsigned long limit =
      negative ? static_cast<unsigned long>(LONG_MAX) + 1 : static_cast<unsigned long>(LONG_MAX);
  unsigned long magnitude = 0;
  bool overflow = false;
  const char* digits = at;
  for (; DigitValue(*at) < radix; ++at) {
    const unsigned long digit = DigitValue(*at);
    if (overflow || magnitude > (limit - digit) / radix) {
      overflow = true;
      continue;
    }
    magnitude = magnitude * radix + digit;
  }
  if (at == digits) return 0;  // no digits: nothing is consumed
  if (end != nullptr) *end = const_cast<char*>(at);
  if (overflow) return negative ? LONG_MIN : LONG_MAX;
  if (negative) return magnitude == limit ? LONG_MIN : -static_cast<long>(magnitude);
  return static_cast<long>(magnitude);
}

namespace {

// Where formatted text goes: at most size - 1 characters and a NUL; the length counts all.
struct Sink {
  char* out;
  size_t size;
  size_t length;
};

void Put(Sink& sink, char c) {
  if (sink.length + 1 < sink.size) sink.out[sink.length] = c;
  ++sink.length;
}

void PutRepeated(Sink& sink, char c, size_t count) {
  for (size_t i = 0; i < count; ++i) Put(sink, c);
}

struct Spec {
  bool left = false, plus = false, space = false, alternate = false, zero = false;
  size_t width = 0;
  bool hasPrecision = false;
  size_t precision = 0;
};

enum class Length : uint8_t { Char, Short, Int, Long, LongLong, Max, Size, Diff };

// One field: prefix (sign, 0x), leading zeros, body, padded to the width.
void PutField(Sink& sink, const Spec& spec, const char* prefix, size_t zeros, const char* body,
              size_t bodyLength, bool zeroPadAllowed) {
  const size_t prefixLength = strlen(prefix);
  const size_t used = prefixLength + zeros + bodyLength;
  const size_t pad = spec.width > used ? spec.width - used : 0;
  const bool padWithZeros = spec.zero && !spec.left && zeroPadAllowed;
  if (!spec.left && !padWithZeros) PutRepeated(sink, ' ', pad);
  for (size_t i = 0; i < prefixLength; ++i) Put(sink, prefix[i]);
  PutRepeated(sink, '0', zeros + (padWithZeros ? pad : 0));
  for (size_t i = 0; i < bodyLength; ++i) Put(sink, body[i]);
  if (spec.left) PutRepeated(sink, ' ', pad);
}

void PutInteger(Sink& sink, const Spec& spec, char conversion, uintmax_t magnitude,
                bool negative) {
  const bool isSigned = conversion == 'd' || conversion == 'i';
  const unsigned radix = conversion == 'o' ? 8 : (conversion == 'x' || conversion == 'X') ? 16 : 10;
  const char* digitSet = conversion == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
  char digits[3 * sizeof(uintmax_t)];
  size_t count = 0;
  for (uintmax_t rest = magnitude; rest != 0; rest /= radix) digits[count++] = digitSet[rest % radix];
  // Precision 0 prints no digits for 0; without a precision 0 prints as "0".
  const size_t minimumDigits = spec.hasPrecision ? spec.precision : 1;
  size_t zeros = minimumDigits > count ? minimumDigits - count : 0;
  if (conversion == 'o' && spec.alternate && zeros == 0 && (count == 0 || digits[count - 1] != '0')) {
    zeros = 1;
  }
  const char* prefix = "";
  if (isSigned) {
    prefix = negative ? "-" : spec.plus ? "+" : spec.space ? " " : "";
  } else if (spec.alternate && magnitude != 0 && radix == 16) {
    prefix = conversion == 'X' ? "0X" : "0x";
  }
  char body[sizeof digits];
  for (size_t i = 0; i < count; ++i) body[i] = digits[count - 1 - i];
  PutField(sink, spec, prefix, zeros, body, count, !spec.hasPrecision);
}

intmax_t SignedArgument(va_list& args, Length length) {
  switch (length) {
    case Length::Char: return static_cast<signed char>(va_arg(args, int));
    case Length::Short: return static_cast<short>(va_arg(args, int));
    case Length::Int: return va_arg(args, int);
    case Length::Long: return va_arg(args, long);
    case Length::LongLong: return va_arg(args, long long);
    case Length::Max: return va_arg(args, intmax_t);
    case Length::Size:
    case Length::Diff: return va_arg(args, ptrdiff_t);
  }
  return 0;
}

uintmax_t UnsignedArgument(va_list& args, Length length) {
  switch (length) {
    case Length::Char: return static_cast<unsigned char>(va_arg(args, unsigned));
    case Length::Short: return static_cast<unsigned short>(va_arg(args, unsigned));
    case Length::Int: return va_arg(args, unsigned);
    case Length::Long: return va_arg(args, unsigned long);
    case Length::LongLong: return va_arg(args, unsigned long long);
    case Length::Max: return va_arg(args, uintmax_t);
    case Length::Size: return va_arg(args, size_t);
    case Length::Diff: return static_cast<uintmax_t>(va_arg(args, ptrdiff_t));
  }
  return 0;
}

// A width or precision: digits, or '*' taken from the arguments. False on overflow.
bool ReadCount(const char*& at, va_list& args, int* fromArgument, bool* starred, size_t* value) {
  *starred = false;
  if (*at == '*') {
    ++at;
    *starred = true;
    *fromArgument = va_arg(args, int);
    return true;
  }
  size_t result = 0;
  for (; *at >= '0' && *at <= '9'; ++at) {
    const auto digit = static_cast<size_t>(*at - '0');
    if (result > (INT_MAX - digit) / 10) return false;
    result = result * 10 + digit;
  }
  *value = result;
  return true;
}

Length ReadLength(const char*& at) {
  switch (*at) {
    case 'h':
      ++at;
      if (*at == 'h') {
        ++at;
        return Length::Char;
      }
      return Length::Short;
    case 'l':
      ++at;
      if (*at == 'l') {
        ++at;
        return Length::LongLong;
      }
      return Length::Long;
    case 'j': ++at; return Length::Max;
    case 'z': ++at; return Length::Size;
    case 't': ++at; return Length::Diff;
    default: return Length::Int;
  }
}

// Formats one conversion (at points behind the '%'); false for one not supported.
bool FormatOne(Sink& sink, const char*& at, va_list& args) {
  Spec spec;
  for (;; ++at) {
    if (*at == '-') spec.left = true;
    else if (*at == '+') spec.plus = true;
    else if (*at == ' ') spec.space = true;
    else if (*at == '#') spec.alternate = true;
    else if (*at == '0') spec.zero = true;
    else break;
  }
  int argument = 0;
  bool starred = false;
  if (!ReadCount(at, args, &argument, &starred, &spec.width)) return false;
  if (starred) {
    // A negative width from the arguments means left-justified.
    if (argument < 0) spec.left = true;
    spec.width = argument < 0 ? static_cast<size_t>(-static_cast<long long>(argument))
                              : static_cast<size_t>(argument);
  }
  if (*at == '.') {
    ++at;
    spec.hasPrecision = true;
    if (!ReadCount(at, args, &argument, &starred, &spec.precision)) return false;
    // A negative precision from the arguments counts as none.
    if (starred) {
      spec.hasPrecision = argument >= 0;
      spec.precision = argument >= 0 ? static_cast<size_t>(argument) : 0;
    }
  }
  const Length length = ReadLength(at);
  const char conversion = *at++;
  switch (conversion) {
    case 'd':
    case 'i': {
      const intmax_t value = SignedArgument(args, length);
      const uintmax_t magnitude =
          value < 0 ? static_cast<uintmax_t>(-(value + 1)) + 1 : static_cast<uintmax_t>(value);
      PutInteger(sink, spec, conversion, magnitude, value < 0);
      return true;
    }
    case 'u':
    case 'o':
    case 'x':
    case 'X':
      PutInteger(sink, spec, conversion, UnsignedArgument(args, length), false);
      return true;
    case 'c': {
      if (length != Length::Int) return false;
      const char c = static_cast<char>(va_arg(args, int));
      PutField(sink, spec, "", 0, &c, 1, false);
      return true;
    }
    case 's': {
      if (length != Length::Int) return false;
      const char* text = va_arg(args, const char*);
      if (text == nullptr) text = "(null)";
      // Never read past the precision: the text need not be terminated within it.
      const size_t textLength = spec.hasPrecision ? strnlen(text, spec.precision) : strlen(text);
      PutField(sink, spec, "", 0, text, textLength, false);
      return true;
    }
    case 'p': {
      Spec pointer = spec;
      pointer.alternate = true;
      const auto value = reinterpret_cast<uintptr_t>(va_arg(args, void*));
      PutInteger(sink, pointer, 'x', value, false);
      return true;
    }
    case '%':
      Put(sink, '%');
      return true;
    default:
      return false;  // floating point, wide characters, %n and anything unknown
  }
}

}  // namespace

int vsnprintf(char* out, size_t size, const char* format, va_list args) {
  if (format == nullptr || (out == nullptr && size > 0)) return -1;
  Sink sink{out, size, 0};
  va_list own;
  va_copy(own, args);
  bool ok = true;
  for (const char* at = format; ok && *at != '\0';) {
    if (*at != '%') {
      Put(sink, *at++);
      continue;
    }
    ++at;
    ok = FormatOne(sink, at, own);
  }
  va_end(own);
  if (size > 0) out[sink.length < size ? sink.length : size - 1] = '\0';
  if (!ok || sink.length > static_cast<size_t>(INT_MAX)) return -1;
  return static_cast<int>(sink.length);
}

int snprintf(char* out, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int length = vsnprintf(out, size, format, args);
  va_end(args);
  return length;
}

}  // namespace plat::dllrt
