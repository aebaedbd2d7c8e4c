// Merging another archive into the open one: its item data is appended as it
// is, and its items join the directory under the overwrite rules.
#include <algorithm>

#include "container/KelDirManager.h"
#include "engine/KelCommitState.h"
#include "engine/Kelvane.h"
#include "platform/FileSystem.h"

namespace kelvane {
namespace {

constexpr int NativeReadOnly = 32;
constexpr int NativeUpdateNotEnded = 26;
constexpr int NativeMultiVolumeChange = 52;
constexpr uint16_t ModeReadShared = fmOpenRead | fmShareDenyNone;

int32_t DosDateTimeOf(const TDirItem& item) {
  return static_cast<int32_t>(uint32_t{item.CentralDir.lastModDate} << 16 |
                              item.CentralDir.lastModTime);
}

// Item's local header moves from where the other archive had it (its stub
// left out) to where its copy stands, behind this archive's items.
void Rebase(TDirItem& item, uint64_t otherStub, uint64_t base) {
  const bool zip64 = item.CentralDir.relOffsetLH == KelZip64Escape32;
  const uint64_t offset = item.LocalHeaderOffset() - otherStub + base;
  if (zip64 || offset >= KelZip64Escape32) {
    item.CentralDir.relOffsetLH = KelZip64Escape32;
    item.EditZip64ExtInfo().relOffsetLH = offset;
    item.bHugeFile = true;
  } else {
    item.CentralDir.relOffsetLH = static_cast<uint32_t>(offset);
  }
}

void Flush(TStream& stream) {
  if (auto* file = dynamic_cast<TFileStream*>(&stream); file && !file->Flush())
    throw EWriteError(u"Cannot flush \"" + file->FileName() + u"\" to the disk");
}

}  // namespace

bool TKelBaseArchiver::TakesMergedItem(const TDirItem& Here, const TDirItem& Other,
                                       const UString& OtherFileName) {
  switch (FOptions->OverwriteMode()) {
    case omAlways:
      return true;
    case omNever:
      return false;
    case omIfNewer:
      return DosDateTimeOf(Other) > DosDateTimeOf(Here);
    case omIfOlder:
      return DosDateTimeOf(Other) < DosDateTimeOf(Here);
    case omPrompt:
    default: {
      UString dest = FFileName + PathDelim + Here.Name;
      bool confirm = false;
      DoConfirmOverwrite(OtherFileName + PathDelim + Other.Name, dest, confirm);
      return confirm;
    }
  }
}

void TKelBaseArchiver::PlanMerge(const TKelDirManager& Other, const UString& OtherFileName,
                                 uint64_t Base) {
  TKelDirArray& dir = DMHandle->CDir;
  const int32_t oldCount = dir.Count();
  dir.ClearTags();
  const auto otherStub = static_cast<uint64_t>(Other.StubSize);
  for (int32_t i = 0; i < Other.CDir.Count(); ++i) {
    TDirItem item = Other.CDir.GetItem(i);
    item.Tagged = true;
    item.Modified = false;
    Rebase(item, otherStub, Base);
    int32_t here = -1;
    if (dir.FileExists(item.Name, here) && here < oldCount) {
      if (TakesMergedItem(dir.GetItemPtr(here), item, OtherFileName)) dir.SetItem(here, item);
      continue;
    }
    const int32_t at = dir.Count();
    dir.SetCount(at + 1);
    dir.SetItem(at, item);
  }
  dir.ClearTags();
}

void TKelvane::MergeWith(const UString& ArchiveFileName) {
  CheckActive();
  if (InUpdate()) throw EKelException(NativeUpdateNotEnded, this);
  if (!ArchiveWritable()) throw EKelException(NativeReadOnly, this);
  if (FSpanningMode != smNone) throw EKelException(NativeMultiVolumeChange, this);

  TKelvane other(nullptr);
  other.SetFileName(ArchiveFileName);
  other.Options().SetOEMFileNames(FOptions->OEMFileNames());
  other.SetOpenCorruptedArchives(FOpenCorruptedArchives);
  other.OpenArchive(ModeReadShared);
  if (other.SpanningMode() != smNone)
    throw Exception(u"The archive \"" + ArchiveFileName +
                    u"\" has several volumes: only a one-file archive can be merged");
  TKelDirManager& theirs = *other.DMHandle;
  TStream& source = *other.FCompressedStream;
  const int64_t dataStart = theirs.StubSize;
  const int64_t dataEnd = std::min(theirs.CentralDirOffset, source.Size());

  TKelDirManager& dm = *DMHandle;
  TStream& archive = *FCompressedStream;
  // Where this archive's items end: a new archive may hold nothing but a stub.
  const int64_t base = std::max(dm.CentralDirOffset, dm.StubSize);

  // Done as a commit: the old directory is saved and journaled before the
  // archive is cut, so a failure or a kill leaves the archive as it was.
  dm.RBCDir.Assign(dm.CDir);
  dm.RBArchiveComment = dm.ArchiveComment;
  FCommit = std::make_unique<TKelCommitState>();
  TKelCommitState& c = *FCommit;
  c.OldDirOffset = dm.CentralDirOffset;
  c.Saved.CutPos = base;
  bool cancelled = false;
  try {
    PlanMerge(theirs, ArchiveFileName, static_cast<uint64_t>(base));
    SaveArchiveTail();
    archive.SetPosition(base);
    c.Cut = true;
    archive.SetSize(base);
    source.SetPosition(dataStart);
    FProgressEnabled = true;
    const bool copied = CopyBlocks(archive, source, std::max<int64_t>(dataEnd - dataStart, 0),
                                   ArchiveFileName, poMerge);
    cancelled = FProgressCancel;
    if (!copied)
      throw EWriteError(u"Cannot append the items of \"" + ArchiveFileName + u"\" to \"" +
                        FFileName + u"\"");
    if (!cancelled) {
      FVolumeNumberInfo->SetFirstVolume(true);
      dm.SaveDir(true, &archive);
      if (c.Journaled || FOptions->FlushBuffers()) Flush(archive);
      DiscardSavedTail();
      c.DirWritten = true;
    }
  } catch (...) {
    FProgressEnabled = false;
    if (!c.DirWritten) Rollback();
    FCommit.reset();
    throw;
  }
  if (cancelled) Rollback();
  FCommit.reset();
  if (cancelled) return;
  bool cancel = false;
  DoFileProgress(ArchiveFileName, 100, poMerge, ppEnd, cancel);
  DoOverallProgress(100, poMerge, ppEnd, cancel);
  FProgressEnabled = false;
}

}  // namespace kelvane
