// Writing the directory, the Zip64 end records and the end record.
#include <algorithm>

#include "container/KelDirManager.h"
#include "container/KelNames.h"
#include "container/KelStreamReader.h"
#include "platform/Format.h"

namespace kelvane {
namespace {

constexpr size_t kMaxField = 0xFFFF;
// Without volumes the directory is written in blocks of this size.
constexpr size_t kStageSize = 1 << 20;

size_t Zip64FieldSize(const TKelZip64Escapes& escapes) {
  return escapes.Any() ? KelExtraFieldHeaderSize + escapes.DataSize() : 0;
}

// Bytes of the central extra area the writer builds for Item: a fresh Zip64
// field, then every stored block but a Zip64 one.
size_t ExtraAreaSize(const TDirItem& item) {
  size_t size = Zip64FieldSize(Zip64EscapesOf(item.CentralDir));
  for (const TKelExtraFieldDataBlock& block : item.ExtraFields)
    if (block.headerID != KelZip64ExtraId) size += block.DiskSize();
  return size;
}

[[noreturn]] void TooLong(const UString& what, const UString& name, size_t bytes) {
  throw Exception(Format(u"%s of item \"%s\" takes %d bytes; at most 65535 can be stored",
                         {what, name, static_cast<int64_t>(bytes)}));
}

}  // namespace

// Carries the directory's bytes to the archive. Without volumes they collect
// here and go out in large blocks; with volumes each header goes to the
// archiver with the room its name, extra fields and comment need behind it, so
// that a volume boundary never cuts an item's record.
class TKelDirManager::TDirSink {
 public:
  TDirSink(TKelDirManager& owner, bool volumes) : FOwner(owner), FVolumes(volumes) {}

  int64_t Written() const { return FWritten; }

  void Put(const uint8_t* data, size_t count, int32_t minFree) {
    FWritten += static_cast<int64_t>(count);
    if (FVolumes) {
      Write(data, count, &FBuffer, minFree);
      return;
    }
    FStage.insert(FStage.end(), data, data + count);
    if (FStage.size() >= kStageSize) Flush();
  }

  // Writes what is still held. Raises what the writes raise.
  void Finish() {
    Flush();
    if (FBuffer.Size() > 0) {
      Write(FBuffer.Memory(), static_cast<size_t>(FBuffer.Size()), nullptr, -1);
      FBuffer.Clear();
    }
  }

  // After a failure: puts what is held straight into the stream now current,
  // so the stream ends with whatever was written, and raises nothing.
  void Abandon() noexcept {
    try {
      TStream* stream = FOwner.FCompressedStream;
      if (FVolumes && !FOwner.FIsCustomStream) stream = FOwner.FArc->ArchiveStream();
      FOwner.FCompressedStream = stream;
      if (!stream) return;
      if (!FStage.empty()) stream->WriteBuffer(FStage.data(), static_cast<int64_t>(FStage.size()));
      if (FBuffer.Size() > 0) stream->WriteBuffer(FBuffer.Memory(), FBuffer.Size());
    } catch (...) {  // the failure being reported is the first one
    }
    FStage.clear();
    FBuffer.Clear();
  }

 private:
  void Flush() {
    if (FStage.empty()) return;
    Write(FStage.data(), FStage.size(), nullptr, -1);
    FStage.clear();
  }

  void Write(const uint8_t* data, size_t count, TMemoryStream* buffer, int32_t minFree) {
    FOwner.FArc->WriteToVolumesChecked(data, static_cast<int32_t>(count), buffer, minFree,
                                       FOwner.FArc->CurrentVolumeInfo(), FOwner.FCompressedStream);
  }

  TKelDirManager& FOwner;
  bool FVolumes;
  TBytes FStage;
  TMemoryStream FBuffer;
  int64_t FWritten = 0;
};

int64_t TKelDirManager::OldDirectoryStart() {
  TStream& stream = *FCompressedStream;
  const int64_t size = stream.Size();
  TKelZipCentralDirEnd found;
  int64_t pos = -1;
  if (!FindEndRecord(found, pos, KelCentralDirEndSig)) return size;
  // With Zip64 records the directory ends where the Zip64 end record begins,
  // and only the Zip64 record holds its true size.
  int64_t dirEnd = pos;
  uint64_t dirSize = CentralDirEnd.centralDirSize;
  constexpr auto locatorSize = static_cast<int64_t>(TKelZip64CentralDirEndLocator::Size);
  constexpr auto zip64EndSize = static_cast<int64_t>(TKelZip64CentralDirEnd::Size);
  if (pos >= locatorSize + zip64EndSize) {
    TKelPositionKeeper keep(stream);
    TKelZip64CentralDirEndLocator locator;
    stream.SetPosition(pos - locatorSize);
    ReadRecord(stream, locator);
    if (locator.signature == KelZip64CentralDirEndLocatorSig) {
      dirEnd = pos - locatorSize - zip64EndSize;
      if (FZip64) dirSize = Zip64CentralDirEnd.centralDirSize;
    }
  }
  if (dirSize > static_cast<uint64_t>(dirEnd)) return size;
  // Where the items' data ends bounds the cut from below: after a rebuild from
  // the local headers the old directory is unknown, and nothing of the items
  // may be cut.
  return std::max(dirEnd - static_cast<int64_t>(dirSize), std::min(CentralDirOffset, size));
}

void TKelDirManager::SaveDir(bool RecreateCDirEnd, TStream* Stream) {
  if (Stream) FCompressedStream = Stream;
  const AnsiString comment = ArchiveComment;
  const bool oem = FArc->OEMFileNames();

  // Everything that cannot be stored is refused before the stream is touched.
  if (comment.size() > kMaxField) TooLong(u"The archive comment", u"", comment.size());
  for (int32_t i = 0; i < CDir.Count(); ++i) {
    const TDirItem& item = CDir.GetItemPtr(i);
    TKelZipCentralDir header = item.CentralDir;
    ItemNameToBytes(item.Name, item.NameInHostUtf8, header, oem);  // raises when too long
    if (const size_t extra = ExtraAreaSize(item); extra > kMaxField)
      TooLong(u"The extra fields", item.Name, extra);
    if (item.Comment().size() > kMaxField)
      TooLong(u"The comment", item.Name, item.Comment().size());
  }

  int64_t start = RecreateCDirEnd ? FCompressedStream->Size() : OldDirectoryStart();
  ArchiveComment = comment;
  FCompressedStream->SetPosition(start);
  FCompressedStream->SetSize(start);
  start = FCompressedStream->Position();

  auto volume = [&] {
    return static_cast<uint32_t>(std::max(FArc->CurrentVolumeInfo().VolumeNumber(), 0));
  };
  const uint32_t startVolume = volume();
  if (startVolume >= KelZip64Escape16) {
    CentralDirEnd.startDiskNumber = KelZip64Escape16;
    Zip64CentralDirEnd.startDiskNumber = startVolume;
  } else {
    CentralDirEnd.startDiskNumber = static_cast<uint16_t>(startVolume);
  }

  const bool volumes = FArc->SpanningMode() != smNone;
  TDirSink sink(*this, volumes);
  CentralDirOffset = start;
  try {
    WriteItems(sink);
    sink.Finish();
  } catch (...) {
    sink.Abandon();
    throw;
  }

  TStream& stream = *FCompressedStream;
  const uint64_t count = static_cast<uint64_t>(CDir.Count());
  const uint64_t dirSize = static_cast<uint64_t>(sink.Written());
  const uint32_t endVolume = volume();
  CentralDirEnd.entriesOnDisk = CentralDirEnd.entriesCentralDir =
      count < KelZip64Escape16 ? static_cast<uint16_t>(count) : KelZip64Escape16;
  CentralDirEnd.centralDirSize =
      dirSize < KelZip64Escape32 ? static_cast<uint32_t>(dirSize) : KelZip64Escape32;
  CentralDirEnd.offsetStartDir =
      start < int64_t{KelZip64Escape32} ? static_cast<uint32_t>(start) : KelZip64Escape32;
  CentralDirEnd.commentLength = static_cast<uint16_t>(ArchiveComment.size());
  CentralDirEnd.diskNumber =
      endVolume >= KelZip64Escape16 ? KelZip64Escape16 : static_cast<uint16_t>(endVolume);

  const int64_t zip64EndPos = stream.Position();
  // A volume number that needs its escape needs the records that resolve it.
  FZip64 = zip64EndPos >= int64_t{KelZip64Escape32} || count >= KelZip64Escape16 ||
           endVolume >= KelZip64Escape16 || startVolume >= KelZip64Escape16;
  if (FZip64) {
    TKelZip64CentralDirEnd& z = Zip64CentralDirEnd;
    z.signature = KelZip64CentralDirEndSig;
    z.centralDirEndSize = KelZip64CentralDirEndRestSize;
    z.versionMadeBy = KelVersionZip64;
    z.versionNeededToExtract = KelVersionZip64;
    z.diskNumber = endVolume;
    z.startDiskNumber = endVolume;
    z.entriesOnDisk = count;
    z.entriesCentralDir = count;
    z.centralDirSize = dirSize;
    z.offsetStartDir = static_cast<uint64_t>(start);
    WriteRecord(stream, z);
    TKelZip64CentralDirEndLocator& l = Zip64CentralDirEndLocator;
    l.signature = KelZip64CentralDirEndLocatorSig;
    l.startDiskNumber = endVolume;
    l.offsetStartDirEnd = static_cast<uint64_t>(zip64EndPos);
    l.totalNumberOfDisks = endVolume + 1;
    WriteRecord(stream, l);
  }
  WriteRecord(stream, CentralDirEnd);
  if (!ArchiveComment.empty())
    stream.WriteBuffer(ArchiveComment.data(), static_cast<int64_t>(ArchiveComment.size()));

  if (volumes) {
    FArc->RenameLastVolume();
    if (!FIsCustomStream) FCompressedStream = FArc->ArchiveStream();
  }
}

void TKelDirManager::WriteItems(TDirSink& Sink) {
  const bool oem = FArc->OEMFileNames();
  TBytes tail;
  for (int32_t i = 0; i < CDir.Count(); ++i) {
    TDirItem& item = CDir.GetItemPtr(i);
    TKelZipCentralDir& cd = item.CentralDir;
    const AnsiString name = ItemNameToBytes(item.Name, item.NameInHostUtf8, cd, oem);
    cd.nameLength = static_cast<uint16_t>(name.size());
    cd.extraLength = static_cast<uint16_t>(ExtraAreaSize(item));
    // The comment follows its text, as the name's length follows the name.
    cd.commentLength = static_cast<uint16_t>(item.Comment().size());

    tail.clear();
    TKelByteWriter out(tail);
    out.Bytes(std::span(reinterpret_cast<const uint8_t*>(name.data()), name.size()));
    const TKelZip64Escapes escapes = Zip64EscapesOf(cd);
    if (escapes.Any()) BuildZip64ExtraField(escapes, item.Zip64ExtInfo()).Write(out);
    for (const TKelExtraFieldDataBlock& block : item.ExtraFields)
      if (block.headerID != KelZip64ExtraId) block.Write(out);
    out.Bytes(
        std::span(reinterpret_cast<const uint8_t*>(item.Comment().data()), item.Comment().size()));

    const auto header = cd.ToBytes();
    Sink.Put(header.data(), header.size(), static_cast<int32_t>(tail.size()));
    Sink.Put(tail.data(), tail.size(), -1);
  }
}

}  // namespace kelvane
