// Reading a directory: end records, Zip64 records, stubs, the searches, and the
// operations on a loaded directory.
#include <fstream>
#include <functional>

#include "DirManagerTestSupport.h"
#include "TempDir.h"

namespace kelvane::test {
namespace {

const TDirItem& Item(const TKelDirManager& dm, int32_t i) {
  return dm.CDir.GetItemPtr(i);
}

class DirReader : public TLoadedDir {};

TEST_F(DirReader, ReadsItemsWithTheirExtraFieldsCommentsAndTheArchiveComment) {
  std::vector<TTestItem> items = NumberedItems(3);
  items[1].CentralExtra = ExtraBlock(0xCAFE, "keep") + ExtraBlock(0x7075, "");
  items[1].Comment = "item comment";
  items[2].Flag = KelFlagEncrypted;
  const TTestArchive a = BuildArchive(items, Opt().WithComment("archive comment"));
  const TKelDirManager& dm = Load(a.Bytes);

  EXPECT_EQ(NamesOf(dm), (std::vector<std::string>{"file0.txt", "file1.txt", "file2.txt"}));
  for (int32_t i = 0; i < 3; ++i) {
    const TDirItem& item = Item(dm, i);
    EXPECT_EQ(item.CentralDir.relOffsetLH, a.Local[i]);
    EXPECT_EQ(item.CentralDir.compSize, items[i].Data.size());
    EXPECT_EQ(item.CentralDir.crc32, Crc32Of(items[i].Data.data(), items[i].Data.size()));
    EXPECT_EQ(item.CentralDir.lastModDate, 0x58B1);
  }
  ASSERT_EQ(Item(dm, 1).ExtraFields.size(), 2u);
  EXPECT_EQ(Item(dm, 1).ExtraFields[0].headerID, 0xCAFE);
  EXPECT_EQ(Item(dm, 1).ExtraFields[0].pData, (TBytes{'k', 'e', 'e', 'p'}));
  EXPECT_EQ(Item(dm, 1).ExtraFields[1].headerID, 0x7075);
  EXPECT_EQ(Item(dm, 1).Comment(), "item comment");
  EXPECT_EQ(dm.ArchiveComment, "archive comment");
  EXPECT_EQ(dm.CentralDirOffset, a.DirStart);
  EXPECT_EQ(dm.StubSize, 0);
  EXPECT_FALSE(dm.Zip64());
  EXPECT_FALSE(dm.IsSFXArchive());
  EXPECT_FALSE(dm.IsEncrypted());  // only item 0 is looked at
  int32_t index = -1;
  EXPECT_TRUE(dm.CDir.FileExists(u"FILE2.TXT", index));
  EXPECT_EQ(index, 2);
}

TEST_F(DirReader, FieldsInsideExtraFieldsRenameAndReclassifyItems) {
  std::vector<TTestItem> items = NumberedItems(2);
  TBytes unicode;
  AppendU(unicode, 0x5843554E, 4);  // "NUCX"
  AppendU(unicode, 3, 4);
  for (char16_t c : std::u16string(u"\u03b1\u03b2\u03b3"))
    AppendU(unicode, c, 2);
  items[0].CentralExtra =
      ExtraBlock(KelUnicodeNameExtraId, std::string(unicode.begin(), unicode.end()));
  items[1].Flag = KelFlagEncrypted;
  items[1].Method = KelMethodAes;
  items[1].CentralExtra = ExtraBlock(KelAesExtraId, std::string("\x02\x00"
                                                                "AE"
                                                                "\x03\x08\x00",
                                                                7));
  const TKelDirManager& dm = Load(BuildArchive(items).Bytes);

  EXPECT_EQ(Item(dm, 0).Name, u"\u03b1\u03b2\u03b3");
  int32_t index = -1;
  EXPECT_TRUE(dm.CDir.FileExists(u"\u03b1\u03b2\u03b3", index));
  EXPECT_FALSE(dm.CDir.FileExists(u"file0.txt", index));
  EXPECT_EQ(Item(dm, 1).KelEncryptionAlgorithm, caAES_256);
  EXPECT_EQ(Item(dm, 1).CompressionMethod, KelMethodDeflate);
  EXPECT_EQ(Item(dm, 1).CentralDir.compMethod, KelMethodAes);
}

TEST_F(DirReader, NameBytesFollowTheOemOption) {
  std::vector<TTestItem> items(1);
  items[0].Name = "caf\x82.txt";  // e acute in the OEM page, a low quote in ANSI
  items[0].Data = "x";
  const TBytes bytes = BuildArchive(items).Bytes;
  FHost.Oem = true;
  EXPECT_EQ(Item(Load(bytes), 0).Name, u"caf\u00e9.txt");
  FHost.Oem = false;
  EXPECT_EQ(Item(Load(bytes), 0).Name, u"caf\u201a.txt");
}

// A Unicode path field (0x7075) that matches the stored bytes names the item,
// whatever the OEM option and flag bit 11 say; a stale one changes nothing.
// Info-ZIP on Unix stores UTF-8 names without bit 11: read as UTF-8 with OEM
// names too, and the fields that name an item keep their precedence.
TEST_F(DirReader, AMatchingUnicodePathFieldOrAUnixHostNamesTheItem) {
  const auto path = UnicodePathBlock;
  const std::string cafe = "sub/caf\xC3\xA9.txt";
  const std::string greek = "sub/\xCE\xB1\xCE\xB2\xCE\xB3.txt";
  TBytes unicode;
  AppendU(unicode, 0x5843554E, 4);  // "NUCX"
  AppendU(unicode, 1, 4);
  AppendU(unicode, u'\u03b1', 2);
  const std::string alpha =
      ExtraBlock(KelUnicodeNameExtraId, std::string(unicode.begin(), unicode.end()));
  constexpr uint16_t dosHost = 20, unixHost = 0x031E, osXHost = 0x1314;
  struct TCase {
    const char* what;
    std::string raw;
    uint16_t flag;
    uint16_t version;
    std::string extra;
    UString withOem;
    UString withoutOem;
  };
  const UString right = u"sub/caf\u00e9.txt";
  const TCase cases[] = {
      {"UTF-8 bytes without bit 11", cafe, 0, dosHost, path(cafe, cafe), right, right},
      {"Greek UTF-8 bytes without bit 11", greek, 0, dosHost, path(greek, greek),
       u"sub/\u03b1\u03b2\u03b3.txt", u"sub/\u03b1\u03b2\u03b3.txt"},
      {"a stale field: the bytes decide", cafe, 0, dosHost, path("sub/cafe.txt", "sub/cafe.txt"),
       u"sub/caf\u251c\u00ae.txt", right},
      {"an OEM byte", "caf\x82.txt", 0, dosHost, path("caf\x82.txt", "caf\xC3\xA9.txt"),
       u"caf\u00e9.txt", u"caf\u00e9.txt"},
      {"bit 11 set", "cafe.txt", KelFlagUtf8Name, dosHost, path("cafe.txt", "caf\xC3\xA9.txt"),
       u"caf\u00e9.txt", u"caf\u00e9.txt"},
      {"bit 11 set, a stale field", cafe, KelFlagUtf8Name, dosHost, path("other", "other"), right,
       right},
      {"Unix", cafe, 0, unixHost, "", right, right},
      {"OS X", cafe, 0, osXHost, "", right, right},
      {"MS-DOS", cafe, 0, dosHost, "", u"sub/caf\u251c\u00ae.txt", right},
      {"Unix, a matching path field", cafe, 0, unixHost, path(cafe, "sub/other.txt"),
       u"sub/other.txt", u"sub/other.txt"},
      {"Unix, a stale path field", cafe, 0, unixHost, path("x", "sub/other.txt"), right, right},
      {"Unix, a Unicode name field", cafe, 0, unixHost, alpha, u"\u03b1", u"\u03b1"},
  };
  for (const TCase& c : cases) {
    std::vector<TTestItem> items = NumberedItems(2);
    items[0].Name = c.raw;
    items[0].Flag = c.flag;
    items[0].Version = c.version;
    items[0].CentralExtra = ExtraBlock(0xCAFE, "x") + c.extra;
    const TBytes bytes = BuildArchive(items).Bytes;
    for (const bool oem : {true, false}) {
      SCOPED_TRACE(std::string(c.what) + (oem ? ", OEM names" : ", ANSI names"));
      FHost.Oem = oem;
      const TKelDirManager& dm = Load(bytes);
      const UString& want = oem ? c.withOem : c.withoutOem;
      EXPECT_EQ(Item(dm, 0).Name, want);
      int32_t index = -1;
      EXPECT_TRUE(dm.CDir.FileExists(want, index));
      EXPECT_EQ(index, 0);
      EXPECT_EQ(Item(dm, 0).ExtraFields.size(), c.extra.empty() ? 1u : 2u);
      EXPECT_EQ(Item(dm, 0).CentralDir.genPurposeFlag, c.flag);
    }
  }
}

struct TStubCase {
  const char* Label;
  size_t Stub;
  bool OffsetsCountStub;
  int64_t ExpectedStub;
  int64_t ExpectedShift;  // added to every stored offset, folders' too
};

class DirReaderStub : public DirReader, public ::testing::WithParamInterface<TStubCase> {};

TEST_P(DirReaderStub, MeasuresTheStubAndShiftsOffsetsThatDoNotCountIt) {
  const TStubCase& c = GetParam();
  std::vector<TTestItem> items = NumberedItems(3);
  items.insert(items.begin() + 1, Entry("folder/", "", KelAttrDirectory));
  std::string stub(c.Stub, 'x');
  const TTestArchive a = BuildArchive(items, Opt().WithStub(stub, c.OffsetsCountStub));
  const TKelDirManager& dm = Load(a.Bytes);

  EXPECT_EQ(dm.StubSize, c.ExpectedStub);
  const int64_t stored = c.OffsetsCountStub ? 0 : static_cast<int64_t>(c.Stub);
  for (int32_t i = 0; i < 4; ++i) {
    const int64_t expected = a.Local[i] - stored + c.ExpectedShift;
    EXPECT_EQ(Item(dm, i).LocalHeaderOffset(), static_cast<uint64_t>(expected)) << i;
  }
  EXPECT_EQ(dm.CentralDirOffset, a.DirStart);
  EXPECT_EQ(dm.IsSFXArchive(), c.Stub > 0);
}

INSTANTIATE_TEST_SUITE_P(Stubs, DirReaderStub,
                         ::testing::Values(TStubCase{"none", 0, false, 0, 0},
                                           TStubCase{"appended", 100000, false, 100000, 100000},
                                           TStubCase{"written_in_place", 100000, true, 100000, 0},
                                           // A stub of one byte holds no room for a false match.
                                           TStubCase{"tiny", 1, false, 1, 1}),
                         [](const auto& info) { return std::string(info.param.Label); });

TEST_F(DirReader, AnEmptyArchiveBehindAStubHasTheStubUpToItsEndRecord) {
  const TTestArchive a = BuildArchive({}, Opt().WithStub(std::string(5000, 's')));
  const TKelDirManager& dm = Load(a.Bytes);
  EXPECT_EQ(dm.CDir.Count(), 0);
  EXPECT_EQ(dm.StubSize, a.EndPos);
  EXPECT_EQ(dm.CentralDirOffset, a.EndPos);
}

TEST_F(DirReader, AFirstItemWithADataDescriptorLeavesTheStubUnmeasured) {
  std::vector<TTestItem> items = NumberedItems(2);
  items[0].Flag = KelFlagDataDescriptor;
  items[0].Descriptor = true;
  const TTestArchive a = BuildArchive(items, Opt().WithStub(std::string(3000, 's')));
  const TKelDirManager& dm = Load(a.Bytes);
  EXPECT_EQ(dm.StubSize, 0);
  EXPECT_EQ(Item(dm, 0).LocalHeaderOffset(), static_cast<uint64_t>(a.Local[0] - 3000));
}

TEST_F(DirReader, TakesTheCountsAndSizesOfTheZip64Records) {
  const TTestArchive a = BuildArchive(NumberedItems(5), Opt().WithZip64(true));
  const TKelDirManager& dm = Load(a.Bytes);
  EXPECT_TRUE(dm.Zip64());
  EXPECT_EQ(dm.CDir.Count(), 5);
  EXPECT_EQ(dm.Zip64CentralDirEnd.centralDirSize, static_cast<uint64_t>(a.DirEnd - a.DirStart));
  EXPECT_EQ(dm.Zip64CentralDirEndLocator.offsetStartDirEnd, static_cast<uint64_t>(a.Zip64EndPos));
  EXPECT_EQ(dm.CentralDirEnd.entriesCentralDir, 0xFFFF);
  EXPECT_EQ(dm.CentralDirOffset, a.DirStart);
}

TEST_F(DirReader, AZip64ArchiveGivenAStubAfterwardsHasNoZip64EndRecordWhereTheLocatorSays) {
  const TBytes bytes =
      BuildArchive(NumberedItems(2), Opt().WithStub(std::string(700, 's')).WithZip64()).Bytes;
  for (bool corrupted : {false, true}) {
    FHost.Corrupted = corrupted;
    try {
      Load(bytes);
      ADD_FAILURE() << "no error, corrupted " << corrupted;
    } catch (const EKelException& e) {
      EXPECT_EQ(e.NativeError, 40);
      EXPECT_STREQ(e.what(), "Cannot find 64-bit directory end record - Native error: 00040");
    }
  }
}

TEST_F(DirReader, AnEndRecordBeyondTheSearchWindowMeansARebuild) {
  TBytes bytes = BuildArchive(NumberedItems(2)).Bytes;
  bytes.resize(bytes.size() + 70000, 'c');  // more than any comment can say
  FHost.Corrupted = false;
  const TKelDirManager& dm = Load(bytes);
  EXPECT_EQ(NamesOf(dm), (std::vector<std::string>{"file0.txt", "file1.txt"}));
  EXPECT_EQ(dm.CentralDirOffset, static_cast<int64_t>(bytes.size()));
  EXPECT_FALSE(FDm->HasCentralDirEnd());
  FHost.Corrupted = true;
  EXPECT_TRUE(FDm->HasCentralDirEnd());
}

TEST_F(DirReader, TheEndRecordNearestTheEndWinsAndItsDirectoryIsRead) {
  // The comment holds a second directory, for item 0 under another name, with
  // its own valid end record, which fits as well as the first.
  std::vector<TTestItem> items = NumberedItems(1);
  const TTestArchive inner = BuildArchive({Entry("renamed.txt", items[0].Data)});
  const TBytes innerDir(inner.Bytes.begin() + inner.DirStart, inner.Bytes.end());
  const TTestArchive a =
      BuildArchive(items, Opt().WithComment(std::string(innerDir.begin(), innerDir.end())));
  const TKelDirManager& dm = Load(a.Bytes);
  EXPECT_EQ(NamesOf(dm), std::vector<std::string>{"renamed.txt"});
  EXPECT_EQ(dm.CentralDirOffset, a.EndPos + 22);
}

// An end record that does not fit the archive around it as well as another
// is passed over: one inside the comment that ends before the comment does,
// or whose Zip64 records are not there; bytes behind the archive (a
// signature appended to a self-extractor) leave the one end record in place.
TEST_F(DirReader, AnEndRecordThatFitsWorseIsPassedOver) {
  TBytes emptyEnd;
  AppendU(emptyEnd, KelCentralDirEndSig, 4);
  emptyEnd.resize(22, 0);
  TBytes zip64End = emptyEnd;
  PutU16(zip64End, eocdf::EntriesOnDisk, 0xFFFF);
  PutU16(zip64End, eocdf::Entries, 0xFFFF);
  TBytes locator;
  AppendU(locator, KelZip64CentralDirEndLocatorSig, 4);
  AppendU(locator, 0, 4);
  AppendU(locator, 4, 8);  // no Zip64 end record there
  AppendU(locator, 1, 4);
  const auto text = [](const TBytes& b) { return std::string(b.begin(), b.end()); };
  struct TCase {
    const char* What;
    std::string Stub, Comment, Tail;
  } cases[] = {
      {"an empty archive's end record in the comment", "", "see " + text(emptyEnd) + " here", ""},
      {"a Zip64 locator and end record in the comment", "",
       "z " + text(locator) + text(zip64End) + ".", ""},
      {"a signature behind a self-extractor", std::string(300, 'S'), "",
       std::string("\x50\x4B\x05\x06", 4) + std::string(500, '\xEE')},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    TTestArchive a = BuildArchive(NumberedItems(2), Opt().WithStub(c.Stub).WithComment(c.Comment));
    Append(a.Bytes, c.Tail);
    for (bool corrupted : {false, true}) {
      FHost.Corrupted = corrupted;
      const TKelDirManager& dm = Load(a.Bytes);
      EXPECT_EQ(NamesOf(dm), (std::vector<std::string>{"file0.txt", "file1.txt"}));
      EXPECT_EQ(dm.ArchiveComment, c.Comment);
      EXPECT_EQ(dm.StubSize, static_cast<int64_t>(c.Stub.size()));
      EXPECT_FALSE(dm.Recovery.Rebuilt());
    }
  }
}

TEST_F(DirReader, SignatureBytesInTheCommentThatAreNoRecordAreSkipped) {
  const std::string comment = std::string("see PK\x05\x06 here") + std::string(40, '!');
  const TTestArchive a = BuildArchive(NumberedItems(2), Opt().WithComment(comment));
  const TKelDirManager& dm = Load(a.Bytes);
  EXPECT_EQ(dm.CDir.Count(), 2);
  EXPECT_EQ(dm.ArchiveComment, comment);
}

TEST_F(DirReader, AnEmptyNameBeforeTheLastFailsOrIsRebuiltFromTheLocalNames) {
  std::vector<TTestItem> items = NumberedItems(3);
  items[0].CentralName = "";
  items[1].CentralName = "";
  const TBytes bytes = BuildArchive(items).Bytes;
  FHost.Corrupted = false;
  try {
    Load(bytes);
    ADD_FAILURE() << "no error";
  } catch (const EKelException& e) {
    EXPECT_EQ(e.NativeError, 59);
  }
  FHost.Corrupted = true;
  EXPECT_EQ(NamesOf(Load(bytes)),
            (std::vector<std::string>{"file0.txt", "file1.txt", "file2.txt"}));
}

TEST_F(DirReader, EachLoadStartsFromAnEmptyDirectory) {
  TKelDirManager& dm = Load(BuildArchive(NumberedItems(4)).Bytes);
  dm.LoadDir();
  EXPECT_EQ(dm.CDir.Count(), 4);
  EXPECT_EQ(dm.CDir.ItemNamesList().Count(), 4);
}

TEST_F(DirReader, ShortReadsGiveTheSameDirectory) {
  const TBytes bytes =
      BuildArchive(NumberedItems(300), Opt().WithStub(std::string(20000, 's'))).Bytes;
  const std::vector<std::string> expected = NamesOf(Load(bytes));
  TShortReadStream stream(bytes, 7);
  TFakeHost host(&stream);
  const TLoadOutcome out = TryLoad(stream, host);
  EXPECT_TRUE(out.Ok) << out.Message;
  EXPECT_EQ(out.Names, expected);
  EXPECT_EQ(out.StubSize, 20000);
  EXPECT_GT(stream.Reads, 0);
}

TEST_F(DirReader, AFailedLoadKeepsTheItemsReadWhole) {
  TTestArchive a = BuildArchive(NumberedItems(3));
  PutU16(a.Bytes, a.EndPos + eocdf::Entries, 5);
  PutU16(a.Bytes, a.EndPos + eocdf::EntriesOnDisk, 5);
  FHost.Corrupted = false;
  EXPECT_THROW(Load(a.Bytes), EReadError);
  EXPECT_EQ(NamesOf(*FDm), (std::vector<std::string>{"file0.txt", "file1.txt", "file2.txt"}));
  EXPECT_EQ(FDm->CDir.ItemNamesList().Count(), 3);
}

TEST_F(DirReader, AReadFailureOfTheStreamPassesThrough) {
  // A directory longer than the end-record window, failing past that window.
  const TTestArchive a = BuildArchive(NumberedItems(2000));
  ASSERT_GT(a.EndPos - a.DirStart, TKelDirManager::EndRecordSearchWindow);
  for (bool corrupted : {false, true}) {
    TFailingStream stream(a.DirStart + 60);
    stream.WriteBuffer(a.Bytes.data(), static_cast<int64_t>(a.Bytes.size()));
    FHost.Stream = &stream;
    TKelDirManager dm(&stream, false, &FHost);
    stream.FailReads = true;
    FHost.Corrupted = corrupted;  // the rebuild reads the same failing bytes
    EXPECT_THROW(dm.LoadDir(), EReadError) << corrupted;
  }
}

TEST_F(DirReader, SearchesAndTestsPutThePositionBack) {
  std::vector<TTestItem> items = NumberedItems(3);
  items[1].Flag = KelFlagDataDescriptor;
  items[1].Descriptor = true;
  const TTestArchive a = BuildArchive(items, Opt().WithStub(std::string(50, 's')));
  TKelDirManager& dm = Load(a.Bytes);
  TKelZipCentralDirEnd record;
  TKelZipDataDescriptor descriptor;
  int64_t pos = 0;
  const std::vector<std::pair<const char*, std::function<void()>>> steps = {
      {"FindEndRecord", [&] { dm.FindEndRecord(record, pos, KelCentralDirEndSig); }},
      {"IsValidEndRecord", [&] { dm.IsValidEndRecord(a.EndPos); }},
      {"ReadZip64Locator",
       [&] {
         pos = a.EndPos;
         dm.ReadZip64Locator(pos);
       }},
      {"FindSignature",
       [&] {
         pos = 0;
         dm.FindSignature(pos, KelCentralFileHeaderSig);
       }},
      {"MatchesFirstItem", [&] { dm.MatchesFirstItem(a.Local[0]); }},
      {"FindLocalHeader", [&] { dm.FindLocalHeader(1); }},
      {"FindDataDescriptor", [&] { dm.FindDataDescriptor(0, descriptor); }},
      {"HasCentralDirEnd", [&] { dm.HasCentralDirEnd(); }},
      {"DetectStub", [&] { dm.DetectStub(a.EndPos); }},
  };
  for (const auto& [label, step] : steps) {
    FStream.SetPosition(37);
    step();
    EXPECT_EQ(FStream.Position(), 37) << label;
  }
}

TEST_F(DirReader, HasCentralDirEndAnswersTruthfullyOnlyWithoutCorruptedArchives) {
  TMemoryStream stream = MemoryOf(TBytes(500, 'z'));
  TKelDirManager dm(&stream, false, &FHost);
  FHost.Corrupted = false;
  EXPECT_FALSE(dm.HasCentralDirEnd());
  FHost.Corrupted = true;
  EXPECT_TRUE(dm.HasCentralDirEnd());
  EXPECT_EQ(dm.CentralDirEnd.signature, 0u);  // the search left nothing behind

  Load(BuildArchive(NumberedItems(1), Opt().WithComment("c")).Bytes);
  FHost.Corrupted = false;
  EXPECT_TRUE(FDm->HasCentralDirEnd());
  EXPECT_EQ(FDm->ArchiveComment, "c");
}

// A signature is found wherever it lies against the window boundaries.
TEST_F(DirReader, SignaturesStraddlingSearchWindowsAreFound) {
  for (int64_t window : {TKelDirManager::StubSearchWindow, TKelDirManager::RecoverySearchWindow}) {
    for (int64_t at = window - 6; at <= window + 2; ++at) {
      TBytes bytes(static_cast<size_t>(2 * window + 100), 0);
      PutU32(bytes, static_cast<size_t>(at), KelLocalFileHeaderSig);
      FStream = MemoryOf(bytes);
      TKelDirManager dm(&FStream, false, &FHost);
      int64_t pos = 0;
      EXPECT_TRUE(dm.FindSignature(pos, KelLocalFileHeaderSig)) << at;
      EXPECT_EQ(pos, at);
      EXPECT_EQ(dm.FindLocalHeader(0), at) << at;
      EXPECT_EQ(dm.FindLocalHeader(at + 1), -1) << at;
    }
  }
}

TEST_F(DirReader, ALocalHeaderSignatureWithoutRoomForTheHeaderIsNone) {
  TBytes bytes(100, 0);
  PutU32(bytes, 71, KelLocalFileHeaderSig);  // 29 bytes from its start to the end
  FStream = MemoryOf(bytes);
  TKelDirManager dm(&FStream, false, &FHost);
  EXPECT_EQ(dm.FindLocalHeader(0), -1);
  PutU32(bytes, 70, KelLocalFileHeaderSig);
  FStream = MemoryOf(bytes);
  EXPECT_EQ(dm.FindLocalHeader(0), 70);
}

struct TFirstItemCase {
  const char* Label;
  bool Sfx;
  bool Encrypted;
};

TEST_F(DirReader, SfxAndEncryptedLookAtItemZeroOnly) {
  for (const TFirstItemCase& c :
       {TFirstItemCase{"plain", false, false}, TFirstItemCase{"encrypted", false, true},
        TFirstItemCase{"stub", true, false}}) {
    std::vector<TTestItem> items = NumberedItems(2);
    items[0].Flag = c.Encrypted ? KelFlagEncrypted : 0;
    items[1].Flag = c.Encrypted ? 0 : KelFlagEncrypted;
    const TKelDirManager& dm =
        Load(BuildArchive(items, Opt().WithStub(c.Sfx ? "MZ stub" : "")).Bytes);
    EXPECT_EQ(dm.IsSFXArchive(), c.Sfx) << c.Label;
    EXPECT_EQ(dm.IsEncrypted(), c.Encrypted) << c.Label;
  }
  TMemoryStream empty;
  TKelDirManager dm(&empty, false, &FHost);
  EXPECT_FALSE(dm.IsSFXArchive());
  EXPECT_FALSE(dm.IsEncrypted());
}

TEST_F(DirReader, AStubShiftReaching4GiBMovesOffsetsToTheZip64Form) {
  TKelDirManager& dm = Load(BuildArchive(NumberedItems(3)).Bytes);
  dm.CDir.SetCount(4);
  dm.CDir.SetItemName(3, u"dir/");
  dm.CDir.GetItemPtr(3).CentralDir.externalAttr = KelAttrDirectory;
  dm.CDir.GetItemPtr(1).CentralDir.relOffsetLH = 0xFFFFFFF5;
  dm.CDir.GetItemPtr(2).CentralDir.relOffsetLH = KelZip64Escape32;
  dm.CDir.GetItemPtr(2).EditZip64ExtInfo().relOffsetLH = 0x500000000;
  dm.StubSize = 10;
  dm.ApplyStubOffset();
  EXPECT_EQ(Item(dm, 0).CentralDir.relOffsetLH, 10u);
  EXPECT_EQ(Item(dm, 1).CentralDir.relOffsetLH, KelZip64Escape32);
  EXPECT_EQ(Item(dm, 1).Zip64ExtInfo().relOffsetLH, 0xFFFFFFFFu);
  EXPECT_TRUE(Item(dm, 1).bHugeFile);
  EXPECT_EQ(Item(dm, 2).Zip64ExtInfo().relOffsetLH, 0x50000000Au);
  EXPECT_EQ(Item(dm, 3).CentralDir.relOffsetLH, 10u);  // folders have local headers too
}

TEST_F(DirReader, OffsetsIncludeTheStubWhenTheFirstItemWithDataStartsBehindIt) {
  TKelDirManager& dm = Load(BuildArchive(NumberedItems(2)).Bytes);
  dm.CDir.GetItemPtr(0).CentralDir.compSize = 0;  // skipped: no data
  dm.CDir.GetItemPtr(1).CentralDir.relOffsetLH = 500;
  for (auto [stub, expected] : {std::pair{499, true}, {500, true}, {501, false}}) {
    dm.StubSize = stub;
    EXPECT_EQ(dm.OffsetsIncludeStub(), expected) << stub;
  }
  dm.CDir.GetItemPtr(1).CentralDir.compSize = 0;
  EXPECT_TRUE(dm.OffsetsIncludeStub());
}

// Item 0, by which the stub is measured, can be a folder without data; the
// first item with data tells whether the offsets count the stub: by where its
// own local header stands.
TEST_F(DirReader, TheFirstItemWithDataTellsWhetherTheOffsetsCountTheStub) {
  const std::vector<TTestItem> items = {Entry("d/", "", KelAttrDirectory), Entry("d/f", "data")};
  const std::string stub = "MZ";
  // Put in front afterwards: every offset moves, the folder's too.
  const TTestArchive prefixed = BuildArchive(items, Opt().WithStub(stub));
  TKelDirManager& dm = Load(prefixed.Bytes);
  EXPECT_EQ(dm.StubSize, 2);
  EXPECT_EQ(Item(dm, 0).LocalHeaderOffset(), uint64_t(prefixed.Local[0]));
  EXPECT_EQ(Item(dm, 1).LocalHeaderOffset(), uint64_t(prefixed.Local[1]));

  // Written with the stub in place, but the folder's offset left as if there
  // were none (as a writer that shifted files only leaves it): nothing moves.
  TTestArchive counted = BuildArchive(items, Opt().WithStub(stub, true));
  PutU32(counted.Bytes, counted.Central[0] + cdf::Offset, 0);
  TKelDirManager& again = Load(counted.Bytes);
  EXPECT_EQ(Item(again, 0).LocalHeaderOffset(), 0u);
  EXPECT_EQ(Item(again, 1).LocalHeaderOffset(), uint64_t(counted.Local[1]));
}

TEST_F(DirReader, MergingShiftsTheTaggedItemsOfTheOtherDirectory) {
  TKelDirManager& dm = Load(BuildArchive(NumberedItems(2, "own")).Bytes);
  dm.CDir.GetItemPtr(0).Tagged = true;
  TMemoryStream otherStream = MemoryOf(BuildArchive(NumberedItems(3, "other")).Bytes);
  TKelDirManager other(&otherStream, false, &FHost);
  other.LoadDir();
  other.CDir.GetItemPtr(0).Tagged = true;
  other.CDir.GetItemPtr(2).Tagged = true;
  other.CDir.GetItemPtr(2).CentralDir.relOffsetLH = 0xFFFFFFF0;
  const uint64_t before1 = other.CDir.GetItemPtr(1).LocalHeaderOffset();

  dm.CentralDirOffset = 0x100;
  dm.MergeWith(other);
  EXPECT_EQ(NamesOf(dm), (std::vector<std::string>{"own0.txt", "own1.txt", "other0.txt",
                                                   "other1.txt", "other2.txt"}));
  EXPECT_EQ(Item(dm, 0).LocalHeaderOffset(), 0u);  // own items stay where they are
  EXPECT_EQ(Item(dm, 2).LocalHeaderOffset(), 0x100u);
  EXPECT_EQ(Item(dm, 3).LocalHeaderOffset(), before1);  // untagged: not moved
  EXPECT_EQ(Item(dm, 4).CentralDir.relOffsetLH, KelZip64Escape32);
  EXPECT_EQ(Item(dm, 4).Zip64ExtInfo().relOffsetLH, 0x1000000F0u);
  for (int32_t i = 0; i < dm.CDir.Count(); ++i)
    EXPECT_FALSE(Item(dm, i).Tagged) << i;
  int32_t index = -1;
  EXPECT_TRUE(dm.CDir.FileExists(u"other2.txt", index));
  EXPECT_EQ(index, 4);
}

TEST(DirManagerCreate, ANewArchiveStartsAtTheFirstVolumeWithTheStubCopiedIn) {
  TempDir dir;
  const std::string stubBytes(12345, 'S');
  { std::ofstream(dir.NativePath("stub.bin"), std::ios::binary) << stubBytes; }
  TMemoryStream stream = MemoryOf(TBytes(99, 'o'));
  TFakeHost host(&stream);
  host.Stub = dir.Path(u"stub.bin");
  TKelDirManager dm(&stream, true, &host);
  EXPECT_TRUE(dm.IsNewArchive());
  EXPECT_FALSE(dm.IsCustomStream());
  EXPECT_TRUE(host.Volume.FirstVolume());
  EXPECT_EQ(dm.StubSize, 12345);
  const TBytes held = BytesOf(stream);
  EXPECT_EQ(std::string(held.begin(), held.end()), stubBytes);

  TMemoryStream other;
  EXPECT_TRUE(TKelDirManager(&other, false, &host).IsCustomStream());
}

TEST(DirManagerCreate, AStubLargerThanTheFirstVolumeIsRefused) {
  TempDir dir;
  { std::ofstream(dir.NativePath("stub.bin"), std::ios::binary) << std::string(70000, 'S'); }
  TMemoryStream stream = MemoryOf(TBytes(10, 'o'));
  TFakeHost host(&stream);
  host.Stub = dir.Path(u"stub.bin");
  host.Mode = smSplitting;
  host.Options.SetVolumeSize(vsCustom);
  host.Options.SetCustomVolumeSize(65536);
  try {
    TKelDirManager dm(&stream, true, &host);
    ADD_FAILURE() << "no error";
  } catch (const EKelException& e) {
    EXPECT_EQ(e.NativeError, 47);
    EXPECT_STREQ(e.what(),
                 "Archiver: Cannot place SFX stub on volume. Volume size limit is too small - "
                 "Native error: 00047");
  }
  EXPECT_EQ(stream.Size(), 10);  // untouched

  host.Options.SetFirstVolumeSize(80000);  // only the first volume's limit counts
  EXPECT_EQ(TKelDirManager(&stream, true, &host).StubSize, 70000);
  host.Stub = dir.Path(u"missing.bin");
  EXPECT_THROW(TKelDirManager(&stream, true, &host), EFOpenError);
}

}  // namespace
}  // namespace kelvane::test
