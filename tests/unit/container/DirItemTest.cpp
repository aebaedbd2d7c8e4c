#include <gtest/gtest.h>

#include <limits>

#include "coding/KelCrc32.h"
#include "container/KelDirItem.h"

namespace kelvane {
namespace {

TBytes AreaOf(const TKelExtraFields& blocks) {
  TBytes area;
  TKelByteWriter out(area);
  WriteExtraFields(blocks, out);
  return area;
}

TEST(DirItem, ResolvesZip64EscapesToTheirValues) {
  TDirItem item;
  item.CentralDir.unCompSize = 10;
  item.CentralDir.compSize = KelZip64Escape32;
  item.CentralDir.relOffsetLH = 30;
  item.CentralDir.diskNumberStart = KelZip64Escape16;
  item.SetZip64ExtInfo({111, 222, 333, 444});
  EXPECT_EQ(item.UncompressedSize(), 10u);
  EXPECT_EQ(item.CompressedSize(), 222u);
  EXPECT_EQ(item.LocalHeaderOffset(), 30u);
  EXPECT_EQ(item.DiskNumberStart(), 444u);
}

TEST(DirItem, ShiftingTheOffsetMovesToZip64FormWhenItNoLongerFits) {
  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  struct TCase {
    uint32_t rel;
    uint64_t rel64;
    uint64_t delta;
    bool shifted;
    uint32_t expectRel;
    uint64_t expectRel64;
    bool huge;
  };
  const TCase cases[] = {
      {100, 0, 100000, true, 100100, 0, false},
      {0xFFFFFFF0, 0, 0x0E, true, 0xFFFFFFFE, 0, false},
      {0xFFFFFFF0, 0, 0x0F, true, KelZip64Escape32, 0xFFFFFFFF, true},
      {0x80000000, 0, 0x80000000, true, KelZip64Escape32, 0x100000000, true},
      {KelZip64Escape32, 5'000'000'000, 100, true, KelZip64Escape32, 5'000'000'100, false},
      {KelZip64Escape32, kMax - 1, 2, false, KelZip64Escape32, kMax - 1, false},
  };
  for (const TCase& c : cases) {
    TDirItem item;
    item.CentralDir.relOffsetLH = c.rel;
    item.EditZip64ExtInfo().relOffsetLH = c.rel64;
    EXPECT_EQ(item.ShiftLocalHeaderOffset(c.delta), c.shifted) << c.rel << "+" << c.delta;
    EXPECT_EQ(item.CentralDir.relOffsetLH, c.expectRel) << c.rel << "+" << c.delta;
    EXPECT_EQ(item.Zip64ExtInfo().relOffsetLH, c.expectRel64) << c.rel << "+" << c.delta;
    EXPECT_EQ(item.bHugeFile, c.huge) << c.rel << "+" << c.delta;
  }
}

TEST(DirItemExtraFields, ReadsEveryKnownFieldAndKeepsAllBlocks) {
  TDirItem item;
  item.CentralDir.extractVersion = 51;
  item.CentralDir.genPurposeFlag = KelFlagEncrypted;
  item.CentralDir.compMethod = KelMethodAes;
  item.CentralDir.unCompSize = KelZip64Escape32;
  item.CompressionMethod = KelMethodAes;
  const TKelExtraFields blocks = {
      BuildZip64ExtraField({true, false, false, false}, {5'000'000'000, 0, 0, 0}),
      {0xCAFE, {1, 2, 3}},
      TKelAesExtraField{2, KelAesVendorId, 2, KelMethodDeflate}.ToBlock(),
      BuildUnicodeNameField(u"\u03A9.txt"),
      BuildUnicodeNameField(u"\u03A8.txt"),
  };
  const auto name = item.ReadExtraFields(AreaOf(blocks), "name");
  ASSERT_TRUE(name.has_value());
  EXPECT_EQ(*name, u"\u03A8.txt") << "the last Unicode name field wins";
  EXPECT_EQ(item.ExtraFields, blocks);
  EXPECT_TRUE(item.bHugeFile);
  EXPECT_EQ(item.UncompressedSize(), 5'000'000'000u);
  EXPECT_EQ(item.KelEncryptionAlgorithm, caAES_192);
  EXPECT_EQ(item.CompressionMethod, KelMethodDeflate);
}

TEST(DirItemExtraFields, AesFieldByStrengthVersionAndSize) {
  struct TCase {
    const char* what;
    uint16_t extractVersion;
    TKelExtraFieldDataBlock block;
    TKelCryptoAlgorithm algorithm;
    uint16_t method;
  };
  const auto aes = [](uint8_t strength) {
    return TKelAesExtraField{2, KelAesVendorId, strength, KelMethodDeflate}.ToBlock();
  };
  TKelExtraFieldDataBlock shortAes = aes(3);
  shortAes.pData.pop_back();
  const TCase cases[] = {
      {"strength 1", 51, aes(1), caAES_128, KelMethodDeflate},
      {"strength 2", 51, aes(2), caAES_192, KelMethodDeflate},
      {"strength 3", 51, aes(3), caAES_256, KelMethodDeflate},
      {"strength 4 sets only the method", 51, aes(4), caPkzipClassic, KelMethodDeflate},
      {"strength 0 sets only the method", 51, aes(0), caPkzipClassic, KelMethodDeflate},
      {"handled apart from version 0x4114", KelVersionApart, aes(3), caPkzipClassic, KelMethodAes},
      {"six bytes of data", 51, shortAes, caPkzipClassic, KelMethodAes},
  };
  for (const TCase& c : cases) {
    TDirItem item;
    item.CentralDir.extractVersion = c.extractVersion;
    item.CompressionMethod = KelMethodAes;
    EXPECT_FALSE(item.ReadExtraFields(AreaOf({c.block}), "name").has_value()) << c.what;
    EXPECT_EQ(item.KelEncryptionAlgorithm, c.algorithm) << c.what;
    EXPECT_EQ(item.CompressionMethod, c.method) << c.what;
  }
}

TEST(DirItemExtraFields, BadUnicodeNameFieldLeavesTheName) {
  TBytes negative{'N', 'U', 'C', 'X', 0xFF, 0xFF, 0xFF, 0xFF};
  TDirItem item;
  EXPECT_FALSE(
      item.ReadExtraFields(AreaOf({{KelUnicodeNameExtraId, negative}}), "name").has_value());
  // A good field followed by a bad one: the good one still names the item.
  const auto name = item.ReadExtraFields(
      AreaOf({BuildUnicodeNameField(u"ok"), {KelUnicodeNameExtraId, negative}}), "name");
  EXPECT_EQ(name, UString(u"ok"));
}

// Which extra field names an item whose header bytes are Raw (UTF-8 stored
// without flag bit 11): the Unicode name field over the path field, the path
// field only when it matches Raw, and never a name that is cut or ambiguous.
TEST(DirItemExtraFields, NameFieldsByKindOrderAndValidity) {
  const std::string raw = "caf\xC3\xA9.txt";
  const auto path = [&](std::string utf8, uint8_t version = 1) {
    return TKelUnicodePathExtraField{version, Crc32Of(raw.data(), raw.size()), std::move(utf8)}
        .ToBlock();
  };
  const TKelExtraFieldDataBlock cafe = path("caf\xC3\xA9.txt");
  const TKelExtraFieldDataBlock stale =
      TKelUnicodePathExtraField{1, Crc32Of("cafe.txt", 8), "cafe.txt"}.ToBlock();
  const TKelExtraFieldDataBlock own = BuildUnicodeNameField(u"own.txt");
  const TKelExtraFieldDataBlock badOwn{KelUnicodeNameExtraId, {'N', 'U', 'C', 'Y', 0, 0, 0, 0}};
  TBytes cutArea = AreaOf({cafe});
  cutArea.resize(cutArea.size() - 4);  // "caf\xC3\xA9" is left, well-formed
  TBytes cutAfterPath = AreaOf({cafe, {0xCAFE, {1, 2, 3, 4}}});
  cutAfterPath.pop_back();
  TBytes tailAfterPath = AreaOf({cafe});
  tailAfterPath.insert(tailAfterPath.end(), {0xFE, 0xCA});
  struct TCase {
    const char* what;
    TBytes area;
    std::optional<UString> name;
    bool cutPathDropped = false;
  };
  const TCase cases[] = {
      {"a path field alone", AreaOf({cafe}), u"caf\u00e9.txt"},
      {"a stale path field", AreaOf({stale}), std::nullopt},
      {"a path field of version 2", AreaOf({path("caf\xC3\xA9.txt", 2)}), std::nullopt},
      {"a path field with ill-formed UTF-8", AreaOf({path("caf\xE9.txt")}), std::nullopt},
      {"a path field cut by the end of the area", cutArea, std::nullopt, true},
      {"a whole path field before a cut block", cutAfterPath, u"caf\u00e9.txt"},
      {"a whole path field before a dropped tail", tailAfterPath, u"caf\u00e9.txt"},
      {"the Unicode name field after a path field", AreaOf({cafe, own}), u"own.txt"},
      {"the Unicode name field before a path field", AreaOf({own, cafe}), u"own.txt"},
      {"a bad Unicode name field leaves the path field", AreaOf({badOwn, cafe}), u"caf\u00e9.txt"},
      {"stale and valid path fields", AreaOf({stale, cafe, stale}), u"caf\u00e9.txt"},
      {"two valid path fields that agree", AreaOf({cafe, cafe}), u"caf\u00e9.txt"},
      {"two valid path fields that disagree", AreaOf({cafe, path("other.txt")}), std::nullopt},
      {"disagreeing path fields under a Unicode name field", AreaOf({cafe, path("x"), own}),
       u"own.txt"},
  };
  for (const TCase& c : cases) {
    TDirItem item;
    EXPECT_EQ(item.ReadExtraFields(c.area, raw), c.name) << c.what;
    TKelExtraFields kept;
    ParseExtraFields(c.area, kept);
    // Written back whole, a cut path field would rename the item to the front
    // of its name.
    if (c.cutPathDropped) kept.pop_back();
    EXPECT_EQ(item.ExtraFields, kept) << c.what << ": every other block is kept as read";
  }
}

TEST(DirItemExtraFields, AreaWithoutZip64FieldClearsTheMark) {
  TDirItem item;
  item.bHugeFile = true;
  item.ReadExtraFields(AreaOf({{0xCAFE, {}}}), "name");
  EXPECT_FALSE(item.bHugeFile);
}

TEST(DirItemExtraFields, EveryTruncationOfTheAreaIsSafe) {
  TDirItem model;
  model.CentralDir.unCompSize = model.CentralDir.compSize = KelZip64Escape32;
  const TBytes area = AreaOf({BuildZip64ExtraField({true, true, false, false}, {1, 2, 0, 0}),
                              TKelAesExtraField{2, KelAesVendorId, 3, 8}.ToBlock(),
                              BuildUnicodeNameField(u"name")});
  for (size_t n = 0; n <= area.size(); ++n) {
    TDirItem item = model;
    const TBytes cut(area.begin(), area.begin() + static_cast<ptrdiff_t>(n));
    const auto name = item.ReadExtraFields(cut, "name");
    EXPECT_EQ(name.has_value(), n == area.size()) << n;
  }
}

// Areas made of known ids with random sizes and contents: whatever they claim,
// reading stays inside the area and every byte kept comes from it.
TEST(DirItemExtraFields, RandomAreasNeverReachOutside) {
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u, seed >> 16; };
  const uint16_t ids[] = {KelZip64ExtraId, KelAesExtraId, KelUnicodeNameExtraId,
                          KelUnicodePathExtraId, 0xCAFE};
  for (int round = 0; round < 3000; ++round) {
    TBytes area;
    const int blocks = static_cast<int>(next() % 4);
    for (int b = 0; b < blocks; ++b) {
      const uint16_t id = ids[next() % 5];
      area.push_back(static_cast<uint8_t>(id));
      area.push_back(static_cast<uint8_t>(id >> 8));
      const uint16_t claimed = static_cast<uint16_t>(next() % 40);
      area.push_back(static_cast<uint8_t>(claimed));
      area.push_back(0);
      if (id == KelUnicodeNameExtraId && next() % 2) {
        for (uint8_t c : {'N', 'U', 'C', 'X'})
          area.push_back(c);
      }
      if (id == KelUnicodePathExtraId && next() % 2) {
        const uint32_t crc = Crc32Of("name", 4);
        for (uint8_t c : {uint32_t{1}, crc, crc >> 8, crc >> 16, crc >> 24})
          area.push_back(c);
      }
      const size_t actual = next() % 40;
      for (size_t i = 0; i < actual; ++i)
        area.push_back(static_cast<uint8_t>(next()));
    }
    area.resize(area.size() - std::min<size_t>(area.size(), next() % 3));
    TDirItem item;
    item.CentralDir.unCompSize = item.CentralDir.compSize = item.CentralDir.relOffsetLH =
        KelZip64Escape32;
    item.CentralDir.diskNumberStart = KelZip64Escape16;
    const auto name = item.ReadExtraFields(area, "name");
    size_t kept = 0;
    for (const auto& block : item.ExtraFields)
      kept += block.DiskSize();
    ASSERT_LE(kept, area.size()) << "round " << round;
    // A name comes from bytes of the area: 2 per code unit after "NUCX" and the
    // count, or at least 1 per code unit after a path field's version and CRC.
    const bool own = std::any_of(item.ExtraFields.begin(), item.ExtraFields.end(), [](auto& b) {
      TUnicodeExtendedInfo info;
      return b.headerID == KelUnicodeNameExtraId && info.Load(b.pData.data(), b.dataSize());
    });
    if (name && own) {
      ASSERT_LE(KelUnicodeNameHeaderSize + 2 * name->size(), area.size()) << "round " << round;
    } else if (name) {
      ASSERT_LE(KelUnicodePathHeaderSize + name->size(), area.size()) << "round " << round;
    }
  }
}

// Counts how many of its kind are alive, to see who frees a source stream.
class TCountedStream : public TMemoryStream {
 public:
  TCountedStream() { ++Alive; }
  ~TCountedStream() override { --Alive; }
  static inline int Alive = 0;
};

TEST(DirItem, OwnedStreamIsFreedWithTheLastCopyAndOthersNever) {
  {
    TDirItem item;
    item.SetStream(new TCountedStream, true);
    EXPECT_TRUE(item.bDestroyStream);
    TDirItem rollbackCopy = item;
    item = TDirItem();
    EXPECT_EQ(TCountedStream::Alive, 1) << "the roll-back copy still needs it";
  }
  EXPECT_EQ(TCountedStream::Alive, 0);

  TCountedStream callers;
  {
    TDirItem item;
    item.SetStream(&callers, false);
    EXPECT_FALSE(item.bDestroyStream);
    EXPECT_EQ(item.Stream(), &callers);
  }
  EXPECT_EQ(TCountedStream::Alive, 1);
}

// The rarely set fields live apart from the item: a copy must still own its
// own values, and an item that never had one reads empty values.
TEST(DirItem, RarelySetFieldsAreCopiedNeverShared) {
  TDirItem plain;
  EXPECT_TRUE(plain.Comment().empty() && plain.OldName().empty() && plain.Password().empty());
  EXPECT_TRUE(plain.SrcFileName().empty() && plain.Stream() == nullptr);
  EXPECT_EQ(plain.Zip64ExtInfo(), TKelZip64ExtendedInfo());

  TDirItem item;
  item.Name = u"a.txt";
  item.SetComment("note");
  item.SetOldName(u"old.txt");
  item.SetPassword("secret");
  item.SetSrcFileName(u"/src/a.txt");
  item.SetZip64ExtInfo({1, 2, 3, 4});
  TDirItem copy = item;
  copy.SetComment("other");
  copy.SetOldName(u"");
  copy.SetPassword("");
  copy.EditZip64ExtInfo().compSize = 9;
  EXPECT_EQ(item.Comment(), "note");
  EXPECT_EQ(item.OldName(), u"old.txt");
  EXPECT_EQ(item.Password(), "secret");
  EXPECT_EQ(item.Zip64ExtInfo().compSize, 2u);
  EXPECT_EQ(copy.Comment(), "other");
  EXPECT_TRUE(copy.OldName().empty() && copy.Password().empty());
  EXPECT_EQ(copy.SrcFileName(), u"/src/a.txt");
  EXPECT_EQ(copy.Zip64ExtInfo(), (TKelZip64ExtendedInfo{1, 9, 3, 4}));

  plain = item;  // assigned over an item without them
  EXPECT_EQ(plain.Comment(), "note");
  EXPECT_TRUE(plain.Name == u"a.txt");
  item = TDirItem();
  EXPECT_TRUE(item.Comment().empty());
  EXPECT_EQ(plain.Password(), "secret");
}

}  // namespace
}  // namespace kelvane
