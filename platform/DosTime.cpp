#include "platform/DosTime.h"

#include <algorithm>
#include <cmath>

#include "platform/LocalTime.h"

namespace kelvane {
namespace {

constexpr int kFirstYear = 1980;
constexpr int kLastYear = 2107;
constexpr int64_t kUnixEpochAsDateTime = 25569;  // 1970-01-01 counted from 1899-12-30
constexpr int64_t kMsPerDay = 86400000;

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date (month 1..12).
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = yoe + era * 400 + (m <= 2);
}

struct TDosFields {
  int year, month, day, hour, minute, second;
};

TDosFields Split(int32_t dos) {
  const auto u = static_cast<uint32_t>(dos);
  return {static_cast<int>(u >> 25) + kFirstYear, static_cast<int>((u >> 21) & 0x0F),
          static_cast<int>((u >> 16) & 0x1F),     static_cast<int>((u >> 11) & 0x1F),
          static_cast<int>((u >> 5) & 0x3F),      static_cast<int>(u & 0x1F) * 2};
}

int32_t Join(int year, int month, int day, int hour, int minute, int second) {
  if (year < kFirstYear || year > kLastYear) return kNoDosDateTime;
  const uint32_t date = static_cast<uint32_t>((year - kFirstYear) << 9 | month << 5 | day);
  const uint32_t time = static_cast<uint32_t>(hour << 11 | minute << 5 | second / 2);
  return static_cast<int32_t>(date << 16 | time);
}

TDateTime FromTm(const struct tm& t, int millisecond) {
  const int64_t days = DaysFromCivil(t.tm_year + 1900LL, t.tm_mon + 1, t.tm_mday);
  const int64_t ms =
      ((t.tm_hour * 60LL + t.tm_min) * 60 + std::min(t.tm_sec, 59)) * 1000 + millisecond;
  return static_cast<double>(days + kUnixEpochAsDateTime) + static_cast<double>(ms) / kMsPerDay;
}

}  // namespace

bool IsValidDosDateTime(int32_t dos) {
  const TDosFields f = Split(dos);
  return f.month >= 1 && f.month <= 12 && f.day >= 1 && f.day <= DaysInMonth(f.year, f.month) &&
         f.hour <= 23 && f.minute <= 59 && f.second <= 59;
}

int32_t TimeToDosDateTime(time_t time) {
  struct tm t {};
  if (!LocalCalendarTime(time, t)) return kNoDosDateTime;
  // A leap second has no DOS form; it shows as the last even second of its minute.
  return Join(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min,
              std::min(t.tm_sec, 59));
}

std::optional<time_t> DosDateTimeToTime(int32_t dos) {
  if (!IsValidDosDateTime(dos)) return std::nullopt;
  const TDosFields f = Split(dos);
  struct tm t {};
  t.tm_year = f.year - 1900;
  t.tm_mon = f.month - 1;
  t.tm_mday = f.day;
  t.tm_hour = f.hour;
  t.tm_min = f.minute;
  t.tm_sec = f.second;
  t.tm_isdst = -1;
  const time_t result = mktime(&t);
  if (result == static_cast<time_t>(-1)) return std::nullopt;
  return result;
}

int32_t DateTimeToDosDateTime(TDateTime dt) {
  // Beyond this the date is far outside the DOS range and the casts below would overflow.
  if (!std::isfinite(dt) || std::fabs(dt) > 1e7) return kNoDosDateTime;
  int64_t days = static_cast<int64_t>(std::floor(dt));
  int64_t ms = std::llround((dt - static_cast<double>(days)) * kMsPerDay);
  if (ms >= kMsPerDay) {
    ++days;
    ms -= kMsPerDay;
  }
  int64_t year;
  int month, day;
  CivilFromDays(days - kUnixEpochAsDateTime, year, month, day);
  if (year < kFirstYear || year > kLastYear) return kNoDosDateTime;
  const int64_t seconds = ms / 1000;
  return Join(static_cast<int>(year), month, day, static_cast<int>(seconds / 3600),
              static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
}

std::optional<TDateTime> DosDateTimeToDateTime(int32_t dos) {
  if (!IsValidDosDateTime(dos)) return std::nullopt;
  const TDosFields f = Split(dos);
  const int64_t days = DaysFromCivil(f.year, f.month, f.day) + kUnixEpochAsDateTime;
  const int64_t seconds = (f.hour * 60LL + f.minute) * 60 + f.second;
  return static_cast<double>(days) + static_cast<double>(seconds) / 86400.0;
}

std::optional<TDateTime> TimeToDateTime(time_t time) {
  struct tm t {};
  if (!LocalCalendarTime(time, t)) return std::nullopt;
  return FromTm(t, 0);
}

TDateTime Now() {
  struct tm t {};
  int millisecond = 0;
  if (!LocalNow(t, millisecond)) return 0;
  return FromTm(t, millisecond);
}

}  // namespace kelvane
