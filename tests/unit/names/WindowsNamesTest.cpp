// Stored name components that Windows would read as something else than a
// file of that name: devices, data streams, names it trims.
#include "names/WindowsNames.h"

#include <gtest/gtest.h>

#include "platform/Text.h"

namespace kelvane {
namespace {

TEST(WindowsNames, DeviceNamesInEveryForm) {
  const UString devices[] = {
      u"CON",      u"con",    u"Prn",     u"aux",        u"NUL",           u"com1",      u"COM9",
      u"lpt1",     u"LPT9",   u"con.txt", u"nul.tar.gz", u"CON ",          u"con.",      u"aux .c",
      u"nul  ..x", u"CONIN$", u"conout$", u"COM\u00B9",  u"lpt\u00B3.log", u"con:stream"};
  for (const UString& name : devices)
    EXPECT_TRUE(IsReservedDeviceName(name)) << ToUtf8(name);
  const UString ordinary[] = {u"",         u"CONS",     u"con_", u"xcon",  u"COM0",        u"COM10",
                              u"LPT",      u"com",      u"_con", u"a.con", u"console.txt", u"CLOCK",
                              u"nul_.txt", u"COM\u2074"};
  for (const UString& name : ordinary)
    EXPECT_FALSE(IsReservedDeviceName(name)) << ToUtf8(name);
}

TEST(WindowsNames, ComponentsBecomeNamesOfTheirOwn) {
  struct {
    UString Component, Safe;
    const char* Why;
  } cases[] = {
      {u"plain.txt", u"plain.txt", "an ordinary name is kept"},
      {u"A\u00F1o \u00D1and\u00FA.txt", u"A\u00F1o \u00D1and\u00FA.txt", "non-ASCII is kept"},
      {u"a:b", u"a_b", "a data stream"},
      {u"a::$DATA", u"a__$DATA", "the default stream named"},
      {u"x<y>z|\"?*", u"x_y_z____", "characters Windows refuses"},
      {u"tab\there\x01", u"tab_here_", "control characters"},
      {u"name.", u"name_", "a trailing dot Windows would drop"},
      {u"name . ", u"name___", "trailing dots and spaces"},
      {u"...", u"___", "only dots"},
      {u" ", u"_", "only a space"},
      {u" lead", u" lead", "a leading space stays"},
      {u"CON", u"_CON", "a device"},
      {u"con.txt", u"_con.txt", "a device with an extension"},
      {u"Aux .c", u"_Aux .c", "a device with a space before the extension"},
      {u"nul.", u"nul_", "a trailing dot made safe leaves no device"},
      {u"lpt1:x", u"lpt1_x", "a stream on a device"},
      {u"com1 ", u"com1_", "a device with a trailing space"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Why);
    EXPECT_EQ(ToUtf8(WindowsSafeComponent(c.Component)), ToUtf8(c.Safe));
    EXPECT_FALSE(IsReservedDeviceName(WindowsSafeComponent(c.Component)));
  }
}

}  // namespace
}  // namespace kelvane
