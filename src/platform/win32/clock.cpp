// Local time from GetLocalTime.
#include "win32_api.h"
#include "win32_calls.h"

namespace plat::win32 {

void GetLocalTime(LocalTime* time) {
  if (time == nullptr) return;
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  *time = LocalTime{now.wYear, now.wMonth,  now.wDayOfWeek, now.wDay,
                    now.wHour, now.wMinute, now.wSecond,    now.wMilliseconds};
}

}  // namespace plat::win32
