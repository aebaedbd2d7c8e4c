#include "platform/DosTime.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <fstream>

#include "TempDir.h"
#include "TimeZone.h"
#include "platform/FileSystem.h"

namespace kelvane {
namespace {

using test::TempDir;
using test::TimeZoneTest;

constexpr int32_t Dos(int year, int month, int day, int hour, int minute, int second) {
  return static_cast<int32_t>(static_cast<uint32_t>((year - 1980) << 9 | month << 5 | day) << 16 |
                              static_cast<uint32_t>(hour << 11 | minute << 5 | second / 2));
}

class DosTime : public TimeZoneTest {};

TEST_F(DosTime, KnownInstantsInLocalTime) {
  struct Case {
    int32_t dos;
    time_t utc;
  };
  const Case cases[] = {
      {0x28210000, 946681200},                      // 2000-01-01 00:00 CET = 1999-12-31 23:00 UTC
      {Dos(2021, 7, 1, 12, 0, 0), 1625133600},      // summer: UTC+2
      {Dos(1980, 1, 1, 0, 0, 0), 315529200},        // first DOS instant
      {Dos(2107, 12, 31, 23, 59, 58), 4354815598},  // last DOS instant
      {Dos(2024, 2, 29, 6, 30, 44), 1709184644},    // leap day
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dos);
    EXPECT_EQ(DosDateTimeToTime(c.dos), std::optional<time_t>(c.utc));
    EXPECT_EQ(TimeToDosDateTime(c.utc), c.dos);
  }
}

TEST_F(DosTime, OddSecondsRoundDownAndOutOfRangeYearsHaveNoDosForm) {
  EXPECT_EQ(TimeToDosDateTime(946681200 + 3), Dos(2000, 1, 1, 0, 0, 2));
  EXPECT_EQ(TimeToDosDateTime(315529200 - 1), -1);  // 1979-12-31 23:59:59
  EXPECT_EQ(TimeToDosDateTime(0), -1);
  EXPECT_EQ(TimeToDosDateTime(4354815600), -1);  // 2108-01-01 00:00
}

TEST_F(DosTime, InvalidFieldsAreRejectedNotNormalised) {
  const int32_t cases[] = {
      Dos(2000, 0, 1, 0, 0, 0),     // month 0
      Dos(2000, 13, 1, 0, 0, 0),    // month 13
      Dos(2000, 1, 0, 0, 0, 0),     // day 0
      Dos(2000, 2, 30, 0, 0, 0),    // no such day
      Dos(2001, 2, 29, 0, 0, 0),    // not a leap year
      Dos(2100, 2, 29, 0, 0, 0),    // century, not a leap year
      Dos(2000, 4, 31, 0, 0, 0),    // 30-day month
      Dos(2000, 1, 1, 24, 0, 0),    // hour 24
      Dos(2000, 1, 1, 23, 60, 0),   // minute 60
      Dos(2000, 1, 1, 23, 59, 60),  // seconds field 30
      0,
      -1,
  };
  for (int32_t dos : cases) {
    SCOPED_TRACE(dos);
    EXPECT_FALSE(IsValidDosDateTime(dos));
    EXPECT_EQ(DosDateTimeToTime(dos), std::nullopt);
    EXPECT_EQ(DosDateTimeToDateTime(dos), std::nullopt);
  }
  EXPECT_TRUE(IsValidDosDateTime(Dos(2000, 2, 29, 23, 59, 58)));
}

TEST_F(DosTime, RoundTripThroughAFileModificationTime) {
  TempDir dir;
  const UString file = dir.Path(u"f.txt");
  std::ofstream(dir.NativePath("f.txt")) << "x";
  const int32_t cases[] = {
      Dos(1980, 1, 1, 0, 0, 0),      Dos(1999, 12, 31, 23, 59, 58), Dos(2021, 3, 28, 1, 59, 58),
      Dos(2021, 3, 28, 3, 0, 0),     Dos(2021, 10, 31, 2, 30, 0),   Dos(2021, 6, 15, 14, 7, 22),
      Dos(2107, 12, 31, 23, 59, 58),
  };
  for (int32_t dos : cases) {
    SCOPED_TRACE(dos);
    ASSERT_TRUE(SetFileDosTime(file, dos));
    EXPECT_EQ(FileDosTime(file), dos);
  }
}

TEST_F(DosTime, SettingAFileTimeFromAnInvalidValueFailsAndKeepsTheTime) {
  TempDir dir;
  const UString file = dir.Path(u"f.txt");
  std::ofstream(dir.NativePath("f.txt")) << "x";
  ASSERT_TRUE(SetFileDosTime(file, Dos(2010, 5, 5, 5, 5, 4)));
  EXPECT_FALSE(SetFileDosTime(file, Dos(2010, 2, 31, 0, 0, 0)));
  EXPECT_EQ(FileDosTime(file), Dos(2010, 5, 5, 5, 5, 4));
  EXPECT_FALSE(SetFileDosTime(dir.Path(u"missing"), Dos(2010, 5, 5, 5, 5, 4)));
}

TEST_F(DosTime, FileTimesOutsideTheDosRangeHaveNoDosForm) {
  TempDir dir;
  const std::string native = dir.NativePath("old");
  std::ofstream(native) << "x";
  struct timespec times[2] = {{0, UTIME_OMIT}, {86400 * 365, 0}};  // 1971
  ASSERT_EQ(utimensat(AT_FDCWD, native.c_str(), times, 0), 0);
  EXPECT_EQ(FileDosTime(FromUtf8(native)), -1);
  EXPECT_EQ(FileDosTime(dir.Path(u"missing")), -1);
}

TEST_F(DosTime, DateTimeConversions) {
  struct Case {
    TDateTime dt;
    int32_t dos;
  };
  const Case cases[] = {
      {36526.0, 0x28210000},  // 2000-01-01
      {36526.5, Dos(2000, 1, 1, 12, 0, 0)},
      {29221.0, Dos(1980, 1, 1, 0, 0, 0)},
      {45351.0 + 23.0 / 24, Dos(2024, 2, 29, 23, 0, 0)},
      {36526.0 + 3.0 / 86400, Dos(2000, 1, 1, 0, 0, 2)},                  // odd second rounds down
      {36526.0 + (86400000 - 0.4) / 86400000, Dos(2000, 1, 2, 0, 0, 0)},  // rounds to midnight
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dt);
    EXPECT_EQ(DateTimeToDosDateTime(c.dt), c.dos);
    const std::optional<TDateTime> back = DosDateTimeToDateTime(c.dos);
    ASSERT_TRUE(back);
    EXPECT_EQ(DateTimeToDosDateTime(*back), c.dos);
  }
  EXPECT_EQ(DosDateTimeToDateTime(0x28210000), std::optional<TDateTime>(36526.0));
  for (TDateTime bad : {0.0, 29220.999, 75972.0, -1e300, 1e300, std::nan(""), double(INFINITY)}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(DateTimeToDosDateTime(bad), -1);
  }
}

TEST_F(DosTime, NowIsTheLocalTimeOfTheSystemClock) {
  const time_t before = time(nullptr);
  const TDateTime now = Now();
  const time_t after = time(nullptr);
  ASSERT_TRUE(TimeToDateTime(before) && TimeToDateTime(after));
  EXPECT_GE(now, *TimeToDateTime(before));
  EXPECT_LT(now, *TimeToDateTime(after) + 1.0 / 86400);
  // Summer time is counted: 2021-07-01 12:00 CEST is 10:00 UTC.
  EXPECT_EQ(TimeToDateTime(1625133600), std::optional<TDateTime>(44378.5));
}

}  // namespace
}  // namespace kelvane
