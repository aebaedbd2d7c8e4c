// Encoding one item's data into the archive: CRC-32, chunked Deflate (a copy
// for stored items), PKZIP classic or AES encryption, progress, and the sizes
// and Zip64 marks of the item's central header.
#include <algorithm>
#include <memory>
#include <optional>

#include "coding/KelAESTransform.h"
#include "coding/KelCrc32.h"
#include "coding/KelParallelDeflate.h"
#include "coding/KelPkzip.h"
#include "coding/KelSecure.h"
#include "coding/KelZlib.h"
#include "container/KelDirItem.h"
#include "engine/KelCommitState.h"
#include "engine/KelDecode.h"
#include "engine/Kelvane.h"

namespace kelvane {
namespace {

constexpr int NativeBadData = 8;
constexpr int NativeSizeMismatch = 34;
constexpr int NativeZip64Disabled = 41;
// What a compressor says when its stream never got its last chunk.
constexpr int DeflateUnfinished = -3;

constexpr uint16_t MethodAES = 99;
// The format version of every transform the engine makes.
constexpr uint16_t AesFormatVersion = 2;

// A source that counts its size in 32 bits reports sizes from 2 GiB on as
// negative numbers.
uint64_t SourceSizeOf(TStream& source) {
  const int64_t size = source.Size();
  return size < 0 ? uint64_t(uint32_t(size)) : uint64_t(size);
}

// The CRC register over the first Size bytes of Source, read from its start
// through Buffer; fewer when the source ends first.
uint32_t SourceCrc(TStream& source, uint64_t size, uint8_t* buffer, size_t bufferSize) {
  uint32_t crc = Crc32Initial;
  source.SetPosition(0);
  for (uint64_t done = 0; done < size;) {
    const size_t n = size_t(std::min<uint64_t>(bufferSize, size - done));
    const auto got = size_t(source.ReadUpTo(buffer, int64_t(n)));
    UpdateCrc32(crc, buffer, int32_t(got));
    if (got < n) break;
    done += n;
  }
  source.SetPosition(0);
  return crc;
}

// A size field of the central header: the escape with the value in the item's
// Zip64 field when it does not fit or Zip64 is always wanted.
void PutSize(uint64_t value, bool always, uint32_t& field, uint64_t& zip64Field, bool& huge) {
  if (value >= KelZip64Escape32 || always) {
    huge = true;
    field = KelZip64Escape32;
    zip64Field = value;
  } else {
    field = uint32_t(value);
  }
}

uint32_t Saturated32(uint64_t value) {
  return uint32_t(std::min<uint64_t>(value, KelZip64Escape32));
}

}  // namespace

bool TKelBaseArchiver::StoreItemData(TStream& Source, TStream& Destination, TDirItem& Item) {
  TKelZipCentralDir header = Item.CentralDir;
  const bool encrypted = !Item.Password().empty();
  const bool stored = Item.CompressionMethod == CompressionMethodStored;

  std::unique_ptr<TAESCryptoTransform> transform;
  if (encrypted && IsAesAlgorithm(FKelCryptoAlgorithm)) {
    transform = std::make_unique<TAESCryptoTransform>(AesKeyBits(FKelCryptoAlgorithm),
                                                      AesFormatVersion, Item.CompressionMethod);
    header.compMethod = MethodAES;
    Item.KelEncryptionAlgorithm = FKelCryptoAlgorithm;
  }

  Source.SetPosition(0);
  const uint64_t size = SourceSizeOf(Source);
  // Deflated on another core from the same file while earlier items were
  // stored; a file that changed its size since is read again here.
  std::unique_ptr<TAheadItem> ahead;
  if (FCommit) ahead = std::move(FCommit->AheadItem);
  if (ahead && (ahead->Size != size || stored || encrypted)) ahead.reset();
  const size_t chunkSize =
      size_t(std::min<uint64_t>(size, uint64_t(CompressionBlockSize(Item.CompressionMode))));
  const auto chunk =
      ahead ? nullptr : std::make_unique_for_overwrite<uint8_t[]>(std::max<size_t>(chunkSize, 1));
  std::optional<TKelDeflater> deflater;
  if (!stored) deflater.emplace(Item.CompressionMode);

  uint64_t written = 0;
  PkzipKeys keys;
  // The encryption header carries the CRC, so it is known before any data:
  // one extra read of the source. The data pass checks it again, so a source
  // changed in between never gives an item whose CRC lies.
  uint32_t headerCrc = Crc32Initial;
  if (encrypted) {
    headerCrc = SourceCrc(Source, size, chunk.get(), chunkSize);
    if (transform) {
      transform->Initialize(Encryption);
      transform->GenerateKey(Item.Password());
      const TBytes start = transform->GetFileStorageStartBlock();
      Destination.WriteBuffer(start.data(), int64_t(start.size()));
      written += start.size();
    } else {
      WritePkzipHeader(Destination, Item.Password(), ~headerCrc, keys);
      written += PkzipHeaderSize;
    }
  }

  const auto progressCancelled = [&](uint64_t consumed) {
    FProgress = int64_t(consumed);
    if (!FProgressEnabled) return false;
    DoFileProgress(Item.SrcFileName(), double(FProgress) / double(FProgressMax) * 100,
                   Item.Operation, ppProcess, FProgressCancel);
    if (FProgressCancel) return true;
    const double overall = FProcessedFilesTotalSize > 0 ? double(FProcessedFilesSize + FProgress) /
                                                              double(FProcessedFilesTotalSize) * 100
                                                        : 50;
    DoOverallProgress(overall, Item.Operation, ppProcess, FProgressCancel);
    return FProgressCancel;
  };

  FProgressMax = int64_t(size);
  uint64_t consumed = 0;
  uint32_t crc = Crc32Initial;
  bool cancelled = false;
  // One chunk's piece into the archive: encrypted in place, then written.
  const auto put = [&](std::span<uint8_t> out, size_t n) {
    if (transform) {
      transform->EncryptBuffer(out, 0, int32_t(out.size()), out, 0);
    } else if (encrypted) {
      EncryptPkzipBuffer(out.data(), out.size(), keys);
    }
    if (!WriteWithRetry(Destination, out.data(), int32_t(out.size()))) return false;
    consumed += n;
    written += out.size();
    return true;
  };
  // Read and checksummed here, deflated on every core, written in order.
  if (deflater && size > chunkSize && DeflateWorkers() > 1) {
    TKelParallelDeflater parallel(Item.CompressionMode, DeflateWorkers(), chunkSize);
    uint64_t read = 0;
    bool shortSource = false;
    while (!cancelled) {
      for (uint8_t* in; !shortSource && read < size && (in = parallel.NextInput());) {
        const size_t n = size_t(std::min<uint64_t>(chunkSize, size - read));
        if (Source.ReadUpTo(in, int64_t(n)) < int64_t(n)) {
          shortSource = true;
          break;
        }
        UpdateCrc32(crc, in, int32_t(n));
        parallel.Submit(n, read + n == size);
        read += n;
      }
      if (parallel.Pending() == 0) break;
      if (progressCancelled(consumed)) {
        cancelled = true;
        break;
      }
      const TKelParallelDeflater::TPiece piece = parallel.Next();
      if (!put(piece.Out, piece.In)) cancelled = true;
    }
    // The chunks went to other compressors: this one stays unstarted. A
    // stream begun and never finished fails as the sequential one does.
    deflater.reset();
    if (shortSource && !cancelled && read > 0) throw ECompressionError(DeflateUnfinished);
  } else if (ahead) {
    // The stream came from another compressor: this one stays unstarted.
    deflater.reset();
    if (progressCancelled(0) || !put(std::span(ahead->Deflated), size_t(size))) {
      cancelled = true;
    } else {
      crc = ahead->Crc;
    }
  } else {
    while (consumed < size) {
      if (progressCancelled(consumed)) {
        cancelled = true;
        break;
      }
      const size_t n = size_t(std::min<uint64_t>(chunkSize, size - consumed));
      if (Source.ReadUpTo(chunk.get(), int64_t(n)) < int64_t(n)) break;
      UpdateCrc32(crc, chunk.get(), int32_t(n));
      const bool last = consumed + n == size;
      if (!put(deflater ? deflater->CompressChunk(chunk.get(), n, last) : std::span(chunk.get(), n),
               n)) {
        cancelled = true;
        break;
      }
    }
  }
  WipeMemory(&keys, sizeof keys);
  FProcessedFilesSize += int64_t(size);

  // An item without its authentication code is no item: a refused retry of
  // that write is a cancel like any other.
  if (transform && consumed == size && !cancelled) {
    const TBytes code = transform->GetFileStorageEndBlock();
    if (WriteWithRetry(Destination, code.data(), int32_t(code.size())))
      written += code.size();
    else
      cancelled = true;
  }

  header.compSize = Saturated32(written);
  header.unCompSize = Saturated32(size);
  header.crc32 = ~crc;
  // A short source leaves the compressor unfinished: that raises here.
  if (deflater) deflater->End(cancelled);

  if (cancelled) {
    Item.CentralDir = header;
    return false;
  }
  if (consumed != size) {
    throw EKelException(NativeSizeMismatch, {int64_t(size), int64_t(consumed)}, this);
  }
  if (encrypted && crc != headerCrc) throw EKelException(NativeBadData, this);

  const bool always = FZip64Mode == zmAlways;
  PutSize(written, always, header.compSize, Item.EditZip64ExtInfo().compSize, Item.bHugeFile);
  PutSize(size, always, header.unCompSize, Item.EditZip64ExtInfo().uncompSize, Item.bHugeFile);
  if (Item.bHugeFile && FZip64Mode == zmDisabled) {
    throw EKelException(NativeZip64Disabled, {Item.SrcFileName()}, this);
  }
  if (size == 0) {
    Item.CompressionMethod = CompressionMethodStored;
    // Readers know an AES item by method 99 alone: with any other method an
    // encrypted item is read as PKZIP classic and its salt as a bad header.
    if (!transform) header.compMethod = CompressionMethodStored;
  }
  Item.CentralDir = header;
  return true;
}

}  // namespace kelvane
