// Decoding one item's data: volume and position, the local header checked
// against the directory, the chunk loop over stored or Deflate data, output
// within the declared size, progress, the final size and CRC-32 check, and the
// data descriptor behind the data. The password check and the AES steps are
// in KelDecodeCrypto.cpp.
#include <algorithm>
#include <limits>
#include <system_error>

#include "container/KelDirManager.h"
#include "container/KelLocalRecordCheck.h"
#include "engine/KelDecode.h"
#include "engine/Kelvane.h"

namespace kelvane {
namespace {

constexpr int NativeBadData = 8;
constexpr int NativeNotOpen = 13;
constexpr int NativeIndexOutOfBounds = 16;
constexpr int NativeDeflate64 = 55;

constexpr uint16_t MethodDeflate64 = 9;
// Small items need no full-size output buffer; a piece one byte above the
// declared size is enough to see that an item is larger than it says.
constexpr size_t SmallestInflateBuffer = 32 * 1024;
// From this size on an item is inflated on a second thread, ahead of the
// checksum and the writing; below it, starting the thread costs more than
// the overlap gains.
constexpr uint64_t InflateAheadFrom = 1024 * 1024;

constexpr int32_t ClampVolume(int64_t number) {
  return number < 0
             ? 0
             : static_cast<int32_t>(std::min<int64_t>(number, std::numeric_limits<int32_t>::max()));
}

size_t InflateBufferSize(uint64_t expectedSize) {
  const uint64_t wanted = expectedSize < DecodeChunkSize ? expectedSize + 1 : DecodeChunkSize;
  return static_cast<size_t>(std::max<uint64_t>(wanted, SmallestInflateBuffer));
}

// Raises EDecompressionError when zlib cannot start.
// A part of an item is read no further than it needs: never ahead. Spare, an
// inflater of an earlier item, is taken when its buffer is large enough.
std::unique_ptr<TKelPullInflater> NewInflater(uint64_t expectedSize, bool whole, bool& ahead,
                                              std::unique_ptr<TKelInflater>& spare) {
  ahead = false;
  if (whole && expectedSize >= InflateAheadFrom) {
    try {
      auto inflater = std::make_unique<TKelInflateAhead>();
      ahead = true;
      return inflater;
    } catch (const std::system_error&) {
      // No thread to be had: inflate in line.
    }
  }
  const size_t bufferSize = InflateBufferSize(expectedSize);
  if (spare && spare->OutputBufferSize() >= bufferSize) {
    std::unique_ptr<TKelInflater> inflater = std::move(spare);
    inflater->Reset();
    return inflater;
  }
  return std::make_unique<TKelInflater>(bufferSize);
}

}  // namespace

int32_t ItemVolumeOf(const TKelDirManager& Dir, const TDirItem& Item) {
  const uint16_t disk = Item.CentralDir.diskNumberStart;
  if (disk != KelZip64Escape16) return disk;
  return Dir.Zip64() ? ClampVolume(Item.Zip64ExtInfo().diskNumberStart) : 0;
}

int32_t LastVolumeOf(const TKelDirManager& Dir) {
  const uint16_t disk = Dir.CentralDirEnd.diskNumber;
  if (disk != KelZip64Escape16) return disk;
  return Dir.Zip64() ? ClampVolume(int64_t{Dir.Zip64CentralDirEndLocator.totalNumberOfDisks} - 1)
                     : 0;
}

void TKelBaseArchiver::ExtractItemToStream(int32_t Index, TStream& Destination, int32_t Count,
                                           int64_t Offset) {
  if (!DMHandle) throw EKelException(NativeNotOpen, this);
  if (Index < 0 || Index >= DMHandle->CDir.Count())
    throw EKelException(NativeIndexOutOfBounds, this);
  // A copy: a handler asked during decoding may change the directory.
  TDirItem item = DMHandle->CDir.GetItem(Index);
  TKelVolumeNumberInfo volume;
  volume.SetLastVolumeNumber(LastVolumeOf(*DMHandle));
  volume.SetVolumeNumber(ItemVolumeOf(*DMHandle, item));
  OpenVolume(volume);
  if (!FCompressedStream) throw EKelException(NativeBadData, this);

  const uint64_t offset = item.LocalHeaderOffset();
  SeekArchive(static_cast<int64_t>(
      std::min<uint64_t>(offset, uint64_t(std::numeric_limits<int64_t>::max()))));

  if (!ExtractItemData(Destination, item, Count, Offset) && !FProgressCancel &&
      !FExtractCorruptedFiles && !FSkipFile)
    throw EKelException(NativeBadData, this);
}

bool TKelBaseArchiver::ExtractItemData(TStream& Destination, TDirItem& Item, int32_t Count,
                                       int64_t Offset) {
  TKelItemDecoding D;
  D.Item = &Item;
  D.Header = Item.CentralDir;
  D.Destination = &Destination;
  D.Count = std::max(Count, 0);
  D.Offset = std::max<int64_t>(Offset, 0);
  if (D.Count > 0) D.WantedEnd = uint64_t(D.Offset) + uint64_t(D.Count);
  D.DestinationStart = Destination.Position();
  D.Encrypted = (D.Header.genPurposeFlag & KelFlagEncrypted) != 0;
  if (D.Encrypted && D.Header.extractVersion < KelVersionApart &&
      IsAesAlgorithm(Item.KelEncryptionAlgorithm))
    D.Transform = NewAesDecryptor(Item.KelEncryptionAlgorithm, FCompressionMethod, FPassword);

  D.Volume = *FVolumeNumberInfo;
  D.Volume.SetLastVolumeNumber(LastVolumeOf(*DMHandle));

  if (!ReadLocalHeader(D)) return false;

  D.CompressedSize = Item.CompressedSize();
  D.ExpectedSize = Item.UncompressedSize();
  if (FSpanningMode == smNone) {
    // The data of an item in one file cannot reach into the directory: sizes
    // that say so lie, and the directory is never read as data.
    const int64_t position = ArchivePosition();
    const int64_t directory = DMHandle->CentralDirOffset;
    const uint64_t room = position < directory ? uint64_t(directory - position) : 0;
    if (D.CompressedSize > room) {
      if (!FExtractCorruptedFiles) return false;
      D.Inconsistent = true;
      D.CompressedSize = room;
    }
  }

  const uint64_t wanted = D.Count > 0 ? D.WantedEnd : uint64_t(D.Offset);
  const uint64_t progressMax = wanted != 0 ? wanted : D.ExpectedSize;
  FProgressMax = int64_t(std::min<uint64_t>(progressMax, std::numeric_limits<int64_t>::max()));
  if (FProgressMax == 0) FProgressMax = 2;
  FSkipFile = false;

  bool result = false;
  switch (Item.CompressionMethod) {
    case KelMethodStored:
    case KelMethodDeflate:
      result = DecodeItemData(D);
      break;
    case MethodDeflate64:
      throw EKelException(NativeDeflate64, nullptr);
    default:
      break;
  }
  if (result && D.Count == 0 && D.Produced != D.ExpectedSize) result = false;
  if (!result) return false;

  if (D.Count > 0 && D.Offset > 0) Destination.SetPosition(D.DestinationStart);
  if (FSkipFile || D.Count != 0) return true;
  if (D.Header.extractVersion < KelVersionApart) {
    if (D.Transform) {
      // The code may lie on the next volume: read it through the volumes first.
      TMemoryStream code;
      const int32_t size = D.Transform->GetFileStorageEndBlockSize();
      code.SetSize(size);
      if (!ReadAcrossVolumes(D, code.Memory(), size)) return false;
      D.Transform->LoadFileStorageEndBlock(code, 0);
      if (D.Transform->IsDirItemCorrupted(~D.Crc)) return false;
    } else if (~D.Crc != D.Header.crc32) {
      return false;
    }
  }
  return DataDescriptorAgrees(D) && !D.Inconsistent;
}

bool TKelBaseArchiver::ReadLocalHeader(TKelItemDecoding& D) {
  std::array<uint8_t, TKelZipLocalFileHeader::Size> fixed;
  if (!ReadAcrossVolumes(D, fixed.data(), int32_t(fixed.size())))
    throw EReadError("The local header of an item lies beyond the end of the archive");
  TKelZipLocalFileHeader& local = D.LocalHeader;
  local.Read(fixed);
  // Without a header nothing tells where the data begins.
  if (local.signature != KelLocalFileHeaderSig) return false;

  // The name is read with the extra area only to be passed over.
  const size_t nameLength = local.nameLength;
  D.Input.resize(nameLength + local.extraLength);
  if (!ReadAcrossVolumes(D, D.Input.data(), int32_t(D.Input.size()))) return false;
  const TKelLocalHeaderCheck check =
      CheckLocalHeader(local, std::span<const uint8_t>(D.Input).subspan(nameLength), *D.Item);
  D.DescriptorZip64 = check.DescriptorZip64;
  const bool settled = DirectorySettles(check.Mismatch);
  if (settled) DoLocalRecordWarning(D.Item->Name, lrLocalHeader, check.Mismatch);
  // A central extra area cut short is as ambiguous as a local one.
  D.Inconsistent = (check.Mismatch != lmNone && !settled) || D.Item->ExtraAreaCut;
  return !D.Inconsistent || FExtractCorruptedFiles;
}

bool TKelBaseArchiver::DataDescriptorAgrees(TKelItemDecoding& D) {
  if (!(D.LocalHeader.genPurposeFlag & KelFlagDataDescriptor)) return true;
  std::array<uint8_t, DataDescriptorSize(true, true)> bytes;
  constexpr int32_t signatureSize = 4;
  const int64_t start = FCompressedStream ? ArchivePosition() : 0;
  if (!ReadAcrossVolumes(D, bytes.data(), signatureSize)) return false;
  const bool signature = TKelByteReader(bytes).U32() == KelDataDescriptorSig;
  // Directory bytes are no descriptor: the item's records would run into the
  // directory. The wider form may still reach into it; the narrower is tried too.
  if (FSpanningMode == smNone &&
      start + int64_t(DataDescriptorSize(signature, false)) > DMHandle->CentralDirOffset)
    return false;
  const size_t size = DataDescriptorSize(signature, D.DescriptorZip64);
  if (!ReadAcrossVolumes(D, bytes.data() + signatureSize, int32_t(size) - signatureSize))
    return false;
  const TKelLocalMismatch mismatch =
      CheckDataDescriptor(std::span(bytes).first(size), D.DescriptorZip64, *D.Item);
  if (!DirectorySettles(mismatch)) return mismatch == lmNone;
  DoLocalRecordWarning(D.Item->Name, lrDataDescriptor, mismatch);
  return true;
}

bool TKelBaseArchiver::DecodeItemData(TKelItemDecoding& D) {
  FSkipFile = false;
  if (D.Encrypted) {
    const uint64_t overhead = D.Transform ? uint64_t(D.Transform->GetFileStorageStartBlockSize()) +
                                                uint64_t(D.Transform->GetFileStorageEndBlockSize())
                                          : uint64_t(PkzipHeaderSize);
    if (D.CompressedSize < overhead) return false;
    D.CompressedSize -= overhead;
    if (!CheckItemPassword(D)) return false;
  }

  if (D.Item->CompressionMethod == KelMethodDeflate) {
    try {
      D.Inflater = NewInflater(D.ExpectedSize, D.Count == 0, D.InflatesAhead, FSpareInflater);
      D.SpareInflater = &FSpareInflater;
    } catch (const EDecompressionError&) {
      return false;
    }
  }
  D.Input.resize(size_t(std::min<uint64_t>(D.CompressedSize, DecodeChunkSize)));
  if (D.InflatesAhead) D.SpareInput.resize(D.Input.size());

  while (D.Consumed < D.CompressedSize) {
    const auto n = int32_t(std::min<uint64_t>(DecodeChunkSize, D.CompressedSize - D.Consumed));
    if (!ReadAcrossVolumes(D, D.Input.data(), n)) return false;
    D.ChunkProduced = 0;
    if (!DecodeChunk(D, n)) return false;
    D.Produced += D.ChunkProduced;
    D.Consumed += uint64_t(n);
    // A cancel stops at once: reading on would only find more to throw away.
    if (FProgressCancel) return false;
    if (D.RangeComplete) return true;
    if (D.InflatesAhead) std::swap(D.Input, D.SpareInput);
  }
  if (D.Inflater) {
    D.ChunkProduced = 0;
    if (!TakeInflated(D, true)) return false;
    D.Produced += D.ChunkProduced;
    if (FProgressCancel) return false;
  }
  return true;
}

bool TKelBaseArchiver::DecodeChunk(TKelItemDecoding& D, int32_t N) {
  if (N <= 0) return false;
  uint8_t* input = D.Input.data();
  const auto size = size_t(N);
  if (D.Encrypted) {
    if (D.Transform)
      D.Transform->DecryptBuffer({input, size}, 0, N, {input, size}, 0);
    else
      DecryptPkzipBuffer(input, size, D.Keys);
  }

  if (D.Item->CompressionMethod == KelMethodStored) {
    for (int32_t done = 0; done < N;) {
      const int32_t piece = std::min(StoredPieceSize, N - done);
      FProgress = int64_t(D.Consumed) + done + piece;
      if (!ReportDecodeProgress(*D.Item)) return true;
      if (!TakeDecodedPiece(D, input + done, size_t(piece))) return false;
      if (FProgressCancel || D.RangeComplete) return true;
      done += piece;
    }
    return true;
  }

  D.Inflater->SetInput(input, size);
  return TakeInflated(D, false);
}

bool TKelBaseArchiver::TakeInflated(TKelItemDecoding& D, bool Drain) {
  TKelPullInflater& inflater = *D.Inflater;
  while (Drain ? !inflater.Drained() : !inflater.ChunkDone()) {
    FProgress =
        int64_t(std::min<uint64_t>(inflater.TotalOut(), std::numeric_limits<int64_t>::max()));
    if (!ReportDecodeProgress(*D.Item)) return true;
    std::span<const uint8_t> piece;
    try {
      piece = inflater.Inflate();
    } catch (const EDecompressionError&) {
      return false;
    }
    if (!piece.empty() && !TakeDecodedPiece(D, piece.data(), piece.size())) return false;
    if (FProgressCancel || D.RangeComplete) return true;
  }
  return true;
}

bool TKelBaseArchiver::TakeDecodedPiece(TKelItemDecoding& D, const uint8_t* Piece, size_t Size) {
  const uint64_t at = D.Produced + D.ChunkProduced;
  // Overlapping items and sizes that lie must not fill the disk.
  if (at > D.ExpectedSize || Size > D.ExpectedSize - at) return false;
  D.ChunkProduced += Size;
  D.Crc = AdvanceCrc32(D.Crc, Piece, Size);

  const uint64_t from = std::max<uint64_t>(at, uint64_t(D.Offset));
  const uint64_t to = std::min<uint64_t>(at + Size, D.WantedEnd);
  if (D.Count > 0 && at + Size >= D.WantedEnd) D.RangeComplete = true;
  if (from < to) WriteWithRetry(*D.Destination, Piece + (from - at), int32_t(to - from));
  return true;
}

bool TKelBaseArchiver::ReportDecodeProgress(const TDirItem& Item) {
  if (!FProgressEnabled) return true;
  const double part = double(FProgress) / double(FProgressMax);
  DoFileProgress(Item.Name, part * 100, Item.Operation, ppProcess, FProgressCancel);
  if (FProgressCancel) return false;
  const int32_t files = FProcessedFileCount > 0 ? FProcessedFileCount : 1;
  DoOverallProgress((part + FProcessedFileNo) / files * 100, Item.Operation, ppProcess,
                    FProgressCancel);
  return !FProgressCancel;
}

bool TKelBaseArchiver::ReadAcrossVolumes(TKelItemDecoding& D, uint8_t* Buffer, int32_t N) {
  if (N <= 0) return N == 0;
  if (!FCompressedStream) return false;
  int64_t got = ReadArchive(Buffer, N);
  while (got < N && FSpanningMode != smNone) {
    // Nothing lies beyond the last volume; asking for it would only ask the
    // user for a disk that does not exist.
    const int32_t last = D.Volume.LastVolumeNumber();
    if (D.Volume.VolumeNumber() < 0 || (last >= 0 && D.Volume.VolumeNumber() >= last)) break;
    D.Volume.SetVolumeNumber(D.Volume.VolumeNumber() + 1);
    OpenVolume(D.Volume);
    // A request answered without a file leaves the old volume current.
    if (!FCompressedStream || FVolumeNumberInfo->VolumeNumber() != D.Volume.VolumeNumber()) break;
    SeekArchive(0);
    const int64_t more = ReadArchive(Buffer + got, N - got);
    if (more == 0) break;
    got += more;
  }
  return got == N;
}

bool TKelBaseArchiver::ReadsAhead() const {
  return FReadAheadOn && FCompressedStream && FReadAhead.Stream() == FCompressedStream;
}

int64_t TKelBaseArchiver::ArchivePosition() {
  return ReadsAhead() ? FReadAhead.Position() : FCompressedStream->Position();
}

void TKelBaseArchiver::SeekArchive(int64_t Pos) {
  if (FReadAheadOn)
    FReadAhead.Seek(*FCompressedStream, Pos);
  else
    FCompressedStream->SetPosition(Pos);
}

int64_t TKelBaseArchiver::ReadArchive(uint8_t* Buffer, int64_t Count) {
  if (ReadsAhead()) return FReadAhead.Read(Buffer, Count);
  return FCompressedStream->ReadUpTo(Buffer, Count);
}

bool TKelBaseArchiver::WriteWithRetry(TStream& Stream, const void* Buffer, int32_t Count) {
  if (Count <= 0) return true;
  const int64_t position = Stream.Position();
  for (;;) {
    if (Stream.Write(Buffer, Count) == Count) return true;
    bool cancel = true;
    DoDiskFull(-1, FFileName, cancel);
    if (cancel) {
      FProgressCancel = true;
      return false;
    }
    Stream.SetPosition(position);
  }
}

}  // namespace kelvane
