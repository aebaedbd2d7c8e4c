// The system's local calendar time, for DosTime.
#pragma once

#include <ctime>

namespace kelvane {

// Local calendar time of Time; false when the system cannot convert it.
bool LocalCalendarTime(time_t time, struct tm& out);
// The current local calendar time and its milliseconds.
bool LocalNow(struct tm& out, int& millisecond);

}  // namespace kelvane
