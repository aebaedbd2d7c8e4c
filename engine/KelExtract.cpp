// Extracting and testing: the public operations, the item driver shared with
// deleting and updating, and the per-item steps of extracting, testing and
// deleting.
#include <algorithm>
#include <exception>
#include <memory>

#include "container/KelDirManager.h"
#include "container/KelUnixFields.h"
#include "engine/KelDestPath.h"
#include "engine/KelScopedValue.h"
#include "engine/KelVerifyAhead.h"
#include "engine/Kelvane.h"
#include "names/Paths.h"
#include "platform/DosTime.h"
#include "platform/FileSystem.h"
#include "platform/ProcessLock.h"
#include "platform/UnixFiles.h"

namespace kelvane {
namespace {

constexpr int NativeCannotCreateFile = 19;
constexpr int NativeCannotCreateDir = 20;
constexpr int NativeDeleteIndex = 21;
constexpr int NativeDeleteOutsideUpdate = 22;
constexpr int NativeUpdateOpen = 26;

UString ToDiskSeparators(UString name) {
  std::replace(name.begin(), name.end(), u'/', PathDelim);
  return name;
}

// Date in the high half, time in the low half, compared as signed numbers.
int32_t ItemDosDateTime(const TDirItem& item) {
  return static_cast<int32_t>((uint32_t{item.CentralDir.lastModDate} << 16) |
                              item.CentralDir.lastModTime);
}

bool HasWildcards(const UString& mask) {
  return mask.find_first_of(u"*?") != UString::npos;
}

// Creates Folder with its missing parents; false on any failure.
bool MakeFolder(const UString& folder) {
  try {
    return CreateDirectories(folder);
  } catch (const Exception&) {
    return false;
  }
}

}  // namespace

// Reading ahead in the archive and the folders found safe belong to one
// extraction or test. A run started from a handler of another leaves the
// outer run's state alone.
struct TKelBaseArchiver::TReadRun {
  TReadRun(TKelBaseArchiver& owner, bool readsItems) : Owner(owner), Outer(owner.FReadAheadOn) {
    if (Outer) return;
    Owner.FReadAheadOn = readsItems;
    Owner.FSafeFolders.clear();
  }
  ~TReadRun() {
    if (Outer) return;
    Owner.FReadAheadOn = false;
    Owner.FReadAhead.Drop();
    Owner.FSafeFolders.clear();
  }
  TReadRun(const TReadRun&) = delete;
  TReadRun& operator=(const TReadRun&) = delete;
  TKelBaseArchiver& Owner;
  const bool Outer;
};

// ---- Public operations

void TKelBaseArchiver::ExtractFiles() {
  CheckActive();
  if (InUpdate()) throw EKelException(NativeUpdateOpen, this);
  TagItems();
  ProcessItems(poExtract, -1);
}

void TKelBaseArchiver::ExtractFiles(const UString& FileMask, int32_t SearchAttr,
                                    const UString& ExclusionMask) {
  CheckActive();
  if (InUpdate()) throw EKelException(NativeUpdateOpen, this);
  if (FOptions->Recurse() || HasWildcards(FileMask) || !ExclusionMask.empty() ||
      SearchAttr != KelAllItemsAttr) {
    TagItems(FileMask, SearchAttr, ExclusionMask);
    ProcessItems(poExtract, -1);
    return;
  }
  // One item named exactly: found by name, nothing happens when it is missing.
  TKelArchiveItem found;
  if (!FindFirst(FileMask, found, SearchAttr, ExclusionMask)) return;
  DMHandle->CDir.GetItemPtr(found.Handle.ItemNo).Tagged = true;
  ProcessItems(poExtract, found.Handle.ItemNo);
}

void TKelBaseArchiver::TestFiles() {
  CheckActive();
  if (InUpdate()) throw EKelException(NativeUpdateOpen, this);
  TagItems();
  ProcessItems(poTest, -1);
}

void TKelBaseArchiver::TestFiles(const UString& FileMask, int32_t SearchAttr,
                                 const UString& ExclusionMask) {
  CheckActive();
  if (InUpdate()) throw EKelException(NativeUpdateOpen, this);
  TagItems(FileMask, SearchAttr, ExclusionMask);
  ProcessItems(poTest, -1);
}

// ---- The driver

void TKelBaseArchiver::ProcessItems(TKelProcessOperation Operation, int32_t Index) {
  TProcessLockGuard lock;
  TKelDirArray& items = DMHandle->CDir;
  const bool reports = Operation == poExtract || Operation == poTest;
  // What was read ahead and the folders found safe hold for this run only:
  // the archive and the disk may change before the next.
  TReadRun run(*this, reports);
  const bool single = Index >= 0;
  // A test run from a handler of another leaves the items to the archiver.
  std::unique_ptr<TKelVerifyAhead> ahead;
  if (Operation == poTest && !single && !run.Outer) ahead = StartTestAhead();
  TScopedValue<TKelVerifyAhead*> testAhead(FTestAhead, ahead.get());

  FProcessedFileNo = 0;
  FProgressCancel = false;
  FProgressEnabled = true;
  if (single) {
    FProcessedFileCount = 1;
  } else {
    FProcessedFileCount = 0;
    for (int32_t i = 0; i < items.Count(); ++i)
      if (items.GetItemPtr(i).Tagged) ++FProcessedFileCount;
  }

  TKelAction action = fxaIgnore;
  if (reports) DoOverallProgress(0, Operation, ppStart, FProgressCancel);
  if (!FProgressCancel) {
    for (int32_t i = single ? Index : 0; i < items.Count();) {
      if (!items.GetItemPtr(i).Tagged) {
        if (single) break;
        ++i;
        continue;
      }
      items.GetItemPtr(i).Operation = Operation;
      const int32_t countBefore = items.Count();
      const UString storedName = items.GetItemPtr(i).Name;
      const UString name = ToDiskSeparators(storedName);
      do {
        action = fxaIgnore;
        try {
          bool confirm = true;
          DoConfirmProcessFile(name, Operation, confirm);
          if (!confirm) break;
          if (FCurrentDir.empty()) FCurrentDir = CurrentDirectory();
          const UString destDir = BaseDirectory(FBaseDir, FCurrentDir);
          if (reports) {
            DoFileProgress(storedName, 0, Operation, ppStart, FProgressCancel);
            if (FProgressCancel) break;
          }
          switch (Operation) {
            case poDelete:
              DeleteTaggedItem(i);
              break;
            case poUpdate:
              UpdateTaggedItem(i, name, destDir);
              break;
            case poExtract:
              ExtractItemToFile(i, name, destDir);
              break;
            case poTest:
              TestItem(i);
              break;
            default:
              break;
          }
          // A report without a handler clears the flag; a cancel must survive it.
          const bool cancelled = FProgressCancel;
          if (reports) DoFileProgress(storedName, 100, Operation, ppEnd, FProgressCancel);
          FProgressCancel = FProgressCancel || cancelled;
          if (FProgressCancel) break;
          ++FProcessedFileNo;
        } catch (const EKelException& e) {
          DoProcessFileFailure(name, Operation, e.NativeError, e.ErrorCode, e.Message(), action);
        }
      } while (action == fxaRetry);

      if (action == fxaAbort || FProgressCancel || single) break;
      // A deleted item's successor moves to its index; an item that stayed
      // (skipped, or its deletion failed and was ignored) is passed over.
      if (Operation != poDelete || items.Count() == countBefore) ++i;
    }
    const bool cancelled = FProgressCancel;
    if (reports) DoOverallProgress(100, Operation, ppEnd, FProgressCancel);
    FProgressCancel = FProgressCancel || cancelled;
  }
  if (FProgressCancel || action == fxaAbort) CancelUpdate();
}

// ---- Per-item steps

void TKelBaseArchiver::ExtractItemToFile(int32_t Index, const UString& Name,
                                         const UString& DestDir) {
  // Copies: handlers called below may use the component.
  const TDirItem& item = DMHandle->CDir.GetItemPtr(Index);
  TKelFileTarget t;
  t.IsFolderItem = item.IsDirectory() || (!item.Name.empty() && item.Name.back() == u'/');
  t.ItemTime = ItemDosDateTime(item);
  const AnsiString comment = item.Comment();
  // Made on Unix: a link comes back as a link, and the mode with the file.
  t.MadeBy = item.CentralDir.versionMadeBy;
  t.IsLink = IsUnixLink(item.CentralDir);
  // The UTC time, where the item has one, does not move with the time zone.
  t.UnixTime = ItemUnixMTime(item.ExtraFields);

  t.FileName = SafeRelativeName(Name);
  if (t.FileName.empty()) return;  // nothing of the stored name may be written
  t.FileAttr = item.CentralDir.externalAttr;
  DoExtractFile(t.FileName, t.FileAttr, comment);

  // A full path can only come from the handler: the stored name lost its root.
  t.DestDir = DestDir;
  t.FullPath = IsFullDiskPath(t.FileName);
  if (t.FullPath) t.DestDir.clear();
  // Kept whole when it is the handler's full path: its last part alone would
  // land in the process's current folder.
  if (!FOptions->CreateDirs() && !t.FullPath) t.FileName = FileNamePart(t.FileName);
  t.Folder = t.DestDir + DirectoryPart(t.FileName);
  t.DestPath = t.DestDir + t.FileName;

  // A file in a folder found safe earlier in this run is created where
  // nothing is; anything in the way takes the long road with every check.
  std::unique_ptr<TFileStream> file;
  std::optional<bool> removable;
  if (!t.FullPath && !t.IsLink && !t.IsFolderItem) {
    if (const auto safe = FSafeFolders.find(t.Folder); safe != FSafeFolders.end()) {
      try {
        file = TFileStream::CreateNew(t.DestPath);
        removable = safe->second;
      } catch (const EStreamError&) {
      }
    }
  }
  if (!file) file = OpenFileTarget(Index, t);
  if (file) WriteFileTarget(Index, t, std::move(file), removable);
}

std::unique_ptr<TFileStream> TKelBaseArchiver::OpenFileTarget(int32_t Index, TKelFileTarget& t) {
  // The overwrite question may change the name and the path.
  UString& destPath = t.DestPath;
  // A link in the destination would carry the output (and the attribute and
  // deletion steps below) to wherever it points. The handler's full path is
  // its own choice.
  TDestPathState where;
  if (t.FullPath) {
    where.TargetExists = IsFile(destPath) || (t.IsLink && IsSymbolicLink(destPath));
  } else {
    where = ExamineDestPath(t.DestDir, t.FileName);
    if (where.LinkIsFolder) throw EKelException(NativeCannotCreateDir, {t.Folder}, this);
    // A link item may replace a link at its own place: it is not written through.
    if (!where.Link.empty() && !t.IsLink)
      throw EKelException(NativeCannotCreateFile, {destPath}, this);
  }
  if (FOptions->CreateDirs() && !t.Folder.empty() && !where.FoldersExist && !MakeFolder(t.Folder))
    throw EKelException(NativeCannotCreateDir, {t.Folder}, this);
  // Every folder on the way is one (found or made), none a link: the next
  // files of this folder need not look again.
  if (!t.FullPath && where.Link.empty() && !FSafeFolders.contains(t.Folder))
    FSafeFolders.emplace(t.Folder, IsRemovableDrive(t.Folder.empty() ? UString(u".") : t.Folder));

  if (t.IsFolderItem) return nullptr;

  bool exists = where.TargetExists || !where.Link.empty();
  if (exists) {
    if (!FOptions->ReplaceReadOnly()) {
      const int32_t attr = GetAttributes(destPath);
      if (attr != -1 && (attr & faReadOnly) != 0) return nullptr;
    }
    switch (FOptions->OverwriteMode()) {
      case omPrompt: {
        bool confirm = false;
        DoConfirmOverwrite(t.FileName, destPath, confirm);
        // The handler may have changed the disk as it liked.
        FSafeFolders.clear();
        if (!confirm) return nullptr;
        // The handler may have moved it away.
        exists = IsFile(destPath) || (t.IsLink && IsSymbolicLink(destPath));
        break;
      }
      case omAlways:
        break;
      case omNever:
        return nullptr;
      case omIfNewer:
        if (!(FileDosTime(destPath) < t.ItemTime)) return nullptr;
        break;
      case omIfOlder:
        if (!(FileDosTime(destPath) > t.ItemTime)) return nullptr;
        break;
    }
  }

  if (t.IsLink) {
    // Links made in this run change what the folders lead to.
    FSafeFolders.clear();
    // The handler's full path chose its folder, and nothing above it.
    const UString root = t.FullPath ? DirectoryPart(destPath) : t.DestDir;
    std::optional<int64_t> time = t.UnixTime;
    if (!time) {
      if (const std::optional<time_t> local = DosDateTimeToTime(t.ItemTime)) time = *local;
    }
    ExtractLinkItem(Index, destPath, root, exists, time);
    return nullptr;
  }

  try {
    if (exists) {
      SetAttributes(destPath, 0);
      if (!RemoveFile(destPath)) throw EKelException(NativeCannotCreateFile, {destPath}, this);
    }
    // Below the destination nothing was there a moment ago: whatever appeared
    // since is not cut or written through.
    if (!t.FullPath) return TFileStream::CreateNew(destPath);
    return std::make_unique<TFileStream>(destPath, fmCreate);
  } catch (const EStreamError&) {
    throw EKelException(NativeCannotCreateFile, {destPath}, this);
  }
}

void TKelBaseArchiver::WriteFileTarget(int32_t Index, const TKelFileTarget& t,
                                       std::unique_ptr<TFileStream> file,
                                       std::optional<bool> removable) {
  std::exception_ptr failure;
  try {
    ExtractItemToStream(Index, *file, 0, 0);
  } catch (...) {
    failure = std::current_exception();
  }
  const bool keep = !(FSkipFile || FProgressCancel || failure);
  if (t.UnixTime)
    SetHandleUnixTime(file->Handle(), *t.UnixTime);
  else
    SetHandleDosTime(file->Handle(), t.ItemTime);
  if (keep && FOptions->SetAttributes()) {
    // A refusal is no error.
    if (const std::optional<uint32_t> mode = UnixModeOf(t.MadeBy, t.FileAttr))
      SetHandleMode(file->Handle(), *mode);
    else
      SetHandleAttributes(file->Handle(), static_cast<int32_t>(t.FileAttr));
  }
  // A file lies on its folder's drive: what is known of the folder answers.
  if (FOptions->FlushBuffers() && (removable ? *removable : IsRemovableHandle(file->Handle())))
    file->Flush();
  file.reset();
  if (!keep) RemoveFile(t.DestPath);
  if (failure) std::rethrow_exception(failure);
}
void TKelBaseArchiver::TestItem(int32_t Index) {
  if (DMHandle->CDir.GetItemPtr(Index).IsDirectory() || TestedAhead(Index)) return;
  TNullStream sink;
  ExtractItemToStream(Index, sink, 0, 0);
}

void TKelBaseArchiver::DeleteTaggedItem(int32_t Index) {
  if (Index < 0 || Index >= DMHandle->CDir.Count()) throw EKelException(NativeDeleteIndex, this);
  if (!InUpdate()) throw EKelException(NativeDeleteOutsideUpdate, this);
  DMHandle->CDir.DeleteItem(Index);
}

}  // namespace kelvane
