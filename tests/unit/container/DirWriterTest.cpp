// Writing the directory: round trips through the reader, the Zip64 thresholds,
// replacing a directory in place, names, refusals and failures, volumes.
#include <functional>

#include "DirManagerTestSupport.h"

namespace kelvane::test {
namespace {

const TDirItem& Item(const TKelDirManager& dm, int32_t i) {
  return dm.CDir.GetItemPtr(i);
}

// versionMadeBy (and extractVersion) of Info-ZIP zip 3.0 on Linux: host 3.
constexpr uint16_t kUnixZip = 0x031E;

TKelExtraFields WithoutZip64(const TKelExtraFields& blocks) {
  TKelExtraFields kept;
  for (const auto& b : blocks)
    if (b.headerID != KelZip64ExtraId) kept.push_back(b);
  return kept;
}

// The items of Written read back as Original holds them after writing.
void ExpectSameItems(const TKelDirManager& original, const TKelDirManager& written) {
  ASSERT_EQ(written.CDir.Count(), original.CDir.Count());
  for (int32_t i = 0; i < original.CDir.Count(); ++i) {
    SCOPED_TRACE(Utf8(Item(original, i).Name));
    const TDirItem& x = Item(original, i);
    const TDirItem& y = Item(written, i);
    EXPECT_EQ(y.Name, x.Name);
    EXPECT_EQ(y.CentralDir, x.CentralDir);
    EXPECT_EQ(y.Comment(), x.Comment());
    EXPECT_EQ(y.ExtraFields.size(), WithoutZip64(y.ExtraFields).size() + (y.bHugeFile ? 1 : 0));
    EXPECT_EQ(WithoutZip64(y.ExtraFields), WithoutZip64(x.ExtraFields));
    EXPECT_EQ(y.UncompressedSize(), x.UncompressedSize());
    EXPECT_EQ(y.CompressedSize(), x.CompressedSize());
    EXPECT_EQ(y.LocalHeaderOffset(), x.LocalHeaderOffset());
    EXPECT_EQ(y.DiskNumberStart(), x.DiskNumberStart());
    EXPECT_EQ(y.KelEncryptionAlgorithm, x.KelEncryptionAlgorithm);
    EXPECT_EQ(y.CompressionMethod, x.CompressionMethod);
  }
}

struct TRoundTrip {
  const char* Label;
  std::function<TTestArchive()> Build;
};

void PrintTo(const TRoundTrip& c, std::ostream* os) {
  *os << c.Label;
}

std::vector<TTestItem> VariedItems() {
  std::vector<TTestItem> items = NumberedItems(3);
  items.insert(items.begin() + 1, Entry("folder/", "", KelAttrDirectory));
  items[0].Comment = "first comment";
  items[2].CentralExtra = ExtraBlock(0xCAFE, "kept") + ExtraBlock(0x5455, "");
  items[3].Flag = KelFlagEncrypted;
  items[3].Method = KelMethodAes;
  items[3].CentralExtra = ExtraBlock(KelAesExtraId, std::string("\x02\x00"
                                                                "AE"
                                                                "\x02\x00\x00",
                                                                7));
  return items;
}

const std::vector<TRoundTrip>& RoundTrips() {
  static const std::vector<TRoundTrip> cases = {
      {"plain", [] { return BuildArchive(VariedItems()); }},
      {"archive_comment", [] { return BuildArchive(VariedItems(), Opt().WithComment("Hola")); }},
      {"stub_appended",
       [] { return BuildArchive(VariedItems(), Opt().WithStub(std::string(5000, 's'))); }},
      {"stub_in_place",
       [] { return BuildArchive(VariedItems(), Opt().WithStub(std::string(5000, 's'), true)); }},
      {"read_with_zip64_records",
       [] { return BuildArchive(VariedItems(), Opt().WithZip64(true).WithComment("z")); }},
      {"zip64_item_fields",
       [] {
         std::vector<TTestItem> items = NumberedItems(3);
         // Item 1 holds its uncompressed size, offset and disk in the Zip64 field.
         const TTestArchive plain = BuildArchive(items);
         items[1].CentralExtra =
             ExtraBlock(KelZip64ExtraId, Le64(items[1].Data.size()) +
                                             Le64(static_cast<uint64_t>(plain.Local[1])) +
                                             std::string(4, '\0')) +
             ExtraBlock(0xCAFE, "after");
         TTestArchive a = BuildArchive(items);
         PutU32(a.Bytes, a.Central[1] + cdf::UnCompSize, KelZip64Escape32);
         PutU32(a.Bytes, a.Central[1] + cdf::Offset, KelZip64Escape32);
         PutU16(a.Bytes, a.Central[1] + cdf::DiskStart, KelZip64Escape16);
         return a;
       }},
      {"names_outside_ascii",
       [] {
         TTestItem greek = Entry("\xCE\xB1\xCE\xB2\xCE\xB3.txt", "g");
         greek.Flag = KelFlagUtf8Name;
         return BuildArchive({greek, Entry("caf\x82.txt", "oem"), Entry("plain.txt", "p")});
       }},
      {"names_made_on_unix",
       [] {
         // Info-ZIP on Linux: UTF-8 without bit 11. Also an OEM byte from a
         // Unix host, and UTF-8 bytes from MS-DOS, which stay OEM characters.
         std::vector<TTestItem> items = {
             Entry("sub/caf\xC3\xA9.txt", "u"), Entry("\xCE\xB1\xCE\xB2\xCE\xB3.txt", "g"),
             Entry("caf\x82.txt", "oem"), Entry("dos/caf\xC3\xA9.txt", "d")};
         for (size_t i = 0; i < 3; ++i)
           items[i].Version = kUnixZip;
         return BuildArchive(items);
       }},
  };
  return cases;
}

class DirWriterRoundTrip : public ::testing::TestWithParam<TRoundTrip> {};

// Read, cut after the items' data, write: the same items read back, and
// replacing the directory in place gives the same bytes.
TEST_P(DirWriterRoundTrip, WrittenDirectoriesReadBackAsTheyWere) {
  const TTestArchive a = GetParam().Build();
  TMemoryStream stream = MemoryOf(a.Bytes);
  TFakeHost host(&stream);
  host.Corrupted = false;
  TKelDirManager dm(&stream, false, &host);
  dm.LoadDir();
  const int64_t dataEnd = dm.CentralDirOffset;
  ASSERT_EQ(dataEnd, a.DirStart);

  TMemoryStream inPlace = MemoryOf(a.Bytes);
  dm.SaveDir(false, &inPlace);
  const TBytes replaced = BytesOf(inPlace);

  stream.SetSize(dataEnd);
  dm.SaveDir(true, &stream);
  const TBytes appended = BytesOf(stream);
  EXPECT_EQ(replaced, appended);
  EXPECT_EQ(TBytes(appended.begin(), appended.begin() + dataEnd),
            TBytes(a.Bytes.begin(), a.Bytes.begin() + dataEnd));
  EXPECT_EQ(dm.CentralDirOffset, dataEnd);

  TMemoryStream again = MemoryOf(appended);
  TFakeHost readHost(&again);
  readHost.Corrupted = false;
  TKelDirManager back(&again, false, &readHost);
  back.LoadDir();
  ExpectSameItems(dm, back);
  EXPECT_EQ(back.ArchiveComment, dm.ArchiveComment);
  EXPECT_EQ(back.StubSize, dm.StubSize);
  EXPECT_EQ(back.CentralDirOffset, dataEnd);
  EXPECT_FALSE(back.Zip64());
}

INSTANTIATE_TEST_SUITE_P(Archives, DirWriterRoundTrip, ::testing::ValuesIn(RoundTrips()),
                         [](const auto& info) { return std::string(info.param.Label); });

// Count items without data in the directory, each with its own local header place.
void FillItems(TKelDirManager& dm, int32_t count) {
  dm.CDir.SetCount(count);
  for (int32_t i = 0; i < count; ++i) {
    TDirItem& item = dm.CDir.GetItemPtr(i);
    item.CentralDir.signature = KelCentralFileHeaderSig;
    item.CentralDir.versionMadeBy = item.CentralDir.extractVersion = 20;
    item.CentralDir.externalAttr = KelAttrArchive;
    item.CentralDir.relOffsetLH = static_cast<uint32_t>(i) * 30;
    dm.CDir.SetItemName(i, FromUtf8("f" + std::to_string(i)));
  }
}

TEST(DirWriter, AnEmptyArchiveEndsWithAnEndRecordAtTheStubsEnd) {
  for (int64_t stub : {0, 777}) {
    TMemoryStream stream = MemoryOf(TBytes(static_cast<size_t>(stub), 's'));
    TFakeHost host(&stream);
    TKelDirManager dm(&stream, false, &host);
    dm.SaveDir(true);
    const TBytes bytes = BytesOf(stream);
    ASSERT_EQ(bytes.size(), static_cast<size_t>(stub) + 22);
    EXPECT_EQ(Get(bytes, stub, 4), KelCentralDirEndSig);
    EXPECT_EQ(Get(bytes, stub + eocdf::Entries, 2), 0u);
    EXPECT_EQ(Get(bytes, stub + eocdf::DirSize, 4), 0u);
    EXPECT_EQ(Get(bytes, stub + eocdf::DirOffset, 4), static_cast<uint64_t>(stub));
    EXPECT_EQ(dm.CentralDirOffset, stub);
  }
}

struct TCountCase {
  int32_t Count;
  bool Zip64;
};

class DirWriterCounts : public ::testing::TestWithParam<TCountCase> {};

TEST_P(DirWriterCounts, Zip64RecordsAppearAt65535Items) {
  const TCountCase c = GetParam();
  TMemoryStream stream;
  TFakeHost host(&stream);
  host.Corrupted = false;
  TKelDirManager dm(&stream, false, &host);
  FillItems(dm, c.Count);
  dm.SaveDir(true);
  const TBytes bytes = BytesOf(stream);
  const size_t end = bytes.size() - 22;
  EXPECT_EQ(Get(bytes, end + eocdf::Entries, 2), c.Zip64 ? 0xFFFFu : uint64_t(c.Count));
  EXPECT_EQ(Get(bytes, end + eocdf::EntriesOnDisk, 2), c.Zip64 ? 0xFFFFu : uint64_t(c.Count));
  EXPECT_EQ(Get(bytes, end - 20, 4) == KelZip64CentralDirEndLocatorSig, c.Zip64);
  EXPECT_EQ(dm.Zip64(), c.Zip64);
  if (c.Zip64) {
    const size_t z = end - 20 - 56;
    EXPECT_EQ(Get(bytes, z, 4), KelZip64CentralDirEndSig);
    EXPECT_EQ(Get(bytes, z + 4, 8), 44u);
    EXPECT_EQ(Get(bytes, z + 12, 2), 45u);
    EXPECT_EQ(Get(bytes, z + 32, 8), uint64_t(c.Count));
    EXPECT_EQ(Get(bytes, z + 40, 8), z);          // directory size
    EXPECT_EQ(Get(bytes, z + 48, 8), 0u);         // directory offset
    EXPECT_EQ(Get(bytes, end - 20 + 8, 8), z);    // locator: where the record is
    EXPECT_EQ(Get(bytes, end - 20 + 16, 4), 1u);  // disks
  }
  TKelDirManager back(&stream, false, &host);
  back.LoadDir();
  EXPECT_EQ(back.CDir.Count(), c.Count);
  EXPECT_EQ(back.Zip64(), c.Zip64);
  EXPECT_EQ(Utf8(Item(back, c.Count - 1).Name), "f" + std::to_string(c.Count - 1));
}

INSTANTIATE_TEST_SUITE_P(Thresholds, DirWriterCounts,
                         ::testing::Values(TCountCase{65534, false}, TCountCase{65535, true}));

struct THighCase {
  const char* Label;
  int64_t DirEnd;  // where the directory ends; its start follows from its size
  bool Zip64;
};

class DirWriterHigh : public ::testing::TestWithParam<THighCase> {};

// The records at 4 GiB - 1 and beyond, whatever Zip64 mode the archiver has:
// the writer is not told one.
TEST_P(DirWriterHigh, Zip64RecordsAppearWhereTheDirectoryEndsAt4GiBMinus1) {
  const THighCase c = GetParam();
  auto build = [](TKelDirManager& dm, int64_t itemOffset) {
    FillItems(dm, 2);
    TDirItem& item = dm.CDir.GetItemPtr(0);
    item.CentralDir.compSize = 5;
    item.CentralDir.relOffsetLH = KelZip64Escape32;
    item.EditZip64ExtInfo().relOffsetLH = static_cast<uint64_t>(itemOffset);
    item.bHugeFile = true;
  };
  TMemoryStream sizing;
  TFakeHost sizingHost(&sizing);
  TKelDirManager measure(&sizing, false, &sizingHost);
  build(measure, 1);
  measure.SaveDir(true);
  const int64_t dirSize = sizing.Size() - 22;

  const int64_t start = c.DirEnd - dirSize;
  THighStream stream(start);
  stream.SetSize(start);
  TFakeHost host(&stream);
  host.Corrupted = false;
  TKelDirManager dm(&stream, false, &host);
  build(dm, start - 100);
  dm.SaveDir(true);
  EXPECT_EQ(dm.Zip64(), c.Zip64);
  EXPECT_EQ(dm.CentralDirOffset, start);
  EXPECT_EQ(dm.CentralDirEnd.offsetStartDir,
            start < 0xFFFFFFFF ? static_cast<uint32_t>(start) : KelZip64Escape32);
  EXPECT_EQ(stream.Size(), c.DirEnd + 22 + (c.Zip64 ? 76 : 0));
  if (c.Zip64) {
    EXPECT_EQ(dm.Zip64CentralDirEnd.offsetStartDir, static_cast<uint64_t>(start));
    EXPECT_EQ(dm.Zip64CentralDirEndLocator.offsetStartDirEnd, static_cast<uint64_t>(c.DirEnd));
  }

  TKelDirManager back(&stream, false, &host);
  back.LoadDir();
  ExpectSameItems(dm, back);
  EXPECT_EQ(back.CentralDirOffset, start);
}

INSTANTIATE_TEST_SUITE_P(Positions, DirWriterHigh,
                         ::testing::Values(THighCase{"ends_below", 0xFFFFFFFE, false},
                                           THighCase{"ends_at_the_limit", 0xFFFFFFFF, true},
                                           THighCase{"starts_beyond", (int64_t{1} << 32) + 4096,
                                                     true}),
                         [](const auto& info) { return std::string(info.param.Label); });

TEST(DirWriter, TheZip64FieldIsBuiltAfreshAheadOfTheOtherFields) {
  TMemoryStream stream;
  TFakeHost host(&stream);
  TKelDirManager dm(&stream, false, &host);
  FillItems(dm, 1);
  TDirItem& item = dm.CDir.GetItemPtr(0);
  item.ExtraFields.push_back(TKelExtraFieldDataBlock(KelZip64ExtraId, TBytes(24, 0xEE)));
  item.ExtraFields.push_back(TKelExtraFieldDataBlock(0xCAFE, {'x'}));
  item.ExtraFields.push_back(TKelExtraFieldDataBlock(0x7075, {}));
  item.CentralDir.unCompSize = KelZip64Escape32;
  item.CentralDir.diskNumberStart = KelZip64Escape16;
  item.EditZip64ExtInfo().uncompSize = 0x123456789;
  item.EditZip64ExtInfo().diskNumberStart = 7;
  dm.SaveDir(true);

  const TBytes bytes = BytesOf(stream);
  EXPECT_EQ(Get(bytes, cdf::ExtraLength, 2), 16u + 5 + 4);
  const size_t extra = 46 + 2;  // after the name "f0"
  const TBytes expected = {0x01, 0x00, 0x0C, 0x00, 0x89, 0x67, 0x45, 0x23, 0x01,
                           0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0xFE, 0xCA,
                           0x01, 0x00, 'x',  0x75, 0x70, 0x00, 0x00};
  EXPECT_EQ(TBytes(bytes.begin() + extra, bytes.begin() + extra + expected.size()), expected);
  EXPECT_EQ(item.CentralDir.extraLength, 25);
}

struct TNameCase {
  const char* Label;
  std::u16string Name;
  bool Oem;
  uint16_t FlagBefore;
  std::string Bytes;
  bool Utf8Flag;
};

TEST(DirWriter, NamesAreStoredInTheCodePageTheyFitOrInUtf8) {
  const std::vector<TNameCase> cases = {
      {"ansi_with_oem", u"caf\u00e9.txt", true, 0, "caf\x82.txt", false},
      {"ansi_without_oem", u"caf\u00e9.txt", false, 0, "caf\xe9.txt", false},
      {"outside_ansi", u"\u03b1\u03b2\u03b3.txt", true, 0, "\xce\xb1\xce\xb2\xce\xb3.txt", true},
      {"flag_kept_from_the_archive", u"caf\u00e9.txt", true, KelFlagUtf8Name, "caf\xc3\xa9.txt",
       true},
      {"ascii", u"plain/name.txt", true, 0, "plain/name.txt", false},
  };
  for (const TNameCase& c : cases) {
    SCOPED_TRACE(c.Label);
    TMemoryStream stream;
    TFakeHost host(&stream);
    host.Oem = c.Oem;
    TKelDirManager dm(&stream, false, &host);
    FillItems(dm, 1);
    dm.CDir.SetItemName(0, c.Name);
    dm.CDir.GetItemPtr(0).CentralDir.genPurposeFlag = c.FlagBefore;
    dm.SaveDir(true);
    const TBytes bytes = BytesOf(stream);
    EXPECT_EQ(Get(bytes, cdf::NameLength, 2), c.Bytes.size());
    EXPECT_EQ(std::string(bytes.begin() + 46, bytes.begin() + 46 + c.Bytes.size()), c.Bytes);
    EXPECT_EQ((Get(bytes, cdf::Flag, 2) & KelFlagUtf8Name) != 0, c.Utf8Flag);
    TKelDirManager back(&stream, false, &host);
    back.LoadDir();
    EXPECT_EQ(Item(back, 0).Name, c.Name);
  }
}

class DirWriterInPlace : public TLoadedDir {};

TEST_F(DirWriterInPlace, ANewCommentRewritesOnlyTheDirectory) {
  const TTestArchive a = BuildArchive(NumberedItems(3), Opt().WithComment("old comment"));
  TKelDirManager& dm = Load(a.Bytes);
  dm.ArchiveComment = "new";
  dm.SaveDir(false);
  const TBytes bytes = BytesOf(FStream);
  ASSERT_EQ(bytes.size(), a.Bytes.size() - 8);
  const size_t lengthAt = a.EndPos + eocdf::CommentLength;
  EXPECT_EQ(TBytes(bytes.begin(), bytes.begin() + lengthAt),
            TBytes(a.Bytes.begin(), a.Bytes.begin() + lengthAt));
  EXPECT_EQ(Get(bytes, lengthAt, 2), 3u);
  EXPECT_EQ(std::string(bytes.end() - 3, bytes.end()), "new");
}

// Unix tools store names without bit 11 in UTF-8 (Info-ZIP's zip) or in the
// OEM page (python_oem.zip). A directory written again gives each item the kind
// of bytes it had, so that the names read the same to us and to the tool that
// made them; a renamed item follows the code-page rule.
TEST_F(DirWriterInPlace, NamesOfUnixToolsKeepTheirBytesWhenTheDirectoryIsWritten) {
  struct TCase {
    const char* what;
    uint16_t version;
    std::string bytes;
    std::string withOem;
    std::string withoutOem;
  };
  const TCase cases[] = {
      {"zip, UTF-8", kUnixZip, "sub/caf\xC3\xA9.txt", "sub/caf\xC3\xA9.txt", "sub/caf\xC3\xA9.txt"},
      {"python, OEM", 0x0314, "caf\x82.txt", "caf\xC3\xA9.txt", "caf\xE2\x80\x9A.txt"},
  };
  std::vector<TTestItem> items;
  for (const TCase& c : cases) {
    items.push_back(Entry(c.bytes, c.what));
    items.back().Version = c.version;
  }
  const TTestArchive a = BuildArchive(items, Opt().WithComment("old"));
  for (const bool oem : {true, false}) {
    SCOPED_TRACE(oem ? "OEM names" : "ANSI names");
    FHost.Oem = oem;
    std::vector<std::string> names;
    for (const TCase& c : cases)
      names.push_back(oem ? c.withOem : c.withoutOem);
    TKelDirManager& dm = Load(a.Bytes);
    EXPECT_EQ(NamesOf(dm), names);
    dm.ArchiveComment = "new";
    dm.SaveDir(false);
    const TBytes bytes = BytesOf(FStream);
    const size_t lengthAt = a.EndPos + eocdf::CommentLength;
    ASSERT_EQ(bytes.size(), a.Bytes.size());
    EXPECT_EQ(TBytes(bytes.begin(), bytes.begin() + lengthAt),
              TBytes(a.Bytes.begin(), a.Bytes.begin() + lengthAt));
    TKelDirManager back(&FStream, false, &FHost);
    back.LoadDir();
    EXPECT_EQ(NamesOf(back), names);

    // The OEM form of this name would pass for UTF-8: it is stored as UTF-8
    // with bit 11 instead, as a name of the ANSI page without.
    TKelDirManager& renamed = Load(a.Bytes);
    renamed.CDir.SetItemName(0, u"\u00B5\u00E4\u00F6.txt");
    renamed.SaveDir(false);
    const TBytes after = BytesOf(FStream);
    const auto dir = static_cast<size_t>(a.Central[0]);
    const std::string stored = oem ? "\xC2\xB5\xC3\xA4\xC3\xB6.txt" : "\xB5\xE4\xF6.txt";
    EXPECT_EQ(std::string(after.begin() + dir + 46, after.begin() + dir + 46 + stored.size()),
              stored);
    EXPECT_EQ(Get(after, dir + cdf::Flag, 2), oem ? KelFlagUtf8Name : 0u);
    TKelDirManager renamedBack(&FStream, false, &FHost);
    renamedBack.LoadDir();
    EXPECT_EQ(NamesOf(renamedBack),
              (std::vector<std::string>{"\xC2\xB5\xC3\xA4\xC3\xB6.txt", names[1]}));
  }
}

// Nothing of a directory described by Zip64 records may remain after it is
// replaced by a shorter one: the old Zip64 records lie between the directory
// and the end record, where the end record's size does not reach.
TEST_F(DirWriterInPlace, AShorterDirectoryLeavesNothingOfAZip64One) {
  for (bool escaped : {false, true}) {
    SCOPED_TRACE(escaped ? "escaped end record" : "plain end record");
    const TTestArchive a =
        BuildArchive(NumberedItems(5), Opt().WithZip64(escaped).WithComment("comment"));
    TKelDirManager& dm = Load(a.Bytes);
    ASSERT_TRUE(dm.Zip64());
    // Not the last item: its local header behind the last listed one would
    // make the archive refuse to open again.
    dm.CDir.DeleteItem(3);
    dm.CDir.DeleteItem(1);
    dm.SaveDir(false);
    const TBytes bytes = BytesOf(FStream);

    // Exactly the items' data, then the new directory: as if written afresh.
    TMemoryStream fresh = MemoryOf(TBytes(a.Bytes.begin(), a.Bytes.begin() + a.DirStart));
    TFakeHost freshHost(&fresh);
    TKelDirManager copy(&fresh, false, &freshHost);
    copy.CDir.Assign(dm.CDir);
    copy.ArchiveComment = "comment";
    copy.SaveDir(true);
    EXPECT_EQ(bytes, BytesOf(fresh));
    EXPECT_EQ(dm.CentralDirOffset, a.DirStart);
    EXPECT_FALSE(dm.Zip64());

    size_t headers = 0;
    for (size_t i = 0; i + 4 <= bytes.size(); ++i)
      headers += Get(bytes, i, 4) == KelCentralFileHeaderSig;
    EXPECT_EQ(headers, 3u);
    TKelDirManager back(&FStream, false, &FHost);
    back.LoadDir();
    EXPECT_EQ(NamesOf(back), (std::vector<std::string>{"file0.txt", "file2.txt", "file4.txt"}));
  }
}

TEST_F(DirWriterInPlace, ADirectoryWrittenWithZip64RecordsIsReplacedWhole) {
  TMemoryStream stream;
  FHost.Stream = &stream;
  TKelDirManager dm(&stream, false, &FHost);
  FillItems(dm, 65535);
  dm.SaveDir(true);
  ASSERT_TRUE(dm.Zip64());
  dm.CDir.SetCount(2);
  dm.SaveDir(false);
  const TBytes bytes = BytesOf(stream);
  EXPECT_EQ(bytes.size(), 2 * (46 + 2) + 22u);
  EXPECT_EQ(Get(bytes, 2 * 48, 4), KelCentralDirEndSig);
}

// An archive given a stub afterwards gets offsets that count it (the step that
// makes a self-extractor); the items' bytes stay as they are.
TEST_F(DirWriterInPlace, OffsetsOfAnArchiveBehindAStubComeToCountIt) {
  const TTestArchive a = BuildArchive(NumberedItems(3), Opt().WithStub(std::string(3000, 'M')));
  TKelDirManager& dm = Load(a.Bytes);
  dm.SaveDir(false);
  const TBytes bytes = BytesOf(FStream);
  EXPECT_EQ(TBytes(bytes.begin(), bytes.begin() + a.DirStart),
            TBytes(a.Bytes.begin(), a.Bytes.begin() + a.DirStart));
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(Get(bytes, a.Central[i] + cdf::Offset, 4), static_cast<uint64_t>(a.Local[i]));
  EXPECT_EQ(Get(bytes, a.EndPos + eocdf::DirOffset, 4), static_cast<uint64_t>(a.DirStart));
  TKelDirManager back(&FStream, false, &FHost);
  back.LoadDir();
  EXPECT_EQ(back.StubSize, 3000);
  EXPECT_EQ(Item(back, 2).LocalHeaderOffset(), static_cast<uint64_t>(a.Local[2]));
}

// After a rebuild the old directory's place is unknown: the new one goes
// behind everything, so that no item's bytes can be cut.
TEST_F(DirWriterInPlace, AfterARebuildTheDirectoryIsAppended) {
  // The end record lies: its directory would begin inside the last item.
  TTestArchive a = BuildArchive(NumberedItems(3));
  PutU32(a.Bytes, a.EndPos + eocdf::DirSize, a.EndPos - a.Local[2]);
  PutU32(a.Bytes, a.EndPos + eocdf::DirOffset, 0);
  FHost.Corrupted = true;
  TKelDirManager& dm = Load(a.Bytes);
  ASSERT_EQ(dm.CDir.Count(), 3);
  dm.SaveDir(false);
  const TBytes bytes = BytesOf(FStream);
  ASSERT_GT(bytes.size(), a.Bytes.size());
  EXPECT_EQ(TBytes(bytes.begin(), bytes.begin() + a.Bytes.size()), a.Bytes);
  TKelDirManager back(&FStream, false, &FHost);
  FHost.Corrupted = false;
  back.LoadDir();
  EXPECT_EQ(NamesOf(back), (std::vector<std::string>{"file0.txt", "file1.txt", "file2.txt"}));
}

TEST_F(DirWriterInPlace, WhatCannotBeStoredIsRefusedBeforeTheStreamChanges) {
  const TTestArchive a = BuildArchive(NumberedItems(3), Opt().WithComment("keep"));
  const std::vector<std::pair<const char*, std::function<void(TKelDirManager&)>>> cases = {
      {"archive comment", [](TKelDirManager& dm) { dm.ArchiveComment.assign(65536, 'c'); }},
      {"item comment",
       [](TKelDirManager& dm) { dm.CDir.GetItemPtr(2).SetComment(AnsiString(65536, 'c')); }},
      {"extra fields",
       [](TKelDirManager& dm) {
         for (int i = 0; i < 2; ++i)
           dm.CDir.GetItemPtr(2).ExtraFields.push_back(
               TKelExtraFieldDataBlock(0xCAFE, TBytes(40000, 'e')));
       }},
      {"name", [](TKelDirManager& dm) { dm.CDir.SetItemName(2, std::u16string(70000, u'n')); }},
  };
  for (const auto& [label, spoil] : cases) {
    SCOPED_TRACE(label);
    TKelDirManager& dm = Load(a.Bytes);
    spoil(dm);
    const TKelZipCentralDirEnd before = dm.CentralDirEnd;
    EXPECT_THROW(dm.SaveDir(false), Exception);
    EXPECT_EQ(BytesOf(FStream), a.Bytes);
    EXPECT_EQ(dm.CentralDirEnd, before);
  }
}

TEST(DirWriter, AShortWriteFailsWithWriteErrorAndKeepsWhatWasWritten) {
  const TTestArchive a = BuildArchive(NumberedItems(20));
  TFailingStream stream(a.DirStart + 100);
  stream.WriteBuffer(a.Bytes.data(), a.DirStart);
  stream.FailWrites = true;
  TFakeHost host(&stream);
  TMemoryStream source = MemoryOf(a.Bytes);
  TKelDirManager dm(&source, false, &host);
  dm.LoadDir();
  try {
    dm.SaveDir(true, &stream);
    ADD_FAILURE() << "no error";
  } catch (const EKelException& e) {
    EXPECT_EQ(e.NativeError, 46);
    EXPECT_STREQ(e.what(), "Archiver: Write to stream error - Native error: 00046");
  }
  const TBytes bytes = BytesOf(stream);
  EXPECT_EQ(bytes.size(), static_cast<size_t>(a.DirStart + 100));
  EXPECT_EQ(bytes, TBytes(a.Bytes.begin(), a.Bytes.begin() + a.DirStart + 100));
}

// With volumes, each header goes out with the room its record needs behind it,
// so that no record is cut; the directory read back switches volumes.
TEST(DirWriter, ADirectoryOverVolumesKeepsEveryRecordWholeAndReadsBack) {
  TFakeHost host;
  host.StartVolumes(smSplitting, 200);
  TMemoryStream renamed;
  host.RenamedStream = &renamed;
  TKelDirManager dm(host.Stream, false, &host);
  FillItems(dm, 12);
  for (int32_t i = 0; i < 12; ++i) {
    TDirItem& item = dm.CDir.GetItemPtr(i);
    dm.CDir.SetItemName(i, FromUtf8("volume item " + std::to_string(i)));
    item.SetComment(AnsiString(static_cast<size_t>(i % 3) * 9, 'c'));
    item.CentralDir.relOffsetLH = 1000u * i;
  }
  dm.SaveDir(true);

  EXPECT_GT(host.Volumes.size(), 3u);
  EXPECT_EQ(host.Renames, 1);
  EXPECT_EQ(dm.CompressedStream(), &renamed);
  EXPECT_EQ(dm.CentralDirEnd.diskNumber, host.Volumes.size() - 1);
  EXPECT_EQ(dm.CentralDirEnd.startDiskNumber, 0);
  size_t headers = 0;
  for (const TFakeHost::TWriteCall& call : host.Writes) {
    if (call.MinFree == -1) continue;
    ++headers;
    EXPECT_EQ(call.Count, 46);
    EXPECT_TRUE(call.Buffered);
  }
  EXPECT_EQ(headers, 12u);

  TFakeHost reader;
  reader.Mode = smSplitting;
  reader.Volumes = std::move(host.Volumes);
  reader.Stream = reader.Volumes.back().get();
  reader.Corrupted = false;
  TKelDirManager back(reader.Stream, false, &reader);
  back.LoadDir();
  ExpectSameItems(dm, back);
  EXPECT_EQ(reader.Opened.front(), 0);
  EXPECT_EQ(reader.Opened.size(), reader.Volumes.size());
}

}  // namespace
}  // namespace kelvane::test
