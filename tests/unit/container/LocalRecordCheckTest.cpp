// The checks of an item's local records on bytes alone: which extra areas hold
// only whole blocks, and which data descriptor forms agree with the directory.
#include <gtest/gtest.h>

#include "container/KelLocalRecordCheck.h"

namespace kelvane {
namespace {

TBytes Le(uint64_t value, int width) {
  TBytes out;
  for (int i = 0; i < width; ++i)
    out.push_back(static_cast<uint8_t>(value >> (8 * i)));
  return out;
}

TBytes Cat(std::initializer_list<TBytes> parts) {
  TBytes out;
  for (const TBytes& p : parts)
    out.insert(out.end(), p.begin(), p.end());
  return out;
}

struct TAreaCase {
  const char* What;
  TBytes Area;
  bool Fit;
};

TEST(LocalRecordCheck, ExtraBlocksFitTheirAreaAndShortTailsAreNoBlocks) {
  const TAreaCase cases[] = {
      {"empty", {}, true},
      {"a block without data", {1, 0, 0, 0}, true},
      {"a block filling the area", {0xFE, 0xCA, 2, 0, 7, 7}, true},
      {"a block and a 3-byte tail", {0xFE, 0xCA, 0, 0, 'P', 'K', 3}, true},
      {"a block one byte past the area", {0xFE, 0xCA, 3, 0, 7, 7}, false},
      {"a second block past the area", {0xFE, 0xCA, 0, 0, 1, 0, 0xFF, 0xFF, 0}, false},
  };
  for (const TAreaCase& c : cases)
    EXPECT_EQ(ExtraBlocksFit(c.Area), c.Fit) << c.What;
}

struct TDescriptorCase {
  const char* What;
  uint32_t CentralCrc;
  TBytes Bytes;  // what follows the data
  bool Zip64;
  TKelLocalMismatch Expected;
};

TEST(LocalRecordCheck, DataDescriptorFormsAgainstTheDirectory) {
  constexpr uint32_t crc = 0x3610A686, sig = KelDataDescriptorSig;
  const TBytes next = Le(KelCentralFileHeaderSig, 4);  // what usually follows
  const TDescriptorCase cases[] = {
      {"signature, 32-bit", crc, Cat({Le(sig, 4), Le(crc, 4), Le(7, 4), Le(5, 4)}), false, lmNone},
      {"no signature, 32-bit", crc, Cat({Le(crc, 4), Le(7, 4), Le(5, 4), next}), false, lmNone},
      {"signature, 64-bit", crc, Cat({Le(sig, 4), Le(crc, 4), Le(7, 8), Le(5, 8)}), true, lmNone},
      {"no signature, 64-bit", crc, Cat({Le(crc, 4), Le(7, 8), Le(5, 8), next}), true, lmNone},
      {"a Zip64 item's 32-bit descriptor", crc,
       Cat({Le(sig, 4), Le(crc, 4), Le(7, 4), Le(5, 4), next, next}), true, lmNone},
      {"a CRC with the signature's value, no signature", sig,
       Cat({Le(sig, 4), Le(7, 4), Le(5, 4), next}), false, lmNone},
      {"a CRC with the signature's value, and the signature", sig,
       Cat({Le(sig, 4), Le(sig, 4), Le(7, 4), Le(5, 4)}), false, lmNone},
      {"another CRC", crc, Cat({Le(sig, 4), Le(crc + 1, 4), Le(7, 4), Le(5, 4)}), false, lmCrc32},
      {"another compressed size", crc, Cat({Le(sig, 4), Le(crc, 4), Le(8, 4), Le(5, 4)}), false,
       lmCompressedSize},
      {"another uncompressed size, 64-bit", crc, Cat({Le(sig, 4), Le(crc, 4), Le(7, 8), Le(6, 8)}),
       true, lmUncompressedSize},
      {"64-bit sizes where 32 belong", crc, Cat({Le(sig, 4), Le(crc, 4), Le(7, 8), Le(5, 8)}),
       false, lmUncompressedSize},
      {"cut by the end of the archive", crc, Cat({Le(sig, 4), Le(crc, 4), Le(7, 4)}), false,
       lmMissing},
  };
  for (const TDescriptorCase& c : cases) {
    TDirItem item;
    item.CentralDir.crc32 = c.CentralCrc;
    item.CentralDir.compSize = 7;
    item.CentralDir.unCompSize = 5;
    EXPECT_EQ(CheckDataDescriptor(c.Bytes, c.Zip64, item), c.Expected) << c.What;
  }
}

}  // namespace
}  // namespace kelvane
