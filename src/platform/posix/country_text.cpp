// The answer of GetLocaleCountry, shared by the backends.
#include <cstring>

#include "posix_shared.h"

namespace plat::posix {

int32_t CopyCountryText(const char* text, char* buffer, int32_t size) {
  // Dialling codes have at most three digits; a little room for odd locale data.
  constexpr size_t kMaxDigits = 7;
  if (text == nullptr || size < 0) return 0;
  const size_t length = std::strlen(text);
  if (length == 0 || length > kMaxDigits) return 0;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] < '0' || text[i] > '9') return 0;
  }
  const auto needed = static_cast<int32_t>(length + 1);
  if (size == 0) return needed;
  if (buffer == nullptr || size < needed) return 0;
  std::memcpy(buffer, text, length + 1);
  return needed;
}

}  // namespace plat::posix
