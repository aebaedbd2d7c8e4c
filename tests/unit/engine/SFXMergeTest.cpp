// Building self-extracting archives and merging archives: what the results
// hold, where their offsets point, the errors, and that a failure at any call
// of the file layer leaves what was there before.
#include <gtest/gtest.h>

#include <filesystem>

#include "ArchiveFiles.h"
#include "NativeError.h"
#include "TempDir.h"
#include "UpdateTestSupport.h"
#include "platform/DosTime.h"
#include "platform/FileLayerProbe.h"
#include "platform/FileSystem.h"

namespace kelvane {
namespace {

using namespace test;

constexpr int32_t kOld = 0x58B16D20;  // 2024-05-17 13:41:00
constexpr int32_t kNew = 0x58B26D20;  // a day later

struct TItem {
  UString Name;
  std::string Data;
  int32_t Dos = kOld;
};

void MakeArchive(const UString& path, const std::vector<TItem>& items) {
  TKelvane a(nullptr);
  a.SetFileName(path);
  a.SetCompressionMode(6);
  a.OpenArchive(fmCreate);
  a.BeginUpdate();
  for (const TItem& item : items)
    a.AddFromBuffer(item.Name, item.Data.data(), static_cast<int32_t>(item.Data.size()), faArchive,
                    *DosDateTimeToDateTime(item.Dos));
  a.EndUpdate();
  a.CloseArchive();
}

TContents Contents(const UString& path) {
  TKelvane a(nullptr);
  a.SetFileName(path);
  a.SetOpenCorruptedArchives(false);
  a.OpenArchive(fmOpenRead | fmShareDenyNone);
  return ContentsOf(a);
}

// The local header offsets the central headers store.
std::vector<uint32_t> StoredOffsets(const std::string& bytes) {
  std::vector<uint32_t> offsets;
  for (size_t at = bytes.find("PK\1\2"); at != std::string::npos; at = bytes.find("PK\1\2", at + 1))
    offsets.push_back(uint8_t(bytes[at + 42]) | uint8_t(bytes[at + 43]) << 8 |
                      uint8_t(bytes[at + 44]) << 16 | uint32_t(uint8_t(bytes[at + 45])) << 24);
  return offsets;
}

// Every stored offset names a local header.
void ExpectOffsetsAtLocalHeaders(const std::string& bytes, size_t count) {
  const std::vector<uint32_t> offsets = StoredOffsets(bytes);
  ASSERT_EQ(offsets.size(), count);
  for (uint32_t offset : offsets)
    EXPECT_EQ(bytes.substr(offset, 4), "PK\3\4") << offset;
}

int GCall = 0;
int GFailAt = 0;
// Fails the GFailAt-th call as a full disk would; a removal never fails so.
bool FailAtCall(TFileLayerCall call) {
  return ++GCall != GFailAt || call == flcRemove;
}

class SFXTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFileBytes(dir.NativePath("stub"), StubBytes(70000));
    MakeArchive(
        dir.Path(u"data.zip"),
        {{u"a.txt", std::string(5000, 'a')}, {u"dir/b.bin", Noise(3000, 7)}, {u"c.txt", "see"}});
    a.SetFileName(dir.Path(u"data.zip"));
    a.SetSFXStub(dir.Path(u"stub"));
  }
  TempDir dir;
  TKelvane a{nullptr};
};

TEST_F(SFXTest, StubThenArchiveWithOffsetsCountingTheStub) {
  const std::string zip = ReadAll(dir.NativePath("data.zip"));
  for (const bool open : {false, true}) {
    if (open) a.OpenArchive();
    a.MakeSFX(dir.Path(u"setup"));
    EXPECT_EQ(a.Active(), open);
    const std::string sfx = ReadAll(dir.NativePath("setup"));
    EXPECT_TRUE(sfx.substr(0, 70000) == ReadAll(dir.NativePath("stub")));
    ExpectOffsetsAtLocalHeaders(sfx, 3);
    EXPECT_EQ(StoredOffsets(sfx).front(), 70000u);
    EXPECT_EQ(Contents(dir.Path(u"setup")), Contents(dir.Path(u"data.zip")));
    EXPECT_TRUE(ReadAll(dir.NativePath("data.zip")) == zip) << "the source is not changed";
#ifndef _WIN32  // Windows runs a program by its name, with no execute bit
    EXPECT_NE(std::filesystem::status(dir.NativePath("setup")).permissions() &
                  std::filesystem::perms::owner_exec,
              std::filesystem::perms::none);
#endif
    a.CloseArchive();
  }
}

TEST_F(SFXTest, APendingUpdateIsCommittedFirst) {
  a.OpenArchive();
  a.BeginUpdate();
  a.AddFromString(u"new.txt", u"new", faArchive, 0);
  a.MakeSFX(dir.Path(u"setup"));
  EXPECT_FALSE(a.InUpdate());
  EXPECT_EQ(Contents(dir.Path(u"setup")).at(u"new.txt"), "new");
}

TEST_F(SFXTest, ErrorsAreRaisedBeforeAnyOutputExists) {
  WriteAll(dir.NativePath("setup"), "kept");
  // An archive that has a stub already.
  WriteAll(dir.NativePath("sfx.zip"),
           ReadAll(dir.NativePath("stub")) + ReadAll(dir.NativePath("data.zip")));
  struct TCase {
    const char* What;
    std::function<void(TKelvane&)> Arrange;
    int Native;
  } cases[] = {
      {"no stub", [&](TKelvane& x) { x.SetSFXStub(u""); }, 17},
      {"stub missing", [&](TKelvane& x) { x.SetSFXStub(dir.Path(u"none")); }, 18},
      {"multi-volume", [&](TKelvane& x) { x.SetSpanningMode(smSplitting); }, 49},
      {"has a stub", [&](TKelvane& x) { x.SetFileName(dir.Path(u"sfx.zip")); }, 50},
      {"has a stub, open",
       [&](TKelvane& x) {
         x.SetFileName(dir.Path(u"sfx.zip"));
         x.OpenArchive();
       },
       50},
      {"archive missing", [&](TKelvane& x) { x.SetFileName(dir.Path(u"none.zip")); }, 12},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    TKelvane x(nullptr);
    x.SetFileName(dir.Path(u"data.zip"));
    x.SetSFXStub(dir.Path(u"stub"));
    c.Arrange(x);
    EXPECT_EQ(NativeErrorOf([&] { x.MakeSFX(dir.Path(u"setup")); }), c.Native);
    EXPECT_EQ(ReadAll(dir.NativePath("setup")), "kept");
    EXPECT_EQ(FileNamesIn(dir.Root()),
              (std::vector<std::string>{"data.zip", "setup", "sfx.zip", "stub"}));
  }
  // The output may not be what it is made of.
  for (const UString& own : {dir.Path(u"stub"), dir.Path(u"data.zip")})
    EXPECT_THROW(a.MakeSFX(own), Exception);
  const std::vector<uint8_t> stub = StubBytes(70000);
  EXPECT_TRUE(ReadAll(dir.NativePath("stub")) == std::string(stub.begin(), stub.end()));
}

TEST_F(SFXTest, AFailureAtAnyFileCallLeavesTheOldOutput) {
  WriteAll(dir.NativePath("setup"), "kept");
  a.MakeSFX(dir.Path(u"good"));
  const std::string good = ReadAll(dir.NativePath("good"));
  std::filesystem::remove(dir.NativePath("good"));
  bool completed = false;
  for (GFailAt = 1; !completed && GFailAt < 200; ++GFailAt) {
    SCOPED_TRACE(GFailAt);
    GCall = 0;
    SetFileLayerProbe(FailAtCall);
    bool raised = false;
    try {
      a.MakeSFX(dir.Path(u"setup"));
    } catch (const std::exception&) {
      raised = true;
    }
    completed = GCall < GFailAt;
    SetFileLayerProbe(nullptr);
    const std::string now = ReadAll(dir.NativePath("setup"));
    EXPECT_TRUE(raised ? now == "kept" : now == good) << now.size() << " bytes";
    EXPECT_EQ(FileNamesIn(dir.Root()), (std::vector<std::string>{"data.zip", "setup", "stub"}));
  }
  EXPECT_TRUE(completed);
}

TEST_F(SFXTest, ACancelWritesNothing) {
  a.SetOnOverallProgress([](TKelBaseArchiver*, double, TKelProcessOperation op, TKelProgressPhase,
                            bool& cancel) { cancel = op == poMakeSFX; });
  a.MakeSFX(dir.Path(u"setup"));
  EXPECT_FALSE(IsFile(dir.Path(u"setup")));
  EXPECT_EQ(FileNamesIn(dir.Root()), (std::vector<std::string>{"data.zip", "stub"}));
}

TEST(FastFileAppend, AppendsTheWholeStreamAndReportsAShortOne) {
  TKelvane a(nullptr);
  TMemoryStream out, in;
  out.Write("head", 4);
  const std::string data = Noise(3 << 20, 3);
  in.Write(data.data(), int64_t(data.size()));
  in.SetPosition(100);
  EXPECT_TRUE(a.FastFileAppend(out, in, u"x"));
  EXPECT_TRUE(std::string(out.Bytes().begin(), out.Bytes().end()) == "head" + data);

  // A stream that claims more than it gives.
  class TShort : public TStream {
   public:
    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t, TSeekOrigin) override { return 0; }
    int64_t Size() override { return 10; }
  } shortIn;
  EXPECT_FALSE(a.FastFileAppend(out, shortIn, u"x"));
}

// ---- Merging

class MergeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeArchive(dir.Path(u"here.zip"),
                {{u"a.txt", "A1", kOld}, {u"b.txt", "B1", kNew}, {u"keep.txt", "K", kOld}});
    MakeArchive(dir.Path(u"there.zip"),
                {{u"a.txt", "A2", kNew}, {u"B.TXT", "B2", kOld}, {u"c.txt", Noise(5000, 2)}});
    a.SetFileName(dir.Path(u"here.zip"));
  }
  TempDir dir;
  TKelvane a{nullptr};
};

TEST_F(MergeTest, TheUnionUnderEachOverwriteMode) {
  struct TCase {
    TKelOverwriteMode Mode;
    const char* A;
    const char* B;
  } cases[] = {{omAlways, "A2", "B2"},
               {omNever, "A1", "B1"},
               {omIfNewer, "A2", "B1"},
               {omIfOlder, "A1", "B2"}};
  const std::string here = ReadAll(dir.NativePath("here.zip"));
  for (const TCase& c : cases) {
    SCOPED_TRACE(int(c.Mode));
    WriteAll(dir.NativePath("here.zip"), here);
    a.Options().SetOverwriteMode(c.Mode);
    a.OpenArchive();
    a.MergeWith(dir.Path(u"there.zip"));
    const TContents merged = ContentsOf(a);
    a.CloseArchive();
    EXPECT_EQ(merged.size(), 4u);
    EXPECT_EQ(merged.at(u"a.txt"), c.A);
    const auto b =
        merged.find(u"b.txt") != merged.end() ? merged.find(u"b.txt") : merged.find(u"B.TXT");
    ASSERT_NE(b, merged.end());
    EXPECT_EQ(b->second, c.B);
    EXPECT_EQ(merged.at(u"keep.txt"), "K");
    EXPECT_TRUE(merged.at(u"c.txt") == Noise(5000, 2));
    EXPECT_EQ(Contents(dir.Path(u"here.zip")), merged);
    ExpectOffsetsAtLocalHeaders(ReadAll(dir.NativePath("here.zip")), 4);
  }
}

TEST_F(MergeTest, TheQuestionNamesBothItemsAndItsAnswerDecides) {
  std::vector<std::pair<UString, UString>> asked;
  a.Options().SetOverwriteMode(omPrompt);
  a.SetOnConfirmOverwrite(
      [&](TKelBaseArchiver*, const UString& source, UString& dest, bool& confirm) {
        asked.emplace_back(source, dest);
        confirm = source.ends_with(u"a.txt");
      });
  a.OpenArchive();
  a.MergeWith(dir.Path(u"there.zip"));
  const TContents merged = ContentsOf(a);
  EXPECT_EQ(merged.at(u"a.txt"), "A2");
  EXPECT_EQ(merged.at(u"b.txt"), "B1");
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0].first, dir.Path(u"there.zip") + PathDelim + u"a.txt");
  EXPECT_EQ(asked[0].second, dir.Path(u"here.zip") + PathDelim + u"a.txt");
  EXPECT_EQ(asked[1].first, dir.Path(u"there.zip") + PathDelim + u"B.TXT");
}

TEST_F(MergeTest, IntoItselfAndFromAnArchiveWithAStub) {
  WriteFileBytes(dir.NativePath("stub"), StubBytes(5000));
  WriteAll(dir.NativePath("sfx.zip"),
           ReadAll(dir.NativePath("stub")) + ReadAll(dir.NativePath("there.zip")));
  a.Options().SetOverwriteMode(omAlways);
  a.OpenArchive();
  const TContents before = ContentsOf(a);
  a.MergeWith(dir.Path(u"here.zip"));
  EXPECT_EQ(ContentsOf(a), before);
  a.MergeWith(dir.Path(u"sfx.zip"));
  a.CloseArchive();
  const std::string bytes = ReadAll(dir.NativePath("here.zip"));
  ExpectOffsetsAtLocalHeaders(bytes, 4);
  // Every item now points into the copies, past the first copy of here.zip.
  for (uint32_t offset : StoredOffsets(bytes))
    EXPECT_GT(offset, 0u);
  const TContents merged = Contents(dir.Path(u"here.zip"));
  EXPECT_EQ(merged.at(u"a.txt"), "A2");
  EXPECT_EQ(merged.at(u"keep.txt"), "K");
}

TEST_F(MergeTest, Errors) {
  EXPECT_EQ(NativeErrorOf([&] { a.MergeWith(dir.Path(u"there.zip")); }), 13);
  a.OpenArchive();
  a.BeginUpdate();
  EXPECT_EQ(NativeErrorOf([&] { a.MergeWith(dir.Path(u"there.zip")); }), 26);
  a.CancelUpdate();
  EXPECT_EQ(NativeErrorOf([&] { a.MergeWith(dir.Path(u"none.zip")); }), 12);
  a.OpenArchive(fmOpenRead | fmShareDenyNone);
  EXPECT_EQ(NativeErrorOf([&] { a.MergeWith(dir.Path(u"there.zip")); }), 32);
}

TEST_F(MergeTest, AFailureOrACancelLeavesTheArchiveAsItWas) {
  const std::string here = ReadAll(dir.NativePath("here.zip"));
  bool completed = false;
  for (GFailAt = 1; !completed && GFailAt < 200; ++GFailAt) {
    SCOPED_TRACE(GFailAt);
    WriteAll(dir.NativePath("here.zip"), here);
    a.OpenArchive();
    GCall = 0;
    SetFileLayerProbe(FailAtCall);
    bool raised = false;
    try {
      a.MergeWith(dir.Path(u"there.zip"));
    } catch (const std::exception&) {
      raised = true;
    }
    completed = GCall < GFailAt;
    SetFileLayerProbe(nullptr);
    a.CloseArchive();
    EXPECT_EQ(FileNamesIn(dir.Root()), (std::vector<std::string>{"here.zip", "there.zip"}));
    if (raised) {
      EXPECT_TRUE(ReadAll(dir.NativePath("here.zip")) == here);
    }
    EXPECT_EQ(Contents(dir.Path(u"here.zip")).size(), raised ? 3u : 4u);
  }
  EXPECT_TRUE(completed);
  EXPECT_EQ(Contents(dir.Path(u"here.zip")).size(), 4u);

  WriteAll(dir.NativePath("here.zip"), here);
  a.OpenArchive();
  a.SetOnFileProgress([](TKelBaseArchiver*, const UString&, double, TKelProcessOperation,
                         TKelProgressPhase phase, bool& cancel) { cancel = phase == ppProcess; });
  a.MergeWith(dir.Path(u"there.zip"));
  EXPECT_EQ(ContentsOf(a).size(), 3u);
  a.CloseArchive();
  EXPECT_TRUE(ReadAll(dir.NativePath("here.zip")) == here);
}

}  // namespace
}  // namespace kelvane
