#include "container/KelNameIndex.h"

#include <algorithm>
#include <bit>

#include "container/KelKeyedHash.h"
#include "names/NameText.h"

namespace kelvane {
namespace {

// The lower-cased units of Name, in Buffer when they fit.
UStringView LowerUnits(const TItemName& Name, UString& Buffer) {
  Buffer.resize(Name.size());
  Name.Visit([&](auto units) {
    std::transform(units.begin(), units.end(), Buffer.begin(),
                   [](auto c) { return LowerCaseAscii(static_cast<char16_t>(c)); });
  });
  return Buffer;
}

}  // namespace

uint32_t TKelNameIndex::HashOfItem(int32_t Index) const {
  thread_local UString buffer;
  return KeyedHash(LowerUnits((*FItems)[Index].Name, buffer));
}

bool TKelNameIndex::ItemHasKey(int32_t Index, UStringView LowerKey) const {
  const TItemName& name = (*FItems)[Index].Name;
  if (name.size() != LowerKey.size()) return false;
  return name.Visit([&](auto units) {
    return std::equal(units.begin(), units.end(), LowerKey.begin(), [](auto c, char16_t k) {
      return LowerCaseAscii(static_cast<char16_t>(c)) == k;
    });
  });
}

bool TKelNameIndex::SameName(int32_t A, int32_t B) const {
  thread_local UString buffer;
  return ItemHasKey(B, LowerUnits((*FItems)[A].Name, buffer));
}

void TKelNameIndex::Reserve(int32_t N) {
  Fresh();
  if (static_cast<size_t>(N) * 2 > FSlots.size()) Grow(static_cast<size_t>(N));
}

void TKelNameIndex::Grow(size_t MinItems) const {
  const size_t slots = std::bit_ceil(std::max<size_t>(MinItems * 2, 16));
  FSlots.assign(slots, kEmpty);
  for (int32_t i = 0; i < FCount; ++i)
    Insert(i, HashOfItem(i));
}

void TKelNameIndex::Rebuild() const {
  FStale = false;
  Grow(static_cast<size_t>(FCount));
}

// Linear probing. The newest entry of a name goes where the first entry of
// that name was, and the older ones move on along the run: so a lookup meets
// the newest first.
void TKelNameIndex::Insert(int32_t Index, uint32_t Hash) const {
  const size_t mask = FSlots.size() - 1;
  uint32_t carry = static_cast<uint32_t>(Index) + 1;
  bool matched = false;
  for (size_t s = Hash & mask;; s = (s + 1) & mask) {
    uint32_t& slot = FSlots[s];
    if (slot == kEmpty) {
      slot = carry;
      return;
    }
    if (!matched && SameName(static_cast<int32_t>(slot - 1), Index)) {
      matched = true;
      std::swap(slot, carry);
    } else if (matched && carry != kEmpty &&
               SameName(static_cast<int32_t>(slot - 1), static_cast<int32_t>(carry - 1))) {
      std::swap(slot, carry);
    }
  }
}

// Backward-shift deletion: entries of the run behind the hole move up when
// their home allows, in order, so that no lookup stops early.
void TKelNameIndex::Erase(size_t Slot) const {
  const size_t mask = FSlots.size() - 1;
  size_t hole = Slot;
  for (size_t s = (Slot + 1) & mask; FSlots[s] != kEmpty; s = (s + 1) & mask) {
    const size_t home = HashOfItem(static_cast<int32_t>(FSlots[s] - 1)) & mask;
    // Whether home lies cyclically outside (hole, s]: then the entry may fill the hole.
    const bool movable = hole <= s ? (home <= hole || home > s) : (home <= hole && home > s);
    if (movable) {
      FSlots[hole] = FSlots[s];
      hole = s;
    }
  }
  FSlots[hole] = kEmpty;
}

void TKelNameIndex::Add() {
  const int32_t index = FCount++;
  if (FStale) return;
  if (static_cast<size_t>(FCount) * 2 > FSlots.size()) {
    Grow(static_cast<size_t>(FCount) * 2);
    return;
  }
  Insert(index, HashOfItem(index));
}

void TKelNameIndex::Forget(int32_t Index) {
  if (FStale || FSlots.empty()) return;
  const size_t mask = FSlots.size() - 1;
  const uint32_t wanted = static_cast<uint32_t>(Index) + 1;
  for (size_t s = HashOfItem(Index) & mask; FSlots[s] != kEmpty; s = (s + 1) & mask) {
    if (FSlots[s] == wanted) return Erase(s);
  }
  // The item's name was changed behind the index's back: look everywhere.
  for (size_t s = 0; s < FSlots.size(); ++s) {
    if (FSlots[s] == wanted) return Erase(s);
  }
}

void TKelNameIndex::Put(int32_t Index) {
  if (FStale) return;
  if (FSlots.empty()) Grow(static_cast<size_t>(FCount));
  Insert(Index, HashOfItem(Index));
}

void TKelNameIndex::Deleted(int32_t Index) {
  if (Index >= FCount) return;
  --FCount;
  FStale = true;
}

void TKelNameIndex::Truncate(int32_t N) {
  if (N >= FCount) return;
  FCount = N;
  if (N == 0)
    Clear();
  else
    FStale = true;
}

void TKelNameIndex::Clear() {
  FCount = 0;
  FStale = false;
  std::fill(FSlots.begin(), FSlots.end(), kEmpty);
}

void TKelNameIndex::Release() {
  Clear();
  std::vector<uint32_t>().swap(FSlots);
}

int32_t TKelNameIndex::IndexOf(UStringView Key) const {
  Fresh();
  if (FSlots.empty()) return -1;
  const UString lower = LowerCaseAscii(Key);
  const size_t mask = FSlots.size() - 1;
  for (size_t s = KeyedHash(lower) & mask; FSlots[s] != kEmpty; s = (s + 1) & mask) {
    const auto item = static_cast<int32_t>(FSlots[s] - 1);
    if (ItemHasKey(item, lower)) return item;
  }
  return -1;
}

}  // namespace kelvane
