// What the reader met that did not stop it: a directory rebuilt from the local
// headers, and local records that disagree with the directory in a way the
// directory's own values settle. Callers show these; reading goes on as the
// options say.
#pragma once

#include <cstdint>
#include <string>

namespace kelvane {

// Why the directory of an open archive was rebuilt from the local headers.
enum TKelRecoveryCause : uint8_t {
  rcNone,                 // read from its central directory
  rcNoEndRecord,          // no end record that fits the file: missing, damaged, or cut off
  rcNoZip64Records,       // the end record counts 65,535 items and no Zip64 records stand before it
  rcUnreadableDirectory,  // the central directory the end record describes cannot be read
};

struct TKelDirRecovery {
  TKelRecoveryCause Cause = rcNone;
  // What the reader noticed, in English (UTF-8); may be empty.
  std::string Detail;
  bool Rebuilt() const { return Cause != rcNone; }
};

// The part of the archive a recovery cause lies in: "end record", "Zip64 end
// records", "central directory"; "" for rcNone.
const char* RecoveryPart(TKelRecoveryCause Cause);
// "no end record that fits the file" and the like; "" for rcNone.
const char* RecoveryCauseText(TKelRecoveryCause Cause);

// The first disagreement between an item's local records and its central
// header, in the order the checks run.
enum TKelLocalMismatch : uint8_t {
  lmNone,
  lmSignature,  // no local header signature where the directory points
  lmMethod,
  lmExtraArea,   // a block runs past the end of the extra area
  lmZip64Field,  // missing for an escaped size, repeated, or of a length the escapes do not call
                 // for
  lmCrc32,
  lmCompressedSize,
  lmUncompressedSize,
  lmMissing,  // the data descriptor is cut by the end of the archive
};

// Whether the directory alone still finds and checks the data: the local
// record's CRC and sizes (or the form of its Zip64 field) are then only
// redundant copies, and the item is decoded by the directory and verified.
// Not so without a local header, with another method, with an extra area
// that cannot be walked, or with a descriptor that is not there.
constexpr bool DirectorySettles(TKelLocalMismatch Mismatch) {
  return Mismatch == lmZip64Field || Mismatch == lmCrc32 || Mismatch == lmCompressedSize ||
         Mismatch == lmUncompressedSize;
}

// "CRC-32", "compressed size", "Zip64 field", ...; "" for lmNone.
const char* LocalMismatchText(TKelLocalMismatch Mismatch);

enum TKelLocalRecord : uint8_t { lrLocalHeader, lrDataDescriptor };

}  // namespace kelvane
