// Opening and closing archives: the file mode, the order of the steps, and the
// volume-side choice of how an archive on disk is opened.
#include <span>

#include "container/KelDirManager.h"
#include "engine/KelCommitJournal.h"
#include "engine/Kelvane.h"
#include "names/NameText.h"
#include "names/Paths.h"
#include "platform/FileSystem.h"

namespace kelvane {
namespace {

constexpr int NativeBlankNameNoMode = 9;
constexpr int NativeBlankName = 10;
constexpr int NativeFileNotFound = 12;
constexpr int NativeInMemoryCreateOnly = 28;
constexpr int NativeArchiveDamaged = 48;
constexpr int NativeCustomStreamVolumes = 51;

constexpr uint16_t ModeReadWriteDenyWrite = fmOpenReadWrite | fmShareDenyWrite;  // 0x0022
constexpr uint16_t ModeReadOnlyShared = fmOpenRead | fmShareDenyNone;            // 0x0040
// Bits of a file mode word that give write access (0xFF00 creates).
constexpr uint16_t WritableModeBits = 0xFF03;

// Switches OpenCorruptedArchives off while the end record is looked for, so
// that the answer is the search's own; restored on every path.
class TTruthfulEndRecordSearch {
 public:
  explicit TTruthfulEndRecordSearch(bool& flag) : FFlag(flag), FSaved(flag) { flag = false; }
  ~TTruthfulEndRecordSearch() { FFlag = FSaved; }
  TTruthfulEndRecordSearch(const TTruthfulEndRecordSearch&) = delete;
  TTruthfulEndRecordSearch& operator=(const TTruthfulEndRecordSearch&) = delete;

 private:
  bool& FFlag;
  bool FSaved;
};

}  // namespace

void TKelBaseArchiver::OpenArchive() {
  FUpdated = false;
  if (!FInMemory && FileNamePart(FFileName).empty())
    throw EKelException(NativeBlankNameNoMode, this);
  // An archive that is still open would stand in the way of the probe below
  // (its own sharing denial) and make a writable file look read-only.
  CloseArchive();
  uint16_t mode = fmCreate;
  if (!FInMemory && IsFile(FFileName)) {
    try {
      TFileStream probe(FFileName, ModeReadWriteDenyWrite);
      mode = ModeReadWriteDenyWrite;
    } catch (const EFileStreamError&) {
      mode = ModeReadOnlyShared;
    }
  }
  OpenArchive(mode);
}

void TKelBaseArchiver::OpenArchive(uint16_t Mode) {
  FUpdated = false;
  if (!FInMemory && FileNamePart(FFileName).empty()) throw EKelException(NativeBlankName, this);
  if (Mode != fmCreate && !IsFile(FFileName) && FSpanningMode != smSpanning &&
      !IsRemovableDrive(FFileName))
    throw EKelException(NativeFileNotFound, {FFileName}, this);
  if (Mode != fmCreate && FInMemory)
    throw EKelException(NativeInMemoryCreateOnly, {FFileName}, this);
  CloseArchive();
  if (!FInMemory) FinishInterruptedCommit(Mode);
  IsCustomStream = false;
  FileOpenMode = Mode;
  try {
    InternalOpen();
  } catch (...) {
    // Nothing of a failed attempt stays open: no file handle, no lock.
    if (!FActive) ReleaseArchive();
    throw;
  }
}

void TKelBaseArchiver::OpenArchive(TStream& Stream, bool Create) {
  if (FSpanningMode != smNone) throw EKelException(NativeCustomStreamVolumes, this);
  CloseArchive();
  IsCustomStream = true;
  try {
    if (Create) Stream.SetSize(0);
    // Made before the stream becomes the archive stream, so the manager knows
    // it as the caller's and never switches volumes on it.
    DMHandle = new TKelDirManager(&Stream, Create, this);
    FCompressedStream = &Stream;
    if (Create)
      DMHandle->SaveDir(true);
    else
      DMHandle->LoadDir();
  } catch (...) {
    ReleaseArchive();
    throw;
  }
  FActive = true;
  DoAfterOpen();
}

void TKelBaseArchiver::CloseArchive() {
  if (FActive) {
    try {
      if (FUpdateCount > 0) {
        FUpdateCount = 1;
        EndUpdate();
      }
    } catch (...) {
    }
    FUpdateCount = 0;
    try {
      // Nothing behind the stub: a new archive that got no items still
      // becomes a valid, empty one.
      // A new set whose writing failed is given up instead: its empty
      // directory would replace a file of the archive's name.
      const bool failedSet = FSpanningMode != smNone && FUpdated;
      if (FCompressedStream && DMHandle && ArchiveWritable() && !failedSet &&
          FCompressedStream->Size() == DMHandle->StubSize)
        DMHandle->SaveDir(true);
    } catch (...) {
    }
    FActive = false;
  }
  ReleaseArchive();
}

void TKelBaseArchiver::FinishInterruptedCommit(uint16_t Mode) {
  FRolledBackCommit = false;
  if (!IsFile(CommitJournalName(FFileName))) {
    if ((Mode & WritableModeBits) != 0) RemoveOrphanedCommitTail(FFileName);
    return;
  }
  // Reading it now would show a cut archive, or a mix of old and new items.
  if ((Mode & WritableModeBits) == 0) {
    // A writer that holds it is most likely still committing.
    try {
      const TFileStream probe(FFileName, fmOpenRead | fmShareDenyWrite);
    } catch (const EFileStreamError&) {
      throw EKelInterruptedCommit(u"The archive \"" + FFileName +
                                  u"\" is being updated; open it when the update is done");
    }
    throw EKelInterruptedCommit(u"The archive \"" + FFileName +
                                u"\" was left by an interrupted update; opening it for writing "
                                u"rolls the update back");
  }
  FRolledBackCommit = RollBackInterruptedCommit(FFileName);
}

void TKelBaseArchiver::ReleaseArchive() {
  DiscardNewVolumes();
  FReadAhead.Drop();
  if (!IsCustomStream) delete FCompressedStream;
  FCompressedStream = nullptr;
  delete DMHandle;
  DMHandle = nullptr;
}

bool TKelBaseArchiver::ArchiveWritable() const {
  return IsCustomStream || (FileOpenMode & WritableModeBits) != 0;
}

void TKelBaseArchiver::InternalOpen() {
  if (FileOpenMode == fmCreate || FInMemory) {
    CreateArchiveStream();
  } else {
    FSpanningMode = smNone;
    FVolumeNumberInfo->Init();
    if (IsExeFileName(FFileName))
      OpenExeArchive();
    else
      OpenPlainArchive();
    if (!DMHandle->HasCentralDirEnd() && !FOpenCorruptedArchives) {
      ReleaseArchive();
      throw EKelException(NativeArchiveDamaged, this);
    }
    DMHandle->LoadDir();
  }
  FActive = true;
  DoAfterOpen();
}

void TKelBaseArchiver::CreateArchiveStream() {
  if (FInMemory) {
    if (!IsCustomStream) delete FCompressedStream;
    FCompressedStream = new TMemoryStream();
  } else {
    TKelVolumeNumberInfo first;
    first.SetFirstVolume(true);
    OpenVolume(first);
  }
  DMHandle = new TKelDirManager(FCompressedStream, true, this);
}

void TKelBaseArchiver::OpenPlainArchive() {
  TTruthfulEndRecordSearch truthful(FOpenCorruptedArchives);
  bool found = false;
  do {
    delete DMHandle;
    DMHandle = nullptr;
    FVolumeNumberInfo->Init();
    TKelVolumeNumberInfo last;
    last.SetLastVolume(true);
    // A missing archive on removable media: the user is asked for its last disk.
    if (!IsFile(FFileName) && IsRemovableDrive(FFileName)) FSpanningMode = smSpanning;
    OpenVolume(last);
    DMHandle = new TKelDirManager(FCompressedStream, false, this);
    found = DMHandle->HasCentralDirEnd();
    DetectSpanningMode();
  } while (!found && FSpanningMode != smNone);
}

void TKelBaseArchiver::OpenExeArchive() {
  TTruthfulEndRecordSearch truthful(FOpenCorruptedArchives);
  TKelVolumeNumberInfo last;
  last.SetLastVolume(true);
  OpenVolume(last);
  DMHandle = new TKelDirManager(FCompressedStream, false, this);
  if (DMHandle->HasCentralDirEnd()) {
    DetectSpanningMode();
    return;
  }
  // A split self-extractor keeps its directory in the ".ZIP" last volume.
  delete DMHandle;
  DMHandle = nullptr;
  FSpanningMode = smSplitting;
  UString lastVolume = FFileName;
  MakeVolumeFileName(lastVolume, -1, false);
  if (IsFile(lastVolume)) {
    FVolumeNumberInfo->Init();
    OpenVolume(last);
  }
  FSpanningMode = smNone;
  bool found = false;
  do {
    delete DMHandle;
    DMHandle = nullptr;
    FVolumeNumberInfo->Init();
    OpenVolume(last);
    DMHandle = new TKelDirManager(FCompressedStream, false, this);
    found = DMHandle->HasCentralDirEnd();
    DetectSpanningMode();
  } while (!found && FSpanningMode != smNone);
}

void TKelBaseArchiver::DetectSpanningMode() {
  const TKelZipCentralDirEnd& end = DMHandle->CentralDirEnd;
  if (end.signature == 0) {
    FSpanningMode = IsRemovableDrive(FFileName) ? smSpanning : smNone;
    return;
  }
  if (end.diskNumber == 0) {
    FSpanningMode = smNone;
    return;
  }
  // The end record stands on a later volume. Split parts lie side by side, so
  // the part before the last or the first one, under either naming variant,
  // shows a split set even with other parts missing; those are then a
  // cancelled request, not disks to insert. The record's disk count may be
  // crafted: only these few names are tried. The file the record was read
  // from is no evidence: a self-extractor's first part is named like itself.
  FSpanningMode = smSplitting;
  TKelSpanningOptions& spanning = *FSpanningOptions;
  const bool advanced = spanning.AdvancedNaming();
  const int32_t previous = int32_t(end.diskNumber) - 1;
  // With two parts the one before the last is the first: it is tried once.
  const int32_t candidates[] = {previous, 0};
  for (const int32_t volume : std::span(candidates, previous == 0 ? 1 : 2)) {
    for (const bool variant : {advanced, !advanced}) {
      spanning.SetAdvancedNaming(variant);
      UString name = FFileName;
      MakeVolumeFileName(name, volume, false);
      if (name != VolumeFileName && IsFile(name)) return;
    }
  }
  spanning.SetAdvancedNaming(advanced);
  FSpanningMode = LowerCaseAscii(FFileName).find(u".exe") != UString::npos ? smNone : smSpanning;
}

}  // namespace kelvane
