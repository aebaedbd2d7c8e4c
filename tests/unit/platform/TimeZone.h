// Runs a test under a fixed time zone with daylight saving time, so local-time
// conversions give the same answers on every machine.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace kelvane::test {

#ifdef _WIN32
// The C library of Windows has no setenv; _putenv_s with an empty value removes.
inline int setenv(const char* name, const char* value, int) {
  return _putenv_s(name, value);
}
inline int unsetenv(const char* name) {
  return _putenv_s(name, "");
}
#endif

class TimeZoneTest : public ::testing::Test {
 protected:
  // Central European time: UTC+1, summer time UTC+2 from the last Sunday of March
  // 02:00 to the last Sunday of October 03:00.
  static constexpr const char* kZone = "CET-1CEST,M3.5.0,M10.5.0/3";

  void SetUp() override {
    if (const char* tz = std::getenv("TZ")) FSaved = tz;
    setenv("TZ", kZone, 1);
    tzset();
  }
  void TearDown() override {
    if (FSaved)
      setenv("TZ", FSaved->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  std::optional<std::string> FSaved;
};

}  // namespace kelvane::test
