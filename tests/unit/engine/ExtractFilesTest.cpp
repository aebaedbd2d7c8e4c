// Extracted files on disk: folders, times and attributes, the handler that
// renames, the overwrite modes and read-only files.
#include <gtest/gtest.h>

#include <functional>

#include "ExtractTestSupport.h"
#include "platform/FileSystem.h"
#include "platform/ScriptedDialogs.h"

namespace kelvane {
namespace {

using test::kItemTime;
using test::MakeZip;
using test::ReadText;
using test::TExtractProbe;
using test::TreeOf;
using test::WriteText;
using Lines = std::vector<std::string>;

constexpr int32_t kOlder = (40 << 25) | (1 << 21) | (1 << 16);  // 2020-01-01
constexpr int32_t kNewer = (50 << 25) | (1 << 21) | (1 << 16);  // 2030-01-01

class ExtractFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeZip(FDir.NativePath("f.zip"), {{"docs/", 0x10},
                                       {"docs/a.txt", 0x20, "item a", false, "a's comment"},
                                       {"ro.txt", 0x21, "read-only item"}});
    FArchiver.SetFileName(FDir.Path(u"f.zip"));
    FArchiver.OpenArchive(fmOpenRead | fmShareDenyNone);
    FArchiver.SetBaseDir(FDir.Path(u"out"));
  }
  std::string Out(const std::string& name = {}) const {
    return FDir.NativePath("out") + (name.empty() ? "" : test::OnDisk("/" + name));
  }
  UString OutU(const std::string& name) const { return FromUtf8(Out(name)); }
  void ExtractAll() { FArchiver.ExtractFiles(u"*.*", KelAllItemsAttr, u""); }
  // out/docs/a.txt with Text, last written at Time.
  void PlaceExisting(const std::string& text, int32_t time) {
    std::filesystem::create_directories(Out("docs"));
    WriteText(Out("docs/a.txt"), text);
    ASSERT_TRUE(SetFileDosTime(OutU("docs/a.txt"), time));
  }
  // Records every failure question in FFailures ("<name> <native error>").
  void RecordFailures() {
    FArchiver.SetOnProcessFileFailure(
        [this](TKelBaseArchiver*, const UString& name, TKelProcessOperation, int32_t native,
               int32_t, const UString&,
               TKelAction&) { FFailures.push_back(ToUtf8(name) + " " + std::to_string(native)); });
  }

  test::TempDir FDir;
  TExtractProbe FArchiver{nullptr};
  Lines FFailures;
};

TEST_F(ExtractFiles, FoldersFilesTimesAndAttributes) {
  ExtractAll();
  EXPECT_EQ(TreeOf(Out()), (Lines{"docs/", "docs/a.txt", "ro.txt"}));
  EXPECT_EQ(ReadText(Out("docs/a.txt")), "item a");
  EXPECT_EQ(FileDosTime(OutU("docs/a.txt")), kItemTime);
  EXPECT_EQ(FileDosTime(OutU("ro.txt")), kItemTime);
  EXPECT_EQ(GetAttributes(OutU("docs/a.txt")) & faReadOnly, 0);
  EXPECT_EQ(GetAttributes(OutU("ro.txt")) & faReadOnly, faReadOnly);

  std::filesystem::permissions(Out("ro.txt"), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
  test::RemoveTree(Out());
  FArchiver.Options().SetSetAttributes(false);
  ExtractAll();
  EXPECT_EQ(GetAttributes(OutU("ro.txt")) & faReadOnly, 0);
  EXPECT_EQ(FileDosTime(OutU("ro.txt")), kItemTime);  // times are always set
}

TEST_F(ExtractFiles, WithoutCreateDirsEverythingLandsInTheBaseFolder) {
  FArchiver.Options().SetCreateDirs(false);
  RecordFailures();
  ExtractAll();  // not even the base folder is made
  EXPECT_EQ(FFailures, test::OnDisk(Lines{"docs/a.txt 19", "ro.txt 19"}));
  EXPECT_FALSE(std::filesystem::exists(Out()));

  std::filesystem::create_directories(Out());
  FFailures.clear();
  ExtractAll();
  EXPECT_TRUE(FFailures.empty());
  EXPECT_EQ(TreeOf(Out()), (Lines{"a.txt", "ro.txt"}));
  EXPECT_EQ(ReadText(Out("a.txt")), "item a");
}

TEST_F(ExtractFiles, AMissingBaseFolderIsCreatedAndAnImpossibleOneIsReported) {
  FArchiver.SetBaseDir(FDir.Path(u"out/several/levels"));
  ExtractAll();
  EXPECT_EQ(ReadText(Out("several/levels/docs/a.txt")), "item a");

  WriteText(FDir.NativePath("blocker"), "a file, not a folder");
  FArchiver.SetBaseDir(FDir.Path(u"blocker/sub"));
  RecordFailures();
  ExtractAll();
  EXPECT_EQ(FFailures, test::OnDisk(Lines{"docs/ 20", "docs/a.txt 20", "ro.txt 20"}));
}

TEST_F(ExtractFiles, TheExtractHandlerRenamesAndMayGiveAFullPath) {
  Lines seen;
  const UString elsewhere = FDir.Path(test::OnDisk(u"elsewhere/deep/y.txt"));
  FArchiver.SetOnExtractFile(
      [&](TKelBaseArchiver*, UString& name, uint32_t& attr, const AnsiString& comment) {
        seen.push_back(ToUtf8(name) + " " + std::to_string(attr) + " " + comment);
        if (name == test::OnDisk(u"docs/a.txt")) name = test::OnDisk(u"renamed/x.txt");
        if (name == u"ro.txt") {
          name = elsewhere;
          attr = 0x20;  // no longer read-only
        }
      });
  ExtractAll();
  EXPECT_EQ(seen, test::OnDisk(Lines{"docs/ 16 ", "docs/a.txt 32 a's comment", "ro.txt 33 "}));
  EXPECT_EQ(TreeOf(Out()), (Lines{"docs/", "renamed/", "renamed/x.txt"}));
  EXPECT_EQ(ReadText(Out("renamed/x.txt")), "item a");
  EXPECT_EQ(ReadText(ToUtf8(elsewhere)), "read-only item");
  EXPECT_EQ(GetAttributes(elsewhere) & faReadOnly, 0);

  // Without CreateDirs a full path is still used whole (its folder exists now).
  std::filesystem::remove(ToUtf8(elsewhere));
  FArchiver.Options().SetCreateDirs(false);
  ExtractAll();
  EXPECT_EQ(ReadText(ToUtf8(elsewhere)), "read-only item");
}

TEST_F(ExtractFiles, OverwriteModes) {
  struct Case {
    const char* what;
    TKelOverwriteMode mode;
    int32_t existingTime;
    bool replaced;
  };
  const Case cases[] = {
      {"always", omAlways, kOlder, true},
      {"never", omNever, kOlder, false},
      {"if newer: the item is newer", omIfNewer, kOlder, true},
      {"if newer: the same time keeps the file", omIfNewer, kItemTime, false},
      {"if newer: the file is newer", omIfNewer, kNewer, false},
      {"if older: the item is older", omIfOlder, kNewer, true},
      {"if older: the same time keeps the file", omIfOlder, kItemTime, false},
      {"if older: the file is older", omIfOlder, kOlder, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::RemoveTree(Out());
    PlaceExisting("existing", c.existingTime);
    FArchiver.Options().SetOverwriteMode(c.mode);
    ExtractAll();
    EXPECT_EQ(ReadText(Out("docs/a.txt")), c.replaced ? "item a" : "existing");
    EXPECT_EQ(FileDosTime(OutU("docs/a.txt")), c.replaced ? kItemTime : c.existingTime);
    EXPECT_EQ(ReadText(Out("ro.txt")), "read-only item");  // no conflict there
    EXPECT_EQ(FArchiver.Options().OverwriteMode(), c.mode);
  }
}

TEST_F(ExtractFiles, OverwriteQuestionThroughTheHandler) {
  struct Case {
    const char* what;
    bool answer;
    std::string newDest;  // below out/, empty to keep the path
    Lines tree;
    std::string existingAfter;
  };
  const Case cases[] = {
      {"yes", true, "", {"docs/", "docs/a.txt", "ro.txt"}, "item a"},
      {"no", false, "", {"docs/", "docs/a.txt", "ro.txt"}, "existing"},
      {"yes to another path",
       true,
       "other.txt",
       {"docs/", "docs/a.txt", "other.txt", "ro.txt"},
       "existing"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::RemoveTree(Out());
    PlaceExisting("existing", kOlder);
    FArchiver.Options().SetOverwriteMode(omPrompt);
    Lines asked;
    FArchiver.SetOnConfirmOverwrite(
        [&](TKelBaseArchiver*, const UString& source, UString& dest, bool& confirm) {
          asked.push_back(ToUtf8(source) + " -> " + ToUtf8(dest));
          if (!c.newDest.empty()) dest = OutU(c.newDest);
          confirm = c.answer;
        });
    ExtractAll();
    EXPECT_EQ(asked, (Lines{test::OnDisk("docs/a.txt") + " -> " + Out("docs/a.txt")}));
    EXPECT_EQ(TreeOf(Out()), c.tree);
    EXPECT_EQ(ReadText(Out("docs/a.txt")), c.existingAfter);
    if (!c.newDest.empty()) {
      EXPECT_EQ(ReadText(Out(c.newDest)), "item a");
    }
  }
}

TEST_F(ExtractFiles, TheDefaultOverwriteBoxAndItsAnswersForAll) {
  struct Case {
    TModalResult answer;
    bool replaced;
    TKelOverwriteMode modeAfter;
  };
  const Case cases[] = {
      {mrYes, true, omPrompt},
      {mrNo, false, omPrompt},
      {mrYesToAll, true, omAlways},
      {mrNoToAll, false, omNever},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.answer));
    test::RemoveTree(Out());
    PlaceExisting("existing", kOlder);
    WriteText(Out("ro.txt"), "existing");
    FArchiver.Options().SetOverwriteMode(omPrompt);
    TScriptedDialogs dialogs;
    TCurrentDialogsScope use(dialogs);
    dialogs.Answer(c.answer);
    if (c.modeAfter == omPrompt) dialogs.Answer(c.answer);  // asked again for ro.txt
    ExtractAll();
    EXPECT_EQ(dialogs.PendingAnswers(), 0u);  // the answers for all ask no more
    ASSERT_FALSE(dialogs.Questions().empty());
    EXPECT_EQ(
        ToUtf8(dialogs.Questions()[0].Text),
        "Overwrite file \"" + Out("docs/a.txt") + "\" with \"" + test::OnDisk("docs/a.txt") + "\"");
    EXPECT_EQ(ReadText(Out("docs/a.txt")), c.replaced ? "item a" : "existing");
    EXPECT_EQ(ReadText(Out("ro.txt")), c.replaced ? "read-only item" : "existing");
    EXPECT_EQ(FArchiver.Options().OverwriteMode(), c.modeAfter);
    std::filesystem::permissions(Out("ro.txt"), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
  }
}

TEST_F(ExtractFiles, AnExistingReadOnlyFile) {
  for (bool replace : {true, false}) {
    SCOPED_TRACE(replace ? "ReplaceReadOnly" : "keep read-only files");
    test::RemoveTree(Out());
    PlaceExisting("existing", kOlder);
    ASSERT_TRUE(SetAttributes(OutU("docs/a.txt"), faReadOnly));
    FArchiver.Options().SetReplaceReadOnly(replace);
    RecordFailures();
    ExtractAll();
    EXPECT_TRUE(FFailures.empty());  // keeping it is no failure
    EXPECT_EQ(ReadText(Out("docs/a.txt")), replace ? "item a" : "existing");
    // The replaced file takes the item's attributes: not read-only.
    EXPECT_EQ(GetAttributes(OutU("docs/a.txt")) & faReadOnly, replace ? 0 : faReadOnly);
    SetAttributes(OutU("docs/a.txt"), 0);
    SetAttributes(OutU("ro.txt"), 0);
  }
}

TEST_F(ExtractFiles, AFolderWhereTheFileGoesIsReportedAndKept) {
  std::filesystem::create_directories(Out("ro.txt/inside"));
  RecordFailures();
  ExtractAll();
  EXPECT_EQ(FFailures, (Lines{"ro.txt 19"}));
  EXPECT_TRUE(std::filesystem::is_directory(Out("ro.txt/inside")));
}

TEST_F(ExtractFiles, AReplacedFileIsGoneWhenTheItemThenFails) {
  const std::string path = FDir.NativePath("bad.zip");
  MakeZip(path, {{"docs/a.txt", 0x20, "DAMAGED-ITEM-PAYLOAD", true}});
  test::FlipDataByte(path, "DAMAGED-ITEM-PAYLOAD");
  FArchiver.SetFileName(FromUtf8(path));
  FArchiver.OpenArchive(fmOpenRead | fmShareDenyNone);
  PlaceExisting("existing", kOlder);
  RecordFailures();
  ExtractAll();
  EXPECT_EQ(FFailures, test::OnDisk(Lines{"docs/a.txt 8"}));
  EXPECT_EQ(TreeOf(Out()), (Lines{"docs/"}));
}

}  // namespace
}  // namespace kelvane
