#include "names/StoredName.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "TempDir.h"
#include "names/Paths.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

struct TStoredCase {
  UString File;
  TKelStorePathMode Mode;
  UString Stored;
};

TEST(StoredName, AllModesAgainstABaseFolder) {
  const TStoredCase cases[] = {
      {u"/data/sub/a.txt", spRelativePath, u"sub/a.txt"},
      {u"/data/sub/a.txt", spFullPath, u"data/sub/a.txt"},
      {u"/data/sub/a.txt", spNoPath, u"a.txt"},
      {u"/data/sub/a.txt", spFullPathWithDrive, u"/data/sub/a.txt"},
      // Outside the base: the full path stands in for the relative one.
      {u"/other/b.txt", spRelativePath, u"other/b.txt"},
      {u"../other/b.txt", spRelativePath, u"other/b.txt"},
      // Relative names resolve against the base folder.
      {u"sub/a.txt", spRelativePath, u"sub/a.txt"},
      {u"sub/a.txt", spFullPath, u"data/sub/a.txt"},
      {u"/data/sub/./x/../a.txt", spRelativePath, u"sub/a.txt"},
      // A folder path loses its separator; the caller adds "/" for folders.
      {u"/data/sub/", spRelativePath, u"sub"},
      {u"/data/sub/", spFullPath, u"data/sub"},
      {u"/data/sub/", spNoPath, u"sub"},
      {u"/data/sub/", spFullPathWithDrive, u"/data/sub"},
      // Trailing dots are part of a name here: "..." must not become "..".
      {u"/data/notes.", spRelativePath, u"notes."},
      {u"/data/...", spRelativePath, u"..."},
      {u"/data/...", spFullPath, u"data/..."},
      // A colon is an ordinary character, not a drive.
      {u"/data/c:x", spFullPath, u"data/c:x"},
      // A backslash in a name reads as a separator inside the archive.
      {u"/data/a\\b.txt", spRelativePath, u"a/b.txt"},
  };
  for (const TStoredCase& c : cases) {
    SCOPED_TRACE(ToUtf8(c.File) + " mode " + std::to_string(c.Mode));
    EXPECT_EQ(MakeStoredName(c.File, u"/data/", c.Mode, u"/data/"), c.Stored);
  }
}

TEST(StoredName, BaseFolderGivenWithoutSeparatorOrEmpty) {
  EXPECT_EQ(MakeStoredName(u"/data/sub/a.txt", u"/data", spRelativePath, u"/"), u"sub/a.txt");
  // An empty base folder means the current folder given.
  EXPECT_EQ(MakeStoredName(u"sub/a.txt", u"", spRelativePath, u"/data"), u"sub/a.txt");
  EXPECT_EQ(MakeStoredName(u"sub/a.txt", u"", spFullPath, u"/data"), u"data/sub/a.txt");
}

TEST(StoredName, ExistingBaseFolderOnDisk) {
  test::TempDir tmp;
  const UString root = tmp.Path(u"");  // ends with "/"
  std::filesystem::create_directory(tmp.NativePath("base"));
  const UString base = tmp.Path(u"base");
  EXPECT_EQ(MakeStoredName(u"x/f.bin", base, spRelativePath, root), u"x/f.bin");
  EXPECT_EQ(MakeStoredName(base + u"/x/f.bin", base, spFullPathWithDrive, root),
            base + u"/x/f.bin");
  EXPECT_EQ(MakeStoredName(tmp.Path(u"other/f.bin"), base, spRelativePath, root),
            tmp.Path(u"other/f.bin").substr(1));
}

TEST(ResolvePath, Names) {
  struct {
    UString Base, Name, Current, Resolved;
  } cases[] = {
      {u"/data", u"a/../b.txt", u"/cur", u"/data/b.txt"},
      {u"/data/", u"sub//c.txt", u"/cur", u"/data/sub/c.txt"},
      {u"/data", u"/etc/x", u"/cur", u"/etc/x"},
      {u"", u"f", u"/cur", u"/cur/f"},
      {u"/data", u"c:x", u"/cur", u"/data/c:x"},
      {u"/data", u"sub/", u"/cur", u"/data/sub/"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ResolvePath(c.Base, c.Name, c.Current), c.Resolved)
        << ToUtf8(c.Base) << " " << ToUtf8(c.Name);
}

TEST(ResolvePath, EmptyNameNamesTheBaseFolder) {
  test::TempDir tmp;
  const UString existing = tmp.Path(u"");
  const UString existingNoSep = existing.substr(0, existing.size() - 1);
  struct {
    UString Base, Current, Resolved;
  } cases[] = {
      {existingNoSep, u"/cur", existing},
      {existingNoSep + u"/./", u"/cur", existing},
      {u"", u"/cur/x/..", u"/cur/"},
      // The root is the root, not the current folder.
      {u"/", u"/cur", u"/"},
      // A folder that does not exist stays as given.
      {tmp.Path(u"missing/q"), u"/cur", tmp.Path(u"missing/q")},
      {u"rel/dir", u"/cur", u"rel/dir"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ResolvePath(c.Base, u"", c.Current), c.Resolved) << ToUtf8(c.Base);
}

TEST(ResolvePath, EmptyCurrentFolderMeansTheProcessFolder) {
  EXPECT_EQ(ResolvePath(u"", u"f", u""), IncludeBackslash(CurrentDirectory()) + u"f");
}

}  // namespace
}  // namespace kelvane
