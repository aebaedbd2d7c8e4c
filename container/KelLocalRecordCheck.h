// What an item's local records must agree on with its central header: the
// local header in front of its data, and, when flag bit 3 of the local header
// defers the CRC and sizes, the data descriptor behind the data. The
// directory is the authority: where it settles a disagreement on its own
// (DirectorySettles) the item is decoded by it and verified, and the
// disagreement is only reported; any other disagreement fails the item. The
// local name is not compared: other tools warn about a differing one and go
// on with the central name, as the decoder does.
#pragma once

#include <span>

#include "container/KelDamage.h"
#include "container/KelDirItem.h"

namespace kelvane {

// Whether the data of every block of Area (header id, data size, data) lies
// inside it. A tail too short for a block header is no block and holds
// nothing: aligning tools pad with such bytes.
bool ExtraBlocksFit(std::span<const uint8_t> Area);

struct TKelLocalHeaderCheck {
  TKelLocalMismatch Mismatch = lmNone;
  // A data descriptor behind the data has 64-bit sizes: the local header has
  // a Zip64 field, or the central header escapes a size.
  bool DescriptorZip64 = false;
};

// Compares a local header, with the Extra bytes behind its name, with Item's
// central header (compMethod, crc32 and the sizes with their Zip64 values
// resolved). A local Zip64 field holds 8 bytes per escaped size in the fixed
// order, or 16: both sizes, as a local header may always carry them. CRC and
// sizes are compared only when the local flag bit 3 does not defer them.
TKelLocalHeaderCheck CheckLocalHeader(const TKelZipLocalFileHeader& Header,
                                      std::span<const uint8_t> Extra, const TDirItem& Item);

// Bytes of a data descriptor: the optional signature 50 4B 07 08, the CRC-32,
// then both sizes in 32 or, for a Zip64 item, 64 bits.
constexpr size_t DataDescriptorSize(bool Signature, bool Zip64) {
  return (Signature ? 4 : 0) + 4 + (Zip64 ? 16 : 8);
}

// Compares the data descriptor at the start of Bytes (the bytes behind the
// item's data, DataDescriptorSize of its form or more) with Item's central
// CRC and sizes. Without the signature the descriptor starts with the CRC; a
// CRC equal to the signature's value is read both ways. A Zip64 item's
// descriptor is also taken with 32-bit sizes. lmMissing when Bytes are too
// few for any form.
TKelLocalMismatch CheckDataDescriptor(std::span<const uint8_t> Bytes, bool Zip64,
                                      const TDirItem& Item);

}  // namespace kelvane
