#include <gtest/gtest.h>

#include <numeric>

#include "container/KelZipRecords.h"

namespace kelvane {
namespace {

// Bytes 00 01 02 ... so that every field reads as a distinct, predictable value:
// a field at the wrong offset or of the wrong width shows up at once.
template <size_t N>
std::array<uint8_t, N> Sequence() {
  std::array<uint8_t, N> bytes;
  std::iota(bytes.begin(), bytes.end(), uint8_t{0});
  return bytes;
}

template <class R>
class ZipRecord : public ::testing::Test {};

using RecordTypes =
    ::testing::Types<TKelZipLocalFileHeader, TKelZipDataDescriptor, TKelZipCentralDir,
                     TKelZipCentralDirEnd, TKelZip64CentralDirEnd, TKelZip64CentralDirEndLocator>;
TYPED_TEST_SUITE(ZipRecord, RecordTypes);

TYPED_TEST(ZipRecord, BytesRoundTripThroughTheRecord) {
  const auto bytes = Sequence<TypeParam::Size>();
  TypeParam record;
  ASSERT_TRUE(record.Read(bytes));
  EXPECT_EQ(record.ToBytes(), bytes);

  TBytes written;
  TKelByteWriter out(written);
  record.Write(out);
  EXPECT_EQ(written, TBytes(bytes.begin(), bytes.end()));

  TypeParam again;
  ASSERT_TRUE(again.Read(record.ToBytes()));
  EXPECT_EQ(again, record);
}

TYPED_TEST(ZipRecord, EveryTruncationFailsAndLeavesTheRecordAlone) {
  const auto full = Sequence<TypeParam::Size>();
  TypeParam sentinel;
  ASSERT_TRUE(sentinel.Read(full));
  for (size_t n = 0; n < TypeParam::Size; ++n) {
    // A heap buffer of exactly n bytes, so that any read past it is caught.
    const TBytes cut(full.begin(), full.begin() + static_cast<ptrdiff_t>(n));
    TypeParam record = sentinel;
    EXPECT_FALSE(record.Read(cut)) << "bytes: " << n;
    EXPECT_EQ(record, sentinel) << "bytes: " << n;
  }
}

TYPED_TEST(ZipRecord, TrailingBytesAreNotPartOfTheRecord) {
  TBytes bytes(TypeParam::Size + 5, 0xEE);
  TypeParam record;
  ASSERT_TRUE(record.Read(bytes));
  const auto back = record.ToBytes();
  EXPECT_EQ(TBytes(back.begin(), back.end()), TBytes(TypeParam::Size, 0xEE));
}

TYPED_TEST(ZipRecord, StreamHelpersReadAndWriteExactlyOneRecord) {
  TypeParam record;
  ASSERT_TRUE(record.Read(Sequence<TypeParam::Size>()));
  TMemoryStream stream;
  WriteRecord(stream, record);
  WriteRecord(stream, record);
  EXPECT_EQ(stream.Size(), static_cast<int64_t>(2 * TypeParam::Size));

  stream.SetPosition(1);
  TypeParam shifted;
  ReadRecord(stream, shifted);
  EXPECT_NE(shifted, record);
  EXPECT_EQ(stream.Position(), static_cast<int64_t>(TypeParam::Size + 1));

  stream.SetPosition(TypeParam::Size + 1);  // one byte short of a whole record
  TypeParam untouched;
  EXPECT_THROW(ReadRecord(stream, untouched), EReadError);
  EXPECT_EQ(untouched, TypeParam());
}

TEST(ZipRecordLayout, LocalFileHeaderFieldOffsets) {
  TKelZipLocalFileHeader r;
  ASSERT_TRUE(r.Read(Sequence<30>()));
  EXPECT_EQ(r.signature, 0x03020100u);
  EXPECT_EQ(r.extractVersion, 0x0504);
  EXPECT_EQ(r.genPurposeFlag, 0x0706);
  EXPECT_EQ(r.compMethod, 0x0908);
  EXPECT_EQ(r.lastModTime, 0x0B0A);
  EXPECT_EQ(r.lastModDate, 0x0D0C);
  EXPECT_EQ(r.crc32, 0x11100F0Eu);
  EXPECT_EQ(r.compSize, 0x15141312u);
  EXPECT_EQ(r.unCompSize, 0x19181716u);
  EXPECT_EQ(r.nameLength, 0x1B1A);
  EXPECT_EQ(r.extraLength, 0x1D1C);
}

TEST(ZipRecordLayout, DataDescriptorFieldOffsets) {
  TKelZipDataDescriptor r;
  ASSERT_TRUE(r.Read(Sequence<16>()));
  EXPECT_EQ(r.signature, 0x03020100u);
  EXPECT_EQ(r.crc32, 0x07060504u);
  EXPECT_EQ(r.compSize, 0x0B0A0908u);
  EXPECT_EQ(r.unCompSize, 0x0F0E0D0Cu);
}

TEST(ZipRecordLayout, CentralFileHeaderFieldOffsets) {
  TKelZipCentralDir r;
  ASSERT_TRUE(r.Read(Sequence<46>()));
  EXPECT_EQ(r.signature, 0x03020100u);
  EXPECT_EQ(r.versionMadeBy, 0x0504);
  EXPECT_EQ(r.extractVersion, 0x0706);
  EXPECT_EQ(r.genPurposeFlag, 0x0908);
  EXPECT_EQ(r.compMethod, 0x0B0A);
  EXPECT_EQ(r.lastModTime, 0x0D0C);
  EXPECT_EQ(r.lastModDate, 0x0F0E);
  EXPECT_EQ(r.crc32, 0x13121110u);
  EXPECT_EQ(r.compSize, 0x17161514u);
  EXPECT_EQ(r.unCompSize, 0x1B1A1918u);
  EXPECT_EQ(r.nameLength, 0x1D1C);
  EXPECT_EQ(r.extraLength, 0x1F1E);
  EXPECT_EQ(r.commentLength, 0x2120);
  EXPECT_EQ(r.diskNumberStart, 0x2322);
  EXPECT_EQ(r.internalAttr, 0x2524);
  EXPECT_EQ(r.externalAttr, 0x29282726u);
  EXPECT_EQ(r.relOffsetLH, 0x2D2C2B2Au);
}

TEST(ZipRecordLayout, EndRecordFieldOffsets) {
  TKelZipCentralDirEnd r;
  ASSERT_TRUE(r.Read(Sequence<22>()));
  EXPECT_EQ(r.signature, 0x03020100u);
  EXPECT_EQ(r.diskNumber, 0x0504);
  EXPECT_EQ(r.startDiskNumber, 0x0706);
  EXPECT_EQ(r.entriesOnDisk, 0x0908);
  EXPECT_EQ(r.entriesCentralDir, 0x0B0A);
  EXPECT_EQ(r.centralDirSize, 0x0F0E0D0Cu);
  EXPECT_EQ(r.offsetStartDir, 0x13121110u);
  EXPECT_EQ(r.commentLength, 0x1514);
}

TEST(ZipRecordLayout, Zip64EndRecordFieldOffsets) {
  TKelZip64CentralDirEnd r;
  ASSERT_TRUE(r.Read(Sequence<56>()));
  EXPECT_EQ(r.signature, 0x03020100u);
  EXPECT_EQ(r.centralDirEndSize, 0x0B0A090807060504u);
  EXPECT_EQ(r.versionMadeBy, 0x0D0C);
  EXPECT_EQ(r.versionNeededToExtract, 0x0F0E);
  EXPECT_EQ(r.diskNumber, 0x13121110u);
  EXPECT_EQ(r.startDiskNumber, 0x17161514u);
  EXPECT_EQ(r.entriesOnDisk, 0x1F1E1D1C1B1A1918u);
  EXPECT_EQ(r.entriesCentralDir, 0x2726252423222120u);
  EXPECT_EQ(r.centralDirSize, 0x2F2E2D2C2B2A2928u);
  EXPECT_EQ(r.offsetStartDir, 0x3736353433323130u);
}

TEST(ZipRecordLayout, Zip64LocatorFieldOffsets) {
  TKelZip64CentralDirEndLocator r;
  ASSERT_TRUE(r.Read(Sequence<20>()));
  EXPECT_EQ(r.signature, 0x03020100u);
  EXPECT_EQ(r.startDiskNumber, 0x07060504u);
  EXPECT_EQ(r.offsetStartDirEnd, 0x0F0E0D0C0B0A0908u);
  EXPECT_EQ(r.totalNumberOfDisks, 0x13121110u);
}

TEST(ZipRecordLayout, SignaturesAppearAsTheirFileBytes) {
  struct TCase {
    uint32_t signature;
    std::array<uint8_t, 4> bytes;
  };
  const TCase cases[] = {
      {KelLocalFileHeaderSig, {0x50, 0x4B, 0x03, 0x04}},
      {KelCentralFileHeaderSig, {0x50, 0x4B, 0x01, 0x02}},
      {KelDataDescriptorSig, {0x50, 0x4B, 0x07, 0x08}},
      {KelZip64CentralDirEndSig, {0x50, 0x4B, 0x06, 0x06}},
      {KelZip64CentralDirEndLocatorSig, {0x50, 0x4B, 0x06, 0x07}},
      {KelCentralDirEndSig, {0x50, 0x4B, 0x05, 0x06}},
  };
  for (const TCase& c : cases) {
    TKelZipDataDescriptor r;  // any record with the signature first
    r.signature = c.signature;
    const auto bytes = r.ToBytes();
    EXPECT_TRUE(std::equal(c.bytes.begin(), c.bytes.end(), bytes.begin()))
        << std::hex << c.signature;
  }
}

// The end record of an archive holding one 5-byte stored file "a.txt" made by a
// common tool, and a Zip64 end record and locator as this engine writes them.
TEST(ZipRecordLayout, KnownRecordsReadAsExpected) {
  const uint8_t end[] = {0x50, 0x4B, 0x05, 0x06, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01,
                         0x00, 0x33, 0x00, 0x00, 0x00, 0x28, 0x00, 0x00, 0x00, 0x00, 0x00};
  TKelZipCentralDirEnd e;
  ASSERT_TRUE(e.Read(end));
  EXPECT_EQ(e.signature, KelCentralDirEndSig);
  EXPECT_EQ(e.entriesOnDisk, 1);
  EXPECT_EQ(e.entriesCentralDir, 1);
  EXPECT_EQ(e.centralDirSize, 0x33u);
  EXPECT_EQ(e.offsetStartDir, 0x28u);
  EXPECT_EQ(e.commentLength, 0);

  TKelZip64CentralDirEnd z;
  z.signature = KelZip64CentralDirEndSig;
  z.centralDirEndSize = KelZip64CentralDirEndRestSize;
  z.versionMadeBy = z.versionNeededToExtract = KelVersionZip64;
  z.entriesOnDisk = z.entriesCentralDir = 70000;
  z.centralDirSize = 0x123456;
  z.offsetStartDir = 0x1'0000'0010;
  const std::array<uint8_t, 56> expected = {
      0x50, 0x4B, 0x06, 0x06, 44,   0,    0,    0,    0, 0, 0,    0, 45, 0,    45,   0,    0, 0, 0,
      0,    0,    0,    0,    0,    0x70, 0x11, 0x01, 0, 0, 0,    0, 0,  0x70, 0x11, 0x01, 0, 0, 0,
      0,    0,    0x56, 0x34, 0x12, 0,    0,    0,    0, 0, 0x10, 0, 0,  0,    1,    0,    0, 0};
  EXPECT_EQ(z.ToBytes(), expected);

  TKelZip64CentralDirEndLocator l;
  l.signature = KelZip64CentralDirEndLocatorSig;
  l.offsetStartDirEnd = 0x1'0012'3466;
  l.totalNumberOfDisks = 1;
  const std::array<uint8_t, 20> expectedLocator = {
      0x50, 0x4B, 0x06, 0x07, 0, 0, 0, 0, 0x66, 0x34, 0x12, 0x00, 0x01, 0, 0, 0, 0x01, 0, 0, 0};
  EXPECT_EQ(l.ToBytes(), expectedLocator);
}

TEST(ZipRecordLayout, ValueInitialisedRecordsAreAllZero) {
  EXPECT_EQ(TKelZipCentralDir().ToBytes(), (std::array<uint8_t, 46>{}));
  EXPECT_EQ(TKelZipCentralDirEnd().ToBytes(), (std::array<uint8_t, 22>{}));
}

}  // namespace
}  // namespace kelvane
