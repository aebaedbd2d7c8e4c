// The local header and the data descriptor against the directory, which is
// the authority: what only the directory can settle (no local header, another
// method, an extra area that cannot be walked, no descriptor) fails the item
// with native error 8; a CRC, size or Zip64 field that disagrees is reported
// (OnLocalRecordWarning) and the item decoded and verified by the directory.
// The forms other writers use (descriptors with and without signature, 32-
// and 64-bit sizes, local Zip64 fields) decode without a report.
#include <gtest/gtest.h>

#include "DecodeTestSupport.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

using namespace test;

const std::string kText = "the text of an item with local records\n";
const uint32_t kCrc = Crc32Of(kText.data(), kText.size());
const uint64_t kSize = kText.size();  // stored: compressed and uncompressed alike

Bytes Le(uint64_t value, int width) {
  Bytes out;
  for (int i = 0; i < width; ++i)
    out.push_back(uint8_t(value >> (8 * i)));
  return out;
}

Bytes Block(uint16_t id, const Bytes& data) {
  Bytes out = Le(id, 2);
  Append(out, Le(data.size(), 2));
  Append(out, data);
  return out;
}

Bytes Zip64Field(std::initializer_list<uint64_t> values) {
  Bytes data;
  for (uint64_t v : values)
    Append(data, Le(v, 8));
  return Block(KelZip64ExtraId, data);
}

Bytes Descriptor(bool signature, bool wide, uint32_t crc, uint64_t compressed,
                 uint64_t uncompressed) {
  Bytes out = signature ? Le(KelDataDescriptorSig, 4) : Bytes{};
  Append(out, Le(crc, 4));
  Append(out, Le(compressed, wide ? 8 : 4));
  Append(out, Le(uncompressed, wide ? 8 : 4));
  return out;
}

TTestEntry Stored() {
  return TTestEntry("item.txt", kText, 0);
}

void EscapeLocalSizes(TKelZipLocalFileHeader& h, bool uncompressed, bool compressed) {
  if (uncompressed) h.unCompSize = KelZip64Escape32;
  if (compressed) h.compSize = KelZip64Escape32;
}

// Opens the one-item archive of Entry and decodes item 0.
struct TDecoded {
  int Native = -1;
  std::string Output;
  int64_t BytesRead = 0;  // from the archive, after opening
  std::string Warnings;   // "record:mismatch" of each report
};

TDecoded DecodeOnly(const TTestEntry& entry, bool extractCorrupted = false) {
  TCountingArchive archive(BuildZip({entry}).Archive);
  TDecodeProbe probe(nullptr);
  probe.SetPassword("secret");
  probe.SetExtractCorruptedFiles(extractCorrupted);
  TDecoded result;
  probe.SetOnLocalRecordWarning([&](TKelBaseArchiver*, const UString& name, TKelLocalRecord record,
                                    TKelLocalMismatch mismatch) {
    EXPECT_EQ(ToUtf8(name), entry.Name);
    result.Warnings += (result.Warnings.empty() ? "" : ",") +
                       std::string(record == lrLocalHeader ? "local" : "descriptor") + ":" +
                       LocalMismatchText(mismatch);
  });
  probe.OpenArchive(archive, false);
  archive.BytesRead = 0;
  TMemoryStream out;
  result.Native = NativeErrorOf([&] { probe.ExtractItemToStream(0, out, 0, 0); });
  result.Output = AsText(out);
  result.BytesRead = archive.BytesRead;
  return result;
}

struct TDisagreement {
  const char* What;
  TTestEntry Entry;
  bool DataWritten;  // the disagreement shows only behind the data
};

TEST(DecodeLocalRecords, WhatOnlyTheLocalRecordsCouldSettleFailsTheItem) {
  const Bytes cutBlock = {0xFE, 0xCA, 9, 0, 1, 2, 3, 4, 5, 6, 7, 8};  // claims 9 bytes, holds 8
  const TDisagreement cases[] = {
      {"no local header signature", Stored().WithLocal([](auto& h) { h.signature = 0x03034B50; }),
       false},
      {"another method",
       TTestEntry("item.txt", kText, 8).WithLocal([](auto& h) { h.compMethod = KelMethodStored; }),
       false},
      {"a local extra block that runs past its area", Stored().WithLocalExtra(cutBlock), false},
      {"a central extra block that runs past its area", Stored().WithCentralExtra(cutBlock), false},
      {"no descriptor behind the data: the directory is not read as one",
       Stored().WithDescriptorBytes({}), true},
      {"a descriptor cut by the directory",
       Stored().WithDescriptorBytes(Bytes{0x50, 0x4B, 0x07, 0x08, 1, 2}), true},
  };
  for (const TDisagreement& c : cases) {
    SCOPED_TRACE(c.What);
    const TDecoded decoded = DecodeOnly(c.Entry);
    EXPECT_EQ(decoded.Native, 8);
    EXPECT_EQ(decoded.Output, c.DataWritten ? kText : "");
    EXPECT_EQ(decoded.Warnings, "");
  }
}

struct TSettled {
  const char* What;
  TTestEntry Entry;
  const char* Warning;  // as DecodeOnly records it
};

TEST(DecodeLocalRecords, WhatTheDirectorySettlesIsReportedAndDecodedByIt) {
  const TSettled cases[] = {
      {"another CRC-32", Stored().WithLocal([](auto& h) { h.crc32 ^= 1; }), "local:CRC-32"},
      {"another compressed size", Stored().WithLocal([](auto& h) { h.compSize += 1; }),
       "local:compressed size"},
      {"another uncompressed size", Stored().WithLocal([](auto& h) { h.unCompSize -= 1; }),
       "local:uncompressed size"},
      {"an escaped local size without a Zip64 field",
       Stored().WithLocal([](auto& h) { EscapeLocalSizes(h, false, true); }), "local:Zip64 field"},
      {"a local Zip64 field holding one of two escaped sizes",
       Stored()
           .WithLocal([](auto& h) { EscapeLocalSizes(h, true, true); })
           .WithLocalExtra(Zip64Field({kSize})),
       "local:Zip64 field"},
      {"a local Zip64 field with bytes its escapes do not call for",
       Stored().WithLocal([](auto& h) { EscapeLocalSizes(h, false, true); }).WithLocalExtra([] {
         Bytes data = Le(kSize, 8);
         Append(data, Le(0, 4));
         return Block(KelZip64ExtraId, data);
       }()),
       "local:Zip64 field"},
      {"two local Zip64 fields",
       Stored().WithLocal([](auto& h) { EscapeLocalSizes(h, false, true); }).WithLocalExtra([] {
         Bytes two = Zip64Field({kSize});
         Append(two, Zip64Field({kSize}));
         return two;
       }()),
       "local:Zip64 field"},
      {"a local Zip64 size that differs",
       Stored()
           .WithLocal([](auto& h) { EscapeLocalSizes(h, false, true); })
           .WithLocalExtra(Zip64Field({kSize + 1})),
       "local:compressed size"},
      {"a descriptor with another CRC-32",
       Stored().WithDescriptorBytes(Descriptor(true, false, kCrc ^ 1, kSize, kSize)),
       "descriptor:CRC-32"},
      {"a descriptor with another compressed size",
       Stored().WithDescriptorBytes(Descriptor(true, false, kCrc, kSize + 1, kSize)),
       "descriptor:compressed size"},
      {"a descriptor without signature with another uncompressed size",
       Stored().WithDescriptorBytes(Descriptor(false, false, kCrc, kSize, kSize + 1)),
       "descriptor:uncompressed size"},
      {"64-bit sizes in the descriptor of an item that is not Zip64",
       Stored().WithDescriptorBytes(Descriptor(true, true, kCrc, kSize, kSize)),
       "descriptor:uncompressed size"},
      {"a Zip64 item's descriptor with another uncompressed size",
       Stored()
           .WithLocalExtra(Zip64Field({}))
           .WithDescriptorBytes(Descriptor(true, true, kCrc, kSize, kSize + 1)),
       "descriptor:uncompressed size"},
  };
  for (const TSettled& c : cases) {
    SCOPED_TRACE(c.What);
    const TDecoded decoded = DecodeOnly(c.Entry);
    EXPECT_EQ(decoded.Native, 0);
    EXPECT_EQ(decoded.Output, kText);
    EXPECT_EQ(decoded.Warnings, c.Warning);
  }
}

// The report is no pass: the data is verified by the directory all the same.
TEST(DecodeLocalRecords, AReportedItemWhoseDataIsBadStillFails) {
  const TDecoded decoded = DecodeOnly(
      Stored().WithLocal([](auto& h) { h.crc32 ^= 1; }).WithCentral([](auto& h) { h.crc32 ^= 2; }));
  EXPECT_EQ(decoded.Native, 8);
  EXPECT_EQ(decoded.Warnings, "local:CRC-32");
}

TEST(DecodeLocalRecords, TheFormsOtherWritersUseDecode) {
  const TTestEntry cases[] = {
      Stored().WithDescriptor(),
      Stored().WithDescriptorBytes(Descriptor(false, false, kCrc, kSize, kSize)),
      // Zip64 items: a local Zip64 field (even an empty one), or escaped central sizes.
      Stored()
          .WithLocalExtra(Zip64Field({}))
          .WithDescriptorBytes(Descriptor(true, true, kCrc, kSize, kSize)),
      Stored()
          .WithLocalExtra(Zip64Field({}))
          .WithDescriptorBytes(Descriptor(false, true, kCrc, kSize, kSize)),
      Stored()
          .WithLocalExtra(Zip64Field({}))
          .WithDescriptorBytes(Descriptor(true, false, kCrc, kSize, kSize)),
      Stored()
          .WithCentral([](auto& h) { h.compSize = h.unCompSize = KelZip64Escape32; })
          .WithCentralExtra(Zip64Field({kSize, kSize}))
          .WithDescriptorBytes(Descriptor(true, true, kCrc, kSize, kSize)),
      TTestEntry("aes.txt", kText, 8, tcAes256).WithDescriptor(),
      TTestEntry("pkzip.txt", kText, 8, tcPkzip).WithDescriptor(),
      // Local Zip64 fields: the escaped sizes in order, or both sizes.
      Stored()
          .WithLocal([](auto& h) { EscapeLocalSizes(h, false, true); })
          .WithLocalExtra(Zip64Field({kSize})),
      Stored()
          .WithLocal([](auto& h) { EscapeLocalSizes(h, true, false); })
          .WithLocalExtra(Zip64Field({kSize, kSize})),
      Stored()
          .WithLocal([](auto& h) { EscapeLocalSizes(h, true, true); })
          .WithLocalExtra(Zip64Field({kSize, kSize})),
      // Sizes deferred to the descriptor, the escapes with them.
      Stored()
          .WithLocal([](auto& h) { EscapeLocalSizes(h, true, true); })
          .WithLocalExtra(Zip64Field({0, 0}))
          .WithDescriptorBytes(Descriptor(true, true, kCrc, kSize, kSize)),
      // A tail too short for a block: padding.
      Stored().WithLocalExtra({0, 0, 0}),
      Stored().WithLocalExtra(Bytes{'P', 'K'}),
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    const TDecoded decoded = DecodeOnly(cases[i]);
    EXPECT_EQ(decoded.Native, 0);
    EXPECT_EQ(decoded.Output, kText);
    EXPECT_EQ(decoded.Warnings, "");
  }
}

// The header, its name and extra bytes, the data and the descriptor are each
// read once, nothing more.
TEST(DecodeLocalRecords, EachLocalRecordIsReadOnce) {
  const Bytes extra = Block(0xCAFE, Bytes(20, 'x'));
  for (bool descriptor : {false, true}) {
    SCOPED_TRACE(descriptor ? "with a descriptor" : "without");
    TTestEntry entry = Stored().WithLocalExtra(extra);
    if (descriptor) entry.WithDescriptor();
    const TDecoded decoded = DecodeOnly(entry);
    ASSERT_EQ(decoded.Native, 0);
    EXPECT_EQ(decoded.BytesRead,
              int64_t(TKelZipLocalFileHeader::Size + entry.Name.size() + extra.size() + kSize +
                      (descriptor ? TKelZipDataDescriptor::Size : 0)));
  }
}

// Sizes that make the data reach into the directory lie, even when both
// headers agree on them; nothing of the directory is taken for data.
TEST(DecodeLocalRecords, DataReachingIntoTheDirectoryFailsTheItem) {
  const auto longer = [](auto& h) { h.compSize += 30; };
  const TTestEntry entry = Stored().WithLocal(longer).WithCentral(longer);
  const TDecoded decoded = DecodeOnly(entry);
  EXPECT_EQ(decoded.Native, 8);
  EXPECT_EQ(decoded.Output, "");
  EXPECT_EQ(decoded.BytesRead, int64_t(TKelZipLocalFileHeader::Size + entry.Name.size()));

  // Extracting corrupted items, the data up to the directory is decoded.
  const TDecoded kept = DecodeOnly(entry, true);
  EXPECT_EQ(kept.Native, 0);
  EXPECT_EQ(kept.Output, kText);
}

// Extracting corrupted items, an item whose local header disagrees is decoded
// by the directory; without a local header there is nothing to decode.
TEST(DecodeLocalRecords, ExtractingCorruptedItemsDecodesByTheDirectory) {
  const TDecoded method = DecodeOnly(
      TTestEntry("item.txt", kText, 0).WithLocal([](auto& h) { h.compMethod = 8; }), true);
  EXPECT_EQ(method.Native, 0);
  EXPECT_EQ(method.Output, kText);
  const TDecoded none = DecodeOnly(Stored().WithLocal([](auto& h) { h.signature = 0; }), true);
  EXPECT_EQ(none.Native, 0);
  EXPECT_EQ(none.Output, "");
}

}  // namespace
}  // namespace kelvane
