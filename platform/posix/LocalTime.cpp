#include "platform/LocalTime.h"

namespace kelvane {

bool LocalCalendarTime(time_t time, struct tm& out) {
  return localtime_r(&time, &out) != nullptr;
}

bool LocalNow(struct tm& out, int& millisecond) {
  struct timespec ts {};
  clock_gettime(CLOCK_REALTIME, &ts);
  millisecond = static_cast<int>(ts.tv_nsec / 1000000);
  return LocalCalendarTime(ts.tv_sec, out);
}

}  // namespace kelvane
