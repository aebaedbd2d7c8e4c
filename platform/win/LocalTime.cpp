#include "platform/LocalTime.h"

#include <windows.h>

namespace kelvane {

bool LocalCalendarTime(time_t time, struct tm& out) {
  return localtime_s(&out, &time) == 0;
}

bool LocalNow(struct tm& out, int& millisecond) {
  SYSTEMTIME st{};
  GetLocalTime(&st);
  out = {};
  out.tm_year = st.wYear - 1900;
  out.tm_mon = st.wMonth - 1;
  out.tm_mday = st.wDay;
  out.tm_hour = st.wHour;
  out.tm_min = st.wMinute;
  out.tm_sec = st.wSecond;
  out.tm_wday = st.wDayOfWeek;
  out.tm_isdst = -1;
  millisecond = st.wMilliseconds;
  return true;
}

}  // namespace kelvane
