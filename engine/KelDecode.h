// Working state of one item's decoding, shared by the decoder's files
// (KelDecode.cpp, KelDecodeCrypto.cpp) and the password check of
// KelValidate.cpp. Not part of the component's interface.
#pragma once

#include <limits>
#include <memory>

#include "coding/KelAESTransform.h"
#include "coding/KelCrc32.h"
#include "coding/KelInflateAhead.h"
#include "coding/KelPkzip.h"
#include "coding/KelSecure.h"
#include "coding/KelZlib.h"
#include "container/KelDirItem.h"
#include "container/KelVolumeInfo.h"
#include "container/KelZipRecords.h"

namespace kelvane {

class TKelDirManager;

// Compressed bytes read per step; also the largest piece of inflated output.
inline constexpr int32_t DecodeChunkSize = DecompressionChunkSize;
// Stored data goes to the destination in pieces of at most this size.
inline constexpr int32_t StoredPieceSize = 65535;

struct TKelItemDecoding {
  TKelItemDecoding() = default;
  TKelItemDecoding(const TKelItemDecoding&) = delete;
  TKelItemDecoding& operator=(const TKelItemDecoding&) = delete;
  ~TKelItemDecoding() {
    WipeMemory(&Keys, sizeof Keys);
    if (SpareInflater && Inflater && !InflatesAhead)
      *SpareInflater =
          std::unique_ptr<TKelInflater>(static_cast<TKelInflater*>(Inflater.release()));
  }

  const TDirItem* Item = nullptr;  // a copy the decoding owns: handlers cannot pull it away
  TKelZipCentralDir Header;
  TKelZipLocalFileHeader LocalHeader;
  bool DescriptorZip64 = false;  // a data descriptor behind the data has 64-bit sizes
  // The local records disagree with the directory: decoded only for
  // ExtractCorruptedFiles, and the item fails all the same.
  bool Inconsistent = false;
  TStream* Destination = nullptr;
  bool Encrypted = false;
  std::unique_ptr<TAESCryptoTransform> Transform;  // AES items only
  PkzipKeys Keys;                                  // PKZIP classic items

  // The wanted output: bytes [Offset, WantedEnd); Count 0 means to the end.
  int32_t Count = 0;
  int64_t Offset = 0;
  uint64_t WantedEnd = std::numeric_limits<uint64_t>::max();
  int64_t DestinationStart = 0;
  bool RangeComplete = false;

  uint64_t CompressedSize = 0;  // data bytes to read (encryption overhead taken off)
  uint64_t ExpectedSize = 0;    // declared uncompressed size: output never goes beyond it
  uint64_t Consumed = 0;
  uint64_t Produced = 0;       // before the current chunk
  uint64_t ChunkProduced = 0;  // by the current chunk so far
  uint32_t Crc = Crc32Initial;

  TKelVolumeNumberInfo Volume;  // the volume being read, with the archive's last
  TBytes Input;
  // The chunk before Input, still read by an inflater that works ahead.
  TBytes SpareInput;
  std::unique_ptr<TKelPullInflater> Inflater;  // a TKelInflater unless InflatesAhead
  bool InflatesAhead = false;
  // Where the inline inflater goes when the item is done, for the next.
  std::unique_ptr<TKelInflater>* SpareInflater = nullptr;
};

inline bool IsAesAlgorithm(TKelCryptoAlgorithm algorithm) {
  return algorithm == caAES_128 || algorithm == caAES_192 || algorithm == caAES_256;
}

// Key bits of an AES algorithm (128 for anything that is not 192 or 256).
inline int32_t AesKeyBits(TKelCryptoAlgorithm algorithm) {
  return algorithm == caAES_192 ? 192 : algorithm == caAES_256 ? 256 : 128;
}

// The volume that holds an item's local header, and the archive's last
// volume (the one with the end record), with the Zip64 escapes resolved.
int32_t ItemVolumeOf(const TKelDirManager& Dir, const TDirItem& Item);
int32_t LastVolumeOf(const TKelDirManager& Dir);

// A transform of the algorithm's strength, set for decryption, keys pending
// from Password (format version 2, as for every transform the engine makes).
std::unique_ptr<TAESCryptoTransform> NewAesDecryptor(TKelCryptoAlgorithm algorithm,
                                                     uint16_t compressionMethod,
                                                     const AnsiString& password);

}  // namespace kelvane
