// Unix metadata: files added on Linux keep their mode, their UTC time and
// their links; items made on Unix hosts come back with their permission bits
// (never setuid, setgid or sticky) and UTC times; a link is created only when
// it leads to a place inside the destination.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "DecodeTestSupport.h"
#include "ExtractTestSupport.h"
#include "container/KelByteIO.h"
#include "container/KelDirManager.h"
#include "container/KelUnixFields.h"
#include "platform/DosTime.h"
#include "platform/FileSystem.h"
#include "unit/platform/TimeZone.h"

namespace kelvane {
namespace {

namespace fs = std::filesystem;
using test::ReadText;
using test::WriteText;
using Lines = std::vector<std::string>;

// 2021-03-04 05:06:07 UTC: an odd second, which a DOS time cannot hold.
constexpr int64_t kTime = 1614834367;

class TUnixProbe : public TKelvane {
 public:
  using TKelBaseArchiver::AddOneFile;
  using TKelBaseArchiver::DMHandle;
  using TKelvane::TKelvane;
  const TDirItem& Item(const UString& name) {
    int32_t i = -1;
    EXPECT_TRUE(DMHandle->CDir.FileExists(name, i)) << ToUtf8(name);
    return DMHandle->CDir.GetItemPtr(std::max(i, 0));
  }
};

struct stat Lstat(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st;
}

void SetTime(const std::string& path, int64_t time) {
  const struct timespec times[2] = {{time, 0}, {time, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

std::string LinkTarget(const std::string& path) {
  std::error_code ec;
  return fs::read_symlink(path, ec).string();
}

// Every link below Root leads to Root or below it.
void ExpectEveryLinkInside(const fs::path& root) {
  const fs::path top = fs::canonical(root);
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (!e.is_symlink()) continue;
    const fs::path to = fs::weakly_canonical(e.path());
    EXPECT_EQ(std::mismatch(top.begin(), top.end(), to.begin(), to.end()).first, top.end())
        << e.path() << " leads to " << to;
  }
}

class UnixMeta : public test::TimeZoneTest {
 protected:
  void SetUp() override {
    test::TimeZoneTest::SetUp();
    fs::create_directories(FDir.Root() / "box" / "dest");
    fs::create_directories(FDir.Root() / "src" / "sub");
    FArchiver.SetOnProcessFileFailure([this](TKelBaseArchiver*, const UString& name,
                                             TKelProcessOperation, int32_t native, int32_t,
                                             const UString& message, TKelAction&) {
      FFailures.push_back(ToUtf8(name) + " " + std::to_string(native));
      FMessages.push_back(ToUtf8(message));
    });
  }

  std::string Src(const std::string& name) const { return FDir.NativePath("src/" + name); }
  std::string Dest(const std::string& name = {}) const {
    return FDir.NativePath("box/dest") + (name.empty() ? "" : "/" + name);
  }

  // A script, files with other modes, a folder, links inside, outside, to a
  // folder and to nothing; every entry has the time kTime.
  void MakeTree() {
    WriteText(Src("run.sh"), "#!/bin/sh\necho hi\n");
    WriteText(Src("ro.txt"), "read only");
    WriteText(Src("priv.txt"), "private");
    WriteText(Src(".hidden"), "hidden");
    WriteText(Src("sub/a.txt"), "in a folder");
    ::chmod(Src("run.sh").c_str(), 0755);
    ::chmod(Src("ro.txt").c_str(), 0444);
    ::chmod(Src("priv.txt").c_str(), 0600);
    ::chmod(Src(".hidden").c_str(), 0644);
    ::chmod(Src("sub/a.txt").c_str(), 0644);
    fs::create_symlink("run.sh", Src("link"));
    fs::create_symlink("sub", Src("sublink"));
    fs::create_symlink("../x", Src("up"));
    fs::create_symlink("/etc/passwd", Src("abs"));
    fs::create_symlink("nowhere", Src("gone"));
    for (const char* name : {"run.sh", "ro.txt", "priv.txt", ".hidden", "sub/a.txt", "link",
                             "sublink", "up", "abs", "gone"})
      SetTime(Src(name), kTime);
  }

  void AddFromDisk(const std::vector<std::string>& names) {
    FArchiver.SetFileName(FDir.Path(u"data.zip"));
    FArchiver.OpenArchive();
    FArchiver.BeginUpdate();
    for (const std::string& name : names)
      EXPECT_GE(FArchiver.AddOneFile(FromUtf8(Src(name)), FDir.Path(u"src/"), 0, 0, true), 0);
    FArchiver.EndUpdate();
    FArchiver.CloseArchive();
    FArchiver.OpenArchive(fmOpenRead | fmShareDenyNone);
  }

  // The modification time in the local header's extended timestamp field.
  std::optional<int64_t> LocalTime(const TDirItem& item) {
    const std::string bytes = ReadText(FDir.NativePath("data.zip"));
    const size_t at = static_cast<size_t>(item.LocalHeaderOffset());
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data()) + at;
    const size_t nameLength = p[26] | (p[27] << 8), extraLength = p[28] | (p[29] << 8);
    TKelExtraFields fields;
    ParseExtraFields({p + 30 + nameLength, extraLength}, fields);
    return ItemUnixMTime(fields);
  }

  std::string Data(const UString& name) {
    TMemoryStream s;
    FArchiver.ExtractToStream(name, s);
    return std::string(s.Bytes().begin(), s.Bytes().end());
  }

  void Extract() {
    FArchiver.SetBaseDir(FromUtf8(Dest()));
    FArchiver.ExtractFiles(u"*.*", KelAllItemsAttr, u"");
  }

  test::TempDir FDir;
  TUnixProbe FArchiver{nullptr};
  Lines FFailures, FMessages;
};

TEST_F(UnixMeta, ATreeAddedOnLinuxKeepsModesUtcTimesAndLinks) {
  MakeTree();
  AddFromDisk({"run.sh", "ro.txt", "priv.txt", ".hidden", "sub/", "sub/a.txt", "link", "sublink",
               "up", "abs", "gone"});
  const struct {
    UString Name;
    uint32_t Attr;
    std::string Data;  // of a link: its target
  } items[] = {
      {u"run.sh", 0x81ED0020, "#!/bin/sh\necho hi\n"},
      {u"ro.txt", 0x81240021, "read only"},
      {u"priv.txt", 0x81800020, "private"},
      {u".hidden", 0x81A40022, "hidden"},
      {u"sub/a.txt", 0x81A40020, "in a folder"},
      {u"link", 0xA1FF0020, "run.sh"},
      {u"sublink", 0xA1FF0020, "sub"},  // the link, not the folder
      {u"up", 0xA1FF0020, "../x"},
      {u"abs", 0xA1FF0020, "/etc/passwd"},
      {u"gone", 0xA1FF0020, "nowhere"},
  };
  for (const auto& c : items) {
    SCOPED_TRACE(ToUtf8(c.Name));
    const TDirItem& item = FArchiver.Item(c.Name);
    EXPECT_EQ(item.CentralDir.versionMadeBy, 0x0314);
    EXPECT_EQ(item.CentralDir.externalAttr, c.Attr);
    EXPECT_EQ(ItemUnixMTime(item.ExtraFields), kTime);
    EXPECT_EQ(LocalTime(item), kTime);
    // The DOS time is the same instant in local time (CET here), to 2 seconds.
    const auto dos = static_cast<int32_t>((uint32_t{item.CentralDir.lastModDate} << 16) |
                                          item.CentralDir.lastModTime);
    EXPECT_EQ(DosDateTimeToTime(dos), kTime - 1);
    EXPECT_EQ(Data(c.Name), c.Data);
  }
  EXPECT_EQ(FArchiver.Item(u"sub/").CentralDir.externalAttr >> 16, Lstat(Src("sub")).st_mode);
  EXPECT_EQ(FArchiver.Item(u"sub/").CentralDir.externalAttr & 0xFFFF, 0x10u);

  Extract();
  EXPECT_EQ(FFailures, (Lines{"up 19", "abs 19"}));
  ASSERT_EQ(FMessages.size(), 2u);
  EXPECT_EQ(FMessages[0], "Cannot create file \"" + Dest("up") +
                              "\": the link leads to \"../x\", outside the destination "
                              "folder - Native error: 00019");
  EXPECT_NE(FMessages[1].find("\"/etc/passwd\""), std::string::npos) << FMessages[1];
  EXPECT_EQ(test::TreeOf(Dest()), (Lines{".hidden", "gone", "link", "priv.txt", "ro.txt", "run.sh",
                                         "sub/", "sub/a.txt", "sublink"}));
  const std::map<std::string, mode_t> modes = {{"run.sh", 0100755},
                                               {"ro.txt", 0100444},
                                               {"priv.txt", 0100600},
                                               {".hidden", 0100644},
                                               {"sub/a.txt", 0100644}};
  for (const auto& [name, mode] : modes) {
    const struct stat st = Lstat(Dest(name));
    EXPECT_EQ(st.st_mode, mode) << name;
    EXPECT_EQ(st.st_mtime, kTime) << name;
    EXPECT_EQ(ReadText(Dest(name)), ReadText(Src(name))) << name;
  }
  for (const char* name : {"link", "sublink", "gone"}) {
    EXPECT_EQ(LinkTarget(Dest(name)), LinkTarget(Src(name))) << name;
    EXPECT_EQ(Lstat(Dest(name)).st_mtime, kTime) << name;
  }
  ExpectEveryLinkInside(Dest());
}

TEST_F(UnixMeta, FollowingLinksStoresWhatTheyLeadTo) {
  MakeTree();
  FArchiver.Options().SetFollowLinks(true);
  FArchiver.SetZip64Mode(zmAlways);
  AddFromDisk({"link", "sublink", "gone"});
  EXPECT_EQ(FArchiver.Item(u"link").CentralDir.externalAttr, 0x81ED0020u);
  EXPECT_EQ(Data(u"link"), "#!/bin/sh\necho hi\n");
  EXPECT_EQ(FArchiver.Item(u"link").CentralDir.versionMadeBy, 0x032D);  // Zip64: version 4.5
  EXPECT_EQ(FArchiver.Item(u"sublink/").CentralDir.externalAttr & 0xF000FFFF, 0x40000010u);
  // A link that leads nowhere can only be stored as itself.
  EXPECT_EQ(FArchiver.Item(u"gone").CentralDir.externalAttr, 0xA1FF0020u);
  EXPECT_EQ(Data(u"gone"), "nowhere");
}

// Items from memory are Unix items too (other Unix tools read their names as
// the flags say only then), with the mode a new file gets; they have no time
// of their own to keep.
TEST_F(UnixMeta, StreamItemsAreUnixItemsWithADefaultMode) {
  FArchiver.SetFileName(FDir.Path(u"data.zip"));
  FArchiver.OpenArchive();
  FArchiver.AddFromString(u"s.txt", u"text", faArchive, 0);
  FArchiver.AddFromString(u"ro.txt", u"text", faArchive | faReadOnly, 0);
  EXPECT_EQ(FArchiver.Item(u"s.txt").CentralDir.versionMadeBy >> 8, KelHostUnix);
  EXPECT_EQ(FArchiver.Item(u"s.txt").CentralDir.externalAttr, (0100644u << 16) | 0x20u);
  EXPECT_EQ(FArchiver.Item(u"ro.txt").CentralDir.externalAttr, (0100444u << 16) | 0x21u);
  EXPECT_TRUE(FArchiver.Item(u"s.txt").ExtraFields.empty());
}

// A file item of another Unix tool: its mode in the high half, host 3.
test::TTestEntry UnixEntry(std::string name, std::string data, uint32_t mode,
                           std::vector<uint8_t> centralExtra = {}) {
  return test::TTestEntry(std::move(name), std::move(data), 0)
      .WithCentral([mode](TKelZipCentralDir& cd) {
        cd.versionMadeBy = 0x031E;
        cd.externalAttr = mode << 16;
      })
      .WithCentralExtra(std::move(centralExtra));
}

std::vector<uint8_t> Timestamp(int64_t time) {
  return {0x55,
          0x54,
          5,
          0,
          0x03,
          uint8_t(time),
          uint8_t(time >> 8),
          uint8_t(time >> 16),
          uint8_t(time >> 24)};
}

TEST_F(UnixMeta, ItemsOfOtherUnixToolsComeBackWithPermissionsAndUtcTimes) {
  test::TTestEntry dosTime("dostime.txt", "dos", 0);
  test::TTestEntry dosHost("doshost.txt", "dos host", 0);
  dosHost.WithCentral([](TKelZipCentralDir& cd) {
    cd.versionMadeBy = 20;
    cd.externalAttr = (0100755u << 16) | 0x01;  // the high half means nothing from DOS
  });
  const test::TBuiltZip zip = test::BuildZip({
      UnixEntry("suid.sh", "setuid", 0104755, Timestamp(kTime)),
      UnixEntry("setgid.txt", "setgid", 0102750),
      UnixEntry("sticky.txt", "sticky", 0101604),
      UnixEntry("none.txt", "no permissions", 0100000),
      dosTime,
      dosHost,
  });
  WriteText(FDir.NativePath("data.zip"), test::AsText(zip.Archive));
  FArchiver.SetFileName(FDir.Path(u"data.zip"));
  FArchiver.OpenArchive(fmOpenRead | fmShareDenyNone);
  Extract();
  EXPECT_TRUE(FFailures.empty());
  const struct {
    std::string Name;
    mode_t Mode;
  } cases[] = {
      {"suid.sh", 0100755},  {"setgid.txt", 0100750},  {"sticky.txt", 0100604},
      {"none.txt", 0100000}, {"dostime.txt", 0100644}, {"doshost.txt", 0100444},
  };
  for (const auto& c : cases) {
    // Only the umask-free bits are compared for items that carry no mode.
    const mode_t mode = Lstat(Dest(c.Name)).st_mode;
    EXPECT_EQ(c.Name.find("dos") == 0 ? mode & ~mode_t(022) : mode, c.Mode) << c.Name;
  }
  EXPECT_EQ(Lstat(Dest("suid.sh")).st_mtime, kTime);
  // Without the field the DOS time is read as local time.
  EXPECT_EQ(Lstat(Dest("dostime.txt")).st_mtime, DosDateTimeToTime(0x58B16DB0));

  // Without SetAttributes no mode is given.
  fs::remove_all(Dest());
  FArchiver.Options().SetSetAttributes(false);
  Extract();
  EXPECT_NE(Lstat(Dest("none.txt")).st_mode & 0600, 0u);
}

TEST_F(UnixMeta, LinksOfOtherToolsAreCreatedOnlyWhenTheyStayInside) {
  const auto link = [](std::string name, std::string target) {
    return UnixEntry(std::move(name), std::move(target), 0120777, Timestamp(kTime));
  };
  test::TTestEntry encrypted = link("secret", "f.txt");
  encrypted.Crypto = test::tcPkzip;
  encrypted.WithPassword("pw");
  const test::TBuiltZip zip = test::BuildZip({
      UnixEntry("f.txt", "file", 0100644),
      link("ok", "f.txt"),
      link("d/up", "../f.txt"),
      encrypted,
      link("here", "."),
      // Each of these would leave the destination, now or once a later link exists.
      link("climb", "here/here/../.."),
      link("later", "soon/../../x"),
      link("soon", "."),
      link("abs", "/etc/passwd"),
      link("out", "../../outside"),
      link("long", std::string(5000, 'a')),
      link("empty", ""),
      // Nothing is written through a link, even one made by the archive.
      UnixEntry("here/x.txt", "through", 0100644),
      // A link with a DOS host is only a file that holds a name.
      test::TTestEntry("doslink", "f.txt", 0).WithCentral([](TKelZipCentralDir& cd) {
        cd.externalAttr = (0120777u << 16) | 0x20;
      }),
  });
  WriteText(FDir.NativePath("data.zip"), test::AsText(zip.Archive));
  fs::create_directories(FDir.Root() / "outside");
  FArchiver.SetFileName(FDir.Path(u"data.zip"));
  FArchiver.OpenArchive(fmOpenRead | fmShareDenyNone);
  FArchiver.SetPassword("pw");
  Extract();
  EXPECT_EQ(FFailures, (Lines{"climb 19", "later 19", "abs 19", "out 19", "long 19", "empty 19",
                              "here/x.txt 20"}));
  EXPECT_NE(FMessages[4].find("the link's target is too long"), std::string::npos) << FMessages[4];
  EXPECT_EQ(test::TreeOf(Dest()),
            (Lines{"d/", "d/up", "doslink", "f.txt", "here", "ok", "secret", "soon"}));
  EXPECT_EQ(LinkTarget(Dest("ok")), "f.txt");
  EXPECT_EQ(ReadText(Dest("d/up")), "file");
  EXPECT_EQ(ReadText(Dest("secret")), "file");
  EXPECT_EQ(ReadText(Dest("doslink")), "f.txt");
  EXPECT_FALSE(fs::is_symlink(Dest("doslink")));
  EXPECT_EQ(Lstat(Dest("ok")).st_mtime, kTime);
  EXPECT_TRUE(fs::is_empty(FDir.Root() / "outside"));
  ExpectEveryLinkInside(Dest());
}

TEST_F(UnixMeta, ALinkReplacesWhatIsInItsPlaceAsTheOverwriteModeSays) {
  const test::TBuiltZip zip = test::BuildZip({
      UnixEntry("f.txt", "file", 0100644),
      UnixEntry("was-file", "f.txt", 0120777),
      UnixEntry("was-link", "f.txt", 0120777),
  });
  WriteText(FDir.NativePath("data.zip"), test::AsText(zip.Archive));
  FArchiver.SetFileName(FDir.Path(u"data.zip"));
  FArchiver.OpenArchive(fmOpenRead | fmShareDenyNone);
  for (const TKelOverwriteMode mode : {omNever, omAlways}) {
    SCOPED_TRACE(int(mode));
    fs::remove_all(Dest());
    fs::create_directories(Dest());
    fs::create_directories(FDir.Root() / "elsewhere");
    WriteText(Dest("was-file"), "mine");
    fs::create_symlink(FDir.Root() / "elsewhere", Dest("was-link"));
    FArchiver.Options().SetOverwriteMode(mode);
    Extract();
    EXPECT_TRUE(FFailures.empty());
    if (mode == omNever) {
      EXPECT_EQ(ReadText(Dest("was-file")), "mine");
      EXPECT_EQ(LinkTarget(Dest("was-link")), (FDir.Root() / "elsewhere").string());
    } else {
      EXPECT_EQ(LinkTarget(Dest("was-file")), "f.txt");
      EXPECT_EQ(LinkTarget(Dest("was-link")), "f.txt");
    }
    EXPECT_TRUE(fs::is_empty(FDir.Root() / "elsewhere"));
  }
}

}  // namespace
}  // namespace kelvane
