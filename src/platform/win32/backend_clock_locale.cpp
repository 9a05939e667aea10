// The Win32 backend: local time and the user's country code.
#include "platform.h"
#include "win32_calls.h"

namespace plat {

void GetLocalTime(LocalTime* time) { win32::GetLocalTime(time); }
int32_t GetLocaleCountry(char* buffer, int32_t size) {
  return win32::GetLocaleCountry(buffer, size);
}

}  // namespace plat
