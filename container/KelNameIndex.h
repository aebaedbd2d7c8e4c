// The name index of a directory: which item has a given name, ASCII case
// ignored, in constant time.
#pragma once

#include <cstdint>
#include <vector>

#include "container/KelDirItem.h"

namespace kelvane {

// A flat open-addressing table of item numbers over the items' own names:
// four bytes a slot, at most half the slots used, no copy of any name. Items
// 0 to Count() - 1 are indexed, each under its Name with A-Z lower-cased.
// Of several items of one name, a lookup finds the one indexed last (after a
// rebuild, the highest). Changes that move item numbers (deleting, cutting
// the count) only mark the table stale; the next use rebuilds it.
class TKelNameIndex {
 public:
  explicit TKelNameIndex(const std::vector<TDirItem>& Items) : FItems(&Items) {}
  TKelNameIndex(const TKelNameIndex&) = delete;
  TKelNameIndex& operator=(const TKelNameIndex&) = delete;

  int32_t Count() const { return FCount; }
  // Room for N indexed items without growing.
  void Reserve(int32_t N);
  // Indexes item Count() under its current name.
  void Add();
  // Unindexes item Index (below Count()) while it still has the name it was
  // indexed under; Put indexes it again once it has its new one.
  void Forget(int32_t Index);
  void Put(int32_t Index);
  // Item Index was deleted: the items behind it moved down one place.
  void Deleted(int32_t Index);
  // Only the first N items stay indexed.
  void Truncate(int32_t N);
  void Clear();
  // Clear, and the table's memory given back.
  void Release();
  // The item indexed under Key (ASCII case ignored), or -1.
  int32_t IndexOf(UStringView Key) const;

 private:
  static constexpr uint32_t kEmpty = 0;  // slots hold item number + 1

  uint32_t HashOfItem(int32_t Index) const;
  bool ItemHasKey(int32_t Index, UStringView LowerKey) const;
  bool SameName(int32_t A, int32_t B) const;
  void Insert(int32_t Index, uint32_t Hash) const;
  void Erase(size_t Slot) const;
  void Grow(size_t MinItems) const;
  void Rebuild() const;
  void Fresh() const {
    if (FStale) Rebuild();
  }

  const std::vector<TDirItem>* FItems;
  mutable std::vector<uint32_t> FSlots;  // size 0 or a power of two
  int32_t FCount = 0;
  mutable bool FStale = false;
};

}  // namespace kelvane
