// Command-line paths of add, update and move as disk paths and stored names,
// in both path styles (the Windows one is plain text work, checked anywhere).
#include "cli/SourcePaths.h"

#include <gtest/gtest.h>

#include "platform/Text.h"

namespace kelvane::cli {
namespace {

struct TPlanCase {
  const char* Given;
  UString Folder, Path, Base, Stored;
  bool BaseIsRoot;
};

void ExpectPlans(const TPlanCase* cases, size_t count, bool drives) {
  for (size_t i = 0; i < count; ++i) {
    const TPlanCase& c = cases[i];
    SCOPED_TRACE(c.Given);
    const TSourcePath s = PlanSource(c.Given, c.Folder, drives);
    EXPECT_EQ(ToUtf8(s.Path), ToUtf8(c.Path));
    EXPECT_EQ(ToUtf8(s.Base), ToUtf8(c.Base));
    EXPECT_EQ(ToUtf8(s.Stored), ToUtf8(c.Stored));
    EXPECT_EQ(s.BaseIsRoot, c.BaseIsRoot);
  }
}

TEST(SourcePaths, LinuxPaths) {
  const TPlanCase cases[] = {
      {"a/b.txt", u"/home/u", u"/home/u/a/b.txt", u"/home/u", u"a/b.txt", false},
      {"../x/y", u"/home/u", u"/home/x/y", u"/home", u"x/y", false},
      {"/etc/hosts", u"/home/u", u"/etc/hosts", u"/", u"etc/hosts", true},
      {"/../../etc", u"/tmp", u"/etc", u"/", u"etc", true},
      {"a\\b", u"/w", u"/w/a\\b", u"/w", u"a\\b", false},
      {".", u"/w", u"/w", u"/w", u"", false},
  };
  ExpectPlans(cases, std::size(cases), false);
}

TEST(SourcePaths, WindowsPaths) {
  const TPlanCase cases[] = {
      {"a\\b.txt", u"C:\\Users\\u", u"C:\\Users\\u\\a\\b.txt", u"C:\\Users\\u", u"a/b.txt", false},
      {"a/b.txt", u"C:\\w", u"C:\\w\\a\\b.txt", u"C:\\w", u"a/b.txt", false},
      {"..\\x\\y", u"C:\\Users\\u", u"C:\\Users\\x\\y", u"C:\\Users", u"x/y", false},
      {"D:\\data\\f", u"C:\\w", u"D:\\data\\f", u"D:\\", u"data/f", true},
      {"\\top\\f", u"E:\\w", u"E:\\top\\f", u"E:\\", u"top/f", true},
      {"C:\\..\\..\\x", u"C:\\w", u"C:\\x", u"C:\\", u"x", true},
      {"\\\\srv\\share\\dir\\f", u"C:\\w", u"\\\\srv\\share\\dir\\f", u"\\\\srv\\share\\", u"dir/f",
       true},
      {"f", u"\\\\srv\\share\\w", u"\\\\srv\\share\\w\\f", u"\\\\srv\\share\\w", u"f", false},
      {"\u00D1and\u00FA\\\u00FC.txt", u"C:\\A\u00F1o", u"C:\\A\u00F1o\\\u00D1and\u00FA\\\u00FC.txt",
       u"C:\\A\u00F1o", u"\u00D1and\u00FA/\u00FC.txt", false},
  };
  ExpectPlans(cases, std::size(cases), true);
}

}  // namespace
}  // namespace kelvane::cli
