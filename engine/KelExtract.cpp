// Extracting and testing: the public operations, the item driver shared with
// deleting and updating, and the per-item steps of extracting, testing and
// deleting.
#include <algorithm>
#include <exception>
#include <memory>

#include "container/KelDirManager.h"
#include "container/KelUnixFields.h"
#include "engine/KelDestPath.h"
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
  const bool single = Index >= 0;

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
  const bool isFolderItem = item.IsDirectory();
  const bool nameIsFolder = !item.Name.empty() && item.Name.back() == u'/';
  const int32_t itemTime = ItemDosDateTime(item);
  const AnsiString comment = item.Comment();
  // Made on Unix: a link comes back as a link, and the mode with the file.
  const uint16_t madeBy = item.CentralDir.versionMadeBy;
  const bool isLink = IsUnixLink(item.CentralDir);
  // The UTC time, where the item has one, does not move with the time zone.
  const std::optional<int64_t> unixTime = ItemUnixMTime(item.ExtraFields);

  UString fileName = SafeRelativeName(Name);
  if (fileName.empty()) return;  // nothing of the stored name may be written
  uint32_t fileAttr = item.CentralDir.externalAttr;
  DoExtractFile(fileName, fileAttr, comment);

  // A full path can only come from the handler: the stored name lost its root.
  UString destDir = DestDir;
  const bool fullPath = IsFullDiskPath(fileName);
  if (fullPath) destDir.clear();
  // Kept whole when it is the handler's full path: its last part alone would
  // land in the process's current folder.
  if (!FOptions->CreateDirs() && !fullPath) fileName = FileNamePart(fileName);
  const UString folder = destDir + DirectoryPart(fileName);
  UString destPath = destDir + fileName;

  // A link in the destination would carry the output (and the attribute and
  // deletion steps below) to wherever it points. The handler's full path is
  // its own choice.
  TDestPathState where;
  if (fullPath) {
    where.TargetExists = IsFile(destPath) || (isLink && IsSymbolicLink(destPath));
  } else {
    where = ExamineDestPath(destDir, fileName);
    if (where.LinkIsFolder) throw EKelException(NativeCannotCreateDir, {folder}, this);
    // A link item may replace a link at its own place: it is not written through.
    if (!where.Link.empty() && !isLink)
      throw EKelException(NativeCannotCreateFile, {destPath}, this);
  }
  if (FOptions->CreateDirs() && !folder.empty() && !where.FoldersExist && !MakeFolder(folder))
    throw EKelException(NativeCannotCreateDir, {folder}, this);

  if (isFolderItem || nameIsFolder) return;

  bool exists = where.TargetExists || !where.Link.empty();
  if (exists) {
    if (!FOptions->ReplaceReadOnly()) {
      const int32_t attr = GetAttributes(destPath);
      if (attr != -1 && (attr & faReadOnly) != 0) return;
    }
    switch (FOptions->OverwriteMode()) {
      case omPrompt: {
        bool confirm = false;
        DoConfirmOverwrite(fileName, destPath, confirm);
        if (!confirm) return;
        // The handler may have moved it away.
        exists = IsFile(destPath) || (isLink && IsSymbolicLink(destPath));
        break;
      }
      case omAlways:
        break;
      case omNever:
        return;
      case omIfNewer:
        if (!(FileDosTime(destPath) < itemTime)) return;
        break;
      case omIfOlder:
        if (!(FileDosTime(destPath) > itemTime)) return;
        break;
    }
  }

  if (isLink) {
    // The handler's full path chose its folder, and nothing above it.
    const UString root = fullPath ? DirectoryPart(destPath) : destDir;
    std::optional<int64_t> time = unixTime;
    if (!time) {
      if (const std::optional<time_t> local = DosDateTimeToTime(itemTime)) time = *local;
    }
    ExtractLinkItem(Index, destPath, root, exists, time);
    return;
  }

  std::unique_ptr<TFileStream> file;
  try {
    if (exists) {
      SetAttributes(destPath, 0);
      if (!RemoveFile(destPath)) throw EKelException(NativeCannotCreateFile, {destPath}, this);
    }
    file = std::make_unique<TFileStream>(destPath, fmCreate);
  } catch (const EStreamError&) {
    throw EKelException(NativeCannotCreateFile, {destPath}, this);
  }

  std::exception_ptr failure;
  try {
    ExtractItemToStream(Index, *file, 0, 0);
  } catch (...) {
    failure = std::current_exception();
  }
  const bool keep = !(FSkipFile || FProgressCancel || failure);
  if (unixTime)
    SetHandleUnixTime(file->Handle(), *unixTime);
  else
    SetHandleDosTime(file->Handle(), itemTime);
  if (keep && FOptions->SetAttributes()) {
    // A refusal is no error.
    if (const std::optional<uint32_t> mode = UnixModeOf(madeBy, fileAttr))
      SetHandleMode(file->Handle(), *mode);
    else
      SetHandleAttributes(file->Handle(), static_cast<int32_t>(fileAttr));
  }
  if (FOptions->FlushBuffers() && IsRemovableHandle(file->Handle())) file->Flush();
  file.reset();
  if (!keep) RemoveFile(destPath);
  if (failure) std::rethrow_exception(failure);
}

void TKelBaseArchiver::TestItem(int32_t Index) {
  if (DMHandle->CDir.GetItemPtr(Index).IsDirectory()) return;
  TNullStream sink;
  ExtractItemToStream(Index, sink, 0, 0);
}

void TKelBaseArchiver::DeleteTaggedItem(int32_t Index) {
  if (Index < 0 || Index >= DMHandle->CDir.Count()) throw EKelException(NativeDeleteIndex, this);
  if (!InUpdate()) throw EKelException(NativeDeleteOutsideUpdate, this);
  DMHandle->CDir.DeleteItem(Index);
}

}  // namespace kelvane
