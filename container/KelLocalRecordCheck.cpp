#include "container/KelLocalRecordCheck.h"

namespace kelvane {
namespace {

// Calls Visit(id, data) for each block; false when one runs past the area.
template <class Visit>
bool WalkExtraArea(std::span<const uint8_t> area, Visit visit) {
  TKelByteReader in(area);
  while (in.Remaining() >= KelExtraFieldHeaderSize) {
    const uint16_t id = in.U16();
    const uint16_t size = in.U16();
    if (size > in.Remaining()) return false;
    visit(id, in.Bytes(size));
  }
  return true;
}

struct TLocalSizes {
  uint64_t Compressed = 0;
  uint64_t Uncompressed = 0;
};

// The local sizes with the escaped ones taken from Zip64 (the field's data, or
// nothing when the header has none); false when the field does not hold what
// the escapes call for.
bool ResolveLocalSizes(const TKelZipLocalFileHeader& header, const std::span<const uint8_t>* zip64,
                       TLocalSizes& sizes) {
  sizes = {header.compSize, header.unCompSize};
  const TKelZip64Escapes escapes = Zip64EscapesOf(header);
  if (!zip64) return !escapes.Any();
  TKelByteReader in(*zip64);
  if (zip64->size() == 2 * sizeof(uint64_t)) {
    const uint64_t uncompressed = in.U64();
    const uint64_t compressed = in.U64();
    if (escapes.unCompSize) sizes.Uncompressed = uncompressed;
    if (escapes.compSize) sizes.Compressed = compressed;
    return true;
  }
  if (zip64->size() != escapes.DataSize()) return false;
  if (escapes.unCompSize) sizes.Uncompressed = in.U64();
  if (escapes.compSize) sizes.Compressed = in.U64();
  return true;
}

bool EscapesASize(const TKelZipCentralDir& header) {
  return header.compSize == KelZip64Escape32 || header.unCompSize == KelZip64Escape32;
}

TKelLocalMismatch CompareValues(uint32_t crc, uint64_t compressed, uint64_t uncompressed,
                                const TDirItem& item) {
  if (crc != item.CentralDir.crc32) return lmCrc32;
  if (compressed != item.CompressedSize()) return lmCompressedSize;
  if (uncompressed != item.UncompressedSize()) return lmUncompressedSize;
  return lmNone;
}

}  // namespace

bool ExtraBlocksFit(std::span<const uint8_t> Area) {
  return WalkExtraArea(Area, [](uint16_t, std::span<const uint8_t>) {});
}

TKelLocalHeaderCheck CheckLocalHeader(const TKelZipLocalFileHeader& Header,
                                      std::span<const uint8_t> Extra, const TDirItem& Item) {
  TKelLocalHeaderCheck result;
  auto fail = [&](TKelLocalMismatch mismatch) {
    result.Mismatch = mismatch;
    return result;
  };
  if (Header.signature != KelLocalFileHeaderSig) return fail(lmSignature);
  if (Header.compMethod != Item.CentralDir.compMethod) return fail(lmMethod);

  std::span<const uint8_t> zip64;
  int zip64Fields = 0;
  const bool fit = WalkExtraArea(Extra, [&](uint16_t id, std::span<const uint8_t> data) {
    if (id != KelZip64ExtraId) return;
    zip64 = data;
    ++zip64Fields;
  });
  if (!fit) return fail(lmExtraArea);
  TLocalSizes sizes;
  if (zip64Fields > 1 || !ResolveLocalSizes(Header, zip64Fields ? &zip64 : nullptr, sizes))
    return fail(lmZip64Field);
  result.DescriptorZip64 = zip64Fields > 0 || EscapesASize(Item.CentralDir);

  if (Header.genPurposeFlag & KelFlagDataDescriptor) return result;
  return fail(CompareValues(Header.crc32, sizes.Compressed, sizes.Uncompressed, Item));
}

TKelLocalMismatch CheckDataDescriptor(std::span<const uint8_t> Bytes, bool Zip64,
                                      const TDirItem& Item) {
  TKelByteReader first(Bytes);
  const bool signature = first.CanRead(4) && first.U32() == KelDataDescriptorSig;
  // The forms to try, the likeliest first; its disagreement is the answer.
  const size_t starts[] = {signature ? 4u : 0u, 0u};
  const size_t startCount = signature && Item.CentralDir.crc32 == KelDataDescriptorSig ? 2 : 1;
  const size_t widths[] = {Zip64 ? sizeof(uint64_t) : sizeof(uint32_t), sizeof(uint32_t)};
  const size_t widthCount = Zip64 ? 2 : 1;

  TKelLocalMismatch answer = lmMissing;
  for (size_t s = 0; s < startCount; ++s) {
    for (size_t w = 0; w < widthCount; ++w) {
      const size_t width = widths[w];
      if (Bytes.size() < starts[s] + 4 + 2 * width) continue;
      TKelByteReader in(Bytes.subspan(starts[s]));
      const uint32_t crc = in.U32();
      const uint64_t compressed = width == 8 ? in.U64() : in.U32();
      const uint64_t uncompressed = width == 8 ? in.U64() : in.U32();
      const TKelLocalMismatch mismatch = CompareValues(crc, compressed, uncompressed, Item);
      if (mismatch == lmNone) return lmNone;
      if (answer == lmMissing) answer = mismatch;
    }
  }
  return answer;
}

}  // namespace kelvane
