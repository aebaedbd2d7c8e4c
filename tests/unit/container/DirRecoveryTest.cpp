// Rebuilding the directory from the local headers.
#include <fstream>
#include <functional>

#include "DirManagerTestSupport.h"
#include "TempDir.h"

namespace kelvane::test {
namespace {

// Counts the bytes read, to show how much of the stream a scan goes over.
class TCountingStream : public TMemoryStream {
 public:
  explicit TCountingStream(const TBytes& bytes) { FData = bytes; }
  int64_t Read(void* buffer, int64_t count) override {
    const int64_t n = TMemoryStream::Read(buffer, count);
    BytesRead += n;
    return n;
  }
  int64_t BytesRead = 0;
};

// An archive whose directory is gone: local headers and data only.
TBytes WithoutDirectory(const TTestArchive& a) {
  return TBytes(a.Bytes.begin(), a.Bytes.begin() + a.DirStart);
}

class DirRecovery : public TLoadedDir {
 protected:
  const TDirItem& Item(int32_t i) const { return FDm->CDir.GetItemPtr(i); }
};

TEST_F(DirRecovery, FillsEachItemFromItsLocalHeader) {
  std::vector<TTestItem> items = {Entry("dir/", "", KelAttrDirectory), Entry("empty.txt"),
                                  Entry("data.txt", "some data"), Entry("secret.bin", "xyz")};
  items[2].Method = KelMethodDeflate;
  items[2].Time = 0x1234;
  items[2].Date = 0x5678;
  items[2].Version = 0x0B14;
  items[2].LocalExtra = ExtraBlock(0xCAFE, "abc");
  items[3].Flag = KelFlagEncrypted;
  const TTestArchive a = BuildArchive(items);
  const TBytes bytes = WithoutDirectory(a);
  const TKelDirManager& dm = Load(bytes);

  ASSERT_EQ(NamesOf(dm), (std::vector<std::string>{"dir/", "empty.txt", "data.txt", "secret.bin"}));
  const TKelZipCentralDir& cd = Item(2).CentralDir;
  EXPECT_EQ(cd.signature, KelCentralFileHeaderSig);
  EXPECT_EQ(cd.versionMadeBy, 0x0B14);
  EXPECT_EQ(cd.extractVersion, 0x0B14);
  EXPECT_EQ(cd.compMethod, KelMethodDeflate);
  EXPECT_EQ(cd.lastModTime, 0x1234);
  EXPECT_EQ(cd.lastModDate, 0x5678);
  EXPECT_EQ(cd.crc32, Crc32Of("some data", 9));
  EXPECT_EQ(cd.compSize, 9u);
  EXPECT_EQ(cd.unCompSize, 9u);
  EXPECT_EQ(cd.nameLength, 8);
  EXPECT_EQ(cd.extraLength, 7);
  EXPECT_EQ(cd.commentLength, 0);
  EXPECT_EQ(Item(2).CompressionMethod, KelMethodDeflate);
  ASSERT_EQ(Item(2).ExtraFields.size(), 1u);
  EXPECT_EQ(Item(2).ExtraFields[0].headerID, 0xCAFE);
  // No data and no descriptor: taken for a folder, whatever its name says.
  EXPECT_EQ(Item(0).CentralDir.externalAttr, KelAttrDirectory);
  EXPECT_EQ(Item(1).CentralDir.externalAttr, KelAttrDirectory);
  EXPECT_EQ(Item(2).CentralDir.externalAttr, KelAttrArchive);
  EXPECT_TRUE(Item(3).CentralDir.genPurposeFlag & KelFlagEncrypted);
  EXPECT_EQ(Item(3).KelEncryptionAlgorithm, caPkzipClassic);
  for (int32_t i = 0; i < 4; ++i)
    EXPECT_EQ(Item(i).CentralDir.relOffsetLH, static_cast<uint32_t>(a.Local[i])) << i;
  EXPECT_EQ(dm.CentralDirOffset, static_cast<int64_t>(bytes.size()));
  EXPECT_EQ(dm.StubSize, 0);  // positions are absolute; no stub is measured
}

TEST_F(DirRecovery, LocalExtraFieldsRenameAndReclassifyItems) {
  std::vector<TTestItem> items = NumberedItems(2);
  TBytes unicode;
  AppendU(unicode, 0x5843554E, 4);
  AppendU(unicode, 2, 4);
  AppendU(unicode, u'\u00e9', 2);
  AppendU(unicode, u'!', 2);
  items[0].LocalExtra =
      ExtraBlock(KelUnicodeNameExtraId, std::string(unicode.begin(), unicode.end()));
  items[1].Flag = KelFlagEncrypted;
  items[1].Method = KelMethodAes;
  items[1].LocalExtra = ExtraBlock(KelAesExtraId, std::string("\x02\x00"
                                                              "AE"
                                                              "\x01\x08\x00",
                                                              7));
  Load(WithoutDirectory(BuildArchive(items)));
  EXPECT_EQ(Item(0).Name, u"\u00e9!");
  EXPECT_EQ(Item(1).KelEncryptionAlgorithm, caAES_128);
  EXPECT_EQ(Item(1).CompressionMethod, KelMethodDeflate);
}

TEST_F(DirRecovery, ADataDescriptorGivesCrcAndSizesWhenItIsWhole) {
  std::vector<TTestItem> items = {Entry("streamed.txt", "streamed data"), Entry("next.txt", "n")};
  items[0].Flag = KelFlagDataDescriptor;
  items[0].Descriptor = true;
  const TBytes bytes = WithoutDirectory(BuildArchive(items));
  Load(bytes);
  EXPECT_EQ(Item(0).CentralDir.crc32, Crc32Of("streamed data", 13));
  EXPECT_EQ(Item(0).CentralDir.compSize, 13u);
  EXPECT_EQ(Item(0).CentralDir.unCompSize, 13u);
  EXPECT_EQ(Item(0).CentralDir.externalAttr, KelAttrArchive);  // flag bit 3: not a folder

  // A descriptor signature without its 16 bytes leaves the header's values.
  items[0].Descriptor = false;
  TBytes streamed = WithoutDirectory(BuildArchive({items[0]}));
  PutU32(streamed, 14, 0);  // CRC and sizes zero, as a streaming writer leaves them
  PutU32(streamed, 18, 0);
  PutU32(streamed, 22, 0);
  AppendU(streamed, KelDataDescriptorSig, 4);
  AppendU(streamed, 0x11223344, 4);
  Load(streamed);
  EXPECT_EQ(Item(0).CentralDir.crc32, 0u);
  EXPECT_EQ(Item(0).CentralDir.compSize, 0u);
}

TEST_F(DirRecovery, AnArchiveStoredInsideGivesItsItemsToo) {
  const TTestArchive inner = BuildArchive(NumberedItems(2, "inner"));
  const std::string innerBytes(inner.Bytes.begin(), inner.Bytes.end());
  TTestArchive outer = BuildArchive({Entry("inner.zip", innerBytes), Entry("after.txt", "a")});
  PutU32(outer.Bytes, outer.Central[0], 0);  // the outer directory cannot be read
  EXPECT_EQ(NamesOf(Load(outer.Bytes)),
            (std::vector<std::string>{"inner.zip", "inner0.txt", "inner1.txt", "after.txt"}));
}

// Each rebuild says why: which part could not be used, and what was found.
TEST_F(DirRecovery, TheRebuildSaysWhy) {
  const TTestArchive base = BuildArchive(NumberedItems(2));
  struct TCase {
    const char* What;
    std::function<void(TBytes&)> Damage;
    TKelRecoveryCause Cause;
    std::string Detail;
  } cases[] = {
      {"undamaged", [](TBytes&) {}, rcNone, ""},
      {"no end record", [&](TBytes& b) { b.resize(static_cast<size_t>(base.EndPos)); },
       rcNoEndRecord, "no end record signature in the last " + std::to_string(base.EndPos)},
      {"an end record that does not fit",
       [&](TBytes& b) { PutU16(b, base.EndPos + eocdf::CommentLength, 5); }, rcNoEndRecord,
       "an end record signature is there, but its record does not fit the file"},
      {"65,535 items without Zip64 records",
       [&](TBytes& b) {
         PutU16(b, base.EndPos + eocdf::EntriesOnDisk, 0xFFFF);
         PutU16(b, base.EndPos + eocdf::Entries, 0xFFFF);
       },
       rcNoZip64Records, ""},
      {"a central header without signature", [&](TBytes& b) { PutU32(b, base.Central[1], 0); },
       rcUnreadableDirectory, "central header 2 of 2 has no signature"},
      {"a directory larger than what precedes the end record",
       [&](TBytes& b) {
         PutU32(b, base.EndPos + eocdf::DirSize, static_cast<uint32_t>(base.EndPos + 1));
         PutU32(b, base.EndPos + eocdf::DirOffset, 0xFFFFFFFF);
       },
       rcUnreadableDirectory, "is larger than what stands before the end record"},
      {"more items than the directory holds",
       [&](TBytes& b) {
         PutU16(b, base.EndPos + eocdf::EntriesOnDisk, 3);
         PutU16(b, base.EndPos + eocdf::Entries, 3);
       },
       rcUnreadableDirectory, "ends before all the items its end record announces"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    TBytes bytes = base.Bytes;
    c.Damage(bytes);
    const TKelDirManager& dm = Load(bytes);
    EXPECT_EQ(NamesOf(dm), (std::vector<std::string>{"file0.txt", "file1.txt"}));
    EXPECT_EQ(dm.Recovery.Cause, c.Cause);
    EXPECT_EQ(dm.Recovery.Rebuilt(), c.Cause != rcNone);
    EXPECT_NE(dm.Recovery.Detail.find(c.Detail), std::string::npos) << dm.Recovery.Detail;
  }
  // A later reading of the same manager starts afresh.
  TBytes damaged = base.Bytes;
  PutU32(damaged, base.Central[0], 0);
  ASSERT_TRUE(Load(damaged).Recovery.Rebuilt());
  FStream = MemoryOf(base.Bytes);
  FDm->LoadDir();
  EXPECT_FALSE(FDm->Recovery.Rebuilt());
  EXPECT_EQ(FDm->Recovery.Detail, "");
}

TEST_F(DirRecovery, HeadersThatCannotBeRealAreSkippedAndTheScanGoesOn) {
  TBytes bytes = WithoutDirectory(BuildArchive(NumberedItems(4)));
  const TTestArchive layout = BuildArchive(NumberedItems(4));
  PutU16(bytes, layout.Local[1] + 28, 261);           // extra length above 260
  PutU32(bytes, layout.Local[2] + 18, bytes.size());  // data as large as the stream
  EXPECT_EQ(NamesOf(Load(bytes)), (std::vector<std::string>{"file0.txt", "file3.txt"}));
}

TEST_F(DirRecovery, NamelessHeadersAreNotTaken) {
  std::vector<TTestItem> items = {Entry("", "x"), Entry("named.txt", "y"), Entry("", "z"),
                                  Entry(std::string("\0hidden", 7), "w"), Entry("last.txt")};
  EXPECT_EQ(NamesOf(Load(WithoutDirectory(BuildArchive(items)))),
            (std::vector<std::string>{"named.txt", "last.txt"}));
  EXPECT_EQ(FDm->CDir.ItemNamesList().Count(), 2);
}

TEST_F(DirRecovery, NamesStopAtAZeroByteAndTakeTheOemStepOnlyBehindAnEndRecord) {
  std::vector<TTestItem> items = {Entry(std::string("caf\x82.txt\0junk", 13), "x")};
  const TTestArchive a = BuildArchive(items);
  FHost.Oem = true;
  EXPECT_EQ(Load(WithoutDirectory(a)).CDir.GetItemPtr(0).Name, u"caf\u201a.txt");
  // A directory that cannot be read behind a valid end record: the names
  // were written by an engine that stores them in the OEM page.
  TBytes damaged = a.Bytes;
  PutU32(damaged, a.Central[0], 0);
  EXPECT_EQ(Load(damaged).CDir.GetItemPtr(0).Name, u"caf\u00e9.txt");
  FHost.Oem = false;
  EXPECT_EQ(Load(damaged).CDir.GetItemPtr(0).Name, u"caf\u201a.txt");
}

// The local Unicode path field is checked against the local name bytes, all
// of them: it also names an item whose stored name begins with a zero byte.
TEST_F(DirRecovery, AMatchingLocalUnicodePathFieldNamesTheItem) {
  const auto path = UnicodePathBlock;
  const std::string hidden("\0\x01\x02", 3);
  std::vector<TTestItem> items = {Entry("caf\x82.txt", "a"), Entry("caf\x82.txt", "b"),
                                  Entry(hidden, "c"), Entry(hidden, "d")};
  items[0].LocalExtra = path("caf\x82.txt", "caf\xC3\xA9.txt");
  items[1].LocalExtra = path("cafe.txt", "caf\xC3\xA9.txt");  // stale
  items[2].LocalExtra = path(hidden, "\xCE\xB1.txt");
  items[3].LocalExtra = path("", "\xCE\xB2.txt");  // made for the bytes up to the zero
  Load(WithoutDirectory(BuildArchive(items)));
  ASSERT_EQ(FDm->CDir.Count(), 3);
  EXPECT_EQ(Item(0).Name, u"caf\u00e9.txt");
  EXPECT_EQ(Item(1).Name, u"caf\u201a.txt");
  EXPECT_EQ(Item(2).Name, u"\u03b1.txt");
}

TEST_F(DirRecovery, AZip64LocalHeaderIsTakenWithTheSizesOfItsZip64Field) {
  TTestItem big = Entry("zip64.txt", "zip64 data");
  big.LocalExtra = ExtraBlock(KelZip64ExtraId, Le64(10) + Le64(10));
  TBytes bytes = WithoutDirectory(BuildArchive({big, Entry("plain.txt", "p")}));
  PutU32(bytes, 18, KelZip64Escape32);
  PutU32(bytes, 22, KelZip64Escape32);
  Load(bytes);
  ASSERT_EQ(FDm->CDir.Count(), 2);
  EXPECT_EQ(Item(0).CentralDir.compSize, KelZip64Escape32);
  EXPECT_EQ(Item(0).CompressedSize(), 10u);
  EXPECT_EQ(Item(0).UncompressedSize(), 10u);
  EXPECT_TRUE(Item(0).bHugeFile);
  EXPECT_EQ(Item(0).LocalHeaderOffset(), 0u);

  // The same escapes without a Zip64 field name sizes the stream cannot hold.
  PutU16(bytes, 28, 0);
  EXPECT_EQ(NamesOf(Load(bytes)), std::vector<std::string>{"plain.txt"});
}

TEST_F(DirRecovery, AHeaderCutByTheEndOfTheStreamKeepsWhatIsThere) {
  TTestItem it = Entry("cut.txt", "");
  it.LocalExtra = ExtraBlock(0xCAFE, std::string(40, 'e'));
  TBytes bytes = WithoutDirectory(BuildArchive({Entry("first.txt", "1"), it}));
  bytes.resize(bytes.size() - 30);
  Load(bytes);
  ASSERT_EQ(NamesOf(*FDm), (std::vector<std::string>{"first.txt", "cut.txt"}));
  ASSERT_EQ(Item(1).ExtraFields.size(), 1u);
  EXPECT_EQ(Item(1).ExtraFields[0].dataSize(), 10);
}

TEST_F(DirRecovery, NothingToRebuildFromIsAnError) {
  for (const auto& [mode, message] :
       {std::pair{smNone, "Invalid archive file. - Native error: 00035"},
        {smSplitting,
         "Cannot open archive file. Opening aborted or invalid file - Native error: 00044"}}) {
    FHost.Mode = mode;
    try {
      Load(TBytes(100, 0));
      ADD_FAILURE() << "no error";
    } catch (const EKelException& e) {
      EXPECT_STREQ(e.what(), message);
    }
  }
}

// Items that announce a descriptor they lack must not make each search run to
// the end of the stream again.
TEST_F(DirRecovery, MissingDescriptorsKeepTheScanLinear) {
  std::vector<TTestItem> items = NumberedItems(2000);
  for (TTestItem& it : items) {
    it.Flag = KelFlagDataDescriptor;
    it.Data.append(200, 'd');
  }
  const TBytes bytes = WithoutDirectory(BuildArchive(items));
  TCountingStream stream(bytes);
  TFakeHost host(&stream);
  const TLoadOutcome out = TryLoad(stream, host);
  ASSERT_TRUE(out.Ok) << out.Message;
  EXPECT_EQ(out.Names.size(), 2000u);
  EXPECT_LT(stream.BytesRead, 8 * static_cast<int64_t>(bytes.size()));
}

// A large file's second half is searched on another thread; the rebuild
// finds the same headers as one that reads the bytes in order (those of a
// stream in memory), wherever they lie against the halves and the reads.
TEST(DirRecoveryAhead, AFileSearchedOnTwoThreadsGivesTheItemsOfOneSearch) {
  constexpr int64_t size = TKelDirManager::RecoveryScanAheadFrom + 2'000'123;
  constexpr int64_t half = size / 2;
  constexpr int64_t chunk = TKelDirManager::RecoveryScanChunk;
  TempDir dir;
  for (int64_t shift : {-3, -2, -1, 0, 1}) {
    SCOPED_TRACE(shift);
    // A header of an empty stored item named after its position.
    TBytes bytes(size_t(size), 0);
    std::vector<std::string> placed;
    const auto put = [&](int64_t at) {
      const std::string name = "at" + std::to_string(at);
      const auto p = size_t(at);
      PutU32(bytes, p, KelLocalFileHeaderSig);
      PutU16(bytes, p + 4, 20);
      PutU16(bytes, p + 26, name.size());
      std::copy(name.begin(), name.end(), bytes.begin() + p + 30);
      placed.push_back(name);
    };
    // At the start of a read of either thread, across its end, at the half.
    for (int64_t at : {int64_t{0}, chunk - 3 + shift, half - 60, half + shift,
                       half + chunk - 3 + shift, half + 2 * (chunk - 3) + shift})
      put(at);
    // Signatures without a header behind them, and one at the very end.
    PutU32(bytes, size_t(half + 100), KelLocalFileHeaderSig);
    PutU32(bytes, size_t(size - 4), KelLocalFileHeaderSig);

    {
      std::ofstream(dir.NativePath("cut.zip"), std::ios::binary)
          .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    TFileStream file(dir.Path(u"cut.zip"), fmOpenRead | fmShareDenyNone);
    TFakeHost host(&file);
    const TLoadOutcome fromFile = TryLoad(file, host);
    const TLoadOutcome inMemory = TryLoad(bytes, true);
    ASSERT_TRUE(fromFile.Ok) << fromFile.Message;
    EXPECT_EQ(fromFile.Names, placed);
    EXPECT_EQ(inMemory.Names, placed);
  }
}

// Positions of 4 GiB and more are kept whole, in the Zip64 form.
TEST(DirRecoveryHigh, LocalHeadersBeyond4GiBKeepTheirPositions) {
  constexpr int64_t base = (int64_t{1} << 32) + 1000;
  THighStream stream(base);
  const TBytes archive = WithoutDirectory(BuildArchive(NumberedItems(2)));
  stream.SetPosition(base);
  stream.WriteBuffer(archive.data(), static_cast<int64_t>(archive.size()));
  TFakeHost host(&stream);
  TKelDirManager dm(&stream, false, &host);
  dm.LoadDir();
  ASSERT_EQ(dm.CDir.Count(), 2);
  const TTestArchive layout = BuildArchive(NumberedItems(2));
  for (int32_t i = 0; i < 2; ++i) {
    const TDirItem& item = dm.CDir.GetItemPtr(i);
    EXPECT_EQ(item.CentralDir.relOffsetLH, KelZip64Escape32);
    EXPECT_EQ(item.LocalHeaderOffset(), static_cast<uint64_t>(base + layout.Local[i]));
    EXPECT_TRUE(item.bHugeFile);
  }
}

}  // namespace
}  // namespace kelvane::test
