// Update transactions: beginning and ending them, the commit that rewrites the
// archive in place, and its roll-back.
#include <algorithm>

#include "coding/KelCrc32.h"
#include "coding/KelParallelDeflate.h"
#include "container/KelDirManager.h"
#include "engine/KelCommitState.h"
#include "engine/Kelvane.h"
#include "platform/FileSystem.h"

namespace kelvane {
namespace {

constexpr int NativeReadOnly = 32;
constexpr int NativeCannotDelete = 27;
constexpr int NativeCannotDeleteFolder = 60;
constexpr int NativeMultipleTransactions = 62;
constexpr uint16_t ModeReadWriteDenyWrite = fmOpenReadWrite | fmShareDenyWrite;
constexpr int64_t kCopyBlock = 1 << 20;

// Copies Count bytes of Source from its position to Dest, returning their
// CRC-32. Raises EReadError / EWriteError on a short transfer (a full disk).
uint32_t CopyWithCrc(TStream& Source, TStream& Dest, int64_t Count) {
  TBytes buffer(static_cast<size_t>(std::clamp<int64_t>(Count, 1, kCopyBlock)));
  uint32_t crc = Crc32Initial;
  while (Count > 0) {
    const int64_t n = std::min<int64_t>(Count, static_cast<int64_t>(buffer.size()));
    Source.ReadBuffer(buffer.data(), n);
    UpdateCrc32(crc, buffer.data(), static_cast<int32_t>(n));
    CommitWrite(Dest, buffer.data(), n);
    Count -= n;
  }
  return ~crc;
}

void Flush(TStream& Stream) {
  if (auto* file = dynamic_cast<TFileStream*>(&Stream); file && !file->Flush())
    throw EWriteError(u"Cannot flush \"" + file->FileName() + u"\" to the disk");
}

}  // namespace

// ---- Transactions

void TKelBaseArchiver::BeginUpdate() {
  if (FSpanningMode != smNone && FUpdated) throw EKelException(NativeMultipleTransactions, this);
  if (FUpdateCount == 0) {
    if (!FActive) {
      OpenArchive();
    } else if (!IsCustomStream && !FInMemory && FSpanningMode == smNone &&
               IsFile(CommitJournalName(FFileName))) {
      // A roll-back that could not finish here left its journal: finish it.
      CloseArchive();
      OpenArchive(ModeReadWriteDenyWrite);
    }
    if (!ArchiveWritable()) throw EKelException(NativeReadOnly, this);
    // A set is written once, as it is created: its volumes cannot be
    // rewritten in place, and writing on after its last volume would give
    // the items that follow the numbers of volumes that exist already.
    if (FSpanningMode != smNone && !DMHandle->IsNewArchive())
      throw EKelException(NativeMultipleTransactions, this);
    TKelDirArray& dir = DMHandle->CDir;
    for (int32_t i = 0; i < dir.Count(); ++i)
      dir.GetItemPtr(i).Modified = false;
    DMHandle->RBCDir.Assign(dir);
    DMHandle->RBArchiveComment = DMHandle->ArchiveComment;
  }
  ++FUpdateCount;
}

void TKelBaseArchiver::EndUpdate() {
  if (FUpdateCount <= 0) return;
  if (FUpdateCount > 1) {
    --FUpdateCount;
    return;
  }
  FUpdated = true;
  CommitUpdate();
  if (FSpanningMode != smNone && FileOpenMode == fmCreate) FileOpenMode = ModeReadWriteDenyWrite;
}

void TKelBaseArchiver::CancelUpdate() {
  if (FUpdateCount <= 0) return;
  FUpdateCount = 0;
  // The directory in memory goes back to what the archive holds: edits that
  // were never written would otherwise be read as if they were.
  if (DMHandle) {
    DMHandle->CDir.Assign(DMHandle->RBCDir);
    DMHandle->ArchiveComment = DMHandle->RBArchiveComment;
  }
}

int32_t TKelBaseArchiver::FirstChangedIndex() const {
  const TKelDirArray& now = DMHandle->CDir;
  const TKelDirArray& old = DMHandle->RBCDir;
  const int32_t n = std::min(now.Count(), old.Count());
  for (int32_t i = 0; i < n; ++i) {
    const TDirItem& item = now.GetItemPtr(i);
    if (item.Modified || item.Name != old.GetItemPtr(i).Name) return i;
  }
  return n;
}

UString TKelBaseArchiver::MakeTempFileName() {
  UString name = CreateTempFile(FTempDir, u"FC");
  if (name.empty())
    throw EFCreateError(u"Cannot create a temporary file in \"" +
                        (FTempDir.empty() ? TempDirectory() : FTempDir) + u"\"");
  return name;
}

// ---- The commit

namespace {

// Where the rewrite starts. Items are rewritten in place from there, so every
// item before it must lie wholly in front of every item after it; an archive
// whose directory lists its items in another order than they stand starts
// earlier, where that holds.
int32_t SafeStart(const TKelDirArray& old, int32_t start) {
  const int32_t n = old.Count();
  if (start >= n) return start;
  std::vector<uint64_t> suffixMin(static_cast<size_t>(n) + 1, UINT64_MAX);
  for (int32_t i = n - 1; i >= 0; --i)
    suffixMin[i] = std::min(suffixMin[i + 1], old.GetItemPtr(i).LocalHeaderOffset());
  uint64_t prefixMax = 0;
  int32_t safe = 0;
  for (int32_t i = 0; i < start; ++i) {
    prefixMax = std::max(prefixMax, old.GetItemPtr(i).LocalHeaderOffset());
    if (prefixMax < suffixMin[i + 1]) safe = i + 1;
  }
  return safe;
}

}  // namespace

void TKelBaseArchiver::CommitUpdate() {
  if (FUpdateCount <= 0) return;
  FUpdateCount = 0;
  TKelDirManager& dm = *DMHandle;
  FProcessedFileNo = 0;
  FProcessedFileCount = 0;
  FProcessedFilesTotalSize = 0;
  FProcessedFilesSize = 0;
  FProgressCancel = false;
  FProgressEnabled = true;
  TKelProcessOperation operation = poDelete;
  bool anyModified = false;
  for (int32_t i = 0; i < dm.CDir.Count(); ++i) {
    const TDirItem& item = dm.CDir.GetItemPtr(i);
    if (!item.Modified) continue;
    if (!anyModified) operation = item.Operation;
    anyModified = true;
    ++FProcessedFileCount;
    FProcessedFilesTotalSize += static_cast<int64_t>(item.UncompressedSize());
  }

  const int32_t start = SafeStart(dm.RBCDir, FirstChangedIndex());
  bool cancel = false;
  DoOverallProgress(0, operation, ppStart, cancel);
  if (cancel) {
    dm.CDir.Assign(dm.RBCDir);  // nothing was written
    dm.ArchiveComment = dm.RBArchiveComment;
    return;
  }

  FCommit = std::make_unique<TKelCommitState>();
  TKelCommitState& c = *FCommit;
  c.Start = start;
  c.OldDirOffset = dm.CentralDirOffset;
  if (start < dm.RBCDir.Count())
    c.Saved.CutPos = static_cast<int64_t>(dm.RBCDir.GetItemPtr(start).LocalHeaderOffset());
  else if (dm.RBCDir.Count() == 0)
    c.Saved.CutPos = dm.StubSize;
  else
    c.Saved.CutPos = dm.CentralDirOffset;

  bool aborted = false;
  try {
    SaveArchiveTail();
    // Writing a set moves from volume to volume: the stream is taken anew
    // after every step that may have changed it.
    FCompressedStream->SetPosition(c.Saved.CutPos);
    c.Cut = true;
    FCompressedStream->SetSize(c.Saved.CutPos);
    FVolumeNumberInfo->SetFirstVolume(true);
    aborted = !RewriteItems();
    if (!aborted && !FProgressCancel) {
      try {
        dm.SaveDir(true, FCompressedStream);
      } catch (const EWriteError& e) {
        // A short write raises the stream's bare error, which names no file.
        if (FSpanningMode == smNone && e.Message().find(FFileName) == UString::npos)
          RaiseDiskFull(*FCompressedStream);
        throw;
      }
      // Durable before the journal goes: after that, nothing could restore it.
      if (c.Journaled || FOptions->FlushBuffers()) Flush(*FCompressedStream);
      // The journal's removal is the commit point: while it stays, the next
      // opening would roll back, so a failure to remove it rolls back here.
      DiscardSavedTail();
      c.DirWritten = true;
    }
  } catch (...) {
    if (!c.DirWritten) Rollback();
    FCommit.reset();
    throw;
  }
  if (aborted || FProgressCancel) {
    Rollback();
    FCommit.reset();
    return;
  }
  FCommit.reset();
  if (!RemoveMovedSources()) return;
  cancel = false;
  DoOverallProgress(100, operation, ppEnd, cancel);
}

void TKelBaseArchiver::SaveArchiveTail() {
  TKelCommitState& c = *FCommit;
  TStream& archive = *FCompressedStream;
  c.Saved.ArchiveSize = archive.Size();
  // Only a new set is written (BeginUpdate): nothing of it lies behind the cut.
  if (FSpanningMode != smNone) return;
  auto* file = dynamic_cast<TFileStream*>(&archive);
  c.Journaled = file && !IsCustomStream && !FInMemory && FSpanningMode == smNone;
  const UString archiveName = file ? file->FileName() : UString();
  UString tailName;
  try {
    if (c.Journaled && FTempDir.empty()) {
      tailName = CommitTailName(archiveName);
      c.TailFile = std::make_unique<TFileStream>(tailName, fmCreate);
    } else {
      tailName = MakeTempFileName();
      c.TailFile = std::make_unique<TFileStream>(tailName, fmOpenReadWrite | fmShareExclusive);
    }
    c.Saved.TailFileName = tailName;
    archive.SetPosition(c.Saved.CutPos);
    c.Saved.TailCrc = CopyWithCrc(archive, *c.TailFile, c.Saved.ArchiveSize - c.Saved.CutPos);
    if (c.Journaled) {
      Flush(*c.TailFile);
      WriteCommitJournal(archiveName, c.Saved);
    }
  } catch (...) {
    c.TailFile.reset();
    if (!tailName.empty()) RemoveFile(tailName);
    c.Journaled = false;
    throw;
  }
}

void TKelBaseArchiver::DiscardSavedTail() {
  TKelCommitState& c = *FCommit;
  if (c.Journaled) {
    const UString archiveName = static_cast<TFileStream*>(FCompressedStream)->FileName();
    // A tail file without its journal is never read, so the journal goes first.
    if (!RemoveCommitJournal(archiveName))
      throw EWriteError(u"Cannot remove \"" + CommitJournalName(archiveName) + u"\"");
    c.Journaled = false;
  }
  c.TailFile.reset();
  if (!c.Saved.TailFileName.empty()) RemoveFile(c.Saved.TailFileName);
  c.Saved.TailFileName.clear();
}

bool TKelBaseArchiver::RewriteItems() {
  TKelCommitState& c = *FCommit;
  TKelDirArray& dir = DMHandle->CDir;
  const TKelDirArray& old = DMHandle->RBCDir;
  for (int32_t i = c.Start; i < old.Count(); ++i) {
    const TDirItem& entry = old.GetItemPtr(i);
    c.OldByName[entry.Name].push_back(i);
    c.OldOffsets.push_back(entry.LocalHeaderOffset());
  }
  std::sort(c.OldOffsets.begin(), c.OldOffsets.end());

  // Puts the archive back to where the item began; on a set, that may be
  // an earlier volume.
  auto cutBackTo = [this](int32_t volume, int64_t position) {
    if (FSpanningMode != smNone) {
      RewindVolumes(volume, position);
      return;
    }
    FCompressedStream->SetPosition(position);
    FCompressedStream->SetSize(position);
  };
  // At most a few items per worker wait in memory, each one chunk at most.
  c.Ahead = std::make_unique<TKelCompressAhead>(AheadJobs(c.Start), DeflateWorkers(),
                                                size_t{4} * DeflateWorkers());
  // Once the items are written (or the writing stopped), the workers and the
  // items they made go, before the directory is written and committed.
  struct TAheadEnd {
    TKelCommitState& State;
    ~TAheadEnd() {
      State.AheadItem.reset();
      State.Ahead.reset();
    }
  } aheadEnd{c};
  int32_t i = c.Start;
  while (i < dir.Count() && !FProgressCancel) {
    const int64_t itemStart = FCompressedStream->Position();
    const int32_t itemVolume = FVolumeNumberInfo->VolumeNumber();
    bool stored = false;
    bool failedBefore = false;
    do {
      // What a failed attempt wrote goes.
      if (failedBefore) cutBackTo(itemVolume, itemStart);
      c.Result = fxaIgnore;
      const TDirItem& item = dir.GetItemPtr(i);
      if (item.Modified && !CopiedAsTheyAre(item.Operation)) {
        stored = StoreItem(i);
      } else {
        CopyItem(i);
        stored = true;
      }
      failedBefore = !stored;
    } while (c.Result == fxaRetry);
    if (c.Result == fxaAbort) return false;
    if (FProgressCancel) break;
    if (stored) {
      ++FProcessedFileNo;
      ++i;
      continue;
    }
    cutBackTo(itemVolume, itemStart);
    // Not stored and the failure ignored: the old version stays (under its
    // new name when it was renamed in this update too), a new item goes.
    TDirItem& failed = dir.GetItemPtr(i);
    if (c.OldByName.contains(failed.Name)) {
      CopyItem(i);
      ++i;
    } else if ((failed.Operation == poRename || failed.Operation == poUpdate) &&
               !failed.OldName().empty() && c.OldByName.contains(failed.OldName())) {
      KeepRenamedOldVersion(i);
      CopyItem(i);
      ++i;
    } else {
      dir.DeleteItem(i);
    }
  }
  return true;
}

void TKelBaseArchiver::KeepRenamedOldVersion(int32_t Index) {
  TKelCommitState& c = *FCommit;
  TDirItem& item = DMHandle->CDir.GetItemPtr(Index);
  if (item.Operation == poRename) return;
  const UString newName = item.Name;
  const UString oldName = item.OldName();
  item = DMHandle->RBCDir.GetItemPtr(c.OldByName.at(oldName).front());
  item.Name = newName;  // the name index knows the item by its new name already
  item.SetOldName(oldName);
  item.Modified = true;
  item.Operation = poRename;
  SetNameFields(item, newName);
}

void TKelBaseArchiver::Rollback() {
  TKelDirManager& dm = *DMHandle;
  dm.CDir.Assign(dm.RBCDir);
  dm.ArchiveComment = dm.RBArchiveComment;
  if (!FCommit) return;
  TKelCommitState& c = *FCommit;
  dm.CentralDirOffset = c.OldDirOffset;
  if (FSpanningMode != smNone) {
    // A new set goes back to its first volume as the commit found it.
    if (c.Cut && !c.DirWritten && !FNewVolumes.empty()) {
      try {
        RewindVolumes(0, c.Saved.CutPos);
        c.Cut = false;
      } catch (...) {  // spanned disks that are gone keep what they got
      }
    }
    return;
  }
  if (c.Cut && !c.DirWritten && FCompressedStream && c.TailFile) {
    try {
      RestoreArchiveTail(*FCompressedStream, *c.TailFile, c.Saved);
      c.Cut = false;
    } catch (...) {
      // The journal stays with its tail file: the next writable opening
      // completes the roll-back.
      c.TailFile.reset();
      return;
    }
  }
  try {
    DiscardSavedTail();
  } catch (...) {  // a journal that stays rolls back to what the archive now holds
  }
}

bool TKelBaseArchiver::RemoveMovedSources() {
  TKelDirArray& dir = DMHandle->CDir;
  for (const bool folders : {false, true}) {
    for (int32_t i = 0; i < dir.Count(); ++i) {
      const TDirItem& item = dir.GetItemPtr(i);
      if (!item.Modified || item.Operation != poMove || item.IsDirectory() != folders) continue;
      const UString source = item.SrcFileName();
      for (;;) {
        bool removed = false;
        if (folders) {
          removed = RemoveEmptyTree(source);
        } else {
          removed = RemoveFile(source);
          if (!removed) {
            SetAttributes(source, 0);
            removed = RemoveFile(source);
          }
        }
        if (removed) break;
        const EKelException error(folders ? NativeCannotDeleteFolder : NativeCannotDelete, {source},
                                  this);
        TKelAction action = fxaIgnore;
        DoProcessFileFailure(source, poMove, error.NativeError, error.ErrorCode, error.Message(),
                             action);
        if (action == fxaAbort) return false;
        if (action != fxaRetry) break;  // Ignore goes on with the next one
      }
    }
  }
  return true;
}

}  // namespace kelvane
