// Local time from time() and localtime_r, so TZ and time-faking tools apply.
#include <ctime>

#include "platform.h"

namespace plat {
namespace {

uint16_t Clamp16(long value, long low, long high) {
  if (value < low) value = low;
  if (value > high) value = high;
  return static_cast<uint16_t>(value);
}

}  // namespace

void GetLocalTime(LocalTime* time) {
  if (time == nullptr) return;
  // localtime_r need not look at TZ again; tzset makes a changed TZ count from now on.
  tzset();
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  if (localtime_r(&now, &parts) == nullptr && gmtime_r(&now, &parts) == nullptr) parts = {};
  // A year beyond 16 bits saturates rather than wrapping to a plausible wrong year; a leap
  // second reads as second 59, the last one Win32 knows.
  time->year = Clamp16(static_cast<long>(parts.tm_year) + 1900, 0, 0xFFFF);
  time->month = Clamp16(parts.tm_mon + 1, 1, 12);
  time->dayOfWeek = Clamp16(parts.tm_wday, 0, 6);
  time->day = Clamp16(parts.tm_mday, 1, 31);
  time->hour = Clamp16(parts.tm_hour, 0, 23);
  time->minute = Clamp16(parts.tm_min, 0, 59);
  time->second = Clamp16(parts.tm_sec, 0, 59);
  time->milliseconds = 0;
}

}  // namespace plat
