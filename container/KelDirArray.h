// The ordered items of an archive, with a hashed index of their names that is
// case-insensitive for the ASCII letters only.
#pragma once

#include <vector>

#include "container/KelDirItem.h"
#include "container/KelNameIndex.h"

namespace kelvane {

// Errors are EKelException without a component: native 1 (SetItem, SetItemName,
// a negative count), 2 (GetItem), 3 (GetItemPtr) and 4 (DeleteItem) for an index
// outside the items; 58 and 59 when the name index disagrees with the items. A
// failing call changes nothing.
//
// The name index holds one entry per item, in item order: the item's Name with
// A-Z lower-cased (TKelNameIndex, which keeps item numbers only and reads the
// names from the items). Items are added in two steps: raise the count (the new items
// start empty and unindexed), then give each new item, in index order, its name
// with SetItemName or its whole record with SetItem.
class TKelDirArray {
 public:
  TKelDirArray();
  TKelDirArray(const TKelDirArray&) = delete;
  TKelDirArray& operator=(const TKelDirArray&) = delete;

  int32_t Count() const { return FItemCount; }
  // Growth: above the capacity, the step doubles (capped at MaxAllocBy) and the
  // capacity becomes max(capacity + step, V); 0 releases the storage; otherwise
  // the capacity stays. Items entering the count start empty. Items leaving it
  // are released and their name index entries dropped. V must fit in memory:
  // callers bound it by what the archive can hold.
  void SetCount(int32_t V);
  int32_t AllocItemCount() const { return FCapacity; }

  // A copy of item Index; native error 2 when out of bounds.
  TDirItem GetItem(int32_t Index) const;
  TDirItem Items(int32_t Index) const { return GetItem(Index); }
  // The stored item; native error 3 when out of bounds. Valid until the capacity
  // changes. Changing its Name through the reference bypasses the index: rename
  // with SetItemName.
  TDirItem& GetItemPtr(int32_t Index);
  const TDirItem& GetItemPtr(int32_t Index) const;
  TDirItem& ItemsPtr(int32_t Index) { return GetItemPtr(Index); }
  // Stores a copy of Value at Index and indexes its name. Native error 1 when
  // Index is out of bounds, 58 when the items before Index are not all indexed.
  void SetItem(int32_t Index, const TDirItem& Value);
  // Renames item Index; a new name is no longer the one read from the item's
  // bytes (NameInHostUtf8). Native error 1 when out of bounds; 59 when the
  // item's current name is not indexed at Index (for example a new item with an
  // empty name while an earlier item has an empty name too).
  void SetItemName(int32_t Index, const UString& Name);
  // ItemNo := index of the item named FileName (ASCII case ignored), the one
  // added last when several are; -1 and false when there is none.
  bool FileExists(const UString& FileName, int32_t& ItemNo) const;
  // Removes item Index (releasing its stream when it owns it) and moves the later
  // items down. Native error 4 when out of bounds.
  void DeleteItem(int32_t Index);
  void ClearTags();
  // Empties the array and its index; the capacity is kept.
  void Clear();
  // Copies (never shares) every item of Source; Append adds them behind ours.
  void Assign(const TKelDirArray& Source);
  void Append(const TKelDirArray& Source);

  // The name index; its Count() is the number of indexed items.
  const TKelNameIndex& ItemNamesList() const { return FItemNamesList; }

  // Growth parameters (items): the current step, and its cap.
  int32_t AllocBy = 500;
  int32_t deAllocBy = 100;  // kept for compatibility; nothing consults it
  int32_t MaxAllocBy = 10000;

 private:
  void CheckIndex(int32_t Index, int NativeErr) const;

  std::vector<TDirItem> FItems;  // reserved to the capacity; built up to the highest count
  int32_t FCapacity = 0;
  TKelNameIndex FItemNamesList{FItems};
  int32_t FItemCount = 0;
};

}  // namespace kelvane
