// What a commit does with each kind of change: renamed and deleted items,
// sources on disk, failing sources and the answers to their failure, a stub in
// front of a new archive, an archive made in memory.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "DecodeTestSupport.h"
#include "DiskName.h"
#include "TempDir.h"
#include "UpdateTestSupport.h"
#include "container/KelDirManager.h"
#include "engine/Kelvane.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

using namespace test;

// Fails its first reads (fewer bytes than its size), then gives its bytes.
class TFlakyStream : public TMemoryStream {
 public:
  explicit TFlakyStream(const std::string& data, int failures) : FFailures(failures) {
    WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
    SetPosition(0);
  }
  int64_t Read(void* buffer, int64_t count) override {
    if (FFailures > 0 && count > 0) {
      --FFailures;
      return 0;
    }
    return TMemoryStream::Read(buffer, count);
  }

 private:
  int FFailures;
};

// Claims 5 GiB of zeros.
class THugeStream : public TStream {
 public:
  int64_t Read(void* buffer, int64_t count) override {
    std::memset(buffer, 0, static_cast<size_t>(count));
    return count;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin) override { return offset; }
  int64_t Size() override { return int64_t{5} << 30; }
};

class TCommitProbe : public TKelvane {
 public:
  using TKelBaseArchiver::AddOneFile;
  using TKelBaseArchiver::DMHandle;
  using TKelvane::TKelvane;

  // What renaming an item will do: a new name, the old one remembered.
  void Rename(const UString& from, const UString& to) {
    int32_t i = -1;
    ASSERT_TRUE(DMHandle->CDir.FileExists(from, i));
    DMHandle->CDir.GetItemPtr(i).SetOldName(from);
    DMHandle->CDir.SetItemName(i, to);
    TDirItem& item = DMHandle->CDir.GetItemPtr(i);
    item.Modified = true;
    item.Operation = poRename;
  }
  void Delete(const UString& name) {
    int32_t i = -1;
    ASSERT_TRUE(DMHandle->CDir.FileExists(name, i));
    DMHandle->CDir.DeleteItem(i);
  }
};

class CommitItemsTest : public ::testing::Test {
 protected:
  void SetUp() override { a.SetFileName(FPath); }

  void Add(const std::vector<std::pair<UString, std::string>>& items) {
    if (!a.Active()) a.OpenArchive();
    a.BeginUpdate();
    for (const auto& [name, data] : items)
      a.AddFromBuffer(name, data.data(), static_cast<int32_t>(data.size()), faArchive, 0);
    a.EndUpdate();
  }

  std::map<UString, std::string> OnDisk(const UString& path = {}) {
    a.CloseArchive();
    TKelvane reader(nullptr);
    reader.SetFileName(path.empty() ? FPath : path);
    reader.SetOpenCorruptedArchives(false);
    reader.OpenArchive(fmOpenRead | fmShareDenyNone);
    return ContentsOf(reader);
  }

  TempDir FDir;
  UString FPath = FDir.Path(u"data.zip");
  std::string FNative = FDir.NativePath("data.zip");
  TCommitProbe a{nullptr};
};

TEST_F(CommitItemsTest, RenamedItemsGetANewLocalHeaderAndKeepTheirData) {
  const std::string big(200000, 'b');
  Add({{u"a.txt", "aaa"}, {u"b.bin", big}, {u"c.txt", "ccc"}});
  a.BeginUpdate();
  a.Rename(u"a.txt", u"renamed/longer name \u00e9.txt");  // the first item: all rewritten
  a.Rename(u"c.txt", u"z");
  a.EndUpdate();
  EXPECT_EQ(OnDisk(), (std::map<UString, std::string>{
                          {test::OnDisk(u"renamed/longer name \u00e9.txt"), "aaa"},
                          {u"b.bin", big},
                          {u"z", "ccc"}}));
}

TEST_F(CommitItemsTest, ItemsOfOtherToolsStayReadableWhenRenamedOrMoved) {
  // As streaming writers leave them: local sizes escaped to a Zip64 field, and
  // sizes in a data descriptor behind the data.
  const std::string first(5000, 'f');
  Bytes zip64Local = {0x01, 0x00, 0x10, 0x00};
  for (const uint64_t v : {uint64_t{first.size()}, uint64_t{Deflated(first).size()}})
    for (int i = 0; i < 8; ++i)
      zip64Local.push_back(static_cast<uint8_t>(v >> (8 * i)));
  const TBuiltZip zip = BuildZip({
      TTestEntry("escaped.txt", first).WithLocalExtra(zip64Local).WithLocal([](auto& lh) {
        lh.extractVersion = 45;
        lh.compSize = lh.unCompSize = 0xFFFFFFFF;
      }),
      TTestEntry("described.txt", "behind a descriptor").WithDescriptor(),
      TTestEntry("plain.txt", "plain"),
  });
  std::ofstream(FNative, std::ios::binary)
      .write(reinterpret_cast<const char*>(zip.Archive.data()),
             static_cast<std::streamsize>(zip.Archive.size()));
  a.OpenArchive();
  a.BeginUpdate();
  a.Rename(u"escaped.txt", u"renamed.txt");
  a.Rename(u"described.txt", u"also renamed.txt");
  a.EndUpdate();
  const std::map<UString, std::string> expected = {{u"renamed.txt", first},
                                                   {u"also renamed.txt", "behind a descriptor"},
                                                   {u"plain.txt", "plain"}};
  EXPECT_EQ(OnDisk(), expected);
  // Moved as they are, descriptors included, when an earlier item changes.
  a.OpenArchive();
  a.BeginUpdate();
  a.Rename(u"renamed.txt", u"r.txt");
  a.EndUpdate();
  EXPECT_EQ(OnDisk().at(u"also renamed.txt"), "behind a descriptor");
}

TEST_F(CommitItemsTest, DeletedItemsGoAndDeletingEveryItemLeavesAnEmptyDirectory) {
  Add({{u"a.txt", "aaa"}, {u"b.txt", "bbb"}, {u"c.txt", "ccc"}});
  a.BeginUpdate();
  a.Delete(u"b.txt");
  a.EndUpdate();
  EXPECT_EQ(OnDisk(), (std::map<UString, std::string>{{u"a.txt", "aaa"}, {u"c.txt", "ccc"}}));
  a.OpenArchive();
  a.BeginUpdate();
  a.Delete(u"a.txt");
  a.Delete(u"c.txt");
  a.EndUpdate();
  a.CloseArchive();
  EXPECT_EQ(ReadAll(FNative), std::string("PK\x05\x06", 4) + std::string(18, '\0'));
}

TEST_F(CommitItemsTest, AnItemWithoutAnOldVersionToCopyFailsTheCommitAndChangesNothing) {
  Add({{u"a.txt", "aaa"}, {u"b.txt", "bbb"}, {u"c.txt", "ccc"}});
  a.CloseArchive();
  const std::string before = ReadAll(FNative);
  a.OpenArchive();
  a.BeginUpdate();
  a.Delete(u"a.txt");  // everything after it is copied
  int32_t i = -1;
  ASSERT_TRUE(a.DMHandle->CDir.FileExists(u"c.txt", i));
  a.DMHandle->CDir.SetItemName(i, u"unknown.txt");  // renamed without saying so
  try {
    a.EndUpdate();
    ADD_FAILURE() << "the commit went through";
  } catch (const EKelException& e) {
    EXPECT_EQ(e.NativeError, 7);
  }
  a.CloseArchive();
  EXPECT_EQ(ReadAll(FNative), before);
}

TEST_F(CommitItemsTest, ANewArchiveWithAStubKeepsTheStubInFront) {
  const std::string stub = "#!/bin/sh\necho stub\nexit 0\n" + std::string(5000, '\x7f');
  std::ofstream(FDir.NativePath("stub"), std::ios::binary) << stub;
  a.SetSFXStub(FDir.Path(u"stub"));
  a.OpenArchive(fmCreate);
  Add({{u"a.txt", "aaa"}});
  a.CloseArchive();  // an open archive may deny other readers (Windows)
  EXPECT_EQ(ReadAll(FNative).substr(0, stub.size()), stub);
  EXPECT_EQ(OnDisk(), (std::map<UString, std::string>{{u"a.txt", "aaa"}}));
  // Replacing the only item rewrites behind the stub, never into it.
  a.SetSFXStub(u"");
  a.OpenArchive();
  Add({{u"a.txt", "new"}});
  a.CloseArchive();
  EXPECT_EQ(ReadAll(FNative).substr(0, stub.size()), stub);
  EXPECT_EQ(OnDisk(), (std::map<UString, std::string>{{u"a.txt", "new"}}));
}

TEST_F(CommitItemsTest, AnArchiveMadeInMemoryIsWrittenToItsFile) {
  a.SetInMemory(true);
  a.OpenArchive();
  Add({{u"m.txt", "in memory"}});
  EXPECT_FALSE(IsFile(FPath));
  a.SetInMemory(false);
  EXPECT_TRUE(a.Active());
  EXPECT_EQ(a.FileCount(), 1);
  EXPECT_EQ(OnDisk(), (std::map<UString, std::string>{{u"m.txt", "in memory"}}));
}

TEST_F(CommitItemsTest, SourcesOnDiskAreStoredAndTheirFailuresNamed) {
  std::ofstream(FDir.NativePath("src.txt"), std::ios::binary) << "from disk";
  const UString tooLong = FDir.Path(UString(PATH_MAX, u'x'));
  std::vector<std::pair<UString, int32_t>> failures;
  a.SetOnProcessFileFailure([&](TKelBaseArchiver*, const UString& name, TKelProcessOperation,
                                int32_t native, int32_t, const UString&, TKelAction& action) {
    failures.emplace_back(name, native);
    action = fxaIgnore;
  });
  a.OpenArchive();
  a.BeginUpdate();
  EXPECT_GE(a.AddOneFile(FDir.Path(u"src.txt"), FDir.Path(u""), 0, 0, true), 0);
  EXPECT_GE(a.AddOneFile(FDir.Path(u"missing.txt"), FDir.Path(u""), 0, 0, true), 0);
  EXPECT_GE(a.AddOneFile(tooLong, FDir.Path(u""), 0, 0, true), 0);
  a.EndUpdate();
  EXPECT_EQ(failures, (std::vector<std::pair<UString, int32_t>>{{FDir.Path(u"missing.txt"), 33},
                                                                {tooLong, 61}}));
  EXPECT_EQ(OnDisk(), (std::map<UString, std::string>{{u"src.txt", "from disk"}}));
}

TEST_F(CommitItemsTest, ARenamedItemWhoseReplacementFailsKeepsItsDataUnderTheNewName) {
  Add({{u"a.txt", "old a"}, {u"z.txt", "zzz"}});
  const std::string source = FDir.NativePath("b.txt");
  std::ofstream(source, std::ios::binary) << "new b";
  a.SetOnProcessFileFailure([&](TKelBaseArchiver*, const UString&, TKelProcessOperation, int32_t,
                                int32_t, const UString&,
                                TKelAction& action) { action = fxaIgnore; });
  a.Options().SetOverwriteMode(omAlways);
  a.BeginUpdate();
  a.RenameFile(u"a.txt", u"b.txt");
  ASSERT_GE(a.AddOneFile(FDir.Path(u"b.txt"), FDir.Path(u""), 0, 0, true), 0);
  std::filesystem::remove(source);  // the replacement cannot be read when it is stored
  a.EndUpdate();
  EXPECT_EQ(OnDisk(), (std::map<UString, std::string>{{u"b.txt", "old a"}, {u"z.txt", "zzz"}}));
}

TEST_F(CommitItemsTest, RetryStoresAFailedItemAgainAndAbortKeepsTheOldArchive) {
  Add({{u"a.txt", "aaa"}});
  a.CloseArchive();  // an open archive may deny readers (Windows share modes)
  const std::string before = ReadAll(FNative);
  a.OpenArchive();
  for (const TKelAction answer : {fxaRetry, fxaAbort}) {
    SCOPED_TRACE(int(answer));
    int asked = 0;
    a.SetOnProcessFileFailure([&](TKelBaseArchiver*, const UString&, TKelProcessOperation,
                                  int32_t native, int32_t, const UString&, TKelAction& action) {
      EXPECT_EQ(native, 34);  // fewer bytes than the source's size
      ++asked;
      action = answer;
    });
    TFlakyStream flaky(std::string(3000, 'f'), 1);
    a.OpenArchive();
    a.BeginUpdate();
    a.AddFromStream(u"flaky.bin", flaky, false, 0, 0, faArchive, 0);
    a.AddFromString(u"after.txt", u"after", faArchive, 0);
    a.EndUpdate();
    EXPECT_EQ(asked, 1);
    if (answer == fxaRetry) {
      EXPECT_EQ(OnDisk(), (std::map<UString, std::string>{{u"a.txt", "aaa"},
                                                          {u"flaky.bin", std::string(3000, 'f')},
                                                          {u"after.txt", "after"}}));
      a.OpenArchive();
      a.BeginUpdate();
      a.Delete(u"flaky.bin");
      a.Delete(u"after.txt");
      a.EndUpdate();
      a.CloseArchive();
    } else {
      a.CloseArchive();
      EXPECT_TRUE(ReadAll(FNative) == before);
    }
  }
}

TEST_F(CommitItemsTest, AnItemThatNeedsZip64IsRefusedWhenZip64IsDisabled) {
  Add({{u"a.txt", "aaa"}});
  int32_t seen = 0;
  a.SetOnProcessFileFailure([&](TKelBaseArchiver*, const UString&, TKelProcessOperation,
                                int32_t native, int32_t, const UString&, TKelAction& action) {
    seen = native;
    action = fxaIgnore;
  });
  a.SetZip64Mode(zmDisabled);
  THugeStream huge;
  a.AddFromStream(u"huge.bin", huge, false, 0, 0, faArchive, 0);
  EXPECT_EQ(seen, 43);
  EXPECT_EQ(OnDisk(), (std::map<UString, std::string>{{u"a.txt", "aaa"}}));
}

TEST_F(CommitItemsTest, ProgressIsReportedForTheCommitAndEachItem) {
  std::vector<std::string> reports;
  a.SetOnOverallProgress([&](TKelBaseArchiver*, double progress, TKelProcessOperation,
                             TKelProgressPhase phase, bool&) {
    if (phase != ppProcess) reports.push_back("overall " + std::to_string(int(progress)));
  });
  a.SetOnFileProgress([&](TKelBaseArchiver*, const UString& name, double progress,
                          TKelProcessOperation, TKelProgressPhase phase, bool&) {
    if (phase != ppProcess) reports.push_back(ToUtf8(name) + " " + std::to_string(int(progress)));
  });
  a.OpenArchive();
  a.BeginUpdate();
  a.AddFromString(u"a.txt", u"aaa", faArchive, 0);
  a.AddFromString(u"b.txt", u"bbb", faArchive, 0);
  a.EndUpdate();
  EXPECT_EQ(reports, (std::vector<std::string>{"overall 0", "a.txt 0", "a.txt 100", "b.txt 0",
                                               "b.txt 100", "overall 100"}));
}

}  // namespace
}  // namespace kelvane
