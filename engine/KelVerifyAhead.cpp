#include "engine/KelVerifyAhead.h"

#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <new>
#include <span>
#include <system_error>

#include "coding/KelCrc32.h"
#include "coding/KelZlib.h"
#include "container/KelByteIO.h"
#include "container/KelLocalRecordCheck.h"
#include "container/KelZipRecords.h"

namespace kelvane {
namespace {

bool ReadExact(const TFileReader& archive, uint64_t at, uint8_t* buffer, size_t count) {
  if (at > uint64_t(std::numeric_limits<int64_t>::max()) - count) return false;
  return archive.ReadAt(int64_t(at), buffer, int64_t(count)) == int64_t(count);
}

// Output of an item that must come to exactly its declared size and CRC-32.
struct TOutputCheck {
  uint64_t Expected = 0;
  uint64_t Produced = 0;
  uint32_t Crc = Crc32Initial;

  bool Take(const uint8_t* piece, size_t size) {
    if (Produced > Expected || size > Expected - Produced) return false;
    Produced += size;
    Crc = AdvanceCrc32(Crc, piece, size);
    return true;
  }
};

enum class TDecoded : uint8_t { Whole, Unended, Failed, Cut };

// Whole: every byte went to Output and a Deflate stream came to its end.
// Unended: the same, but the stream stops short of its end. Failed: the data
// does not decode, or comes to more than its declared size: the archiver's
// check fails on it too. Cut: reading stopped for another reason (no memory,
// a read failing, Stop), which says nothing of the data.
TDecoded DecodeData(const TFileReader& archive, const TDirItem& item, uint64_t dataStart,
                    TOutputCheck& output, TKelVerifyBuffers& buffers,
                    const std::atomic<bool>& stop) {
  const uint64_t compressed = item.CompressedSize();
  std::unique_ptr<TKelInflater> inflater;
  // Output goes to the worker's own buffer: the inflater's would be one more
  // megabyte allocated and cleared per item.
  try {
    if (item.CompressionMethod == KelMethodDeflate) inflater = std::make_unique<TKelInflater>(1);
  } catch (...) {
    return TDecoded::Cut;
  }
  for (uint64_t consumed = 0; consumed < compressed;) {
    if (stop.load(std::memory_order_relaxed)) return TDecoded::Cut;
    const auto n = size_t(std::min<uint64_t>(TKelVerifyBuffers::Size, compressed - consumed));
    if (!ReadExact(archive, dataStart + consumed, buffers.Input(), n)) return TDecoded::Cut;
    if (inflater) {
      try {
        inflater->SetInput(buffers.Input(), n);
        while (!inflater->ChunkDone()) {
          const size_t produced = inflater->InflateInto(buffers.Output(), TKelVerifyBuffers::Size);
          if (produced > 0 && !output.Take(buffers.Output(), produced)) return TDecoded::Failed;
        }
      } catch (const EDecompressionError&) {
        return TDecoded::Failed;
      } catch (...) {
        return TDecoded::Cut;
      }
    } else if (!output.Take(buffers.Input(), n)) {
      return TDecoded::Failed;
    }
    consumed += n;
  }
  try {
    if (inflater) inflater->Finish();
  } catch (...) {
    return TDecoded::Unended;
  }
  return TDecoded::Whole;
}

bool DescriptorAgrees(const TFileReader& archive, const TDirItem& item, uint64_t end, bool zip64,
                      int64_t directory) {
  std::array<uint8_t, DataDescriptorSize(true, true)> bytes{};
  constexpr size_t signatureSize = 4;
  if (!ReadExact(archive, end, bytes.data(), signatureSize)) return false;
  const bool signature = TKelByteReader(bytes).U32() == KelDataDescriptorSig;
  if (end + DataDescriptorSize(signature, false) > uint64_t(directory)) return false;
  const size_t size = DataDescriptorSize(signature, zip64);
  if (!ReadExact(archive, end + signatureSize, bytes.data() + signatureSize, size - signatureSize))
    return false;
  return CheckDataDescriptor(std::span(bytes).first(size), zip64, item) == lmNone;
}

}  // namespace

bool CanVerifyStoredForm(const TDirItem& Item) {
  return !Item.IsDirectory() && !(Item.CentralDir.genPurposeFlag & KelFlagEncrypted) &&
         !Item.ExtraAreaCut &&
         (Item.CompressionMethod == KelMethodStored || Item.CompressionMethod == KelMethodDeflate);
}

TKelVerifyBuffers::TKelVerifyBuffers()
    : FMemory(std::make_unique_for_overwrite<uint8_t[]>(2 * Size)) {}

TKelVerdict VerifyStoredForm(const TFileReader& Archive, const TDirItem& Item,
                             int64_t DirectoryOffset, TKelVerifyBuffers& Buffers,
                             const std::atomic<bool>& Stop) {
  constexpr TKelVerdict notKnown = TKelVerdict::NotKnown;
  if (!CanVerifyStoredForm(Item) || DirectoryOffset < 0) return notKnown;
  try {
    const uint64_t at = Item.LocalHeaderOffset();
    std::array<uint8_t, TKelZipLocalFileHeader::Size> fixed{};
    if (!ReadExact(Archive, at, fixed.data(), fixed.size())) return notKnown;
    TKelZipLocalFileHeader local;
    if (!local.Read(fixed) || local.signature != KelLocalFileHeaderSig) return notKnown;
    TBytes nameAndExtra(size_t(local.nameLength) + local.extraLength);
    if (!ReadExact(Archive, at + fixed.size(), nameAndExtra.data(), nameAndExtra.size()))
      return notKnown;
    const TKelLocalHeaderCheck check = CheckLocalHeader(
        local, std::span<const uint8_t>(nameAndExtra).subspan(local.nameLength), Item);
    // A disagreement the directory settles is reported by the archiver's
    // check: left to it.
    if (check.Mismatch != lmNone) return notKnown;

    const uint64_t dataStart = at + fixed.size() + nameAndExtra.size();
    const auto directory = uint64_t(DirectoryOffset);
    const uint64_t compressed = Item.CompressedSize();
    if (dataStart > directory || compressed > directory - dataStart) return notKnown;

    TOutputCheck output;
    output.Expected = Item.UncompressedSize();
    const TDecoded decoded = DecodeData(Archive, Item, dataStart, output, Buffers, Stop);
    if (decoded == TDecoded::Cut) return notKnown;
    if (decoded == TDecoded::Failed) return TKelVerdict::Damaged;
    // The archiver checks the size and CRC-32 of what it decoded whether or
    // not the stream came to its end.
    if (output.Produced != output.Expected || ~output.Crc != Item.CentralDir.crc32)
      return TKelVerdict::Damaged;
    // Stricter than the archiver's check, which never asks: a stream cut
    // short is left to it.
    if (decoded == TDecoded::Unended) return notKnown;
    if ((local.genPurposeFlag & KelFlagDataDescriptor) &&
        !DescriptorAgrees(Archive, Item, dataStart + compressed, check.DescriptorZip64,
                          DirectoryOffset))
      return notKnown;
    return TKelVerdict::Sound;
  } catch (...) {
    // No memory for the header: not known here.
    return notKnown;
  }
}

TKelVerifyAhead::TKelVerifyAhead(int ArchiveHandle, int64_t DirectoryOffset, int32_t ItemCount)
    : FArchive(ArchiveHandle),
      FDirectoryOffset(DirectoryOffset),
      FStates(size_t(std::max(ItemCount, 0)), stNone),
      FVerdicts(FStates.size(), TKelVerdict::NotKnown) {
  if (!FArchive.Valid()) return;
  try {
    for (int32_t i = 0; i < Workers; ++i)
      FThreads.emplace_back([this] { Work(); });
  } catch (const std::system_error&) {
    // Fewer threads than wanted: those there are do the work.
  }
}

TKelVerifyAhead::~TKelVerifyAhead() {
  {
    std::lock_guard lock(FLock);
    FStop = true;
  }
  FJobReady.notify_all();
  for (std::thread& t : FThreads)
    t.join();
}

void TKelVerifyAhead::Submit(int32_t Index, const TDirItem& Item) {
  if (!Started() || Index < 0 || size_t(Index) >= FStates.size()) return;
  if (!CanVerifyStoredForm(Item)) return;
  {
    std::lock_guard lock(FLock);
    if (FStates[size_t(Index)] != stNone) return;
    FStates[size_t(Index)] = stPending;
    FKeys[Index] = KeyOf(Item);
    FJobs.emplace_back(Index, Item);
  }
  FJobReady.notify_one();
}

void TKelVerifyAhead::QueueAhead(int32_t Index, const TKelDirArray& Items,
                                 bool (*Wanted)(const TDirItem&)) {
  const int32_t end = std::min(Items.Count(), Index + Window);
  for (FQueued = std::max(FQueued, Index); FQueued < end; ++FQueued) {
    const TDirItem& item = Items.GetItemPtr(FQueued);
    if (!Wanted || Wanted(item)) Submit(FQueued, item);
  }
}

TKelVerdict TKelVerifyAhead::Verdict(int32_t Index, const TDirItem& Item) {
  if (Index < 0 || size_t(Index) >= FStates.size()) return TKelVerdict::NotKnown;
  std::unique_lock lock(FLock);
  FVerdictReady.wait(lock, [&] { return FStates[size_t(Index)] != stPending; });
  const auto key = FKeys.find(Index);
  if (key == FKeys.end()) return TKelVerdict::NotKnown;
  const bool same = key->second == KeyOf(Item);
  FKeys.erase(key);
  return same ? FVerdicts[size_t(Index)] : TKelVerdict::NotKnown;
}

TKelVerifyAhead::TDataKey TKelVerifyAhead::KeyOf(const TDirItem& Item) {
  return {Item.LocalHeaderOffset(), Item.CompressedSize(),  Item.UncompressedSize(),
          Item.CentralDir.crc32,    Item.CompressionMethod, Item.CentralDir.genPurposeFlag,
          Item.ExtraAreaCut};
}

void TKelVerifyAhead::Work() {
  std::unique_ptr<TKelVerifyBuffers> buffers;
  try {
    buffers = std::make_unique<TKelVerifyBuffers>();
  } catch (const std::bad_alloc&) {
    // No memory for this worker: the others verify, or the archiver does.
  }
  for (;;) {
    std::unique_lock lock(FLock);
    FJobReady.wait(lock, [&] { return FStop || !FJobs.empty(); });
    if (FStop) return;
    auto [index, item] = std::move(FJobs.front());
    FJobs.pop_front();
    lock.unlock();
    const TKelVerdict verdict =
        buffers ? VerifyStoredForm(FArchive, item, FDirectoryOffset, *buffers, FStop)
                : TKelVerdict::NotKnown;
    lock.lock();
    FVerdicts[size_t(index)] = verdict;
    FStates[size_t(index)] = stDone;
    lock.unlock();
    FVerdictReady.notify_all();
  }
}

}  // namespace kelvane
