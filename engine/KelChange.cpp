// Changing the directory without new data: deleting, renaming (a folder with
// everything below it), and changing attributes and comments. Each runs in an
// update of its own; the commit copies the kept items from the saved tail.
#include <algorithm>
#include <vector>

#include "container/KelDirManager.h"
#include "container/KelExtraField.h"
#include "container/KelNames.h"
#include "engine/Kelvane.h"
#include "names/KelMask.h"
#include "names/NameText.h"

namespace kelvane {
namespace {

constexpr int NativeRenameNotFound = 30;
constexpr int NativeChangeNotFound = 31;
constexpr int NativeIntAttrNotFound = 38;
constexpr int NativeMultiVolumeChange = 52;
// As for new items: code-page bytes mean nothing to the tools of this platform.

UString ToStored(UString name) {
  std::replace(name.begin(), name.end(), u'\\', u'/');
  return name;
}

UString WithoutTrailingSlash(UString name) {
  if (!name.empty() && name.back() == u'/') name.pop_back();
  return name;
}

bool StartsWithAscii(UStringView text, UStringView prefix) {
  return text.size() >= prefix.size() && SameTextAscii(text.substr(0, prefix.size()), prefix);
}

bool IsFolder(const TDirItem& item) {
  return item.IsDirectory() || (!item.Name.empty() && item.Name.back() == u'/');
}

// Undoes the update when a step inside it raises.
template <typename TStep>
void InOwnUpdate(TKelBaseArchiver& archiver, TStep step) {
  archiver.BeginUpdate();
  try {
    step();
  } catch (...) {
    archiver.CancelUpdate();
    throw;
  }
  archiver.EndUpdate();
}

}  // namespace

void TKelBaseArchiver::DeleteFiles() {
  CheckActive();
  if (FSpanningMode != smNone && DMHandle->CDir.Count() > 0 && !InUpdate())
    throw EKelException(NativeMultiVolumeChange, this);
  TagItems();
  DeleteTaggedItems();
}

void TKelBaseArchiver::DeleteFiles(const UString& FileMask, int32_t SearchAttr,
                                   const UString& ExclusionMask) {
  CheckActive();
  if (FSpanningMode != smNone && DMHandle->CDir.Count() > 0 && !InUpdate())
    throw EKelException(NativeMultiVolumeChange, this);
  TagItems(FileMask, SearchAttr, ExclusionMask);
  DeleteTaggedItems();
}

void TKelBaseArchiver::DeleteTaggedItems() {
  const TKelDirArray& dir = DMHandle->CDir;
  bool any = false;
  for (int32_t i = 0; i < dir.Count() && !any; ++i)
    any = dir.GetItemPtr(i).Tagged;
  // Nothing to remove: the archive is left as it is, not rewritten.
  if (!any) return;
  InOwnUpdate(*this, [&] { ProcessItems(poDelete, -1); });
}

void TKelBaseArchiver::RenameFile(const UString& OldName, const UString& NewName) {
  CheckActive();
  // What is renamed is planned before the update, so that a refusal leaves an
  // update of the caller's alone, and again inside it: beginning it may roll an
  // interrupted commit back, which reloads the directory.
  auto plan = [&] { return PlanRename(OldName, NewName); };
  plan();
  InOwnUpdate(*this, [&] {
    for (const auto& [index, name] : plan())
      RenameItem(index, name);
  });
}

std::vector<std::pair<int32_t, UString>> TKelBaseArchiver::PlanRename(const UString& OldName,
                                                                      const UString& NewName) {
  TKelDirArray& dir = DMHandle->CDir;
  const UString oldArg = ToStored(OldName);
  const UString newArg = WithoutTrailingSlash(ToStored(NewName));
  // A folder is stored with "/" at its end; the search by name needs it, the
  // search by mask does without it. Named with it, only a folder will do.
  const bool folderOnly = !oldArg.empty() && oldArg.back() == u'/';
  const UString oldLast = WithoutTrailingSlash(oldArg);
  TKelArchiveItem f;
  bool found = false;
  for (const UString& mask : {oldLast, oldLast + u'/'}) {
    for (found = FindFirst(mask, f, KelAllItemsAttr, u""); found; found = FindNext(f))
      if (!folderOnly || IsFolder(dir.GetItemPtr(f.Handle.ItemNo))) break;
    if (found) break;
  }
  if (!found) throw EKelException(NativeRenameNotFound, {OldName}, this);

  const int32_t first = f.Handle.ItemNo;
  const TDirItem& item = dir.GetItemPtr(first);
  const bool folder = IsFolder(item);
  const UString bare = WithoutTrailingSlash(item.Name);
  if (newArg.empty() || (!folder && !NewName.empty() && ToStored(NewName).back() == u'/'))
    throw Exception(u"Cannot rename \"" + item.Name + u"\" to \"" + NewName +
                    u"\": not a name for this item");
  // OldName names the whole item, or (searching below every folder) its last
  // part: that part is what NewName replaces.
  UString newBare;
  if (MatchesMask(bare, oldLast) || bare.find(u'/') == UString::npos)
    newBare = newArg;
  else
    newBare = bare.substr(0, bare.rfind(u'/') + 1) + newArg;
  const UString oldPrefix = bare + u'/';
  const UString newPrefix = newBare + u'/';

  // Only the leading part of the names below a folder is replaced: a folder
  // of the same name further down ("docs/docs/docs.txt") keeps its name.
  std::vector<std::pair<int32_t, UString>> renames{{first, folder ? newPrefix : newBare}};
  if (folder) {
    for (int32_t i = 0; i < dir.Count(); ++i) {
      const UString& name = dir.GetItemPtr(i).Name;
      if (i != first && StartsWithAscii(name, oldPrefix))
        renames.emplace_back(i, newPrefix + name.substr(oldPrefix.size()));
    }
  }
  // Two items of one name would overwrite each other wherever they are
  // extracted: a name already taken by an item that keeps it is refused.
  std::vector<bool> renamed(static_cast<size_t>(dir.Count()));
  for (const auto& r : renames)
    renamed[static_cast<size_t>(r.first)] = true;
  for (const auto& [index, name] : renames) {
    int32_t holder = -1;
    if (dir.FileExists(name, holder) && !renamed[static_cast<size_t>(holder)])
      throw Exception(u"Cannot rename \"" + dir.GetItemPtr(index).Name + u"\" to \"" + name +
                      u"\": the archive holds an item of that name");
  }
  return renames;
}

void TKelBaseArchiver::RenameItem(int32_t Index, const UString& NewName) {
  TKelDirArray& dir = DMHandle->CDir;
  TDirItem& item = dir.GetItemPtr(Index);
  // The first rename of the update keeps the name the saved tail knows.
  if (!(item.Modified && item.Operation == poRename)) item.SetOldName(item.Name.Str());
  dir.SetItemName(Index, NewName);
  TDirItem& renamed = dir.GetItemPtr(Index);
  SetNameFields(renamed, NewName);
  if (!renamed.Modified || renamed.Operation == poChangeAttr ||
      renamed.Operation == poChangeComment) {
    renamed.Modified = true;
    renamed.Operation = poRename;
  }
}

void TKelBaseArchiver::SetNameFields(TDirItem& Item, const UString& Name) {
  Item.CentralDir.nameLength = static_cast<uint16_t>(std::min<size_t>(Name.size(), 0xFFFF));
  FlagUtf8NameForPlatform(Name, Item.CentralDir.genPurposeFlag);
  for (TKelExtraFieldDataBlock& block : Item.ExtraFields)
    if (block.headerID == KelUnicodeNameExtraId) block = BuildUnicodeNameField(Name);
}

void TKelBaseArchiver::ChangeFilesAttr(const UString& FileMask, uint32_t NewAttr) {
  ChangeFoundItems(FileMask, NativeChangeNotFound, [&](TDirItem& item) {
    item.CentralDir.externalAttr = NewAttr | (IsFolder(item) ? KelAttrDirectory : 0);
    return poChangeAttr;
  });
}

void TKelBaseArchiver::ChangeFilesIntAttr(const UString& FileMask, uint32_t NewAttr) {
  ChangeFoundItems(FileMask, NativeIntAttrNotFound, [&](TDirItem& item) {
    item.CentralDir.internalAttr = static_cast<uint16_t>(NewAttr);
    return poChangeAttr;
  });
}

void TKelBaseArchiver::ChangeFilesComment(const UString& FileMask, const AnsiString& NewComment) {
  ChangeFoundItems(FileMask, NativeChangeNotFound, [&](TDirItem& item) {
    item.SetComment(NewComment);
    item.CentralDir.commentLength =
        static_cast<uint16_t>(std::min<size_t>(NewComment.size(), 0xFFFF));
    return poChangeComment;
  });
}

void TKelBaseArchiver::ChangeFoundItems(
    const UString& FileMask, int NotFoundError,
    const std::function<TKelProcessOperation(TDirItem&)>& Change) {
  CheckActive();
  // Found before the update and again inside it, as RenameFile plans.
  auto find = [&] {
    std::vector<int32_t> found;
    TKelArchiveItem f;
    for (bool more = FindFirst(FileMask, f, KelAllItemsAttr, u""); more; more = FindNext(f))
      found.push_back(f.Handle.ItemNo);
    if (found.empty()) throw EKelException(NotFoundError, {FileMask}, this);
    return found;
  };
  find();
  InOwnUpdate(*this, [&] {
    for (const int32_t index : find()) {
      TDirItem& item = DMHandle->CDir.GetItemPtr(index);
      const TKelProcessOperation operation = Change(item);
      // An item with a pending change keeps it: a rename rewrites the whole
      // header anyway, new and replaced items are stored with the new values.
      if (!item.Modified) {
        item.Modified = true;
        item.Operation = operation;
      }
    }
  });
}

}  // namespace kelvane
