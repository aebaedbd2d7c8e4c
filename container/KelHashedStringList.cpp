#include "container/KelHashedStringList.h"

#include <algorithm>

#include "container/KelKeyedHash.h"
#include "names/NameText.h"

namespace kelvane {

TKelStringHash::TKelStringHash(uint32_t aSize)
    : Buckets(std::max<uint32_t>(aSize, 1), nullptr), FSize(std::max<uint32_t>(aSize, 1)) {}

TKelStringHash::~TKelStringHash() {
  Clear();
}

uint32_t TKelStringHash::HashKey(UStringView Key) const {
  return KeyedHash(Key);
}

THashItem** TKelStringHash::FindLink(UStringView Key) const {
  auto* link = const_cast<THashItem**>(&Buckets[HashKey(Key) % Buckets.size()]);
  while (*link && (*link)->Key != Key)
    link = &(*link)->Next;
  return link;
}

void TKelStringHash::Add(UStringView Key, int32_t Value) {
  THashItem*& head = Buckets[HashKey(Key) % Buckets.size()];
  head = new THashItem{head, UString(Key), Value};
}

void TKelStringHash::Remove(UStringView Key) {
  THashItem** link = FindLink(Key);
  if (THashItem* item = *link) {
    *link = item->Next;
    delete item;
  }
}

void TKelStringHash::Remove(UStringView Key, int32_t Value) {
  THashItem** link = &Buckets[HashKey(Key) % Buckets.size()];
  while (*link && ((*link)->Key != Key || (*link)->Value != Value))
    link = &(*link)->Next;
  if (THashItem* item = *link) {
    *link = item->Next;
    delete item;
  }
}

bool TKelStringHash::Modify(UStringView Key, int32_t Value) {
  THashItem* item = *FindLink(Key);
  if (!item) return false;
  item->Value = Value;
  return true;
}

int32_t TKelStringHash::ValueOf(UStringView Key) const {
  const THashItem* item = *FindLink(Key);
  return item ? item->Value : -1;
}

void TKelStringHash::Clear() {
  // Iterative, so that a long chain (colliding names) cannot exhaust the stack.
  for (THashItem*& head : Buckets) {
    while (THashItem* item = head) {
      head = item->Next;
      delete item;
    }
  }
}

int TKelHashedStringList::Add(const UString& S) {
  const int index = TStringList::Add(S);
  FNameHashValid = false;
  if (FValueHash && FValueHashValid) {
    FValueHash->Add(LowerCaseAscii(S), index);
    // Chains averaging more than 5 entries: the next lookup builds a larger hash.
    if (uint64_t{FValueHash->Size()} * 5 < static_cast<uint64_t>(Count())) {
      FValueHash.reset();
      FValueHashValid = false;
    }
  }
  return index;
}

void TKelHashedStringList::Insert(int Index, const UString& S) {
  TStringList::Insert(Index, S);
  Invalidate();
}

void TKelHashedStringList::Update(int Index, const UString& NewValue) {
  if (Index < 0 || Index >= Count()) throw Exception("List index out of bounds");
  if (FValueHash && FValueHashValid) {
    FValueHash->Remove(LowerCaseAscii(Strings(Index)), Index);
    FValueHash->Add(LowerCaseAscii(NewValue), Index);
  }
  TStringList::SetStrings(Index, NewValue);
  FNameHashValid = false;
}

void TKelHashedStringList::Delete(int Index) {
  TStringList::Delete(Index);
  Invalidate();
}

void TKelHashedStringList::Clear() {
  TStringList::Clear();
  if (FValueHash) FValueHash->Clear();
  if (FNameHash) FNameHash->Clear();
  FValueHashValid = true;  // an empty hash describes an empty list
  FNameHashValid = false;
}

int TKelHashedStringList::IndexOf(const UString& S) const {
  RebuildValueHash();
  return FValueHash->ValueOf(LowerCaseAscii(S));
}

int TKelHashedStringList::IndexOfName(const UString& Name) const {
  RebuildNameHash();
  return FNameHash->ValueOf(LowerCaseAscii(Name));
}

void TKelHashedStringList::Assign(const TPersistent& Source) {
  TStringList::Assign(Source);
  Invalidate();
}

void TKelHashedStringList::RebuildValueHash() const {
  bool fresh = false;
  // A stale hash is rebuilt with at least as many buckets as strings.
  if (FValueHash && !FValueHashValid && FValueHash->Size() < static_cast<uint32_t>(Count()))
    FValueHash.reset();
  if (!FValueHash) {
    FValueHash = std::make_unique<TKelStringHash>(static_cast<uint32_t>(std::max(Count(), 1000)));
    fresh = true;
  }
  if (!FValueHashValid || fresh) {
    FValueHash->Clear();
    for (int i = 0; i < Count(); ++i)
      FValueHash->Add(LowerCaseAscii(Strings(i)), i);
    FValueHashValid = true;
  }
}

void TKelHashedStringList::RebuildNameHash() const {
  if (FNameHashValid) return;
  if (FNameHash)
    FNameHash->Clear();
  else
    FNameHash = std::make_unique<TKelStringHash>(256);
  for (int i = 0; i < Count(); ++i) {
    const UString& s = Strings(i);
    const size_t eq = s.find(u'=');
    if (eq != UString::npos) FNameHash->Add(LowerCaseAscii(UStringView(s).substr(0, eq)), i);
  }
  FNameHashValid = true;
}

void TKelHashedStringList::Invalidate() {
  FValueHashValid = false;
  FNameHashValid = false;
}

}  // namespace kelvane
