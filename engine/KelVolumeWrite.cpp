// Writing a multi-volume set: filling volumes up to their limits, copying
// stored items into them, and giving the volumes their names once the set
// stands.
#include <algorithm>
#include <limits>

#include "container/KelDirManager.h"
#include "engine/KelCommitJournal.h"
#include "engine/Kelvane.h"
#include "names/Paths.h"
#include "platform/FileSystem.h"
#include "platform/Random.h"
#include "platform/UnixFiles.h"

namespace kelvane {
namespace {

constexpr int NativeVolumeRequestCancelled = 45;
constexpr int NativeWriteToStreamError = 46;
constexpr int64_t kCopyBlockSize = 1000000;
// Asking the file system for its free space costs a call; while the last
// answer leaves this much more than a write needs, it is counted down instead.
constexpr int64_t kFreeSpaceMargin = 4 << 20;
constexpr uint16_t ModeReadWriteShared = fmOpenReadWrite | fmShareDenyNone;

// A name beside FinalName that nothing else uses: hidden, and unique.
UString HiddenNameBeside(const UString& finalName) {
  const UString full = FullPath(finalName);
  const UString folder = DirectoryPart(full);
  for (;;) {
    uint8_t random[6];
    RandomBytes(random, sizeof random);
    UString suffix;
    for (uint8_t b : random)
      suffix += static_cast<char16_t>(u'a' + b % 26);
    UString name = folder + u"." + FileNamePart(full) + u"-" + suffix + u".part";
    if (!IsFile(name) && GetAttributes(name) < 0) return name;
  }
}

void FlushVolume(TStream& stream) {
  if (auto* file = dynamic_cast<TFileStream*>(&stream); file && !file->Flush())
    throw EWriteError(u"Cannot flush \"" + file->FileName() + u"\" to the disk");
}

}  // namespace

int64_t TKelBaseArchiver::WriteToVolumes(const void* Data, int32_t Count, TMemoryStream* Buffer,
                                         int32_t MinFree, TKelVolumeNumberInfo& Info,
                                         TStream*& Stream) {
  if (Count <= 0) return 0;
  if (FSpanningMode == smNone) return Stream->Write(Data, Count);
  const auto* bytes = static_cast<const uint8_t*>(Data);
  int64_t written = 0;
  // The disk's free space as last asked, and the volume's size then.
  int64_t diskFree = -1;
  int64_t sizeAtQuery = 0;
  bool asked = false;
  while (written < Count) {
    const int64_t left = Count - written;
    const int64_t buffered = Buffer ? Buffer->Size() : 0;
    const int64_t size = Stream->Size();
    const int64_t need = left + std::max(MinFree, 0);
    int64_t free = asked ? diskFree - (size - sizeAtQuery) : -1;
    if (!asked || (diskFree >= 0 && free < need + kFreeSpaceMargin)) {
      diskFree = VolumeFreeSpace(VolumeFileName);
      sizeAtQuery = size;
      asked = true;
    }
    free = diskFree < 0 ? std::numeric_limits<int64_t>::max() / 2 : diskFree - (size - sizeAtQuery);
    free -= buffered;
    const int64_t limit = FSpanningOptions->GetVolumeSize(Info);
    if (limit != -1) free = std::min(free, limit - size - buffered);
    if (free < 0) return written;

    // No volume could take a record that an empty one cannot: it is cut.
    const bool empty = size == 0 && buffered == 0;
    int64_t done = 0;
    if (MinFree == -1 || left + MinFree <= free || empty) {
      const int64_t n = std::min(free, left);
      if (n > 0)
        done = Buffer ? Buffer->Write(bytes + written, n) : Stream->Write(bytes + written, n);
      written += done;
    }
    if (written == Count) break;
    // A new volume that takes nothing would be followed by ever more of them.
    if (empty && done == 0) return written;

    if (Buffer && Buffer->Size() > 0) {
      CommitWrite(*Stream, Buffer->Memory(), Buffer->Size());
      Buffer->Clear();
    }
    Info.SetVolumeNumber(Info.VolumeNumber() + 1);
    OpenVolume(Info);
    Stream = FCompressedStream;
    asked = false;
  }
  return written;
}

void TKelBaseArchiver::WriteToVolumesChecked(const void* Data, int32_t Count, TMemoryStream* Buffer,
                                             int32_t MinFree, TKelVolumeNumberInfo& Info,
                                             TStream*& Stream) {
  if (Count <= 0) return;
  if (WriteToVolumes(Data, Count, Buffer, MinFree, Info, Stream) < Count)
    throw EKelException(NativeWriteToStreamError, this);
}

void TKelBaseArchiver::CopyToVolumes(TStream& Source, TStream*& Stream, bool ShowProgress,
                                     TMemoryStream* Buffer, int32_t MinFree, int64_t Count,
                                     bool& Cancel, TKelVolumeNumberInfo& Info) {
  if (Count == -1) Count = Source.Size() - Source.Position();
  const int64_t blockSize = std::clamp<int64_t>(Count, 1, kCopyBlockSize);
  if (ShowProgress) {
    DoCopyTempFileProgress(0, ppStart, Cancel);
    if (Cancel) return;
  }
  TBytes block(static_cast<size_t>(blockSize));
  int64_t copied = 0;
  while (copied < Count) {
    const int64_t n = Source.Read(block.data(), std::min(blockSize, Count - copied));
    if (n <= 0) break;
    if (WriteToVolumes(block.data(), static_cast<int32_t>(n), Buffer, MinFree, Info, Stream) < n)
      throw EKelException(NativeWriteToStreamError, this);
    copied += n;
    if (ShowProgress) {
      DoCopyTempFileProgress(static_cast<double>(copied) / static_cast<double>(Count) * 100,
                             ppProcess, Cancel);
      if (Cancel) return;
    }
  }
  if (ShowProgress) DoCopyTempFileProgress(100, ppEnd, Cancel);
}

// ---- The files of a set being written

void TKelBaseArchiver::CreateVolumeFile(const UString& FinalName) {
  const UString file = FSpanningMode == smSplitting ? HiddenNameBeside(FinalName) : FinalName;
  FNewVolumes.push_back({file, FinalName});
  try {
    OpenVolumeFile(file);
  } catch (...) {
    FNewVolumes.pop_back();
    throw;
  }
}

void TKelBaseArchiver::CloseNewVolume(bool Flush) {
  if (!FCompressedStream || IsCustomStream) return;
  TStream* stream = FCompressedStream;
  FCompressedStream = nullptr;
  try {
    if (Flush) FlushVolume(*stream);
  } catch (...) {
    delete stream;
    throw;
  }
  delete stream;
}

void TKelBaseArchiver::RewindVolumes(int32_t Volume, int64_t Position) {
  const auto current = static_cast<int32_t>(FNewVolumes.size()) - 1;
  if (Volume < current || !FCompressedStream) {
    // Spanned volumes of earlier disks cannot be reached again.
    if (Volume < current && FSpanningMode != smSplitting)
      throw EKelException(NativeVolumeRequestCancelled, this);
    if (FCompressedStream && !IsCustomStream) delete FCompressedStream;
    FCompressedStream = nullptr;
    while (static_cast<int32_t>(FNewVolumes.size()) - 1 > Volume) {
      RemoveFile(FNewVolumes.back().FileName);
      FNewVolumes.pop_back();
    }
    FCompressedStream = new TFileStream(FNewVolumes.back().FileName, ModeReadWriteShared);
    VolumeFileName = FNewVolumes.back().FileName;
    FVolumeNumberInfo->SetVolumeNumber(Volume);
    if (Volume == 0) FVolumeNumberInfo->SetFirstVolume(true);
  }
  FCompressedStream->SetSize(Position);
  FCompressedStream->SetPosition(Position);
  if (DMHandle) DMHandle->FollowArchiveStream();
}

void TKelBaseArchiver::DiscardNewVolumes() {
  if (FNewVolumes.empty()) return;
  if (FCompressedStream && !IsCustomStream) delete FCompressedStream;
  FCompressedStream = nullptr;
  // Spanned volumes carry their own names on disks of their own: what was
  // written on them stays, as with any disk that was filled.
  if (FSpanningMode == smSplitting)
    for (const TKelNewVolume& volume : FNewVolumes)
      RemoveFile(volume.FileName);
  FNewVolumes.clear();
}

void TKelBaseArchiver::RenameLastVolume() {
  if (FSpanningMode == smNone || FNewVolumes.empty()) return;
  UString lastName = FFileName;
  MakeVolumeFileName(lastName, -1, false);
  // A spanned volume stays on the disk it was written to, wherever the
  // answer to its request put it.
  if (FSpanningMode == smSpanning)
    lastName = DirectoryPart(FNewVolumes.back().FileName) + FileNamePart(lastName);
  const auto last = FNewVolumes.size() - 1;
  CloseNewVolume(true);
  // The parts replace older files by their names: they are on the disk
  // first. Split parts are flushed only now, so that the system writes the
  // earlier ones out while the later ones are written.
  if (FSpanningMode == smSplitting)
    for (size_t i = 0; i < last; ++i)
      if (!FlushFile(FNewVolumes[i].FileName))
        throw EWriteError(u"Cannot flush \"" + FNewVolumes[i].FileName + u"\" to the disk");

  // A set behind a program runs from its first volume.
  if (!FSFXStub.empty()) {
    TDiskEntry stub;
    if (ReadDiskEntry(FSFXStub, true, stub)) {
      const TFileStream first(FNewVolumes.front().FileName, fmOpenReadWrite | fmShareDenyNone);
      SetHandleMode(first.Handle(), stub.Mode | 0400);
    }
  }
  // Files of these names (an older set) are moved aside first and removed
  // only once every new part has its name: a rename that fails puts them
  // back, so the folder then holds the old set as it was.
  std::vector<std::pair<UString, UString>> placed;  // new part: file, name
  std::vector<std::pair<UString, UString>> aside;   // old file: name, hidden name
  auto restore = [&] {
    for (auto it = placed.rbegin(); it != placed.rend(); ++it)
      RenameOnDisk(it->second, it->first);
    for (const auto& [name, hidden] : aside)
      ReplaceOnDisk(hidden, name);
  };
  auto place = [&](const UString& from, const UString& to) {
    if (from == to) return;
    if (GetAttributes(to) >= 0) {
      const UString hidden = HiddenNameBeside(to);
      if (!RenameOnDisk(to, hidden)) {
        restore();
        throw EWriteError(u"Cannot move \"" + to + u"\" aside");
      }
      aside.emplace_back(to, hidden);
    }
    if (!RenameOnDisk(from, to)) {
      restore();
      throw EWriteError(u"Cannot rename \"" + from + u"\" to \"" + to + u"\"");
    }
    placed.emplace_back(from, to);
  };
  for (size_t i = 0; i < last; ++i)
    place(FNewVolumes[i].FileName, FNewVolumes[i].FinalName);
  place(FNewVolumes[last].FileName, lastName);
  FNewVolumes.clear();
  for (const auto& [name, hidden] : aside)
    RemoveFile(hidden);
  FlushFile(DirectoryPart(FullPath(lastName)));

  FCompressedStream = new TFileStream(lastName, ModeReadWriteShared);
  VolumeFileName = lastName;
  FVolumeNumberInfo->SetVolumeNumber(static_cast<int32_t>(last));
  FVolumeNumberInfo->SetLastVolumeNumber(static_cast<int32_t>(last));
}

}  // namespace kelvane
