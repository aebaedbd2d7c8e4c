#include "container/KelDirManager.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string>
#include <vector>

#include "container/KelExcept.h"
#include "container/KelLocalRecordCheck.h"
#include "container/KelNames.h"
#include "container/KelStreamReader.h"

namespace kelvane {
namespace {

constexpr int kErrNoZip64EndRecord = 40;
constexpr int kErrSfxStubTooLarge = 47;
constexpr int kErrDamaged = 57;

constexpr int64_t kInt64Max = std::numeric_limits<int64_t>::max();

int32_t ClampVolumeNumber(int64_t n) {
  return static_cast<int32_t>(std::clamp<int64_t>(n, -1, std::numeric_limits<int32_t>::max()));
}

uint64_t SaturatingAdd(uint64_t a, uint64_t b) {
  return b > std::numeric_limits<uint64_t>::max() - a ? std::numeric_limits<uint64_t>::max()
                                                      : a + b;
}

}  // namespace

TKelDirManager::TKelDirManager(TStream* Stream, bool bCreate, TKelArchiveHost* Arc)
    : FCompressedStream(Stream), FCreate(bCreate), FArc(Arc) {
  if (!Arc) throw Exception("A directory manager needs the archiver that owns it");
  FIsCustomStream = Stream != Arc->ArchiveStream();
  ResetDir();
  if (bCreate) {
    Arc->CurrentVolumeInfo().SetFirstVolume(true);
    if (!Arc->SFXStub().empty()) CopySFXStub();
  }
}

TKelDirManager::~TKelDirManager() = default;

bool TKelDirManager::Corrupted() const {
  return FArc->OpenCorruptedArchives();
}

void TKelDirManager::ResetDir() {
  CDir.SetCount(0);
  CentralDirEnd = TKelZipCentralDirEnd();
  CentralDirEnd.signature = KelCentralDirEndSig;
  CentralDirEnd.diskNumber = 0;
  CentralDirEnd.startDiskNumber = 0;
}

void TKelDirManager::CopySFXStub() {
  TFileStream stub(FArc->SFXStub(), fmOpenRead | fmShareDenyNone);
  const int64_t stubSize = stub.Size();
  if (FArc->SpanningMode() != smNone) {
    TKelVolumeNumberInfo first;
    first.SetFirstVolume(true);
    const int64_t limit = FArc->SpanningOptions().GetVolumeSize(first);
    if (limit != -1 && limit < stubSize)
      throw EKelException(kErrSfxStubTooLarge, FArc->ArchiverComponent());
  }
  FCompressedStream->SetSize(0);
  FCompressedStream->SetPosition(0);
  if (stubSize > 0) FCompressedStream->CopyFrom(stub, 0);
  StubSize = stubSize;
}

bool TKelDirManager::IsValidEndRecord(int64_t P) {
  TStream& stream = *FCompressedStream;
  TKelPositionKeeper keep(stream);
  const int64_t size = stream.Size();
  if (P < 0 || size - P < static_cast<int64_t>(TKelZipCentralDirEnd::Size)) return false;
  TKelZipCentralDirEnd e;
  stream.SetPosition(P);
  ReadRecord(stream, e);
  const int64_t q = P + static_cast<int64_t>(TKelZipCentralDirEnd::Size);
  if (e.startDiskNumber > e.diskNumber || e.entriesOnDisk > e.entriesCentralDir) return false;
  // A directory that begins on an earlier volume is not bounded by the bytes
  // of this one.
  const bool dirHere = e.startDiskNumber == e.diskNumber;
  if (dirHere && e.centralDirSize != KelZip64Escape32 && !(int64_t{e.centralDirSize} < q))
    return false;
  if (dirHere && e.offsetStartDir != KelZip64Escape32 &&
      !(int64_t{e.offsetStartDir} < q - int64_t{e.centralDirSize}))
    return false;
  return size - q >= int64_t{e.commentLength};
}

int TKelDirManager::EndRecordFit(int64_t P, const TKelZipCentralDirEnd& Record) {
  TStream& stream = *FCompressedStream;
  TKelPositionKeeper keep(stream);
  const int64_t size = stream.Size();
  const int64_t end = P + static_cast<int64_t>(TKelZipCentralDirEnd::Size) + Record.commentLength;
  const int reachesEnd = end == size ? 1 : 0;
  auto signatureAt = [&](int64_t at, uint32_t signature) {
    if (at < 0 || size - at < 4) return false;
    std::array<uint8_t, 4> bytes;
    ReadAt(stream, at, bytes.data(), 4);
    return TKelByteReader(bytes).U32() == signature;
  };
  bool directory = false;
  constexpr auto locatorSize = static_cast<int64_t>(TKelZip64CentralDirEndLocator::Size);
  if (Record.startDiskNumber != Record.diskNumber) {
    directory = true;
  } else if (P >= locatorSize && signatureAt(P - locatorSize, KelZip64CentralDirEndLocatorSig)) {
    TKelZip64CentralDirEndLocator locator;
    stream.SetPosition(P - locatorSize);
    ReadRecord(stream, locator);
    directory =
        locator.offsetStartDirEnd <= static_cast<uint64_t>(kInt64Max) &&
        signatureAt(static_cast<int64_t>(locator.offsetStartDirEnd), KelZip64CentralDirEndSig);
  } else if (Record.entriesCentralDir == 0) {
    directory = Record.centralDirSize == 0;
  } else {
    directory = int64_t{Record.centralDirSize} <= P &&
                signatureAt(P - int64_t{Record.centralDirSize}, KelCentralFileHeaderSig);
  }
  return reachesEnd * 2 + (directory ? 1 : 0);
}

bool TKelDirManager::FindEndRecord(TKelZipCentralDirEnd& Record, int64_t& Position,
                                   uint32_t Signature) {
  Position = -1;
  ArchiveComment.clear();
  Record = TKelZipCentralDirEnd();
  FEndSignatureSeen = false;
  TStream& stream = *FCompressedStream;
  TKelPositionKeeper keep(stream);
  const int64_t size = stream.Size();
  const int64_t window = std::min(size, EndRecordSearchWindow);
  if (window < 4) return false;
  const int64_t base = size - window;
  TBytes tail(static_cast<size_t>(window));
  ReadAt(stream, base, tail.data(), window);
  const uint8_t s0 = Signature & 0xFF, s1 = (Signature >> 8) & 0xFF, s2 = (Signature >> 16) & 0xFF,
                s3 = Signature >> 24;
  int bestFit = -1;
  for (int64_t i = window - 1; i >= 3; --i) {
    if (tail[i] != s3 || tail[i - 1] != s2 || tail[i - 2] != s1 || tail[i - 3] != s0) continue;
    FEndSignatureSeen = true;
    const int64_t p = base + i - 3;
    if (!IsValidEndRecord(p)) continue;
    TKelZipCentralDirEnd candidate;
    candidate.Read(std::span<const uint8_t>(tail).subspan(static_cast<size_t>(i - 3)));
    // The nearest to the end of those that fit best.
    const int fit = EndRecordFit(p, candidate);
    if (fit > bestFit) {
      bestFit = fit;
      Position = p;
    }
  }
  if (Position < 0) return false;
  // A valid record and its comment lie inside the window.
  const auto at = static_cast<size_t>(Position - base);
  Record.Read(std::span<const uint8_t>(tail).subspan(at));
  if (Record.commentLength > 0)
    ArchiveComment.assign(reinterpret_cast<const char*>(tail.data() + at + Record.Size),
                          Record.commentLength);
  return true;
}

bool TKelDirManager::ReadZip64Locator(int64_t& EndPos) {
  constexpr auto size = static_cast<int64_t>(TKelZip64CentralDirEndLocator::Size);
  if (EndPos <= size) return false;
  TKelPositionKeeper keep(*FCompressedStream);
  FCompressedStream->SetPosition(EndPos - size);
  ReadRecord(*FCompressedStream, Zip64CentralDirEndLocator);
  if (Zip64CentralDirEndLocator.signature != KelZip64CentralDirEndLocatorSig) return false;
  EndPos -= size;
  return true;
}

bool TKelDirManager::ReadZip64EndRecord(int64_t& EndPos) {
  constexpr auto size = static_cast<int64_t>(TKelZip64CentralDirEnd::Size);
  if (EndPos <= size) return false;
  TStream& stream = *FCompressedStream;
  TKelPositionKeeper keep(stream);
  const uint64_t at = Zip64CentralDirEndLocator.offsetStartDirEnd;
  const int64_t streamSize = stream.Size();
  // A locator pointing outside the stream finds no record, the same as one
  // pointing at other bytes.
  if (streamSize < size || at > static_cast<uint64_t>(streamSize - size)) return false;
  stream.SetPosition(static_cast<int64_t>(at));
  ReadRecord(stream, Zip64CentralDirEnd);
  if (Zip64CentralDirEnd.signature != KelZip64CentralDirEndSig) return false;
  EndPos -= size;
  return true;
}

bool TKelDirManager::HasCentralDirEnd() {
  int64_t position = -1;
  const bool found = FindEndRecord(CentralDirEnd, position, KelCentralDirEndSig);
  return Corrupted() || found;
}

bool TKelDirManager::IsSFXArchive() const {
  return CDir.Count() > 0 && CDir.GetItemPtr(0).CentralDir.relOffsetLH != 0;
}

bool TKelDirManager::IsEncrypted() const {
  return CDir.Count() > 0 && (CDir.GetItemPtr(0).CentralDir.genPurposeFlag & KelFlagEncrypted);
}

void TKelDirManager::OpenVolumeForRead(const TKelVolumeNumberInfo& Info) {
  if (FIsCustomStream) return;
  FArc->OpenVolume(Info);
  FCompressedStream = FArc->ArchiveStream();
}

void TKelDirManager::LoadDir() {
  TKelVolumeNumberInfo volume;
  ResetDir();
  StubSize = 0;
  Recovery = TKelDirRecovery();
  FDamage.clear();

  TKelZipCentralDirEnd e;
  int64_t endPos = -1;
  if (!FindEndRecord(e, endPos, KelCentralDirEndSig)) {
    Recover(false, rcNoEndRecord,
            FEndSignatureSeen
                ? "an end record signature is there, but its record does not fit "
                  "the file"
                : "no end record signature in the last " +
                      std::to_string(std::min(FCompressedStream->Size(), EndRecordSearchWindow)) +
                      " bytes");
    return;
  }
  CentralDirEnd = e;
  FZip64 = ReadZip64Locator(endPos);
  if (FZip64 && !ReadZip64EndRecord(endPos)) throw EKelException(kErrNoZip64EndRecord, nullptr);
  if (!FZip64 && e.entriesCentralDir == KelZip64Escape16) {
    Recover(true, rcNoZip64Records, "");
    return;
  }

  const int64_t startDisk = e.startDiskNumber != KelZip64Escape16 ? e.startDiskNumber
                            : FZip64 ? int64_t{Zip64CentralDirEnd.startDiskNumber}
                                     : 0;
  const int64_t lastDisk = e.diskNumber != KelZip64Escape16 ? e.diskNumber
                           : FZip64 ? int64_t{Zip64CentralDirEndLocator.totalNumberOfDisks} - 1
                                    : 0;
  volume.SetLastVolumeNumber(ClampVolumeNumber(lastDisk));
  volume.SetVolumeNumber(ClampVolumeNumber(startDisk));
  const bool spanning = FArc->SpanningMode() != smNone;
  if (spanning) OpenVolumeForRead(volume);

  try {
    // The directory is found from its size, counted back from the records that
    // follow it, so that bytes in front of the archive do not matter; with
    // volumes the offset is taken, as it counts from the start of its volume.
    const uint64_t storedOffset = FZip64 ? Zip64CentralDirEnd.offsetStartDir : e.offsetStartDir;
    const uint64_t dirSize = FZip64 ? Zip64CentralDirEnd.centralDirSize : e.centralDirSize;
    const uint64_t count = FZip64 ? Zip64CentralDirEnd.entriesCentralDir : e.entriesCentralDir;
    int64_t dirStart = -1;
    if (spanning && storedOffset <= static_cast<uint64_t>(kInt64Max))
      dirStart = static_cast<int64_t>(storedOffset);
    else if (!spanning && dirSize <= static_cast<uint64_t>(endPos))
      dirStart = endPos - static_cast<int64_t>(dirSize);
    if (dirStart < 0)
      DirectoryDamaged("its size of " + std::to_string(dirSize) +
                       " bytes is larger than what stands before the end record");
    ReadItems(count, dirStart, endPos, lastDisk, volume);
  } catch (const std::exception& error) {
    if (!Corrupted()) throw;
    Recover(true, rcUnreadableDirectory, FDamage.empty() ? error.what() : FDamage);
    return;
  }
  // Not damage but a contradiction between the directory and the local
  // headers: a rebuild from the local headers would only take one side of it.
  CheckDistinctLocalHeaders();

  if (!Corrupted() && !spanning) CheckCompressedSizes();
  if (lastDisk == 0) {
    DetectStub(endPos);
    if (!OffsetsIncludeStub()) ApplyStubOffset();
    if (!spanning) CheckNoUnlistedItemAtEnd();
  }
}

void TKelDirManager::ReadItems(uint64_t ItemCount, int64_t DirStart, int64_t DirEnd,
                               int64_t LastDisk, TKelVolumeNumberInfo& Volume) {
  const bool spanning = FArc->SpanningMode() != smNone;
  const bool oem = FArc->OEMFileNames();
  constexpr auto headerSize = static_cast<int64_t>(TKelZipCentralDir::Size);
  // The directory ends where the records behind it begin, on the volume that
  // holds them; reading on would take those records, or a comment, for items.
  auto limitOf = [&](TStream& stream) {
    const int64_t size = stream.Size();
    return !spanning || Volume.VolumeNumber() == LastDisk ? std::min(size, DirEnd) : size;
  };
  if (ItemCount > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
    DirectoryDamaged("it counts " + std::to_string(ItemCount) + " items, more than can be read");
  const auto count = static_cast<int32_t>(ItemCount);
  int64_t limit = limitOf(*FCompressedStream);
  if (DirStart > limit) DirectoryDamaged("it starts beyond the end of its volume");
  TKelBoundedReader reader(*FCompressedStream, DirStart, limit);
  CentralDirOffset = DirStart;
  // Room for the items the bytes can hold, not for what a count claims; a
  // directory over several volumes grows as it is read.
  CDir.SetCount(static_cast<int32_t>(std::min<int64_t>(count, (limit - DirStart) / headerSize)));

  constexpr const char* shortDir =
      "The central directory ends before all the items its end record announces";
  int32_t done = 0;
  try {
    TBytes bytes;
    for (int32_t i = 0; i < count; ++i) {
      if (spanning && reader.Remaining() < headerSize) {
        Volume.SetVolumeNumber(Volume.VolumeNumber() + 1);
        OpenVolumeForRead(Volume);
        if (!FIsCustomStream)
          reader = TKelBoundedReader(*FCompressedStream, 0, limitOf(*FCompressedStream));
      }
      if (i == 0) CentralDirOffset = reader.Position();
      if (i >= CDir.Count()) CDir.SetCount(i + 1);
      TDirItem& item = CDir.GetItemPtr(i);
      std::array<uint8_t, TKelZipCentralDir::Size> header;
      reader.Read(header.data(), header.size(), shortDir);
      item.CentralDir.Read(header);
      // A directory found at the wrong place must not turn other bytes into items.
      if (item.CentralDir.signature != KelCentralFileHeaderSig)
        DirectoryDamaged("central header " + std::to_string(i + 1) + " of " +
                         std::to_string(count) + " has no signature");
      const TKelZipCentralDir& cd = item.CentralDir;
      if ((cd.genPurposeFlag & KelFlagEncrypted) && cd.extractVersion < KelVersionApart)
        item.KelEncryptionAlgorithm = caPkzipClassic;
      item.CompressionMethod = cd.compMethod;

      AnsiString name(cd.nameLength, '\0');
      reader.Read(name.data(), name.size(), shortDir);
      CDir.SetItemName(i, ItemNameFromBytes(name, cd, oem));
      item.NameInHostUtf8 = IsHostUtf8Name(name, cd);

      if (cd.extraLength > 0) {
        bytes.resize(cd.extraLength);
        reader.Read(bytes.data(), bytes.size(), shortDir);
        item.ExtraAreaCut = !ExtraBlocksFit(bytes);
        if (auto extraName = item.ReadExtraFields(bytes, name)) CDir.SetItemName(i, *extraName);
      }
      if (cd.commentLength > 0) {
        AnsiString comment(cd.commentLength, '\0');
        reader.Read(comment.data(), comment.size(), shortDir);
        item.SetComment(std::move(comment));
      }
      done = i + 1;
    }
  } catch (...) {
    CDir.SetCount(done);
    throw;
  }
  CDir.SetCount(done);
}

void TKelDirManager::CheckDistinctLocalHeaders() const {
  // Disk and offset as one 64-bit key while they fit (every archive below
  // 256 TiB a volume): half the memory of pairs, on top of a large directory.
  constexpr int kOffsetBits = 48;
  std::vector<uint64_t> keys;
  keys.reserve(static_cast<size_t>(CDir.Count()));
  for (int32_t i = 0; i < CDir.Count(); ++i) {
    const TDirItem& item = CDir.GetItemPtr(i);
    const uint64_t disk = item.DiskNumberStart(), offset = item.LocalHeaderOffset();
    if (disk >> (64 - kOffsetBits) || offset >> kOffsetBits) {
      keys.clear();
      break;
    }
    keys.push_back(disk << kOffsetBits | offset);
  }
  if (static_cast<int32_t>(keys.size()) != CDir.Count()) {
    std::vector<std::pair<uint32_t, uint64_t>> places;
    places.reserve(static_cast<size_t>(CDir.Count()));
    for (int32_t i = 0; i < CDir.Count(); ++i) {
      const TDirItem& item = CDir.GetItemPtr(i);
      places.emplace_back(item.DiskNumberStart(), item.LocalHeaderOffset());
    }
    std::sort(places.begin(), places.end());
    if (std::adjacent_find(places.begin(), places.end()) != places.end())
      throw EKelException(kErrDamaged, nullptr);
    return;
  }
  std::sort(keys.begin(), keys.end());
  if (std::adjacent_find(keys.begin(), keys.end()) != keys.end())
    throw EKelException(kErrDamaged, nullptr);
}

void TKelDirManager::Recover(bool EndRecordFound, TKelRecoveryCause Cause, std::string Detail) {
  CDir.SetCount(0);
  if (FArc->SpanningMode() != smNone) throw EKelException(44, nullptr);
  RecoverDirectory(EndRecordFound);
  CentralDirOffset = FCompressedStream->Size();
  Recovery.Cause = Cause;
  Recovery.Detail = std::move(Detail);
}

void TKelDirManager::DirectoryDamaged(std::string Detail) {
  FDamage = std::move(Detail);
  throw EKelException(kErrDamaged, nullptr);
}

void TKelDirManager::CheckCompressedSizes() {
  uint64_t total = 0;
  for (int32_t i = 0; i < CDir.Count(); ++i)
    total = SaturatingAdd(total, CDir.GetItemPtr(i).CompressedSize());
  if (static_cast<uint64_t>(FCompressedStream->Size()) < total)
    throw EKelException(kErrDamaged, nullptr);
}

void TKelDirManager::DetectStub(int64_t EndPos) {
  // The items read, rather than the end record's count: the two differ only in
  // a damaged archive, and only the items can be looked at.
  if (CDir.Count() == 0) {
    StubSize = EndPos;
    return;
  }
  const uint64_t stored = CDir.GetItemPtr(0).LocalHeaderOffset();
  const int64_t size = FCompressedStream->Size();
  if (stored >= static_cast<uint64_t>(size)) return;
  TScanWindow window;
  for (auto s = static_cast<int64_t>(stored); s < size; ++s) {
    s = ScanFor(s, KelLocalFileHeaderSig, StubSearchWindow, &window);
    if (s < 0) return;
    if (MatchesFirstItem(s)) {
      StubSize = s;
      return;
    }
  }
}

bool TKelDirManager::MatchesFirstItem(int64_t S) {
  TStream& stream = *FCompressedStream;
  TKelPositionKeeper keep(stream);
  const int64_t size = stream.Size();
  if (S < 0 || size - S < static_cast<int64_t>(TKelZipLocalFileHeader::Size)) return false;
  TKelZipLocalFileHeader l;
  stream.SetPosition(S);
  ReadRecord(stream, l);
  if (size - S - static_cast<int64_t>(TKelZipLocalFileHeader::Size) < l.nameLength) return false;
  if (l.signature != KelLocalFileHeaderSig) return false;
  if (S == 0) return true;
  const TKelZipCentralDir& f = CDir.GetItemPtr(0).CentralDir;
  return l.crc32 == f.crc32 && l.extractVersion == f.extractVersion &&
         l.compMethod == f.compMethod && l.lastModTime == f.lastModTime &&
         l.lastModDate == f.lastModDate && l.compSize == f.compSize && l.unCompSize == f.unCompSize;
}

bool TKelDirManager::IsLocalHeaderOf(uint64_t At, const TDirItem& Item) const {
  TStream& stream = *FCompressedStream;
  TKelPositionKeeper keep(stream);
  constexpr auto headerSize = static_cast<uint64_t>(TKelZipLocalFileHeader::Size);
  const auto size = static_cast<uint64_t>(stream.Size());
  if (At > size || size - At < headerSize) return false;
  TKelZipLocalFileHeader l;
  stream.SetPosition(static_cast<int64_t>(At));
  ReadRecord(stream, l);
  const TKelZipCentralDir& cd = Item.CentralDir;
  return l.signature == KelLocalFileHeaderSig && l.compMethod == cd.compMethod &&
         l.lastModTime == cd.lastModTime && l.lastModDate == cd.lastModDate &&
         l.nameLength == cd.nameLength;
}

bool TKelDirManager::OffsetsIncludeStub() const {
  for (int32_t i = 0; i < CDir.Count(); ++i) {
    const TDirItem& item = CDir.GetItemPtr(i);
    if (item.CompressedSize() == 0) continue;
    // Where the item's own header stands decides. Item 0, by which the stub
    // was measured, may be a folder whose offset an earlier writer left
    // unshifted while it shifted those of the files.
    const uint64_t offset = item.LocalHeaderOffset();
    const auto stub = static_cast<uint64_t>(StubSize);
    if (stub > 0 && IsLocalHeaderOf(offset, item)) return true;
    if (stub > 0 && offset <= std::numeric_limits<uint64_t>::max() - stub &&
        IsLocalHeaderOf(offset + stub, item))
      return false;
    return offset >= stub;
  }
  return true;
}

void TKelDirManager::CheckNoUnlistedItemAtEnd() {
  if (CDir.Count() == 0 || StubSize != 0) return;
  const TDirItem* last = &CDir.GetItemPtr(0);
  uint64_t first = last->LocalHeaderOffset();
  for (int32_t i = 1; i < CDir.Count(); ++i) {
    const TDirItem& item = CDir.GetItemPtr(i);
    first = std::min(first, item.LocalHeaderOffset());
    if (item.LocalHeaderOffset() > last->LocalHeaderOffset()) last = &item;
  }
  if (first != 0 || CentralDirOffset < 0) return;

  TStream& stream = *FCompressedStream;
  TKelPositionKeeper keep(stream);
  const auto dirStart = static_cast<uint64_t>(CentralDirOffset);
  constexpr auto headerSize = static_cast<uint64_t>(TKelZipLocalFileHeader::Size);
  auto headerAt = [&](uint64_t at, TKelZipLocalFileHeader& l) {
    if (at > dirStart || dirStart - at < headerSize) return false;
    stream.SetPosition(static_cast<int64_t>(at));
    ReadRecord(stream, l);
    return l.signature == KelLocalFileHeaderSig;
  };
  TKelZipLocalFileHeader l;
  if (!headerAt(last->LocalHeaderOffset(), l)) return;
  const uint64_t dataEnd =
      SaturatingAdd(last->LocalHeaderOffset() + headerSize + l.nameLength + l.extraLength,
                    last->CompressedSize());
  const bool descriptor = (l.genPurposeFlag & KelFlagDataDescriptor) != 0;
  const uint64_t behind[] = {0, DataDescriptorSize(false, false), DataDescriptorSize(true, false),
                             DataDescriptorSize(false, true), DataDescriptorSize(true, true)};
  for (uint64_t gap : behind) {
    if (gap > 0 && !descriptor) break;
    TKelZipLocalFileHeader h;
    if (!headerAt(SaturatingAdd(dataEnd, gap), h)) continue;
    // Only a whole header, with its data when it gives the size, counts.
    uint64_t end = dataEnd + gap + headerSize + h.nameLength + h.extraLength;
    if (!(h.genPurposeFlag & KelFlagDataDescriptor) && h.compSize != KelZip64Escape32)
      end += h.compSize;
    if (end <= dirStart) throw EKelException(kErrDamaged, nullptr);
  }
}

// Folders too: each has its local header like any item, and an offset left
// inside the stub would make other readers reject the archive once the
// directory is written back, and an update copy stub bytes as the folder.
void TKelDirManager::ApplyStubOffset() {
  for (int32_t i = 0; i < CDir.Count(); ++i)
    CDir.GetItemPtr(i).ShiftLocalHeaderOffset(static_cast<uint64_t>(StubSize));
}

void TKelDirManager::MergeWith(const TKelDirManager& DMHandleToAdd) {
  CDir.ClearTags();
  CDir.Append(DMHandleToAdd.CDir);
  for (int32_t i = 0; i < CDir.Count(); ++i) {
    TDirItem& item = CDir.GetItemPtr(i);
    if (!item.Tagged) continue;
    item.Tagged = false;
    item.ShiftLocalHeaderOffset(static_cast<uint64_t>(CentralDirOffset));
  }
}

}  // namespace kelvane
