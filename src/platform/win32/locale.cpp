// The user's country code from the user default locale.
#include "win32_api.h"
#include "win32_calls.h"

namespace plat::win32 {

int32_t GetLocaleCountry(char* buffer, int32_t size) {
  if (size < 0 || (size > 0 && buffer == nullptr)) return 0;
  return ::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY, buffer, size);
}

}  // namespace plat::win32
