#include "container/KelDirArray.h"

#include <algorithm>
#include <limits>

#include "container/KelExcept.h"
#include "names/NameText.h"

namespace kelvane {
namespace {

constexpr int kErrSetItem = 1;
constexpr int kErrGetItem = 2;
constexpr int kErrGetItemPtr = 3;
constexpr int kErrDeleteItem = 4;
constexpr int kErrIndexBehind = 58;
constexpr int kErrIndexElsewhere = 59;

}  // namespace

TKelDirArray::TKelDirArray() = default;

void TKelDirArray::CheckIndex(int32_t Index, int NativeErr) const {
  if (Index < 0 || Index >= FItemCount) throw EKelException(NativeErr, nullptr);
}

void TKelDirArray::SetCount(int32_t V) {
  if (V < 0) throw EKelException(kErrSetItem, nullptr);
  const int32_t capacity = AllocItemCount();
  if (V > capacity) {
    AllocBy = static_cast<int32_t>(std::min<int64_t>(int64_t{2} * AllocBy, MaxAllocBy));
    const int64_t grown = std::max<int64_t>(int64_t{capacity} + AllocBy, V);
    const auto newCapacity =
        static_cast<size_t>(std::min<int64_t>(grown, std::numeric_limits<int32_t>::max()));
    // Exactly, not the vector's own doubling. Slots are built only when the
    // count reaches them: a one-item archive need not build a thousand.
    FItems.reserve(newCapacity);
    FCapacity = static_cast<int32_t>(newCapacity);
    FItemNamesList.Reserve(V);  // the index grows by itself past what is asked
  } else if (V == 0) {
    std::vector<TDirItem>().swap(FItems);
    FCapacity = 0;
    FItemNamesList.Release();
  }
  // Released here rather than when they re-enter: an item that leaves the count
  // must not keep its source stream open nor stay findable by name.
  FItemNamesList.Truncate(V);
  const auto built = static_cast<int32_t>(FItems.size());
  for (int32_t i = V; i < std::min(FItemCount, built); ++i)
    FItems[i] = TDirItem();
  for (int32_t i = FItemCount; i < std::min(V, built); ++i)
    FItems[i] = TDirItem();
  if (V > built) FItems.resize(static_cast<size_t>(V));  // within the reserve: nothing moves
  FItemCount = V;
}

TDirItem TKelDirArray::GetItem(int32_t Index) const {
  CheckIndex(Index, kErrGetItem);
  return FItems[Index];
}

TDirItem& TKelDirArray::GetItemPtr(int32_t Index) {
  CheckIndex(Index, kErrGetItemPtr);
  return FItems[Index];
}

const TDirItem& TKelDirArray::GetItemPtr(int32_t Index) const {
  CheckIndex(Index, kErrGetItemPtr);
  return FItems[Index];
}

void TKelDirArray::SetItem(int32_t Index, const TDirItem& Value) {
  CheckIndex(Index, kErrSetItem);
  const int32_t indexed = FItemNamesList.Count();
  if (Index > indexed) throw EKelException(kErrIndexBehind, nullptr);
  TDirItem copy = Value;
  if (Index < indexed) FItemNamesList.Forget(Index);
  FItems[Index] = std::move(copy);
  if (Index < indexed)
    FItemNamesList.Put(Index);
  else
    FItemNamesList.Add();
}

void TKelDirArray::SetItemName(int32_t Index, const UString& Name) {
  CheckIndex(Index, kErrSetItem);
  TDirItem& item = FItems[Index];
  const int32_t indexed = FItemNamesList.Count();
  // With two items of one name the lookup yields the later; the entry at Index
  // is just as much this item's own.
  const int32_t found = FItemNamesList.IndexOf(item.Name.Str());
  const bool own = found >= 0 && Index < indexed;
  if (!own && !(found < 0 && Index == indexed)) throw EKelException(kErrIndexElsewhere, nullptr);
  TItemName name(Name);
  if (item.Name != Name) item.NameInHostUtf8 = false;
  if (own) FItemNamesList.Forget(Index);
  item.Name = std::move(name);
  if (own)
    FItemNamesList.Put(Index);
  else
    FItemNamesList.Add();
}

bool TKelDirArray::FileExists(const UString& FileName, int32_t& ItemNo) const {
  ItemNo = FItemNamesList.IndexOf(FileName);
  return ItemNo >= 0;
}

void TKelDirArray::DeleteItem(int32_t Index) {
  CheckIndex(Index, kErrDeleteItem);
  FItemNamesList.Deleted(Index);
  std::move(FItems.begin() + Index + 1, FItems.begin() + FItemCount, FItems.begin() + Index);
  FItems[FItemCount - 1] = TDirItem();
  --FItemCount;
}

void TKelDirArray::ClearTags() {
  for (int32_t i = 0; i < FItemCount; ++i)
    FItems[i].Tagged = false;
}

void TKelDirArray::Clear() {
  for (int32_t i = 0; i < FItemCount; ++i)
    FItems[i] = TDirItem();
  FItemCount = 0;
  FItemNamesList.Clear();
}

void TKelDirArray::Assign(const TKelDirArray& Source) {
  if (&Source == this) return;
  Clear();
  SetCount(Source.Count());
  for (int32_t i = 0; i < Source.Count(); ++i)
    SetItem(i, Source.FItems[i]);
}

void TKelDirArray::Append(const TKelDirArray& Source) {
  const int32_t n = FItemCount;
  const int32_t added = Source.Count();
  SetCount(n + added);
  for (int32_t i = 0; i < added; ++i)
    SetItem(n + i, Source.FItems[i]);
}

}  // namespace kelvane
