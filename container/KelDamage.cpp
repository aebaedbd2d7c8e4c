#include "container/KelDamage.h"

namespace kelvane {

const char* RecoveryPart(TKelRecoveryCause Cause) {
  switch (Cause) {
    case rcNoEndRecord:
      return "end record";
    case rcNoZip64Records:
      return "Zip64 end records";
    case rcUnreadableDirectory:
      return "central directory";
    default:
      return "";
  }
}

const char* RecoveryCauseText(TKelRecoveryCause Cause) {
  switch (Cause) {
    case rcNoEndRecord:
      return "no end record that fits the file";
    case rcNoZip64Records:
      return "the end record counts 65,535 items but has no Zip64 records";
    case rcUnreadableDirectory:
      return "the central directory cannot be read";
    default:
      return "";
  }
}

const char* LocalMismatchText(TKelLocalMismatch Mismatch) {
  switch (Mismatch) {
    case lmSignature:
      return "signature";
    case lmMethod:
      return "compression method";
    case lmExtraArea:
      return "extra field area";
    case lmZip64Field:
      return "Zip64 field";
    case lmCrc32:
      return "CRC-32";
    case lmCompressedSize:
      return "compressed size";
    case lmUncompressedSize:
      return "uncompressed size";
    case lmMissing:
      return "presence";
    default:
      return "";
  }
}

}  // namespace kelvane
