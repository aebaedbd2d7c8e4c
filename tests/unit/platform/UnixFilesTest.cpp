#include "platform/UnixFiles.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "TempDir.h"

namespace kelvane {
namespace {

namespace fs = std::filesystem;

class UnixFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(FDir.NativePath("file"), std::ios::binary) << "12345";
    ::chmod(FDir.NativePath("file").c_str(), 0751);
    const struct timespec times[2] = {{1000, 0}, {1000, 0}};
    ::utimensat(AT_FDCWD, FDir.NativePath("file").c_str(), times, 0);
    fs::create_directory(FDir.Root() / "dir");
    fs::create_symlink("file", FDir.Root() / "link");
    fs::create_symlink("dir", FDir.Root() / "dirlink");
    fs::create_symlink("nowhere", FDir.Root() / "dangling");
  }
  struct stat Lstat(const std::string& name) {
    struct stat st {};
    EXPECT_EQ(::lstat(FDir.NativePath(name).c_str(), &st), 0);
    return st;
  }
  test::TempDir FDir;
};

TEST_F(UnixFiles, EntriesAreDescribedAsTheyAreOrAsWhatTheyLeadTo) {
  const struct {
    const char* Name;
    bool Follow;
    uint32_t Mode;
    int64_t Size;
    const char* Target;  // empty: not described as a link
  } cases[] = {
      {"file", false, 0100751, 5, ""},
      {"link", false, 0120777, 4, "file"},
      {"link", true, 0100751, 5, ""},
      {"dirlink", true, 0040000, 0, ""},
      {"dangling", true, 0120777, 7, "nowhere"},  // nothing to follow
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Name) + (c.Follow ? " followed" : ""));
    TDiskEntry entry;
    ASSERT_TRUE(ReadDiskEntry(FDir.Path(FromUtf8(c.Name)), c.Follow, entry));
    if (c.Mode == 0040000)
      EXPECT_EQ(entry.Mode & 0170000, c.Mode);
    else
      EXPECT_EQ(entry.Mode, c.Mode);
    EXPECT_EQ(entry.Size, c.Size);
    EXPECT_EQ(entry.IsLink, *c.Target != 0);
    EXPECT_EQ(entry.LinkTarget, c.Target);
  }
  TDiskEntry entry;
  ASSERT_TRUE(ReadDiskEntry(FDir.Path(u"file"), false, entry));
  EXPECT_EQ(entry.MTime, 1000);
  EXPECT_FALSE(ReadDiskEntry(FDir.Path(u"missing"), false, entry));
  EXPECT_FALSE(ReadDiskEntry(FDir.Path(UString(u"file\0x", 6)), false, entry));
}

TEST_F(UnixFiles, ModeAndTimeGoToTheFileWithoutSpecialBits) {
  const int fd = ::open(FDir.NativePath("file").c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  EXPECT_TRUE(SetHandleMode(fd, 0106754));
  EXPECT_TRUE(SetHandleUnixTime(fd, 1614834367));
  ::close(fd);
  EXPECT_EQ(Lstat("file").st_mode, 0100754u);
  EXPECT_EQ(Lstat("file").st_mtime, 1614834367);
}

TEST_F(UnixFiles, LinksAreMadeWithoutReplacingAnythingAndTimedThemselves) {
  EXPECT_TRUE(CreateSymbolicLink("../elsewhere", FDir.Path(u"dir/new")));
  EXPECT_EQ(fs::read_symlink(FDir.Root() / "dir" / "new"), "../elsewhere");
  EXPECT_TRUE(IsSymbolicLink(FDir.Path(u"dir/new")));
  EXPECT_FALSE(IsSymbolicLink(FDir.Path(u"file")));
  for (const char* taken : {"file", "link", "dangling", "dir"}) {
    EXPECT_FALSE(CreateSymbolicLink("x", FDir.Path(FromUtf8(taken)))) << taken;
  }
  EXPECT_EQ(fs::read_symlink(FDir.Root() / "link"), "file");
  EXPECT_FALSE(CreateSymbolicLink(std::string("a\0b", 3), FDir.Path(u"nul")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(FDir.Root() / "nul")));

  EXPECT_TRUE(SetLinkUnixTime(FDir.Path(u"link"), 2000));
  EXPECT_EQ(Lstat("link").st_mtime, 2000);
  EXPECT_EQ(Lstat("file").st_mtime, 1000);
}

TEST_F(UnixFiles, AFolderIsTheSameWhicheverLinkLeadsToIt) {
  TFileId dir, viaLink, file;
  ASSERT_TRUE(FileIdentity(FDir.Path(u"dir"), dir));
  ASSERT_TRUE(FileIdentity(FDir.Path(u"dirlink"), viaLink));
  ASSERT_TRUE(FileIdentity(FDir.Path(u"file"), file));
  EXPECT_EQ(dir, viaLink);
  EXPECT_NE(dir, file);
  EXPECT_FALSE(FileIdentity(FDir.Path(u"dangling"), file));
}

}  // namespace
}  // namespace kelvane
