#include <gtest/gtest.h>

#include "coding/KelCrc32.h"
#include "container/KelExtraField.h"

namespace kelvane {
namespace {

TBytes Concat(std::initializer_list<TBytes> parts) {
  TBytes out;
  for (const TBytes& p : parts)
    out.insert(out.end(), p.begin(), p.end());
  return out;
}

TBytes Header(uint16_t id, uint16_t size) {
  return {static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(size),
          static_cast<uint8_t>(size >> 8)};
}

TEST(ExtraArea, ParsesBlocksAndCutsOrDropsWhatOverruns) {
  struct TCase {
    const char* what;
    TBytes area;
    TKelExtraFields expected;
    bool whole;
  };
  const TCase cases[] = {
      {"empty area", {}, {}, true},
      {"one block", Concat({Header(0x1234, 2), {0xAB, 0xCD}}), {{0x1234, {0xAB, 0xCD}}}, true},
      {"blocks back to back, one without data",
       Concat({Header(0x0001, 0), Header(0xCAFE, 1), {0x7F}}),
       {{0x0001, {}}, {0xCAFE, {0x7F}}},
       true},
      {"data size past the end is cut to what remains",
       Concat({Header(0x0001, 1), {0x11}, Header(0x9901, 10), {1, 2, 3}}),
       {{0x0001, {0x11}}, {0x9901, {1, 2, 3}}},
       false},
      {"a tail too short for a header is dropped",
       Concat({Header(0x554E, 1), {0x22}, {0x00, 0x00}}),
       {{0x554E, {0x22}}},
       false},
      {"three bytes alone", {0x01, 0x00, 0x05}, {}, false},
  };
  for (const TCase& c : cases) {
    TKelExtraFields blocks;
    EXPECT_EQ(ParseExtraFields(c.area, blocks), c.whole) << c.what;
    EXPECT_EQ(blocks, c.expected) << c.what;
  }
}

TEST(ExtraArea, WellFormedAreaWritesBackByteForByte) {
  const TBytes area =
      Concat({Header(0xCAFE, 3), {1, 2, 3}, Header(0x0001, 0), Header(0x9901, 7), TBytes(7, 9)});
  TKelExtraFields blocks{{0x7777, {5}}};  // parsing appends to what is there
  ASSERT_TRUE(ParseExtraFields(area, blocks));
  ASSERT_EQ(blocks.size(), 4u);
  blocks.erase(blocks.begin());
  TBytes written;
  TKelByteWriter out(written);
  WriteExtraFields(blocks, out);
  EXPECT_EQ(written, area);
}

TEST(ExtraArea, EveryTruncationStaysInsideTheArea) {
  const TBytes area =
      Concat({Header(0x0001, 8), TBytes(8, 0xFF), Header(0x554E, 4), {'N', 'U', 'C', 'X'}});
  for (size_t n = 0; n <= area.size(); ++n) {
    const TBytes cut(area.begin(), area.begin() + static_cast<ptrdiff_t>(n));
    TKelExtraFields blocks;
    const bool whole = ParseExtraFields(cut, blocks);
    size_t consumed = 0;
    for (const auto& b : blocks)
      consumed += b.DiskSize();
    EXPECT_LE(consumed, n);
    EXPECT_EQ(whole, n == 0 || n == 12 || n == area.size()) << n;
  }
}

TEST(ExtraBlock, RefusesMoreDataThanTheSizeFieldHolds) {
  EXPECT_NO_THROW(TKelExtraFieldDataBlock(0xCAFE, TBytes(0xFFFF)));
  EXPECT_THROW(TKelExtraFieldDataBlock(0xCAFE, TBytes(0x10000)), Exception);
  TKelExtraFieldDataBlock grown(0xCAFE, {});
  grown.pData.resize(0x10000);
  TBytes out;
  TKelByteWriter w(out);
  EXPECT_THROW(grown.Write(w), Exception);
  EXPECT_TRUE(out.empty());
}

TKelZip64Escapes EscapesOfMask(unsigned mask) {
  return {(mask & 1) != 0, (mask & 2) != 0, (mask & 4) != 0, (mask & 8) != 0};
}

const TKelZip64ExtendedInfo kBig{0x1'2345'6789, 0x2'0000'0001, 0x3'FFFF'FFFE, 0x10002};

TEST(Zip64ExtendedInfo, EverySubsetOfTheConditionalFieldsRoundTrips) {
  for (unsigned mask = 0; mask < 16; ++mask) {
    const TKelZip64Escapes escapes = EscapesOfMask(mask);
    const TKelExtraFieldDataBlock block = BuildZip64ExtraField(escapes, kBig);
    EXPECT_EQ(block.headerID, KelZip64ExtraId);
    EXPECT_EQ(block.dataSize(), escapes.DataSize()) << mask;
    EXPECT_EQ(escapes.Any(), mask != 0);

    TKelZip64ExtendedInfo read;
    ReadZip64ExtendedInfo(block.pData, escapes, read);
    const TKelZip64ExtendedInfo expected{escapes.unCompSize ? kBig.uncompSize : 0,
                                         escapes.compSize ? kBig.compSize : 0,
                                         escapes.relOffsetLH ? kBig.relOffsetLH : 0,
                                         escapes.diskNumberStart ? kBig.diskNumberStart : 0};
    EXPECT_EQ(read, expected) << "mask " << mask;
  }
}

TEST(Zip64ExtendedInfo, ValuesStandInTheFixedOrder) {
  const TKelExtraFieldDataBlock block =
      BuildZip64ExtraField({false, true, false, true}, {1, 0x0807060504030201, 3, 0x0C0B0A09});
  EXPECT_EQ(block.pData, (TBytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
  TBytes disk;
  TKelByteWriter out(disk);
  block.Write(out);
  EXPECT_EQ(TBytes(disk.begin(), disk.begin() + 4), Header(0x0001, 12));
}

TEST(Zip64ExtendedInfo, ShortDataLeavesTheMissingValuesAlone) {
  const TKelZip64Escapes all{true, true, true, true};
  const TBytes full = BuildZip64ExtraField(all, kBig).pData;
  // Only whole values in order are taken: 4 bytes after the compressed size are
  // not the disk number, they are the start of the cut offset.
  struct TCase {
    size_t size;
    TKelZip64ExtendedInfo expected;
  };
  const TCase cases[] = {
      {0, {}},
      {7, {}},
      {8, {kBig.uncompSize, 0, 0, 0}},
      {12, {kBig.uncompSize, 0, 0, 0}},
      {16, {kBig.uncompSize, kBig.compSize, 0, 0}},
      {20, {kBig.uncompSize, kBig.compSize, 0, 0}},
      {24, {kBig.uncompSize, kBig.compSize, kBig.relOffsetLH, 0}},
      {27, {kBig.uncompSize, kBig.compSize, kBig.relOffsetLH, 0}},
      {28, kBig},
  };
  for (const TCase& c : cases) {
    const TBytes cut(full.begin(), full.begin() + static_cast<ptrdiff_t>(c.size));
    TKelZip64ExtendedInfo read;
    ReadZip64ExtendedInfo(cut, all, read);
    EXPECT_EQ(read, c.expected) << c.size;
  }
  // Only the uncompressed size escaped: an 8-byte field gives just that.
  TKelZip64ExtendedInfo read;
  ReadZip64ExtendedInfo(TBytes(full.begin(), full.begin() + 8), {true, false, false, false}, read);
  EXPECT_EQ(read, (TKelZip64ExtendedInfo{kBig.uncompSize, 0, 0, 0}));
}

TEST(Zip64ExtendedInfo, EscapesComeFromTheHeaderFields) {
  TKelZipCentralDir central;
  central.compSize = KelZip64Escape32;
  central.diskNumberStart = KelZip64Escape16;
  central.relOffsetLH = 0xFFFFFFFE;
  const TKelZip64Escapes c = Zip64EscapesOf(central);
  EXPECT_FALSE(c.unCompSize);
  EXPECT_TRUE(c.compSize);
  EXPECT_FALSE(c.relOffsetLH);
  EXPECT_TRUE(c.diskNumberStart);
  EXPECT_EQ(c.DataSize(), 12);

  TKelZipLocalFileHeader local;
  local.unCompSize = local.compSize = KelZip64Escape32;
  const TKelExtraFieldDataBlock block = BuildLocalZip64ExtraField(7, 9);
  EXPECT_EQ(block.dataSize(), KelLocalZip64ExtraDataSize);
  TKelZip64ExtendedInfo read;
  ReadZip64ExtendedInfo(block.pData, Zip64EscapesOf(local), read);
  EXPECT_EQ(read, (TKelZip64ExtendedInfo{7, 9, 0, 0}));
}

TEST(AesExtraField, KnownBytesAndRoundTrip) {
  const TKelAesExtraField field{2, KelAesVendorId, 3, KelMethodDeflate};
  const TKelExtraFieldDataBlock block = field.ToBlock();
  EXPECT_EQ(block.headerID, KelAesExtraId);
  EXPECT_EQ(block.pData, (TBytes{0x02, 0x00, 'A', 'E', 0x03, 0x08, 0x00}));
  TKelAesExtraField read;
  ASSERT_TRUE(read.Read(block.pData));
  EXPECT_EQ(read, field);
}

TEST(AesExtraField, ShortDataIsNotRead) {
  const TKelAesExtraField before{1, 2, 3, 4};
  for (size_t n = 0; n < KelAesExtraDataSize; ++n) {
    TKelAesExtraField read = before;
    EXPECT_FALSE(read.Read(TBytes(n, 0x55))) << n;
    EXPECT_EQ(read, before);
  }
}

TBytes UnicodeData(int32_t count, std::u16string_view units) {
  TBytes data{'N', 'U', 'C', 'X'};
  TKelByteWriter out(data);
  out.I32(count);
  for (char16_t c : units)
    out.U16(c);
  return data;
}

TEST(UnicodeNameField, BuildsAndLoadsTheName) {
  const UString name = u"\u0391\u03B8\u03AE\u03BD\u03B1/\u03C6\u03C9\u03C2.txt";
  const TKelExtraFieldDataBlock block = BuildUnicodeNameField(name);
  EXPECT_EQ(block.headerID, KelUnicodeNameExtraId);
  EXPECT_EQ(block.pData, UnicodeData(static_cast<int32_t>(name.size()), name));
  TUnicodeExtendedInfo info;
  ASSERT_TRUE(info.Load(block.pData.data(), block.dataSize()));
  EXPECT_EQ(info.FName, name);
  EXPECT_EQ(info.FAdditionalSignature, TUnicodeExtendedInfo::Signature);

  TMemoryStream stream;
  info.SaveToStream(stream);
  EXPECT_EQ(stream.Bytes(), block.pData);
}

TEST(UnicodeNameField, SelfContradictingFieldsAreIgnored) {
  struct TCase {
    const char* what;
    TBytes data;
    bool loads;
    UString name;
  };
  const TCase cases[] = {
      {"exact", UnicodeData(2, u"ab"), true, u"ab"},
      {"empty name", UnicodeData(0, u""), true, u""},
      {"a stray byte after the name", Concat({UnicodeData(1, u"a"), {0x00}}), true, u"a"},
      {"negative count", UnicodeData(-1, u"ab"), false, u"keep"},
      {"most negative count", UnicodeData(INT32_MIN, u""), false, u"keep"},
      {"count larger than the data", UnicodeData(3, u"ab"), false, u"keep"},
      {"huge count", UnicodeData(INT32_MAX, u"ab"), false, u"keep"},
      {"half a code unit", Concat({UnicodeData(1, u""), {0x41}}), false, u"keep"},
      {"count cut", {'N', 'U', 'C', 'X', 1, 0}, false, u"keep"},
      {"wrong signature", Concat({{'N', 'U', 'C', 'Y'}, UnicodeData(1, u"a")}), false, u"keep"},
      {"nothing", {}, false, u"keep"},
  };
  for (const TCase& c : cases) {
    TUnicodeExtendedInfo info;
    info.FName = u"keep";
    EXPECT_EQ(info.Load(c.data.data(), static_cast<int32_t>(c.data.size())), c.loads) << c.what;
    EXPECT_EQ(info.FName, c.name) << c.what;
  }
}

TEST(UnicodeNameField, WrongSignatureIsKeptAsRead) {
  const TBytes data{'A', 'B', 'C', 'D', 0, 0, 0, 0};
  TUnicodeExtendedInfo info;
  EXPECT_FALSE(info.Load(data.data(), 8));
  EXPECT_EQ(info.FAdditionalSignature, 0x44434241);
}

TEST(UnicodeNameField, BadArgumentsAndEveryTruncation) {
  TUnicodeExtendedInfo info;
  const TBytes full = UnicodeData(3, u"xyz");
  EXPECT_FALSE(info.Load(full.data(), -1));
  EXPECT_FALSE(info.Load(nullptr, 4));
  for (size_t n = 0; n < full.size(); ++n) {
    const TBytes cut(full.begin(), full.begin() + static_cast<ptrdiff_t>(n));
    info.FName = u"keep";
    EXPECT_FALSE(info.Load(cut.data(), static_cast<int32_t>(n))) << n;
    EXPECT_EQ(info.FName, u"keep");
  }
}

TEST(UnicodeNameField, NameMustFitOneBlock) {
  EXPECT_EQ(BuildUnicodeNameField(UString(32763, u'x')).dataSize(), 0xFFFF - 1);
  EXPECT_THROW(BuildUnicodeNameField(UString(32764, u'x')), Exception);
}

// ---- Unicode path field (0x7075), read only

uint32_t CrcOf(std::string_view bytes) {
  return Crc32Of(bytes.data(), bytes.size());
}

TBytes PathData(uint8_t version, uint32_t crc, std::string name) {
  return TKelUnicodePathExtraField{version, crc, std::move(name)}.ToBlock().pData;
}

TEST(UnicodePathField, KnownBytesAndRoundTrip) {
  const TKelUnicodePathExtraField field{1, 0x11223344, "caf\xC3\xA9"};
  const TKelExtraFieldDataBlock block = field.ToBlock();
  EXPECT_EQ(block.headerID, KelUnicodePathExtraId);
  EXPECT_EQ(block.pData, (TBytes{0x01, 0x44, 0x33, 0x22, 0x11, 'c', 'a', 'f', 0xC3, 0xA9}));
  TKelUnicodePathExtraField read;
  ASSERT_TRUE(read.Read(block.pData));
  EXPECT_EQ(read, field);
  for (size_t n = 0; n < KelUnicodePathHeaderSize; ++n) {
    TKelUnicodePathExtraField shortRead = field;
    EXPECT_FALSE(shortRead.Read(TBytes(block.pData.begin(), block.pData.begin() + n))) << n;
    EXPECT_EQ(shortRead, field);
  }
}

TEST(UnicodePathField, NamesOnlyTheHeaderBytesItWasWrittenFor) {
  const std::string raw = "sub/caf\xC3\xA9.txt";  // UTF-8 stored without flag bit 11
  const uint32_t crc = CrcOf(raw);
  struct TCase {
    const char* what;
    TBytes data;
    std::optional<UString> name;
  };
  const TCase cases[] = {
      {"valid", PathData(1, crc, raw), u"sub/caf\u00e9.txt"},
      {"a character beyond 16 bits", PathData(1, crc, "\xF0\x9F\x98\x80.txt"), u"\U0001F600.txt"},
      {"CRC of other bytes: stale", PathData(1, crc ^ 0x80000000, raw), std::nullopt},
      {"version 0", PathData(0, crc, raw), std::nullopt},
      {"version 2", PathData(2, crc, raw), std::nullopt},
      {"no room for the CRC",
       {1, static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8)},
       std::nullopt},
      {"no name", PathData(1, crc, ""), std::nullopt},
      {"a zero byte in the name", PathData(1, crc, std::string("a\0b", 3)), std::nullopt},
      {"a lone continuation byte", PathData(1, crc, "caf\xA9"), std::nullopt},
      {"an overlong form", PathData(1, crc, "\xC0\xAF"), std::nullopt},
      {"an encoded surrogate", PathData(1, crc, "\xED\xA0\x80"), std::nullopt},
      {"a sequence cut at the end", PathData(1, crc, "caf\xC3"), std::nullopt},
      {"Latin-1 bytes", PathData(1, crc, "caf\xE9"), std::nullopt},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(UnicodePathFieldName(c.data, raw), c.name) << c.what;
}

// The CRC is of the bytes as stored, all of them: also those behind a zero byte,
// which the name read from the bytes does not keep.
TEST(UnicodePathField, TheCrcCoversEveryStoredByte) {
  const std::string raw("\0\x01\x02name", 7);
  EXPECT_EQ(UnicodePathFieldName(PathData(1, CrcOf(raw), "name"), raw), UString(u"name"));
  EXPECT_EQ(UnicodePathFieldName(PathData(1, CrcOf(""), "name"), raw), std::nullopt);
  EXPECT_EQ(UnicodePathFieldName(PathData(1, CrcOf("name"), "name"), raw), std::nullopt);
}

}  // namespace
}  // namespace kelvane
