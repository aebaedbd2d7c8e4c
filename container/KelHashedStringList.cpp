#include "container/KelHashedStringList.h"

#include <algorithm>

#include "names/NameText.h"
#include "platform/Random.h"

namespace kelvane {

TKelStringHash::TKelStringHash(uint32_t aSize)
    : Buckets(std::max<uint32_t>(aSize, 1), nullptr), FSize(std::max<uint32_t>(aSize, 1)) {}

TKelStringHash::~TKelStringHash() {
  Clear();
}

namespace {

// SipHash-1-3 of the UTF-16 code units (little-endian bytes) under a key drawn
// once per process: names read from an archive cannot be chosen to share a
// bucket, as they could under a fixed hash.
struct TSipKey {
  uint64_t K0 = 0;
  uint64_t K1 = 0;
  TSipKey() {
    uint64_t k[2];
    RandomBytes(k, sizeof k);
    K0 = k[0];
    K1 = k[1];
  }
};

inline uint64_t Rotl(uint64_t x, int b) {
  return (x << b) | (x >> (64 - b));
}

struct TSipState {
  uint64_t v0, v1, v2, v3;
  void Round() {
    v0 += v1;
    v1 = Rotl(v1, 13) ^ v0;
    v0 = Rotl(v0, 32);
    v2 += v3;
    v3 = Rotl(v3, 16) ^ v2;
    v0 += v3;
    v3 = Rotl(v3, 21) ^ v0;
    v2 += v1;
    v1 = Rotl(v1, 17) ^ v2;
    v2 = Rotl(v2, 32);
  }
  void Absorb(uint64_t m) {
    v3 ^= m;
    Round();
    v0 ^= m;
  }
};

uint64_t SipHash13(const TSipKey& key, UStringView text) {
  TSipState s{key.K0 ^ 0x736f6d6570736575ULL, key.K1 ^ 0x646f72616e646f6dULL,
              key.K0 ^ 0x6c7967656e657261ULL, key.K1 ^ 0x7465646279746573ULL};
  size_t i = 0;
  for (; i + 4 <= text.size(); i += 4)
    s.Absorb(uint64_t{text[i]} | uint64_t{text[i + 1]} << 16 | uint64_t{text[i + 2]} << 32 |
             uint64_t{text[i + 3]} << 48);
  uint64_t last = static_cast<uint64_t>(text.size() * 2) << 56;
  for (int shift = 0; i < text.size(); ++i, shift += 16)
    last |= uint64_t{text[i]} << shift;
  s.Absorb(last);
  s.v2 ^= 0xff;
  s.Round();
  s.Round();
  s.Round();
  return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

}  // namespace

uint32_t TKelStringHash::HashKey(UStringView Key) const {
  static const TSipKey key;
  const uint64_t h = SipHash13(key, Key);
  return static_cast<uint32_t>(h ^ (h >> 32));
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
