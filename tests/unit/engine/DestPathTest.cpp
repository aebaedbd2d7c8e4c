// Stored names as destination paths: nothing of a hostile name reaches outside
// the destination folder, and links below it are found before anything is
// written through them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TempDir.h"
#include "engine/KelDestPath.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

// On Linux "/" is the disk separator, so the expectations are written with it.
static_assert(PathDelim == u'/', "these expectations are written for Linux paths");

TEST(DestPath, StoredNamesBecomeRelativePathsBelowTheDestination) {
  struct Case {
    UString stored;
    UString expected;
    const char* why;
  };
  const Case cases[] = {
      {u"a.txt", u"a.txt", "a plain name"},
      {u"docs/sub/a.txt", u"docs/sub/a.txt", "folders are kept"},
      {u"docs/", u"docs/", "a folder item keeps its trailing separator"},
      {u"a\\b\\c.txt", u"a/b/c.txt", "a backslash separates folders"},
      {u"../x", u"x", "a leading parent reference"},
      {u"..\\..\\x", u"x", "parent references with backslashes"},
      {u"a/../../x", u"a/x", "parent references inside the name"},
      {u"a/./b//c", u"a/b/c", "current-folder and empty components"},
      {u"/etc/x", u"etc/x", "a leading separator"},
      {u"\\etc\\x", u"etc/x", "a leading backslash"},
      {u"///x", u"x", "several leading separators"},
      {u"C:\\x", u"x", "a drive with a backslash"},
      {u"C:/x", u"x", "a drive with a slash"},
      {u"C:x", u"x", "a drive-relative name"},
      {u"/C:/x", u"x", "a drive behind a separator"},
      {u"\\\\server\\share\\dir\\x", u"dir/x", "a network prefix"},
      {u"//server/share/x", u"x", "a network prefix with slashes"},
      {u"\\\\?\\C:\\x", u"x", "a long-path prefix"},
      {u"1:x", u"1:x", "a colon after a digit is no drive"},
      {u"ab:c/d:e", u"ab:c/d:e", "a colon later in the name is an ordinary character"},
      {u"..a/b..", u"..a/b..", "dots inside a component are kept"},
      {UString(u"ok.txt\0.jpg", 11), u"ok.txt", "a zero character ends the name"},
      {UString(u"\0\1\2", 3), u"", "a name that begins with a zero character is empty"},
      {u"..", u"", "only a parent reference"},
      {u"../", u"", "a parent folder item"},
      {u"/", u"", "only a separator"},
      {u"C:", u"", "only a drive"},
      {u"", u"", "an empty name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(ToUtf8(SafeRelativeName(c.stored)), ToUtf8(c.expected));
  }
}

TEST(DestPath, OnlyPathsFromTheRootAreFullPaths) {
  EXPECT_TRUE(IsFullDiskPath(u"/other/x.txt"));
  EXPECT_FALSE(IsFullDiskPath(u"other/x.txt"));
  EXPECT_FALSE(IsFullDiskPath(u"C:\\x"));  // an ordinary name here
  EXPECT_FALSE(IsFullDiskPath(u""));
}

class DestPathLinks : public ::testing::Test {
 protected:
  void SetUp() override {
    namespace fs = std::filesystem;
    fs::create_directories(FDir.Root() / "dest" / "real" / "deeper");
    fs::create_directories(FDir.Root() / "outside");
    std::ofstream(FDir.Root() / "outside" / "target.txt") << "keep";
    fs::create_directory_symlink(FDir.Root() / "outside", FDir.Root() / "dest" / "out");
    fs::create_directory_symlink(FDir.Root() / "outside", FDir.Root() / "dest" / "real" / "out");
    fs::create_symlink(FDir.Root() / "outside" / "target.txt", FDir.Root() / "dest" / "file");
    fs::create_symlink(FDir.Root() / "nowhere", FDir.Root() / "dest" / "dangling");
  }
  UString Dest() const { return FDir.Path(u"dest"); }
  test::TempDir FDir;
};

TEST_F(DestPathLinks, TheFirstLinkOnTheWayIsFound) {
  struct Case {
    UString relative;
    UString link;  // below dest, empty for none
    bool linkIsFolder;
  };
  const Case cases[] = {
      {u"out/x.txt", u"out", true},
      {u"out/new/x.txt", u"out", true},
      {u"real/out/x.txt", u"real/out", true},
      {u"real/out/", u"real/out", true},
      {u"file", u"file", false},
      {u"dangling", u"dangling", false},
      {u"real/deeper/x.txt", u"", false},
      {u"real/", u"", false},
      {u"missing/out/x.txt", u"", false},  // nothing below a missing folder exists yet
      {u"", u"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.relative));
    const TDestPathState state = ExamineDestPath(Dest(), c.relative);
    EXPECT_EQ(ToUtf8(state.Link), c.link.empty() ? "" : ToUtf8(Dest() + u"/" + c.link));
    EXPECT_EQ(state.LinkIsFolder, c.linkIsFolder);
    // The same with the folder given with its trailing separator.
    EXPECT_EQ(ExamineDestPath(Dest() + u"/", c.relative).Link, state.Link);
  }
}

TEST_F(DestPathLinks, WhatExistsIsReported) {
  std::ofstream(FDir.Root() / "dest" / "real" / "have.txt") << "x";
  struct Case {
    UString relative;
    bool foldersExist;
    bool targetExists;
  };
  const Case cases[] = {
      {u"real/have.txt", true, true},
      {u"real/new.txt", true, false},
      {u"real/deeper", true, false},  // a folder where the file would go
      {u"real/deeper/", true, false},
      {u"real/new/x.txt", false, false},
      {u"real/have.txt/x.txt", false, false},  // a file where a folder must be
      {u"top.txt", false, false},              // the destination itself is not looked at
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.relative));
    const TDestPathState state = ExamineDestPath(Dest(), c.relative);
    EXPECT_EQ(state.FoldersExist, c.foldersExist);
    EXPECT_EQ(state.TargetExists, c.targetExists);
  }
}

TEST_F(DestPathLinks, TheDestinationFolderItselfIsTheCallersChoice) {
  // A destination reached through a link is what the caller asked for.
  EXPECT_EQ(ExamineDestPath(Dest() + u"/out", u"target.txt").Link, u"");
  EXPECT_TRUE(ExamineDestPath(Dest() + u"/out", u"target.txt").TargetExists);
}

TEST_F(DestPathLinks, ALinkMayLeadOnlyToPlacesInsideTheDestination) {
  namespace fs = std::filesystem;
  fs::create_directory_symlink("real", FDir.Root() / "dest" / "in");
  fs::create_directory_symlink(".", FDir.Root() / "dest" / "here");
  std::ofstream(FDir.Root() / "dest" / "real" / "have.txt") << "x";
  struct Case {
    UString link;  // below dest
    std::string target;
    bool inside;
    const char* why;
  };
  const Case cases[] = {
      {u"real/l", "have.txt", true, "beside the link"},
      {u"real/l", "missing/x", true, "what does not exist yet stays below"},
      {u"real/l", ".", true, "its own folder"},
      {u"real/l", "../x", true, "up into the destination"},
      {u"real/l", "./../real/deeper/../x", true, "up through folders only"},
      {u"real/l", "../..", false, "up out of the destination"},
      {u"l", "real/../../x", false, "up out of it after a detour"},
      {u"real/l", "/etc/passwd", false, "an absolute target"},
      {u"real/l", "", false, "an empty target"},
      {u"real/l", std::string("x\0y", 3), false, "a NUL in the target"},
      {u"real/l", "../out/x", false, "through a link that leads outside"},
      {u"real/l", "../file", false, "to a link to a file outside"},
      {u"real/l", "../dangling", false, "through a link that leads nowhere"},
      {u"real/l", "../in/have.txt", true, "through a link that leads inside"},
      {u"real/l", "../in/../x", false, "climbing out of a link: it may change"},
      {u"l", "here/here/here/x", true, "links in a row that stay inside"},
      {u"l", "here/here/../../..", false, "climbing out of links in a row"},
      {u"l", "later/../../x", false, "climbing out of a name that may become a link"},
      {u"real/l", "have.txt/../x", false, "climbing out of a file"},
      {u"out/l", "x", false, "a link whose folder is outside"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(LinkStaysInside(Dest(), Dest() + u"/" + c.link, c.target), c.inside) << c.target;
  }
  // A destination given through a link is resolved the same way.
  EXPECT_TRUE(LinkStaysInside(Dest() + u"/in", Dest() + u"/real/l", "deeper"));
  EXPECT_FALSE(LinkStaysInside(Dest() + u"/in", Dest() + u"/real/l", "../x"));
  EXPECT_FALSE(LinkStaysInside(Dest() + u"/missing", Dest() + u"/missing/l", "x"));
}

TEST_F(DestPathLinks, AFolderNameThatIsNoTextIsLookedUpAsItIs) {
  // The destination resolves to a folder whose name is not UTF-8: the links
  // below it must still be found (a name converted to text and back would
  // name nothing, and a link behind it would pass as missing).
  namespace fs = std::filesystem;
  const fs::path odd = FDir.Root() / "odd\xff";
  fs::create_directories(odd / "sub");
  fs::create_directory_symlink(FDir.Root() / "outside", odd / "out");
  fs::create_directory_symlink(odd, FDir.Root() / "dest" / "odd");
  const UString root = Dest() + u"/odd";
  EXPECT_FALSE(LinkStaysInside(root, root + u"/l", "out/x"));
  EXPECT_FALSE(LinkStaysInside(root, root + u"/sub/l", "../out/x"));
  EXPECT_TRUE(LinkStaysInside(root, root + u"/sub/l", "../sub/x"));
}

}  // namespace
}  // namespace kelvane
