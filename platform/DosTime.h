// DOS date-times and calendar date-times, both in local time.
//
// A DOS date-time is 32 bits: the date in the upper half
// ((year - 1980) << 9 | month << 5 | day) and the time in the lower half
// (hour << 11 | minute << 5 | second / 2). -1 means "unknown" everywhere.
// A TDateTime counts days since 1899-12-30 00:00 local time; the fraction is
// the time of day.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>

namespace kelvane {

using TDateTime = double;

inline constexpr int32_t kNoDosDateTime = -1;

// True when every field of Dos is in range, including the day within its
// month (leap years counted) and seconds below 60.
bool IsValidDosDateTime(int32_t dos);

// Local calendar time of Time as a DOS date-time, odd seconds rounded down;
// -1 when the year falls outside 1980..2107 or the time cannot be converted.
int32_t TimeToDosDateTime(time_t time);
// The instant that Dos names in local time (mktime decides daylight saving);
// nothing when Dos is not a valid DOS date-time.
std::optional<time_t> DosDateTimeToTime(int32_t dos);

// Dt as a DOS date-time (time of day to the millisecond, then seconds rounded
// down to even); -1 when Dt is not finite or outside 1980-01-01..2107-12-31.
int32_t DateTimeToDosDateTime(TDateTime dt);
// Nothing when Dos is not a valid DOS date-time.
std::optional<TDateTime> DosDateTimeToDateTime(int32_t dos);

// The current local time.
TDateTime Now();
// Local calendar time of Time; nothing when the system cannot convert it.
std::optional<TDateTime> TimeToDateTime(time_t time);

}  // namespace kelvane
