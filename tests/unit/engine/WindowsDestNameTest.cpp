// Stored names under the Windows rules, checked on every system: nothing of a
// hostile name reaches outside the destination or names a device or a stream.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/KelDestPath.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

// Expectations use "/"; the result separates with the system's PathDelim.
std::string WithSlashes(UString path) {
  std::replace(path.begin(), path.end(), PathDelim, u'/');
  return ToUtf8(path);
}

TEST(WindowsDestName, HostileNamesStayBelowTheDestination) {
  struct {
    UString Stored, Expected;
    const char* Why;
  } cases[] = {
      {u"a/b.txt", u"a/b.txt", "a plain name"},
      {u"dir/", u"dir/", "a folder item"},
      {u"C:\\Windows\\x.dll", u"Windows/x.dll", "a drive"},
      {u"c:x", u"x", "a drive-relative name"},
      {u"d/C:/x", u"d/C_/x", "a drive inside the name"},
      {u"\\\\server\\share\\x", u"x", "a network path"},
      {u"\\\\?\\C:\\x", u"x", "a long-path prefix"},
      {u"\\\\.\\PhysicalDrive0", u"", "a device path"},
      {u"//./CON", u"", "a device path with slashes"},
      {u"..\\..\\evil.txt", u"evil.txt", "parent references"},
      {u"a/../../b", u"a/b", "parent references inside"},
      {u"report.txt:hidden", u"report.txt_hidden", "an alternate data stream"},
      {u"dir:x/y", u"dir_x/y", "a stream on a folder"},
      {u"CON", u"_CON", "a device"},
      {u"x/nul.txt", u"x/_nul.txt", "a device with an extension in a folder"},
      {u"Com1/a", u"_Com1/a", "a device as a folder"},
      {u"LPT9 .log", u"_LPT9 .log", "a device with a space before the extension"},
      {u"aux./b", u"aux_/b", "a trailing dot of a folder"},
      {u"a /b", u"a_/b", "a trailing space of a folder"},
      {u"x/.. /y", u"x/___/y", "a component Windows would trim to a parent reference"},
      {u"x/... /y", u"x/____/y", "dots and a space"},
      {u"q?/s*", u"q_/s_", "wildcards"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Why);
    EXPECT_EQ(WithSlashes(SafeRelativeName(c.Stored, true)), ToUtf8(c.Expected));
  }
}

TEST(WindowsDestName, LinuxRulesKeepWhatLinuxCanStore) {
  EXPECT_EQ(WithSlashes(SafeRelativeName(u"ab:c/CON/x.", false)), "ab:c/CON/x.");
  EXPECT_EQ(WithSlashes(SafeRelativeName(u"C:\\x/nul", false)), "x/nul");
}

}  // namespace
}  // namespace kelvane
