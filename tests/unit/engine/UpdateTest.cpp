// Update transactions on archive files: what a commit writes, what it leaves
// alone, and that a cancel, an abort or a failure leaves the archive as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "DiskName.h"
#include "NativeError.h"
#include "TempDir.h"
#include "UpdateTestSupport.h"
#include "engine/KelCommitJournal.h"
#include "engine/Kelvane.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

using namespace test;

// A source that claims more bytes than it gives: the item it feeds fails.
class TShortStream : public TStream {
 public:
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin) override { return offset; }
  int64_t Size() override { return 1000; }
};

class UpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    a.SetFileName(FPath);
    a.SetCompressionMode(6);
  }

  // Opens (creating when missing) and adds Items in one update.
  void Add(const std::vector<std::pair<UString, std::string>>& items) {
    if (!a.Active()) a.OpenArchive();
    a.BeginUpdate();
    for (const auto& [name, data] : items)
      a.AddFromBuffer(name, data.data(), static_cast<int32_t>(data.size()), faArchive, 0);
    a.EndUpdate();
  }

  // What a fresh reader finds in the file (the archiver lets it go first).
  std::map<UString, std::string> OnDisk() {
    a.CloseArchive();
    TKelvane reader(nullptr);
    reader.SetFileName(FPath);
    reader.SetOpenCorruptedArchives(false);
    reader.OpenArchive(fmOpenRead | fmShareDenyNone);
    return ContentsOf(reader);
  }

  bool OnlyTheArchiveIsLeft() {
    return std::distance(std::filesystem::directory_iterator(FDir.Root()),
                         std::filesystem::directory_iterator{}) == 1;
  }

  TempDir FDir;
  UString FPath = FDir.Path(u"data.zip");
  std::string FNative = FDir.NativePath("data.zip");
  TKelvane a{nullptr};
};

TEST_F(UpdateTest, ItemsAddedFromMemoryReadBackAtEveryModeAndEncryption) {
  const std::string big = Noise(700000, 1) + std::string(900000, 'z');
  struct Case {
    uint8_t Mode;
    AnsiString Password;
    TKelCryptoAlgorithm Crypto;
  };
  const Case cases[] = {{0, "", caPkzipClassic}, {1, "", caPkzipClassic},   {6, "", caPkzipClassic},
                        {9, "", caPkzipClassic}, {6, "pw", caPkzipClassic}, {1, "pw", caAES_128},
                        {6, "pw", caAES_192},    {9, "pw", caAES_256}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << int(c.Mode) << " crypto " << int(c.Crypto)
                                    << " password " << c.Password);
    std::filesystem::remove(FNative);
    a.SetCompressionMode(c.Mode);
    a.SetPassword(c.Password);
    a.SetEncryptionMethod(c.Crypto);
    Add({{u"empty.txt", ""}, {u"one.txt", "1"}, {u"dir/big.bin", big}, {u"caf\u00e9.txt", "x"}});
    a.CloseArchive();
    TKelvane reader(nullptr);
    reader.SetFileName(FPath);
    reader.SetPassword(c.Password);
    reader.OpenArchive(fmOpenRead | fmShareDenyNone);
    const auto got = ContentsOf(reader);
    EXPECT_EQ(got.size(), 4u);
    EXPECT_EQ(got.at(u"empty.txt"), "");
    EXPECT_EQ(got.at(u"one.txt"), "1");
    EXPECT_EQ(got.at(test::OnDisk(u"dir/big.bin")), big);
    EXPECT_EQ(got.at(u"caf\u00e9.txt"), "x");
  }
}

TEST_F(UpdateTest, NestedUpdatesCommitOnceAtTheOutermostEnd) {
  Add({{u"a.txt", "aaa"}});
  const std::string before = ReadAll(FNative);
  a.BeginUpdate();
  a.AddFromString(u"b.txt", u"bbb", faArchive, 0);
  a.BeginUpdate();
  a.AddFromString(u"c.txt", u"ccc", faArchive, 0);
  a.EndUpdate();
  EXPECT_TRUE(ReadAll(FNative) == before);  // nothing written yet
  a.EndUpdate();
  EXPECT_FALSE(a.InUpdate());
  EXPECT_EQ(OnDisk(), (std::map<UString, std::string>{
                          {u"a.txt", "aaa"}, {u"b.txt", "bbb"}, {u"c.txt", "ccc"}}));
  a.EndUpdate();  // without an update: nothing
  EXPECT_TRUE(OnlyTheArchiveIsLeft());
}

TEST_F(UpdateTest, AppendingWritesOnlyTheNewItemAndTheDirectory) {
  Add({{u"a.bin", Noise(50000, 2)}, {u"b.bin", Noise(50000, 3)}});
  a.CloseArchive();
  const std::string before = ReadAll(FNative);
  a.OpenArchive();
  const int64_t dirStart = before.size() - 22 - 2 * (46 + 5);
  Add({{u"c.bin", "ccc"}});
  const std::string after = ReadAll(FNative);
  EXPECT_TRUE(after.substr(0, dirStart) == before.substr(0, dirStart));
  EXPECT_EQ(OnDisk().size(), 3u);
}

TEST_F(UpdateTest, ReplacingTheFirstItemRewritesTheTailAndKeepsEveryOtherItem) {
  const std::string b = Noise(300000, 4);
  Add({{u"a.txt", "old a"}, {u"b.bin", b}, {u"c.txt", "ccc"}});
  a.Options().SetOverwriteMode(omAlways);
  Add({{u"a.txt", std::string(100000, 'n')}});
  EXPECT_EQ(OnDisk(), (std::map<UString, std::string>{
                          {u"a.txt", std::string(100000, 'n')}, {u"b.bin", b}, {u"c.txt", "ccc"}}));
  // With omNever the name is kept and nothing changes.
  const std::string before = ReadAll(FNative);
  a.OpenArchive();
  a.Options().SetOverwriteMode(omNever);
  a.AddFromString(u"a.txt", u"never", faArchive, 0);
  EXPECT_TRUE(ReadAll(FNative) == before);
  EXPECT_TRUE(OnlyTheArchiveIsLeft());
}

TEST_F(UpdateTest, ACancelledOrAbortedCommitLeavesTheArchiveByteForByte) {
  Add({{u"a.bin", Noise(200000, 5)}, {u"b.bin", Noise(200000, 6)}});
  a.Options().SetOverwriteMode(omAlways);
  a.CloseArchive();  // an open archive may deny readers (Windows share modes)
  const std::string before = ReadAll(FNative);
  a.OpenArchive();
  // Cancelled at the start, in the middle of an item, and an item's failure
  // answered with Abort.
  for (int way = 0; way < 3; ++way) {
    SCOPED_TRACE(way);
    a.SetOnOverallProgress([&](TKelBaseArchiver*, double, TKelProcessOperation,
                               TKelProgressPhase phase, bool& cancel) {
      if (way == 0 && phase == ppStart) cancel = true;
    });
    a.SetOnFileProgress([&](TKelBaseArchiver*, const UString&, double, TKelProcessOperation,
                            TKelProgressPhase phase, bool& cancel) {
      if (way == 1 && phase == ppProcess) cancel = true;
    });
    a.SetOnProcessFileFailure([&](TKelBaseArchiver*, const UString&, TKelProcessOperation, int32_t,
                                  int32_t, const UString&,
                                  TKelAction& action) { action = fxaAbort; });
    a.BeginUpdate();
    a.AddFromString(u"a.bin", UString(3000000, u'x'), faArchive, 0);
    TShortStream shortSource;
    if (way == 2) a.AddFromStream(u"c.bin", shortSource, false, 0, 0, faArchive, 0);
    a.EndUpdate();
    EXPECT_TRUE(ReadAll(FNative) == before);
    EXPECT_TRUE(OnlyTheArchiveIsLeft());
    // The directory in memory is again the archive's.
    EXPECT_EQ(a.FileCount(), 2);
    EXPECT_EQ(OnDisk().size(), 2u);
    a.OpenArchive();
  }
}

TEST_F(UpdateTest, AFailingNewItemAnsweredWithIgnoreIsDroppedAndTheOthersCommit) {
  Add({{u"a.txt", "aaa"}});
  a.SetOnProcessFileFailure([](TKelBaseArchiver*, const UString&, TKelProcessOperation, int32_t,
                               int32_t, const UString&,
                               TKelAction& action) { action = fxaIgnore; });
  TMemoryStream src;
  src.WriteBuffer("hello", 5);
  TShortStream shortSource;
  a.BeginUpdate();
  a.AddFromStream(u"bad.txt", shortSource, false, 0, 0, faArchive, 0);
  a.AddFromStream(u"good.txt", src, true, 0, 5, faArchive, 0);
  a.EndUpdate();
  EXPECT_EQ(OnDisk(), (std::map<UString, std::string>{{u"a.txt", "aaa"}, {u"good.txt", "hello"}}));
}

TEST_F(UpdateTest, StreamSourcesStoreTheWholeStreamOrTheCopiedRange) {
  TMemoryStream src;
  const std::string data = Noise(1000, 7);
  src.WriteBuffer(data.data(), 1000);
  src.SetPosition(17);
  a.OpenArchive();
  a.AddFromStream(u"whole.bin", src, false, 100, 10, faArchive, 0);
  a.AddFromStream(u"range.bin", src, true, 100, 10, faArchive, 0);
  EXPECT_EQ(src.Position(), 17);  // the caller's position is kept
  a.AddFromString(u"empty.txt", u"", faArchive, 0);
  EXPECT_EQ(OnDisk(),
            (std::map<UString, std::string>{
                {u"whole.bin", data}, {u"range.bin", data.substr(100, 10)}, {u"empty.txt", ""}}));
}

TEST_F(UpdateTest, ZipAlwaysEscapesEverySizeAndReadsBack) {
  a.SetZip64Mode(zmAlways);
  Add({{u"tiny.txt", "tiny"}, {u"empty", ""}});
  a.CloseArchive();
  const std::string bytes = ReadAll(FNative);
  // Local header: version 45, both sizes escaped.
  EXPECT_EQ(static_cast<uint8_t>(bytes[4]), 45);
  EXPECT_EQ(bytes.substr(18, 8), std::string(8, '\xFF'));
  EXPECT_EQ(OnDisk(), (std::map<UString, std::string>{{u"tiny.txt", "tiny"}, {u"empty", ""}}));
}

TEST_F(UpdateTest, BeginUpdateRefusesAReadOnlyArchive) {
  Add({{u"a.txt", "aaa"}});
  a.CloseArchive();
  a.OpenArchive(fmOpenRead | fmShareDenyNone);
  EXPECT_EQ(NativeErrorOf([&] { a.BeginUpdate(); }), 32);
  EXPECT_FALSE(a.InUpdate());
}

TEST_F(UpdateTest, AJournalLeftBehindIsRolledBackByTheNextWritableOpening) {
  Add({{u"a.txt", "aaa"}, {u"b.txt", "bbb"}});
  a.CloseArchive();
  const std::string before = ReadAll(FNative);
  // What a commit cut off at the first item leaves when it dies after the cut.
  {
    std::ofstream(FDir.NativePath("data.zip-tail"), std::ios::binary) << before;
    TKelCommitJournal j;
    j.ArchiveSize = static_cast<int64_t>(before.size());
    j.CutPos = 0;
    j.TailFileName = FPath + u"-tail";
    TMemoryStream m;
    m.WriteBuffer(before.data(), static_cast<int64_t>(before.size()));
    m.SetPosition(0);
    j.TailCrc = StreamCrc32(m, j.ArchiveSize);
    WriteCommitJournal(FPath, j);
    std::ofstream(FNative, std::ios::binary | std::ios::trunc) << "PK\x03\x04half";
  }
  TKelvane reader(nullptr);
  reader.SetFileName(FPath);
  EXPECT_THROW(reader.OpenArchive(fmOpenRead | fmShareDenyNone), EKelInterruptedCommit);
  EXPECT_EQ(ReadAll(FNative), "PK\x03\x04half");
  reader.OpenArchive();
  EXPECT_TRUE(reader.RolledBackInterruptedCommit());
  EXPECT_TRUE(ReadAll(FNative) == before);
  EXPECT_EQ(reader.FileCount(), 2);
  EXPECT_TRUE(OnlyTheArchiveIsLeft());
}

TEST_F(UpdateTest, AJournalWhoseSavedDataIsGoneIsReportedAndNothingChanges) {
  Add({{u"a.txt", "aaa"}});
  a.CloseArchive();
  TKelCommitJournal j;
  j.ArchiveSize = 1000;
  j.CutPos = 10;
  j.TailFileName = FPath + u"-tail";
  WriteCommitJournal(FPath, j);
  const std::string before = ReadAll(FNative);
  EXPECT_THROW(a.OpenArchive(), EKelInterruptedCommit);
  EXPECT_TRUE(ReadAll(FNative) == before);
  // A journal cut short was never acted on: it goes, the archive stays.
  std::filesystem::resize_file(FDir.NativePath("data.zip-journal"), 20);
  a.OpenArchive();
  EXPECT_FALSE(a.RolledBackInterruptedCommit());
  EXPECT_EQ(a.FileCount(), 1);
  EXPECT_TRUE(OnlyTheArchiveIsLeft());
}

}  // namespace
}  // namespace kelvane
