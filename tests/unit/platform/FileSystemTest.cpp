#include "platform/FileSystem.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "TempDir.h"
#include "platform/Exception.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream(path, std::ios::binary) << data;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0);
  return st.st_mode & 07777;
}

TEST(CreateDirectories, CreatesWhatIsMissingAndRefusesFiles) {
  TempDir dir;
  WriteFile(dir.NativePath("file"), "x");
  fs::create_directory(dir.Root() / "there");
  struct Case {
    const char16_t* path;  // below the temporary folder
    bool result;
    const char* folder;  // a folder that must exist afterwards, when not null
  };
  const Case cases[] = {
      {u"a/b/c", true, "a/b/c"},     {u"t/u/", true, "t/u"},  // one trailing separator is dropped
      {u"d//e", true, "d/e"},                                 // repeated separators
      {u"there", true, "there"},                              // already there
      {u"there/", true, "there"},    {u"file", false, nullptr},  // a file is not a folder
      {u"file/sub", false, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.path));
    EXPECT_EQ(CreateDirectories(dir.Path(c.path)), c.result);
    if (c.folder) {
      EXPECT_TRUE(fs::is_directory(dir.Root() / c.folder));
    }
  }
  EXPECT_TRUE(fs::is_regular_file(dir.Root() / "file"));
  EXPECT_TRUE(CreateDirectories(u"/"));
}

TEST(CreateDirectories, EmptyPathRaises) {
  try {
    CreateDirectories(u"");
    FAIL() << "no exception";
  } catch (const EInOutError& e) {
    EXPECT_STREQ(e.what(), "Unable to create directory");
  }
}

TEST(FileQueries, ExistenceAttributesAndKinds) {
  TempDir dir;
  WriteFile(dir.NativePath("plain.txt"), "x");
  WriteFile(dir.NativePath("locked.txt"), "x");
  ::chmod(dir.NativePath("locked.txt").c_str(), 0444);
  WriteFile(dir.NativePath(".profile"), "x");
  fs::create_directory(dir.Root() / "folder");
  fs::create_directory(dir.Root() / ".git");
  fs::create_symlink(dir.Root() / "folder", dir.Root() / "link-to-folder");
  fs::create_symlink(dir.Root() / "nowhere", dir.Root() / "dangling");
  ASSERT_EQ(::mkfifo(dir.NativePath("pipe").c_str(), 0644), 0);

  struct Case {
    const char16_t* name;
    int32_t attr;
    bool isFile, isDirectory;
  };
  const Case cases[] = {
      {u"plain.txt", faArchive, true, false},
      {u"locked.txt", faArchive | faReadOnly, true, false},
      {u".profile", faArchive | faHidden, true, false},
      {u"folder", faDirectory, false, true},
      {u"folder/", faDirectory, false, true},
      {u"folder/.", faDirectory, false, true},  // "." is not a hidden name
      {u".git", faDirectory | faHidden, false, true},
      {u"link-to-folder", faDirectory, false, true},
      {u"pipe", faSysFile, true, false},
      {u"dangling", faSysFile, false, false},  // listed, but unreadable
      {u"missing", -1, false, false},
      {u"plain.txt/", -1, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.name));
    EXPECT_EQ(GetAttributes(dir.Path(c.name)), c.attr);
    EXPECT_EQ(IsFile(dir.Path(c.name)), c.isFile);
    EXPECT_EQ(IsDirectory(dir.Path(c.name)), c.isDirectory);
  }
  EXPECT_EQ(GetAttributes(u""), -1);
}

TEST(FileQueries, APathWithAnEmbeddedNulNamesNoFile) {
  TempDir dir;
  WriteFile(dir.NativePath("f"), "data");
  fs::create_directory(dir.Root() / "d");
  const UString nul(1, u'\0');
  const UString file = dir.Path(u"f") + nul + u"x";
  const UString folder = dir.Path(u"d") + nul + u"/e";
  EXPECT_EQ(GetAttributes(file), -1);
  EXPECT_FALSE(IsFile(file));
  EXPECT_FALSE(IsDirectory(folder));
  EXPECT_FALSE(CreateDirectories(dir.Path(u"new") + nul + u"/e"));
  EXPECT_FALSE(RemoveFile(file));
  EXPECT_FALSE(SetAttributes(file, faReadOnly));
  EXPECT_FALSE(CopyOnDisk(dir.Path(u"f"), file, false));
  EXPECT_FALSE(RenameOnDisk(dir.Path(u"f"), file));
  EXPECT_FALSE(RemoveEmptyTree(folder));
  TSearchRec rec;
  EXPECT_NE(ListFirst(dir.Path(u"d") + nul + u"/*", faAnyFile, rec), 0);
  EXPECT_EQ(ReadFile(dir.NativePath("f")), "data");
  EXPECT_EQ(ModeOf(dir.NativePath("f")) & 0200, 0200u);
  EXPECT_TRUE(fs::is_directory(dir.Root() / "d"));
  EXPECT_FALSE(fs::exists(dir.Root() / "new"));
}

TEST(FileQueries, ReadOnlyRoundTripThroughTheModeBits) {
  TempDir dir;
  const std::string native = dir.NativePath("f");
  WriteFile(native, "x");
  ::chmod(native.c_str(), 0664);
  const UString path = dir.Path(u"f");

  ASSERT_TRUE(SetAttributes(path, faReadOnly | faArchive | faHidden));
  EXPECT_EQ(ModeOf(native), 0444u);  // every write permission gone, nothing else touched
  EXPECT_EQ(GetAttributes(path), faArchive | faReadOnly);  // hidden comes from the name only

  ASSERT_TRUE(SetAttributes(path, faArchive));
  EXPECT_EQ(ModeOf(native), 0644u);
  EXPECT_EQ(GetAttributes(path), faArchive);

  EXPECT_FALSE(SetAttributes(dir.Path(u"missing"), 0));
}

TEST(FileQueries, ReadOnlyIsNotAppliedToFolders) {
  TempDir dir;
  fs::create_directory(dir.Root() / "d");
  const mode_t before = ModeOf(dir.NativePath("d"));
  EXPECT_TRUE(SetAttributes(dir.Path(u"d"), faDirectory | faReadOnly));
  EXPECT_EQ(ModeOf(dir.NativePath("d")), before);
}

TEST(FileOperations, RemoveFileTakesFilesOnly) {
  TempDir dir;
  WriteFile(dir.NativePath("f"), "x");
  fs::create_directory(dir.Root() / "d");
  EXPECT_TRUE(RemoveFile(dir.Path(u"f")));
  EXPECT_FALSE(fs::exists(dir.Root() / "f"));
  EXPECT_FALSE(RemoveFile(dir.Path(u"d")));
  EXPECT_TRUE(fs::is_directory(dir.Root() / "d"));
  EXPECT_FALSE(RemoveFile(dir.Path(u"f")));
}

TEST(FileOperations, RenameNeverReplaces) {
  TempDir dir;
  WriteFile(dir.NativePath("a"), "A");
  WriteFile(dir.NativePath("b"), "B");
  EXPECT_FALSE(RenameOnDisk(dir.Path(u"a"), dir.Path(u"b")));
  EXPECT_EQ(ReadFile(dir.NativePath("a")), "A");
  EXPECT_EQ(ReadFile(dir.NativePath("b")), "B");

  EXPECT_TRUE(RenameOnDisk(dir.Path(u"a"), dir.Path(u"c")));
  EXPECT_FALSE(fs::exists(dir.Root() / "a"));
  EXPECT_EQ(ReadFile(dir.NativePath("c")), "A");

  fs::create_directory(dir.Root() / "d");
  EXPECT_TRUE(RenameOnDisk(dir.Path(u"d"), dir.Path(u"e")));
  EXPECT_TRUE(fs::is_directory(dir.Root() / "e"));
  EXPECT_FALSE(RenameOnDisk(dir.Path(u"missing"), dir.Path(u"x")));
}

TEST(FileOperations, CopyKeepsDataTimeAndMode) {
  TempDir dir;
  const std::string data(3 << 20, 'q');  // more than one block of the fallback copy
  WriteFile(dir.NativePath("src"), data);
  ::chmod(dir.NativePath("src").c_str(), 0640);
  struct timespec times[2] = {{0, UTIME_OMIT}, {1300000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, dir.NativePath("src").c_str(), times, 0), 0);

  ASSERT_TRUE(CopyOnDisk(dir.Path(u"src"), dir.Path(u"dst"), true));
  EXPECT_EQ(ReadFile(dir.NativePath("dst")), data);
  EXPECT_EQ(ModeOf(dir.NativePath("dst")), 0640u);
  EXPECT_EQ(FileDosTime(dir.Path(u"dst")), FileDosTime(dir.Path(u"src")));
  struct stat st {};
  ASSERT_EQ(::stat(dir.NativePath("dst").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1300000000);
}

TEST(FileOperations, CopyOverAnExistingFile) {
  TempDir dir;
  WriteFile(dir.NativePath("src"), "new data");
  WriteFile(dir.NativePath("dst"), "old");
  EXPECT_FALSE(CopyOnDisk(dir.Path(u"src"), dir.Path(u"dst"), true));
  EXPECT_EQ(ReadFile(dir.NativePath("dst")), "old");

  EXPECT_TRUE(CopyOnDisk(dir.Path(u"src"), dir.Path(u"dst"), false));
  EXPECT_EQ(ReadFile(dir.NativePath("dst")), "new data");
  // Nothing left behind from writing beside the target.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Root()), fs::directory_iterator()), 2);
}

TEST(FileOperations, CopyRefusesToDestroyItsSource) {
  TempDir dir;
  WriteFile(dir.NativePath("src"), "precious");
  fs::create_hard_link(dir.Root() / "src", dir.Root() / "alias");
  EXPECT_FALSE(CopyOnDisk(dir.Path(u"src"), dir.Path(u"src"), false));
  EXPECT_FALSE(CopyOnDisk(dir.Path(u"src"), dir.Path(u"alias"), false));
  EXPECT_EQ(ReadFile(dir.NativePath("src")), "precious");

  fs::create_directory(dir.Root() / "d");
  ASSERT_EQ(::mkfifo(dir.NativePath("pipe").c_str(), 0644), 0);
  EXPECT_FALSE(CopyOnDisk(dir.Path(u"missing"), dir.Path(u"x"), false));
  EXPECT_FALSE(CopyOnDisk(dir.Path(u"d"), dir.Path(u"x"), false));
  EXPECT_FALSE(CopyOnDisk(dir.Path(u"pipe"), dir.Path(u"x"), false));  // would block
  EXPECT_FALSE(CopyOnDisk(dir.Path(u"src"), dir.Path(u"d"), false));
  EXPECT_FALSE(fs::exists(dir.Root() / "x"));
}

TEST(FileOperations, FlushAndHandleTime) {
  TempDir dir;
  WriteFile(dir.NativePath("f"), "x");
  EXPECT_TRUE(FlushFile(dir.Path(u"f")));
  EXPECT_TRUE(FlushFile(FromUtf8(dir.Root().string())));
  EXPECT_FALSE(FlushFile(dir.Path(u"missing")));

  const int fd = ::open(dir.NativePath("f").c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  const int32_t dos = 0x4A8F6000;  // 2017-04-15 12:00:00
  EXPECT_TRUE(SetHandleDosTime(fd, dos));
  EXPECT_FALSE(SetHandleDosTime(fd, 0));
  ::close(fd);
  EXPECT_EQ(FileDosTime(dir.Path(u"f")), dos);
}

TEST(DiskInfo, FreeSpaceAndDrives) {
  TempDir dir;
  const int64_t free = DiskFreeSpace(FromUtf8(dir.Root().string()));
  EXPECT_GE(free, 0);
  // A volume not yet written is asked about through its folder.
  EXPECT_GE(DiskFreeSpace(dir.Path(u"not/yet/there.z01")), 0);
  EXPECT_EQ(DiskFreeSpace(u""), -1);

  EXPECT_FALSE(IsFloppyDrive(u"A:\\x.zip"));
  EXPECT_FALSE(IsRemovableDrive(u"/proc/self/status"));  // no block device behind it
  EXPECT_FALSE(IsRemovableDrive(u""));
  EXPECT_FALSE(LabelVolume(dir.Path(u""), u"pkback# 001"));
}

class RemoveEmptyTreeTest : public ::testing::Test {
 protected:
  void MakeFolders(std::initializer_list<const char*> paths) {
    for (const char* p : paths)
      fs::create_directories(FDir.Root() / p);
  }
  bool Exists(const char* p) { return fs::exists(FDir.Root() / p); }
  TempDir FDir;
};

TEST_F(RemoveEmptyTreeTest, RemovesATreeOfFolders) {
  MakeFolders({"t/a/b/c", "t/a/d", "t/.hidden/x", "t/e"});
  EXPECT_TRUE(RemoveEmptyTree(FDir.Path(u"t/")));
  EXPECT_FALSE(Exists("t"));
  MakeFolders({"u/v"});
  EXPECT_TRUE(RemoveEmptyTree(FDir.Path(u"u")));  // without the trailing separator
  EXPECT_FALSE(Exists("u"));
  EXPECT_TRUE(RemoveEmptyTree(FDir.Path(u"gone/")));
}

TEST_F(RemoveEmptyTreeTest, AFileDeepInsideKeepsItsFoldersAndFails) {
  MakeFolders({"t/a/b/c", "t/m/n"});
  WriteFile(FDir.NativePath("t/a/b/c/keep.txt"), "k");
  EXPECT_FALSE(RemoveEmptyTree(FDir.Path(u"t/")));
  EXPECT_EQ(ReadFile(FDir.NativePath("t/a/b/c/keep.txt")), "k");
  EXPECT_TRUE(Exists("t/a/b/c"));
}

TEST_F(RemoveEmptyTreeTest, NeverFollowsLinksToFolders) {
  MakeFolders({"t/a", "elsewhere/empty"});
  fs::create_directory_symlink(FDir.Root() / "elsewhere", FDir.Root() / "t/a/link");
  fs::create_directory_symlink(FDir.Root() / "elsewhere", FDir.Root() / "link");
  EXPECT_FALSE(RemoveEmptyTree(FDir.Path(u"t/")));
  EXPECT_FALSE(RemoveEmptyTree(FDir.Path(u"link/")));
  EXPECT_TRUE(Exists("elsewhere/empty"));
  EXPECT_TRUE(Exists("t/a"));
}

class ListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(FDir.NativePath("file.txt"), "12345");
    WriteFile(FDir.NativePath("b.dat"), "");
    WriteFile(FDir.NativePath(".hid"), "");
    fs::create_directory(FDir.Root() / "sub");
    ASSERT_EQ(::mkfifo(FDir.NativePath("pipe").c_str(), 0644), 0);
  }

  std::vector<std::string> List(const UString& mask, int32_t attr) {
    std::vector<std::string> names;
    TSearchRec rec;
    int r = ListFirst(FDir.Path(mask), attr, rec);
    for (; r == 0; r = ListNext(rec))
      names.push_back(ToUtf8(rec.Name));
    EXPECT_NE(r, 0);
    ListClose(rec);
    return names;
  }

  TempDir FDir;
};

TEST_F(ListTest, AttributeFilter) {
  using V = std::vector<std::string>;
  struct Case {
    int32_t attr;
    V names;
  };
  const Case cases[] = {
      {0, {"b.dat", "file.txt"}},
      {faArchive | faReadOnly, {"b.dat", "file.txt"}},  // not special: no effect
      {faHidden, {".hid", "b.dat", "file.txt"}},
      {faSysFile, {"b.dat", "file.txt", "pipe"}},
      {faDirectory, {".", "..", "b.dat", "file.txt", "sub"}},
      {0x1F7, {".", "..", ".hid", "b.dat", "file.txt", "pipe", "sub"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.attr);
    EXPECT_EQ(List(u"*", c.attr), c.names);
  }
}

TEST_F(ListTest, Masks) {
  using V = std::vector<std::string>;
  struct Case {
    const char16_t* mask;
    V names;
  };
  const Case cases[] = {
      {u"*.*", {".", "..", ".hid", "b.dat", "file.txt", "pipe", "sub"}},  // also names without "."
      {u"*.txt", {"file.txt"}},
      {u"*.TXT", {"file.txt"}},  // wildcards match either case
      {u"FILE.*", {"file.txt"}},
      {u"?ub", {"sub"}},
      {u"s*b*", {"sub"}},
      {u"*l*e*", {"file.txt"}},
      {u"sub.*", {"sub"}},
      {u"file.txt", {"file.txt"}},
      {u"FILE.TXT", {}},  // a plain name names exactly one entry
      {u"*.zip", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.mask));
    EXPECT_EQ(List(c.mask, 0x1F7), c.names);
  }
}

TEST_F(ListTest, RecordAndErrors) {
  TSearchRec rec;
  ASSERT_EQ(ListFirst(FDir.Path(u"file.txt"), 0, rec), 0);
  EXPECT_EQ(rec.Name, u"file.txt");
  EXPECT_EQ(rec.Attr, faArchive);
  EXPECT_EQ(rec.Size, 5);
  EXPECT_EQ(rec.Time, FileDosTime(FDir.Path(u"file.txt")));
  EXPECT_NE(ListNext(rec), 0);
  EXPECT_NE(ListNext(rec), 0);  // stays ended

  EXPECT_EQ(ListFirst(FDir.Path(u"missing/*"), faAnyFile, rec), ENOENT);
  EXPECT_EQ(ListFirst(FDir.Path(u"file.txt/*"), faAnyFile, rec), ENOTDIR);
  EXPECT_EQ(ListFirst(FDir.Path(u"*.zip"), faAnyFile, rec), ENOENT);
  EXPECT_EQ(ListFirst(FDir.Path(u""), faAnyFile, rec), ENOENT);
}

TEST_F(ListTest, SizesBeyondFourGigabytes) {
  const std::string native = FDir.NativePath("big");
  WriteFile(native, "");
  ASSERT_EQ(::truncate(native.c_str(), (int64_t(5) << 30) + 7), 0);  // sparse
  TSearchRec rec;
  ASSERT_EQ(ListFirst(FDir.Path(u"big"), 0, rec), 0);
  EXPECT_EQ(rec.Size, (int64_t(5) << 30) + 7);
}

TEST_F(ListTest, WithoutAFolderListsTheCurrentFolder) {
  const fs::path saved = fs::current_path();
  fs::current_path(FDir.Root());
  TSearchRec rec;
  const int r = ListFirst(u"*.txt", 0, rec);
  const UString name = rec.Name;
  fs::current_path(saved);
  ASSERT_EQ(r, 0);
  EXPECT_EQ(name, u"file.txt");
}

}  // namespace
}  // namespace kelvane
