#include "names/Paths.h"

#include <gtest/gtest.h>

#include "names/PathDrive.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

TEST(Paths, TrailingSeparator) {
  struct {
    UString Path, Included, Excluded;
  } cases[] = {
      {u"/x", u"/x/", u"/x"}, {u"/x/", u"/x/", u"/x"}, {u"/", u"/", u""},
      {u"", u"/", u""},       {u"x//", u"x//", u"x/"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IncludeBackslash(c.Path), c.Included) << ToUtf8(c.Path);
    EXPECT_EQ(ExcludeBackslash(c.Path), c.Excluded) << ToUtf8(c.Path);
  }
  EXPECT_EQ(BaseDirectory(u"/a", u"/b"), u"/a/");
  EXPECT_EQ(BaseDirectory(u"", u"/b"), u"/b/");
  EXPECT_EQ(BaseDirectory(u"", u""), u"/");
}

TEST(Paths, SplitParts) {
  struct {
    UString Path, Name, Dir, Ext;
  } cases[] = {
      {u"/a/b/c.txt", u"c.txt", u"/a/b/", u".txt"},
      {u"c.txt", u"c.txt", u"", u".txt"},
      {u"dir.v2/file", u"file", u"dir.v2/", u""},
      {u"/a/b/", u"", u"/a/b/", u""},
      {u"/", u"", u"/", u""},
      {u"", u"", u"", u""},
      {u"archive.tar.gz", u"archive.tar.gz", u"", u".gz"},
      {u"/home/.profile", u".profile", u"/home/", u".profile"},
      // A backslash and a colon are ordinary file-name characters here.
      {u"a\\b\\c.txt", u"a\\b\\c.txt", u"", u".txt"},
      {u"/d/c:x.v1\\y", u"c:x.v1\\y", u"/d/", u".v1\\y"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ToUtf8(c.Path));
    EXPECT_EQ(FileNamePart(c.Path), c.Name);
    EXPECT_EQ(DirectoryPart(c.Path), c.Dir);
    EXPECT_EQ(ExtensionPart(c.Path), c.Ext);
    EXPECT_EQ(DirectoryPart(c.Path) + FileNamePart(c.Path), c.Path);
  }
}

TEST(Paths, NoDrivesOnThisSystem) {
  for (const UString& p : {UString(u"C:/x"), UString(u"//srv/share/x"), UString(u"/x")})
    EXPECT_EQ(DrivePart(p), u"") << ToUtf8(p);
  EXPECT_FALSE(IsPathDelimiter(u':'));
  EXPECT_FALSE(SameFileName(u"Data", u"data"));
}

TEST(Paths, RelativePath) {
  struct {
    UString Base, Dest, Relative;
  } cases[] = {
      {u"/data/", u"/data/sub/a.txt", u"sub/a.txt"},
      {u"/data/", u"/data/a.txt", u"a.txt"},
      {u"/data/sub/", u"/data/other/b.txt", u"../other/b.txt"},
      {u"/data/sub/deep/", u"/x.txt", u"../../../x.txt"},
      {u"/", u"/a/b", u"a/b"},
      {u"/data/", u"/data/", u""},
      // Folders are compared whole, not as text prefixes.
      {u"/data/", u"/database/x", u"../database/x"},
      // Names differing in case are different folders here.
      {u"/data/", u"/Data/a.txt", u"../Data/a.txt"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(RelativePath(c.Base, c.Dest), c.Relative) << ToUtf8(c.Base) << " " << ToUtf8(c.Dest);
}

}  // namespace
}  // namespace kelvane
