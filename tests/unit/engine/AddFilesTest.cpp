// Adding, moving and updating from disk: which files and folders the masks,
// attributes, exclusions and recursion take, how they are stored, and what
// moving removes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "DiskName.h"
#include "TempDir.h"
#include "container/KelDirManager.h"
#include "engine/Kelvane.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

using namespace test;
using Names = std::vector<std::string>;

class TAddProbe : public TKelvane {
 public:
  using TKelBaseArchiver::DMHandle;
  using TKelvane::TKelvane;
};

class AddFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* f :
         {"tree/a.txt", "tree/b.log", "tree/sub/c.txt", "tree/sub/deep/d.txt", "tree/skip/e.txt"})
      Write(f, std::string("content of ") + f);
    a.SetFileName(FDir.Path(u"tree/data.zip"));  // inside the tree it adds
    a.SetBaseDir(FDir.Path(u"tree"));
    a.OpenArchive();
  }

  void Write(const std::string& name, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(FDir.NativePath(name)).parent_path());
    std::ofstream(FDir.NativePath(name), std::ios::binary) << text;
  }

  Names Stored() {
    Names names;
    for (int32_t i = 0; i < a.DMHandle->CDir.Count(); ++i)
      names.push_back(ToUtf8(a.DMHandle->CDir.GetItemPtr(i).Name));
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string Extracted(const UString& name) {
    TMemoryStream out;
    a.ExtractToStream(name, out);
    return {out.Bytes().begin(), out.Bytes().end()};
  }

  TempDir FDir;
  TAddProbe a{nullptr};
};

TEST_F(AddFilesTest, MasksAttributesExclusionsAndRecursionChooseWhatIsAdded) {
  struct Case {
    const char* What;
    UString Mask;
    int32_t Attr;
    bool Recurse;
    UString Exclusion;
    Names Expected;
  };
  const Case cases[] = {
      {"everything, folders too",
       u"*.*",
       faAnyFile,
       true,
       u"",
       {"a.txt", "b.log", "skip/", "skip/e.txt", "sub/", "sub/c.txt", "sub/deep/",
        "sub/deep/d.txt"}},
      {"files only, still recursing",
       u"*.txt",
       faArchive,
       true,
       u"",
       {"a.txt", "skip/e.txt", "sub/c.txt", "sub/deep/d.txt"}},
      {"no recursion", u"*.*", faArchive, false, u"", {"a.txt", "b.log"}},
      {"an excluded pattern",
       u"*.*",
       faArchive,
       true,
       u"*.log",
       {"a.txt", "skip/e.txt", "sub/c.txt", "sub/deep/d.txt"}},
      {"an excluded folder",
       u"*.txt",
       faArchive,
       true,
       u"skip",
       {"a.txt", "sub/c.txt", "sub/deep/d.txt"}},
      {"a folder excluded by its name below the top",
       u"*.txt",
       faArchive,
       true,
       u"deep",
       {"a.txt", "skip/e.txt", "sub/c.txt"}},
      {"a folder excluded by its path",
       u"*.txt",
       faArchive,
       true,
       OnDisk(u"sub/deep"),
       {"a.txt", "skip/e.txt", "sub/c.txt"}},
      {"one file by name", OnDisk(u"sub/c.txt"), faArchive, false, u"", {"sub/c.txt"}},
      {"a folder's files", OnDisk(u"sub/*.txt"), faArchive, false, u"", {"sub/c.txt"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    a.CloseArchive();  // an open archive may not be removed (Windows)
    std::filesystem::remove(FDir.NativePath("tree/data.zip"));
    a.OpenArchive();
    a.Options().SetRecurse(c.Recurse);
    a.AddFiles(c.Mask, c.Attr, c.Exclusion);
    EXPECT_EQ(Stored(), c.Expected);
    const std::string last = c.Expected.back();
    EXPECT_EQ(Extracted(FromUtf8(last)), "content of tree/" + last);
  }
}

TEST_F(AddFilesTest, TheFileMasksAndNoCompressionMasksOfTheComponent) {
  a.FileMasks().Add(u"*.txt");
  a.FileMasks().Add(u"*.log");
  a.ExclusionMasks().Add(u"sub");
  a.NoCompressionMasks().Add(u"*.log");
  a.Options().SetSearchAttr(faArchive);
  a.SetCompressionMode(9);
  a.AddFiles();
  EXPECT_EQ(Stored(), (Names{"a.txt", "b.log", "skip/e.txt"}));
  int32_t log = -1, txt = -1;
  ASSERT_TRUE(a.DMHandle->CDir.FileExists(u"b.log", log));
  ASSERT_TRUE(a.DMHandle->CDir.FileExists(u"a.txt", txt));
  EXPECT_EQ(a.DMHandle->CDir.GetItemPtr(log).CentralDir.compMethod, 0);
  EXPECT_EQ(a.DMHandle->CDir.GetItemPtr(txt).CentralDir.compMethod, 8);
  EXPECT_EQ(Extracted(u"b.log"), "content of tree/b.log");
}

TEST_F(AddFilesTest, ExistingNamesAreReplacedAsTheOverwriteModeSays) {
  a.AddFiles(u"a.txt", faArchive, u"");
  Write("tree/a.txt", "changed");
  a.Options().SetOverwriteMode(omNever);
  a.AddFiles(u"a.txt", faArchive, u"");
  EXPECT_EQ(Extracted(u"a.txt"), "content of tree/a.txt");
  a.Options().SetOverwriteMode(omAlways);
  a.AddFiles(u"a.txt", faArchive, u"");
  EXPECT_EQ(Extracted(u"a.txt"), "changed");
  EXPECT_EQ(Stored(), (Names{"a.txt"}));
}

TEST_F(AddFilesTest, AFolderKeptUnderItsNameIsStillSearched) {
  a.AddFiles(OnDisk(u"sub/*"), KelAllItemsAttr, u"");
  Write("tree/sub/deep/new.txt", "new");
  a.Options().SetOverwriteMode(omNever);
  a.AddFiles(OnDisk(u"sub/*"), KelAllItemsAttr, u"");
  EXPECT_EQ(Stored(), (Names{"sub/c.txt", "sub/deep/", "sub/deep/d.txt", "sub/deep/new.txt"}));
  EXPECT_EQ(Extracted(u"sub/deep/new.txt"), "new");
}

TEST_F(AddFilesTest, UpdateReplacesOnlyItemsWhoseFilesAreNewer) {
  a.AddFiles(u"*.txt", faArchive, u"");
  Write("tree/a.txt", "newer a");
  Write("tree/sub/c.txt", "older c");
  ASSERT_TRUE(SetFileDosTime(FDir.Path(u"tree/a.txt"), (60 << 25) | (1 << 21) | (1 << 16)));
  ASSERT_TRUE(SetFileDosTime(FDir.Path(u"tree/sub/c.txt"), (20 << 25) | (1 << 21) | (1 << 16)));
  std::filesystem::remove(FDir.NativePath("tree/sub/deep/d.txt"));  // gone: its item stays
  a.Options().SetOverwriteMode(omIfNewer);
  a.UpdateFiles(u"*.*", KelAllItemsAttr, u"");
  EXPECT_EQ(Extracted(u"a.txt"), "newer a");
  EXPECT_EQ(Extracted(u"sub/c.txt"), "content of tree/sub/c.txt");
  EXPECT_EQ(Extracted(u"sub/deep/d.txt"), "content of tree/sub/deep/d.txt");
}

TEST_F(AddFilesTest, MovingRemovesExactlyTheStoredSources) {
  a.MoveFiles(OnDisk(u"sub/*.*"), faAnyFile, u"");
  EXPECT_EQ(Stored(), (Names{"sub/c.txt", "sub/deep/", "sub/deep/d.txt"}));
  EXPECT_FALSE(std::filesystem::exists(FDir.NativePath("tree/sub/c.txt")));
  EXPECT_FALSE(std::filesystem::exists(FDir.NativePath("tree/sub/deep")));
  EXPECT_TRUE(std::filesystem::exists(FDir.NativePath("tree/a.txt")));
  EXPECT_TRUE(std::filesystem::exists(FDir.NativePath("tree/skip/e.txt")));
  EXPECT_EQ(Extracted(u"sub/deep/d.txt"), "content of tree/sub/deep/d.txt");
}

// Sources that change while the move commits cannot be removed: a file that
// became a folder, a folder that gained a file. Each is asked about; Ignore
// goes on with the next source, Retry tries again after the handler fixed it.
TEST_F(AddFilesTest, SourcesThatCannotBeRemovedAfterAMoveAreAskedAbout) {
  for (const TKelAction answer : {fxaIgnore, fxaRetry}) {
    SCOPED_TRACE(answer == fxaIgnore ? "ignore" : "retry");
    const auto c = FDir.NativePath("tree/sub/c.txt");
    const auto late = FDir.NativePath("tree/sub/deep/late.txt");
    std::filesystem::remove_all(c);
    std::filesystem::remove(late);
    Write("tree/sub/c.txt", "c");
    Write("tree/sub/deep/d.txt", "d");
    int stored = 0;
    bool spoiled = false;
    a.SetOnFileProgress([&](TKelBaseArchiver*, const UString& name, double, TKelProcessOperation,
                            TKelProgressPhase phase, bool&) {
      if (phase != ppEnd || name.back() == PathDelim || ++stored != 2) return;
      spoiled = true;  // after both files were stored, before any source is removed
      std::filesystem::remove(c);
      std::filesystem::create_directory(c);
      Write("tree/sub/deep/late.txt", "late");
    });
    std::vector<std::pair<int32_t, std::string>> asked;
    a.SetOnProcessFileFailure([&](TKelBaseArchiver*, const UString& name, TKelProcessOperation op,
                                  int32_t native, int32_t, const UString&, TKelAction& action) {
      EXPECT_EQ(op, poMove);
      asked.emplace_back(native, ToUtf8(name));
      if (answer == fxaRetry) {
        std::filesystem::remove(c);
        Write("tree/sub/c.txt", "a file again");
        std::filesystem::remove(late);
      }
      action = asked.size() > 4 ? fxaAbort : answer;  // a loop fails the test, not hangs it
    });
    a.MoveFiles(OnDisk(u"sub/*.*"), faAnyFile, u"");
    a.SetOnFileProgress(nullptr);
    a.SetOnProcessFileFailure(nullptr);

    ASSERT_TRUE(spoiled);
    EXPECT_EQ(Stored(), (Names{"sub/c.txt", "sub/deep/", "sub/deep/d.txt"}));
    EXPECT_EQ(Extracted(u"sub/c.txt"), "c");
    EXPECT_FALSE(std::filesystem::exists(FDir.NativePath("tree/sub/deep/d.txt")));
    if (answer == fxaIgnore) {
      ASSERT_EQ(asked.size(), 2u);
      EXPECT_EQ(asked[0].first, 27);
      EXPECT_NE(asked[0].second.find(OnDisk("sub/c.txt")), std::string::npos);
      EXPECT_EQ(asked[1].first, 60);
      EXPECT_NE(asked[1].second.find(OnDisk("sub/deep")), std::string::npos);
      EXPECT_TRUE(std::filesystem::is_directory(c));
      EXPECT_TRUE(std::filesystem::exists(late));
    } else {
      ASSERT_EQ(asked.size(), 1u);  // the handler fixed both before the retry
      EXPECT_FALSE(std::filesystem::exists(c));
      EXPECT_FALSE(std::filesystem::exists(FDir.NativePath("tree/sub/deep")));
    }
    a.DeleteFiles(OnDisk(u"sub/*.*"), KelAllItemsAttr, u"");
  }
}

#ifndef _WIN32  // named pipes in a folder are a Unix thing
TEST_F(AddFilesTest, APipeFailsAsASourceThatCannotBeOpenedInsteadOfBeingWaitedOn) {
  ASSERT_EQ(mkfifo(FDir.NativePath("tree/sub/pipe").c_str(), 0644), 0);
  std::vector<std::pair<int32_t, std::string>> failed;
  a.SetOnProcessFileFailure([&](TKelBaseArchiver*, const UString& name, TKelProcessOperation,
                                int32_t native, int32_t, const UString&, TKelAction& action) {
    failed.emplace_back(native, ToUtf8(name));
    action = fxaIgnore;
  });
  a.AddFiles(u"sub/*.*", faAnyFile, u"");
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].first, 33);
  EXPECT_NE(failed[0].second.find("sub/pipe"), std::string::npos);
  EXPECT_EQ(Stored(), (Names{"sub/c.txt", "sub/deep/", "sub/deep/d.txt"}));
}
#endif

TEST_F(AddFilesTest, LinksToFoldersAreNotFollowed) {
#ifdef _WIN32
  GTEST_SKIP() << "wine 8 cannot create symbolic links";
#endif
  std::filesystem::create_directory_symlink(FDir.NativePath("tree"),
                                            FDir.NativePath("tree/sub/loop"));
  a.AddFiles(u"*.txt", faArchive, u"");
  EXPECT_EQ(Stored(), (Names{"a.txt", "skip/e.txt", "sub/c.txt", "sub/deep/d.txt"}));
  // Taken by name, the link is stored as a link.
  a.AddFiles(u"sub/*.*", faArchive, u"");
  int32_t link = -1;
  ASSERT_TRUE(a.DMHandle->CDir.FileExists(u"sub/loop", link));
  EXPECT_EQ(Extracted(u"sub/loop"), FDir.NativePath("tree"));
  // Followed, it leads back into the tree, which is not searched again.
  a.CloseArchive();
  std::filesystem::remove(FDir.NativePath("tree/data.zip"));
  a.OpenArchive();
  a.Options().SetFollowLinks(true);
  a.AddFiles(u"*.txt", faArchive, u"");
  EXPECT_EQ(Stored(), (Names{"a.txt", "skip/e.txt", "sub/c.txt", "sub/deep/d.txt"}));
}

}  // namespace
}  // namespace kelvane
