// Adding, moving and updating from disk: masks resolved to folders, the
// folders searched, and every file or folder found turned into an item.
#include "container/KelDirManager.h"
#include "engine/KelUnixMeta.h"
#include "engine/Kelvane.h"
#include "names/KelMask.h"
#include "names/NameText.h"
#include "names/Paths.h"
#include "names/StoredName.h"
#include "platform/FileSystem.h"
#include "platform/ProcessLock.h"
#include "platform/UnixFiles.h"

namespace kelvane {
namespace {

constexpr int NativeMultiVolumeChange = 52;
constexpr int32_t NoAttributesMeansFile = faArchive | faReadOnly | faHidden | faSysFile;

bool HasWildcards(UStringView s) {
  return s.find_first_of(u"*?") != UStringView::npos;
}

bool HasSeparator(UStringView s) {
  return s.find_first_of(u"/\\") != UStringView::npos;
}

// Puts Value into Target for the lifetime of the guard.
class TCurrentDirScope {
 public:
  TCurrentDirScope(UString& target, UString value) : FTarget(target), FSaved(target) {
    target = std::move(value);
  }
  ~TCurrentDirScope() { FTarget = FSaved; }
  TCurrentDirScope(const TCurrentDirScope&) = delete;
  TCurrentDirScope& operator=(const TCurrentDirScope&) = delete;

 private:
  UString& FTarget;
  UString FSaved;
};

}  // namespace

TKelBaseArchiver::TKelResolvedMask TKelBaseArchiver::ResolveMask(const UString& Mask) const {
  const UString current = IncludeBackslash(FCurrentDir);
  if (Mask.empty()) return {current, true};
  if (Mask.front() == PathDelim) return {Mask, false};
  if (Mask.starts_with(u"./") || Mask.starts_with(u".\\")) return {current + Mask.substr(2), false};
  if (Mask.find(u':') != UString::npos) return {Mask, false};
  if (Mask.find(u"../") != UString::npos || Mask.find(u"..\\") != UString::npos)
    return {FullPath(current + Mask), false};
  return {current + Mask, true};
}

bool TKelBaseArchiver::PathMatchesMask(const UString& Path, const UString& Mask,
                                       bool IsFolder) const {
  if (Mask == u"*.*") return true;
  // Decided before a folder's mask gets its trailing separator.
  const bool nameOnly = !HasSeparator(Mask);
  UString path = Path;
  UString mask = Mask;
  if (IsFolder) {
    path = IncludeBackslash(path);
    if (!mask.ends_with(u"*")) mask = IncludeBackslash(mask);
  }
  const TKelResolvedMask resolved = ResolveMask(mask);
  if (resolved.Relative) {
    UString r = RelativePath(IncludeBackslash(FCurrentDir), path);
    if (nameOnly) r = FileNamePart(ExcludeBackslash(r)) + (IsFolder ? UString(1, PathDelim) : u"");
    if (r.empty()) r = FileNamePart(ExcludeBackslash(path));
    if (WildcardMatch(r, mask, true)) return true;
    const UString base = IncludeBackslash(ResolvePath(FBaseDir, u"", FCurrentDir));
    return WildcardMatch(RelativePath(base, path), mask, true);
  }
  const UString maskFolder = DirectoryPart(resolved.Path);
  if (SameTextAscii(DirectoryPart(ExcludeBackslash(path)), maskFolder))
    return WildcardMatch(path, resolved.Path, true);
  return FileNamePart(resolved.Path) == u"*.*" && path.size() > maskFolder.size() &&
         SameTextAscii(UStringView(path).substr(0, maskFolder.size()), maskFolder);
}

void TKelBaseArchiver::GatherFiles(const std::vector<UString>& Masks, int32_t SearchAttr,
                                   const std::vector<UString>& Exclusions, bool Moving) {
  TProcessLockGuard lock;
  if (FCurrentDir.empty()) FCurrentDir = CurrentDirectory();
  TCurrentDirScope scope(FCurrentDir, ExcludeBackslash(ResolvePath(FBaseDir, u"", FCurrentDir)));
  TKelGathering g;
  g.SearchAttr = SearchAttr;
  g.Exclusions = Exclusions;
  g.Moving = Moving;
  for (const UString& name : {FFileName, VolumeFileName}) {
    TFileId id;
    if (!name.empty() && FileIdentity(name, id)) g.Archive.push_back(id);
  }
  for (const UString& mask : Masks) {
    if (mask.empty()) continue;
    const TKelResolvedMask resolved = ResolveMask(mask);
    g.Entered.clear();
    EnterOnce(g, ExcludeBackslash(DirectoryPart(resolved.Path)));
    SearchMask(g, resolved.Path, mask, FOptions->Recurse());
  }
}

void TKelBaseArchiver::SearchMask(TKelGathering& g, const UString& Path, const UString& Mask,
                                  bool Recurse) {
  const UString folder = DirectoryPart(Path);
  const UString name = FileNamePart(Path);
  if (Path != Mask || HasWildcards(Mask)) {
    TSearchRec rec;
    for (int rc = ListFirst(Path, g.SearchAttr & ~faDirectory, rec); rc == 0; rc = ListNext(rec)) {
      if (rec.Attr & faDirectory) continue;
      const bool wanted =
          (rec.Attr & g.SearchAttr) != 0 ||
          (rec.Attr == 0 && (g.SearchAttr & NoAttributesMeansFile) == NoAttributesMeansFile);
      if (wanted) TakeFound(g, folder + rec.Name, false);
    }
  } else if (IsFile(Path)) {
    TakeFound(g, Path, false);
    return;
  }
  const bool folders = (g.SearchAttr & faDirectory) != 0;
  if (!folders && !Recurse) return;
  std::vector<UString> subfolders;
  {
    TSearchRec rec;
    for (int rc = ListFirst(folder + u"*", faDirectory | faHidden | faSysFile, rec); rc == 0;
         rc = ListNext(rec)) {
      if ((rec.Attr & faDirectory) && rec.Name != u"." && rec.Name != u"..")
        subfolders.push_back(folder + rec.Name);
    }
  }
  for (const UString& sub : subfolders) {
    if (!FOptions->FollowLinks() && IsSymbolicLink(sub)) {
      // Stored as the link it is, never entered.
      if (WildcardMatch(FileNamePart(sub), name, true)) TakeFound(g, sub, false);
      continue;
    }
    if (Excluded(g, sub, true) || !EnterOnce(g, sub)) continue;
    if (folders && (WildcardMatch(sub, Path, true) || WildcardMatch(sub + u".", Path, true))) {
      if (TakeFound(g, sub + PathDelim, true))
        SearchMask(g, IncludeBackslash(sub) + name, IncludeBackslash(sub) + name, true);
    } else if (Recurse) {
      if (HasSeparator(Mask) && !HasWildcards(Mask)) continue;
      SearchMask(g, IncludeBackslash(sub) + name, IncludeBackslash(sub) + name, true);
    }
  }
}

bool TKelBaseArchiver::EnterOnce(TKelGathering& g, const UString& Folder) {
  TFileId id;
  if (!FileIdentity(Folder, id)) return true;
  return g.Entered.emplace(id.Device, id.Inode).second;
}

bool TKelBaseArchiver::Excluded(const TKelGathering& g, const UString& Path, bool IsFolder) const {
  for (const UString& mask : g.Exclusions)
    if (!mask.empty() && PathMatchesMask(Path, mask, IsFolder)) return true;
  return false;
}

bool TKelBaseArchiver::TakeFound(TKelGathering& g, const UString& Path, bool IsFolder) {
  if (Excluded(g, Path, IsFolder)) return false;
  const UString source = IsFolder ? ExcludeBackslash(Path) : Path;
  TDiskEntry entry;
  const bool known = KeepsUnixMetadata && ReadDiskEntry(source, FOptions->FollowLinks(), entry);
  // The archive never goes into itself, under whatever name it was found.
  if (!IsFolder) {
    if (known) {
      for (const TFileId& id : g.Archive)
        if (id == entry.Id) return false;
    } else if (IsSameFile(Path, FFileName) ||
               (!VolumeFileName.empty() && IsSameFile(Path, VolumeFileName))) {
      return false;
    }
  }
  bool confirm = true;
  DoConfirmProcessFile(Path, g.Moving ? poMove : poAdd, confirm);
  if (!confirm) return false;
  const int32_t index = AddOneFile(source, FCurrentDir, 0, 0, true, known ? &entry : nullptr);
  // A folder the archive keeps under its name is still searched: new files
  // below it must not be passed over with it.
  if (index < 0) return IsFolder;
  TDirItem& item = DMHandle->CDir.GetItemPtr(index);
  if (g.Moving) item.Operation = poMove;
  for (int32_t i = 0; i < FNoCompressionMasks->Count(); ++i) {
    if (!PathMatchesMask(Path, FNoCompressionMasks->Strings(i), IsFolder)) continue;
    item.CompressionMode = 0;
    item.CompressionMethod = item.CentralDir.compMethod =
        FCompressionMethod == KelMethodStored || FCompressionMethod == KelMethodDeflate
            ? KelMethodStored
            : 0xFF;
    break;
  }
  return true;
}

void TKelBaseArchiver::AddOrMoveFiles(const std::vector<UString>& Masks, int32_t SearchAttr,
                                      const std::vector<UString>& Exclusions, bool Moving,
                                      bool CheckVolumes) {
  CheckActive();
  if (CheckVolumes && FSpanningMode != smNone && DMHandle->CDir.Count() > 0 && !InUpdate())
    throw EKelException(NativeMultiVolumeChange, this);
  BeginUpdate();
  try {
    GatherFiles(Masks, SearchAttr, Exclusions, Moving);
  } catch (...) {
    CancelUpdate();
    throw;
  }
  EndUpdate();
}

namespace {

std::vector<UString> Lines(const TStringList& list) {
  std::vector<UString> lines;
  for (int32_t i = 0; i < list.Count(); ++i)
    lines.push_back(list.Strings(i));
  return lines;
}

std::vector<UString> OneOrNone(const UString& mask) {
  return mask.empty() ? std::vector<UString>{} : std::vector<UString>{mask};
}

}  // namespace

void TKelBaseArchiver::AddFiles() {
  AddOrMoveFiles(Lines(*FFileMasks), FOptions->SearchAttr(), Lines(*FExclusionMasks), false, true);
}

void TKelBaseArchiver::AddFiles(const UString& FileMask, int32_t SearchAttr,
                                const UString& ExclusionMask) {
  AddOrMoveFiles({FileMask}, SearchAttr, OneOrNone(ExclusionMask), false, true);
}

void TKelBaseArchiver::MoveFiles() {
  AddOrMoveFiles(Lines(*FFileMasks), FOptions->SearchAttr(), Lines(*FExclusionMasks), true, true);
}

void TKelBaseArchiver::MoveFiles(const UString& FileMask, int32_t SearchAttr,
                                 const UString& ExclusionMask) {
  AddOrMoveFiles({FileMask}, SearchAttr, OneOrNone(ExclusionMask), true, false);
}

void TKelBaseArchiver::UpdateFiles() {
  CheckActive();
  if (FSpanningMode != smNone && DMHandle->CDir.Count() > 0 && !InUpdate())
    throw EKelException(NativeMultiVolumeChange, this);
  BeginUpdate();
  try {
    TagItems();
    ProcessItems(poUpdate, -1);
  } catch (...) {
    CancelUpdate();
    throw;
  }
  EndUpdate();
}

void TKelBaseArchiver::UpdateFiles(const UString& FileMask, int32_t SearchAttr,
                                   const UString& ExclusionMask) {
  CheckActive();
  if (FSpanningMode != smNone && DMHandle->CDir.Count() > 0 && !InUpdate())
    throw EKelException(NativeMultiVolumeChange, this);
  BeginUpdate();
  try {
    TagItems(FileMask, SearchAttr, ExclusionMask);
    ProcessItems(poUpdate, -1);
  } catch (...) {
    CancelUpdate();
    throw;
  }
  EndUpdate();
}

void TKelBaseArchiver::UpdateTaggedItem(int32_t Index, const UString& Name,
                                        const UString& BaseDir) {
  TDirItem& item = DMHandle->CDir.GetItemPtr(Index);
  if (item.IsDirectory()) return;
  const UString source = ResolvePath(BaseDir, Name, FCurrentDir);
  if (!IsFile(source)) return;
  if (!FOptions->ReplaceReadOnly() && (item.CentralDir.externalAttr & faReadOnly)) return;
  const int32_t itemTime = static_cast<int32_t>((uint32_t{item.CentralDir.lastModDate} << 16) |
                                                item.CentralDir.lastModTime);
  const int32_t sourceTime = FileDosTime(source);
  switch (FOptions->OverwriteMode()) {
    case omPrompt: {
      UString dest = Name;
      bool confirm = false;
      DoConfirmOverwrite(source, dest, confirm);
      if (!confirm) return;
      break;
    }
    case omNever:
      return;
    case omIfNewer:
      if (!(itemTime < sourceTime)) return;
      break;
    case omIfOlder:
      if (!(itemTime > sourceTime)) return;
      break;
    default:
      break;
  }
  if (FCurrentDir.empty()) FCurrentDir = CurrentDirectory();
  TCurrentDirScope scope(FCurrentDir, ExcludeBackslash(ResolvePath(FBaseDir, u"", FCurrentDir)));
  const UString stored = item.Name;
  int32_t attr = GetAttributes(source);
  if (attr < 0) attr = faArchive;
  const int64_t size = [&]() -> int64_t {
    try {
      return TFileStream(source, fmOpenRead | fmShareDenyNone).Size();
    } catch (const EStreamError&) {
      return 0;
    }
  }();
  TDiskEntry entry;
  const bool unixEntry = KeepsUnixMetadata && ReadDiskEntry(source, true, entry);
  if (unixEntry)
    attr = static_cast<int32_t>(static_cast<uint32_t>(attr) | (entry.Mode & 0xFFFF) << 16);
  InitNewItem(Index, stored, source, attr, sourceTime == -1 ? 0 : sourceTime,
              static_cast<uint64_t>(size));
  TDirItem& updated = DMHandle->CDir.GetItemPtr(Index);
  if (unixEntry) SetUnixMetadata(updated, entry);
  updated.Operation = poUpdate;
}

}  // namespace kelvane
