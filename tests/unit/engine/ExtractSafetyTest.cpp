// Hostile archives: names that point outside the destination, names with zero
// characters, links already in the destination, and an item whose data is far
// larger than it declares. Nothing is ever written outside the destination.
#include <gtest/gtest.h>

#include "ExtractTestSupport.h"
#include "platform/FileSystem.h"

namespace kelvane {
namespace {

using test::MakeZip;
using test::ReadText;
using test::RunPython;
using test::TExtractProbe;
using test::TreeOf;
using Lines = std::vector<std::string>;

class ExtractSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    namespace fs = std::filesystem;
    fs::create_directories(FDir.Root() / "box" / "dest");
    fs::create_directories(FDir.Root() / "outside");
    test::WriteText(FDir.NativePath("outside/target.txt"), "keep");
  }
  void Open(const std::string& path) {
    FArchiver.SetFileName(FromUtf8(path));
    FArchiver.OpenArchive(fmOpenRead | fmShareDenyNone);
    FArchiver.SetBaseDir(FDir.Path(u"box/dest"));
    FArchiver.SetOnProcessFileFailure(
        [this](TKelBaseArchiver*, const UString& name, TKelProcessOperation, int32_t native,
               int32_t, const UString&,
               TKelAction&) { FFailures.push_back(ToUtf8(name) + " " + std::to_string(native)); });
  }
  std::string Dest(const std::string& name = {}) const {
    return FDir.NativePath("box/dest") + (name.empty() ? "" : "/" + name);
  }
  // Everything outside box/dest is as SetUp left it, plus the archives.
  void ExpectNothingOutsideTheDestination() {
    Lines outside;
    for (const std::string& entry : TreeOf(FDir.Root()))
      if ((entry == "box/dest/" || entry.rfind("box/dest/", 0) != 0) &&
          entry.find(".zip") == std::string::npos)
        outside.push_back(entry);
    EXPECT_EQ(outside, (Lines{"box/", "box/dest/", "outside/", "outside/target.txt"}));
    EXPECT_EQ(ReadText(FDir.NativePath("outside/target.txt")), "keep");
  }

  test::TempDir FDir;
  TExtractProbe FArchiver{nullptr};
  Lines FFailures;
};

TEST_F(ExtractSafety, NamesThatClimbOutLandInsideTheDestination) {
  const bool etcHadX = std::filesystem::exists("/etc/x");
  const std::string path = FDir.NativePath("slip.zip");
  MakeZip(path, {{"../x", 0x20, "1"},
                 {"/etc/x", 0x20, "2"},
                 {"C:\\x", 0x20, "3"},
                 {"a/../../x", 0x20, "4"},
                 {"..\\..\\y", 0x20, "5"},
                 {"../../outside/target.txt", 0x20, "6"},
                 {"\\\\server\\share\\z", 0x20, "7"},
                 {"../", 0x10},
                 {"ok.txt", 0x20, "8"}});
  Open(path);
  FArchiver.ExtractFiles(u"*.*", KelAllItemsAttr, u"");
  EXPECT_TRUE(FFailures.empty());
  EXPECT_EQ(TreeOf(Dest()), (Lines{"a/", "a/x", "etc/", "etc/x", "ok.txt", "outside/",
                                   "outside/target.txt", "x", "y", "z"}));
  EXPECT_EQ(ReadText(Dest("x")), "3");  // "../x" and "C:\x" both name x; the later one stays
  EXPECT_EQ(ReadText(Dest("etc/x")), "2");
  EXPECT_EQ(ReadText(Dest("a/x")), "4");
  EXPECT_EQ(ReadText(Dest("outside/target.txt")), "6");
  if (!etcHadX) {
    EXPECT_FALSE(std::filesystem::exists("/etc/x"));
  }
  ExpectNothingOutsideTheDestination();
}

TEST_F(ExtractSafety, ZeroCharactersEndANameAndAnEmptyNameIsSkipped) {
  const std::string path = FDir.NativePath("zero.zip");
  MakeZip(path, {{"@lead.txt", 0x20, "skipped"},
                 {"cut.txt@.exe", 0x20, "cut"},
                 {"dir/@", 0x10},
                 {"@", 0x20, "also skipped"}});
  std::string bytes = ReadText(path);
  std::replace(bytes.begin(), bytes.end(), '@', '\0');
  test::WriteText(path, bytes);
  Open(path);
  FArchiver.ExtractFiles(u"*.*", KelAllItemsAttr, u"");
  EXPECT_TRUE(FFailures.empty());
  EXPECT_EQ(TreeOf(Dest()), (Lines{"cut.txt", "dir/"}));
  EXPECT_EQ(ReadText(Dest("cut.txt")), "cut");
  ExpectNothingOutsideTheDestination();
}

TEST_F(ExtractSafety, LinksInTheDestinationAreNeverWrittenThrough) {
#ifdef _WIN32
  GTEST_SKIP() << "wine 8 cannot create symbolic links";
#endif
  namespace fs = std::filesystem;
  fs::create_directory_symlink(FDir.Root() / "outside", Dest("linkdir"));
  fs::create_symlink(FDir.Root() / "outside" / "target.txt", Dest("file.txt"));
  fs::create_symlink(FDir.Root() / "outside" / "made-by-link.txt", Dest("dangling.txt"));
  const std::string path = FDir.NativePath("links.zip");
  MakeZip(path, {{"linkdir/x.txt", 0x20, "through a folder link"},
                 {"linkdir/", 0x10},
                 {"file.txt", 0x20, "through a file link"},
                 {"dangling.txt", 0x20, "through a dangling link"},
                 {"fine.txt", 0x20, "fine"}});
  Open(path);
  for (TKelOverwriteMode mode : {omAlways, omNever}) {
    SCOPED_TRACE(int(mode));
    FFailures.clear();
    FArchiver.Options().SetOverwriteMode(mode);
    FArchiver.ExtractFiles(u"*.*", KelAllItemsAttr, u"");
    EXPECT_EQ(FFailures,
              (Lines{"linkdir/x.txt 20", "linkdir/ 20", "file.txt 19", "dangling.txt 19"}));
    EXPECT_EQ(ReadText(Dest("fine.txt")), "fine");
    EXPECT_TRUE(fs::is_symlink(Dest("file.txt")));  // the links themselves stay
    EXPECT_FALSE(fs::exists(FDir.Root() / "outside" / "made-by-link.txt"));
    ExpectNothingOutsideTheDestination();
  }
  // Testing reads nothing from the disk and is not affected.
  FFailures.clear();
  FArchiver.TestFiles(u"*.*", KelAllItemsAttr, u"");
  EXPECT_TRUE(FFailures.empty());
}

// The first file of a folder finds the folder safe; the next ones are created
// without looking at the path again, and must still never write through a
// link nor replace a file against the overwrite mode.
TEST_F(ExtractSafety, LaterFilesOfAFolderMeetTheSameChecks) {
#ifdef _WIN32
  GTEST_SKIP() << "wine 8 cannot create symbolic links";
#endif
  namespace fs = std::filesystem;
  fs::create_directories(Dest("d"));
  fs::create_symlink(FDir.Root() / "outside" / "target.txt", Dest("d/b.txt"));
  fs::create_symlink(FDir.Root() / "outside" / "made-by-link.txt", Dest("d/c.txt"));
  test::WriteText(Dest("d/e.txt"), "was there");
  const std::string path = FDir.NativePath("folder.zip");
  MakeZip(path, {{"d/a.txt", 0x20, "a"},
                 {"d/b.txt", 0x20, "through a file link"},
                 {"d/c.txt", 0x20, "through a dangling link"},
                 {"d/e.txt", 0x20, "e"},
                 {"d/f.txt", 0x20, "f"}});
  Open(path);
  FArchiver.Options().SetOverwriteMode(omNever);
  FArchiver.ExtractFiles(u"*.*", KelAllItemsAttr, u"");
  EXPECT_EQ(FFailures, (Lines{"d/b.txt 19", "d/c.txt 19"}));
  EXPECT_EQ(ReadText(Dest("d/a.txt")), "a");
  EXPECT_EQ(ReadText(Dest("d/e.txt")), "was there");
  EXPECT_EQ(ReadText(Dest("d/f.txt")), "f");

  FFailures.clear();
  test::WriteText(Dest("d/f.txt"), "changed");
  FArchiver.Options().SetOverwriteMode(omAlways);
  FArchiver.ExtractFiles(u"*.*", KelAllItemsAttr, u"");
  EXPECT_EQ(FFailures, (Lines{"d/b.txt 19", "d/c.txt 19"}));
  EXPECT_EQ(ReadText(Dest("d/e.txt")), "e");
  EXPECT_EQ(ReadText(Dest("d/f.txt")), "f");
  EXPECT_EQ(FileDosTime(FromUtf8(Dest("d/f.txt"))), test::kItemTime);
  EXPECT_TRUE(fs::is_symlink(Dest("d/b.txt")));
  EXPECT_FALSE(fs::exists(FDir.Root() / "outside" / "made-by-link.txt"));
  ExpectNothingOutsideTheDestination();
}

TEST_F(ExtractSafety, AnItemLargerThanDeclaredFailsAndLeavesNoFile) {
  KEL_NEEDS_PYTHON();
  const std::string path = FDir.NativePath("bomb.zip");
  RunPython(
      "zi = zipfile.ZipInfo('bomb.bin', date_time=(2024, 5, 17, 13, 45, 32))\n"
      "zi.compress_type = zipfile.ZIP_DEFLATED\n"
      "with zipfile.ZipFile(out, 'w') as z:\n"
      "  z.writestr(zi, bytes(100 * 1024 * 1024))\n"
      "  z.writestr(zipfile.ZipInfo('after.txt', date_time=(2024, 5, 17, 13, 45, 32)), b'ok')\n"
      "b = bytearray(open(out, 'rb').read())\n"
      "struct.pack_into('<I', b, 22, 1024)\n"
      "struct.pack_into('<I', b, b.find(b'PK\\x01\\x02') + 24, 1024)\n"
      "open(out, 'wb').write(b)\n",
      path);
  Open(path);
  FArchiver.ExtractFiles(u"*.*", KelAllItemsAttr, u"");
  EXPECT_EQ(FFailures, (Lines{"bomb.bin 8"}));
  EXPECT_EQ(TreeOf(Dest()), (Lines{"after.txt"}));
}

}  // namespace
}  // namespace kelvane
