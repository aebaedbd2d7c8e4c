// Item search: the two forms of FindFirst, FindNext, tagging and counting.
#include <algorithm>
#include <limits>

#include "container/KelDirManager.h"
#include "engine/Kelvane.h"
#include "names/KelMask.h"
#include "names/NameText.h"
#include "names/PathDrive.h"
#include "names/Paths.h"
#include "platform/FileSystem.h"

namespace kelvane {
namespace {

constexpr int NativeNameTooLong = 61;

// Attribute bits the search's attribute mask must also hold.
constexpr uint32_t FilteredAttributes = faHidden | faSysFile | faVolumeID | faDirectory;

UStringView MaskOf(const TInternalSearchRec& rec) {
  const UStringView all(rec.CFindMask.data(), rec.CFindMask.size());
  return all.substr(0, all.find(u'\0'));
}

UString ToDisk(UStringView name) {
  UString out(name);
  std::replace(out.begin(), out.end(), u'/', PathDelim);
  return out;
}

UString WithoutTrailingSeparator(UStringView name) {
  if (!name.empty() && (name.back() == u'/' || name.back() == u'\\')) name.remove_suffix(1);
  return UString(name);
}

// The folder an item lies in, in disk form ("" at the root).
UString ItemFolder(const TDirItem& item) {
  return DirectoryPart(ToDisk(WithoutTrailingSeparator(item.Name.Str())));
}

bool SameFolder(UStringView a, UStringView b) {
  return SameTextAscii(a, b);
}

bool PassesAttributeMask(uint32_t attributes, int32_t mask) {
  return (attributes & FilteredAttributes & ~static_cast<uint32_t>(mask)) == 0;
}

}  // namespace

bool TKelBaseArchiver::FindFirst(TKelArchiveItem& F) {
  CheckActive();
  F.Handle.UseProperties = true;
  F.Handle.FFindAttr = FOptions->SearchAttr();
  F.Handle.ItemNo = 0;
  return SearchItem(F);
}

bool TKelBaseArchiver::FindFirst(const UString& FileMask, TKelArchiveItem& F, int32_t SearchAttr,
                                 const UString& ExclusionMask) {
  CheckActive();
  UString mask = FileMask;
  const UString drive = DrivePart(mask);
  if (!drive.empty() && FOptions->StorePath() != spFullPathWithDrive) mask.erase(0, drive.size());
  std::replace(mask.begin(), mask.end(), PathDelim, u'/');
  // Cutting a longer mask would select other items than asked for.
  if (mask.size() >= F.Handle.CFindMask.size())
    throw EKelException(NativeNameTooLong, {FileMask}, this);

  TInternalSearchRec& rec = F.Handle;
  rec.CFindMask.fill(u'\0');
  std::copy(mask.begin(), mask.end(), rec.CFindMask.begin());
  rec.ExclusionMask = ExclusionMask;
  rec.UseProperties = false;
  rec.FWildCards = mask.find_first_of(u"*?") != UString::npos;
  rec.FFindAttr = SearchAttr;
  rec.ItemNo = 0;
  return SearchItem(F);
}

bool TKelBaseArchiver::FindNext(TKelArchiveItem& F) {
  CheckActive();
  // The handle is the caller's: no item lies beyond the largest index.
  if (F.Handle.ItemNo == std::numeric_limits<int32_t>::max()) return false;
  ++F.Handle.ItemNo;
  return SearchItem(F);
}

bool TKelBaseArchiver::SearchItem(TKelArchiveItem& F) {
  const int32_t found = MatchingItem(F.Handle, F.Handle.ItemNo);
  if (found < 0) return false;
  F.Handle.ItemNo = found;
  FillSearchResult(found, F);
  return true;
}

int32_t TKelBaseArchiver::MatchingItem(const TInternalSearchRec& Rec, int32_t From) const {
  const TKelDirArray& dir = DMHandle->CDir;
  const bool recurse = FOptions->Recurse();
  if (Rec.UseProperties || Rec.FWildCards || recurse) {
    // The property form limits each of its masks to its folder itself.
    const bool inMaskFolderOnly = !recurse && !Rec.UseProperties;
    const UString maskFolder = inMaskFolderOnly ? DirectoryPart(ToDisk(MaskOf(Rec))) : UString();
    for (int32_t i = std::max(From, 0); i < dir.Count(); ++i) {
      const TDirItem& item = dir.GetItemPtr(i);
      if (inMaskFolderOnly && !SameFolder(ItemFolder(item), maskFolder)) continue;
      if (ItemPassesMasks(i, Rec) &&
          PassesAttributeMask(item.CentralDir.externalAttr, Rec.FFindAttr))
        return i;
    }
    return -1;
  }
  int32_t index = -1;
  return dir.FileExists(UString(MaskOf(Rec)), index) && index >= From ? index : -1;
}

bool TKelBaseArchiver::ItemPassesMasks(int32_t Index, const TInternalSearchRec& Rec) const {
  const TDirItem& item = DMHandle->CDir.GetItemPtr(Index);
  if (Rec.UseProperties) {
    const UString name = ToDisk(item.Name.Str());
    const bool recurse = FOptions->Recurse();
    const UString folder = recurse ? UString() : ItemFolder(item);
    for (const UString& line : *FFileMasks) {
      if (!recurse && !SameFolder(folder, DirectoryPart(line))) continue;
      if (!MatchesMask(name, line)) continue;
      for (const UString& exclusion : *FExclusionMasks)
        if (MatchesMask(name, exclusion)) return false;
      return true;
    }
    return false;
  }
  const UString name = WithoutTrailingSeparator(item.Name.Str());
  const UStringView mask = MaskOf(Rec);
  if (!MatchesMask(name, mask) && !MatchesMask(FileNamePart(ToDisk(name)), mask)) return false;
  return !MatchesMask(name, Rec.ExclusionMask);
}

void TKelBaseArchiver::FillSearchResult(int32_t Index, TKelArchiveItem& F) const {
  const TDirItem& item = DMHandle->CDir.GetItemPtr(Index);
  const TKelZipCentralDir& header = item.CentralDir;
  UString name = ToDisk(item.Name.Str());
  if (!name.empty() && name.back() == PathDelim) name.pop_back();
  F.FileName = FileNamePart(name);
  F.StoredPath = DirectoryPart(name);
  F.CompressedSize = static_cast<int64_t>(item.CompressedSize());
  F.UncompressedSize = static_cast<int64_t>(item.UncompressedSize());
  if (F.UncompressedSize > 0) {
    const double rate = (1.0 - double(F.CompressedSize) / double(F.UncompressedSize)) * 100.0;
    F.CompressionRate = rate < 0 ? 0 : rate;
  } else {
    F.CompressionRate = 100;
  }
  F.Encrypted = (header.genPurposeFlag & 0x0001) != 0;
  F.LastModFileDate = header.lastModDate;
  F.LastModFileTime = header.lastModTime;
  F.CRC = header.crc32;
  F.ExternalFileAttributes = header.externalAttr;
  F.Comment = item.Comment();
}

void TKelBaseArchiver::TagItems() {
  CheckActive();
  DMHandle->CDir.ClearTags();
  // FindFirst's search without its result: no names taken apart per item.
  TInternalSearchRec rec;
  rec.UseProperties = true;
  rec.FFindAttr = FOptions->SearchAttr();
  for (int32_t i = MatchingItem(rec, 0); i >= 0 && i < std::numeric_limits<int32_t>::max();
       i = MatchingItem(rec, i + 1))
    DMHandle->CDir.GetItemPtr(i).Tagged = true;
}

void TKelBaseArchiver::TagItems(const UString& FileMask, int32_t SearchAttr,
                                const UString& ExclusionMask) {
  CheckActive();
  DMHandle->CDir.ClearTags();
  TKelArchiveItem f;
  for (bool found = FindFirst(FileMask, f, SearchAttr, ExclusionMask); found; found = FindNext(f))
    DMHandle->CDir.GetItemPtr(f.Handle.ItemNo).Tagged = true;
}

int32_t TKelBaseArchiver::FileCount() {
  CheckActive();
  // Every folder, wherever it lies; restored on every path.
  struct TRecurseOn {
    TKelOptions& Options;
    bool Saved;
    explicit TRecurseOn(TKelOptions& options) : Options(options), Saved(options.Recurse()) {
      options.SetRecurse(true);
    }
    ~TRecurseOn() { Options.SetRecurse(Saved); }
  } recurseOn(*FOptions);
  int32_t folders = 0;
  TKelArchiveItem f;
  for (bool found = FindFirst(u"*.*", f, faDirectory, u""); found; found = FindNext(f))
    if (f.ExternalFileAttributes & faDirectory) ++folders;
  return DMHandle->CDir.Count() - folders;
}

}  // namespace kelvane
