// Repairing an archive: what the repaired one holds, what it keeps of each
// item, and that a repair in place never leaves the user without an archive.
#include <gtest/gtest.h>

#include <filesystem>

#include "ArchiveFiles.h"
#include "NativeError.h"
#include "TempDir.h"
#include "UpdateTestSupport.h"
#include "container/KelDirManager.h"
#include "platform/DosTime.h"
#include "platform/FileLayerProbe.h"
#include "platform/FileSystem.h"

namespace kelvane {
namespace {

using namespace test;

constexpr int32_t kTime = 0x58B16D20;  // 2024-05-17 13:41:00

struct TEntry {
  int32_t Dos = 0;
  uint32_t Attr = 0;
  std::string Data;
};
using TEntries = std::map<UString, TEntry>;

TEntries EntriesOf(const UString& path) {
  TKelvane a(nullptr);
  a.SetFileName(path);
  a.SetOpenCorruptedArchives(false);
  a.OpenArchive(fmOpenRead | fmShareDenyNone);
  TEntries out;
  a.Options().SetRecurse(true);
  TKelArchiveItem f;
  for (bool more = a.FindFirst(u"*.*", f, KelAllItemsAttr, u""); more; more = a.FindNext(f)) {
    const bool folder = (f.ExternalFileAttributes & faDirectory) != 0;
    const UString name = f.StoredPath + f.FileName + (folder ? UString(1, PathDelim) : u"");
    std::string data;
    if (!folder) {
      TMemoryStream s;
      a.ExtractToStream(name, s);
      data.assign(s.Bytes().begin(), s.Bytes().end());
    }
    out[name] = {int32_t(uint32_t(f.LastModFileDate) << 16 | f.LastModFileTime),
                 f.ExternalFileAttributes, data};
  }
  return out;
}

int GCall = 0;
int GFailAt = 0;
// Fails the GFailAt-th call as a full disk would; a removal never fails so.
bool FailAtCall(TFileLayerCall call) {
  return ++GCall != GFailAt || call == flcRemove;
}

class RepairTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TKelvane w(nullptr);
    w.SetFileName(dir.Path(u"data.zip"));
    w.SetCompressionMode(6);
    w.OpenArchive(fmCreate);
    w.BeginUpdate();
    const std::string text(40000, 't');
    w.AddFromBuffer(u"text.txt", text.data(), int32_t(text.size()), faArchive,
                    *DosDateTimeToDateTime(kTime));
    const std::string noise = Noise(60000, 5);
    w.AddFromBuffer(u"damaged.bin", noise.data(), int32_t(noise.size()), faArchive | faReadOnly,
                    *DosDateTimeToDateTime(kTime + 2));
    w.AddFromString(u"sub/", u"", faDirectory, *DosDateTimeToDateTime(kTime + 4));
    w.AddFromString(u"sub/last.txt", u"the last one", faArchive, *DosDateTimeToDateTime(kTime + 6));
    w.EndUpdate();
    w.CloseArchive();
    Good = EntriesOf(dir.Path(u"data.zip"));
    // One item damaged in the middle of its data.
    std::string bytes = ReadAll(dir.NativePath("data.zip"));
    const size_t at = bytes.find("damaged.bin") + 11 + 30000;
    for (size_t i = 0; i < 64; ++i)
      bytes[at + i] = char(bytes[at + i] ^ 0x5A);
    Damaged = bytes;
    // And, separately, its directory cut off as well.
    Cut = bytes.substr(0, bytes.find("PK\1\2"));
    a.SetFileName(dir.Path(u"data.zip"));
  }

  void ExpectIntactItemsKept(const TEntries& repaired) {
    for (const UString name : {UString(u"text.txt"), OnDisk(u"sub/"), OnDisk(u"sub/last.txt")}) {
      SCOPED_TRACE(ToUtf8(name));
      ASSERT_TRUE(repaired.contains(name));
      EXPECT_TRUE(repaired.at(name).Data == Good.at(name).Data);
      EXPECT_EQ(repaired.at(name).Dos, Good.at(name).Dos);
    }
  }

  TempDir dir;
  TKelvane a{nullptr};
  TEntries Good;
  std::string Damaged, Cut;
};

TEST_F(RepairTest, IntactItemsKeepTheirBytesTimesAndAttributes) {
  for (const std::string* source : {&Damaged, &Cut}) {
    SCOPED_TRACE(source == &Cut ? "directory cut off" : "directory kept");
    WriteAll(dir.NativePath("data.zip"), *source);
    a.RepairArchive(dir.Path(u"fixed.zip"));
    EXPECT_TRUE(ReadAll(dir.NativePath("data.zip")) == *source) << "the source is not changed";
    const TEntries repaired = EntriesOf(dir.Path(u"fixed.zip"));
    ExpectIntactItemsKept(repaired);
    if (source == &Damaged) {
      // With the directory, attributes are known too.
      for (const UString name : {UString(u"text.txt"), OnDisk(u"sub/last.txt")})
        EXPECT_EQ(repaired.at(name).Attr, Good.at(name).Attr);
      // The damaged item keeps its time and attributes with what was decoded.
      ASSERT_TRUE(repaired.contains(u"damaged.bin"));
      EXPECT_EQ(repaired.at(u"damaged.bin").Dos, Good.at(u"damaged.bin").Dos);
      EXPECT_EQ(repaired.at(u"damaged.bin").Attr, Good.at(u"damaged.bin").Attr);
    }
    EXPECT_FALSE(a.Active());
    EXPECT_EQ(FileNamesIn(dir.Root()), (std::vector<std::string>{"data.zip", "fixed.zip"}));
  }
}

TEST_F(RepairTest, InPlaceTheArchiveIsReplacedAndNothingElseStays) {
  WriteAll(dir.NativePath("data.zip"), Cut);
  std::filesystem::permissions(dir.NativePath("data.zip"), std::filesystem::perms(0640));
  a.RepairArchive(u"");
  ExpectIntactItemsKept(EntriesOf(dir.Path(u"data.zip")));
#ifndef _WIN32  // Windows files have no owner, group and other permissions
  EXPECT_EQ(std::filesystem::status(dir.NativePath("data.zip")).permissions(),
            std::filesystem::perms(0640));
#endif
  EXPECT_EQ(FileNamesIn(dir.Root()), (std::vector<std::string>{"data.zip"}));
  // Naming the archive itself is the same.
  a.RepairArchive(dir.Path(u"data.zip"));
  ExpectIntactItemsKept(EntriesOf(dir.Path(u"data.zip")));
  EXPECT_EQ(FileNamesIn(dir.Root()), (std::vector<std::string>{"data.zip"}));
}

TEST_F(RepairTest, AFailureAtAnyFileCallLeavesTheOldArchive) {
  WriteAll(dir.NativePath("data.zip"), Damaged);
  a.SetTempDir(FromUtf8(dir.Root().string()));
  bool completed = false;
  for (GFailAt = 1; !completed && GFailAt < 300; ++GFailAt) {
    SCOPED_TRACE(GFailAt);
    GCall = 0;
    SetFileLayerProbe(FailAtCall);
    bool raised = false;
    try {
      a.RepairArchive(u"");
    } catch (const std::exception&) {
      raised = true;
    }
    completed = GCall < GFailAt;
    SetFileLayerProbe(nullptr);
    EXPECT_EQ(FileNamesIn(dir.Root()), (std::vector<std::string>{"data.zip"}));
    if (raised)
      ASSERT_TRUE(ReadAll(dir.NativePath("data.zip")) == Damaged);
    else
      ExpectIntactItemsKept(EntriesOf(dir.Path(u"data.zip")));
    WriteAll(dir.NativePath("data.zip"), Damaged);
  }
  EXPECT_TRUE(completed);
}

TEST_F(RepairTest, Errors) {
  a.OpenArchive();
  EXPECT_EQ(NativeErrorOf([&] { a.RepairArchive(dir.Path(u"fixed.zip")); }), 37);
  a.CloseArchive();
  EXPECT_EQ(NativeErrorOf([&] { a.RepairArchive(dir.Path(u"no/such/folder/fixed.zip")); }), 36);
  a.SetFileName(dir.Path(u"none.zip"));
  EXPECT_EQ(NativeErrorOf([&] { a.RepairArchive(u""); }), 36);
  EXPECT_EQ(NativeErrorOf([&] { a.RepairArchive(dir.Path(u"fixed.zip")); }), 12);
  EXPECT_EQ(FileNamesIn(dir.Root()), (std::vector<std::string>{"data.zip"}));
}

}  // namespace
}  // namespace kelvane
