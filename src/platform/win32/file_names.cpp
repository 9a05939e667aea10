// 8-bit file names to UTF-16 in the system's ANSI code page, and the path separator.
#include "win32_api.h"
#include "win32_calls.h"

namespace plat::win32 {

int32_t AnsiToWide(const char* text, int32_t count, char16_t* out, int32_t capacity) {
  if (text == nullptr || count == 0 || count < -1 || capacity < 0) return 0;
  if (capacity > 0 && out == nullptr) return 0;
  // Size first: a conversion that does not fit may already have written part of its output.
  const int needed = ::MultiByteToWideChar(CP_ACP, 0, text, count, nullptr, 0);
  if (needed <= 0) return 0;
  if (capacity == 0) return needed;
  if (needed > capacity) return 0;
  return ::MultiByteToWideChar(CP_ACP, 0, text, count, reinterpret_cast<wchar_t*>(out),
                               capacity);
}

char16_t PathSeparator() { return u'\\'; }

}  // namespace plat::win32
