#include "container/KelItemName.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace kelvane {
namespace {

bool AllNarrow(UStringView s) {
  return std::all_of(s.begin(), s.end(), [](char16_t c) { return c < 0x100; });
}

}  // namespace

void TItemName::Release() noexcept {
  if (!OnHeap()) return;
  if (Narrow())
    delete[] static_cast<uint8_t*>(HeapPtr());
  else
    delete[] static_cast<char16_t*>(HeapPtr());
  Reset();
}

void TItemName::Assign(UStringView s) {
  if (s.size() > std::numeric_limits<uint32_t>::max()) throw std::length_error("name too long");
  const bool narrow = AllNarrow(s);
  const size_t inlineMax = narrow ? kInlineBytes : kInlineBytes / 2;
  // Built aside first: S may be a view of this very name.
  uint8_t bytes[kInlineBytes] = {};
  uint8_t tag = narrow ? 0 : kWide;
  if (s.size() <= inlineMax) {
    if (narrow)
      std::transform(s.begin(), s.end(), bytes, [](char16_t c) { return uint8_t(c); });
    else
      std::memcpy(bytes, s.data(), s.size() * 2);
    tag |= static_cast<uint8_t>(s.size());
  } else {
    void* heap;
    if (narrow) {
      auto* p = new uint8_t[s.size()];
      std::transform(s.begin(), s.end(), p, [](char16_t c) { return uint8_t(c); });
      heap = p;
    } else {
      auto* p = new char16_t[s.size()];
      std::copy(s.begin(), s.end(), p);
      heap = p;
    }
    const auto n = static_cast<uint32_t>(s.size());
    std::memcpy(bytes, &heap, sizeof heap);
    std::memcpy(bytes + sizeof heap, &n, sizeof n);
    tag |= kHeap;
  }
  Release();
  std::memcpy(FBytes, bytes, sizeof FBytes);
  FTag = tag;
}

void TItemName::Assign(const TItemName& other) {
  if (!other.OnHeap()) {
    Release();
    std::memcpy(FBytes, other.FBytes, sizeof FBytes);
    FTag = other.FTag;
    return;
  }
  const size_t n = other.size();
  void* heap;
  if (other.Narrow()) {
    auto* p = new uint8_t[n];
    std::memcpy(p, other.NarrowData(), n);
    heap = p;
  } else {
    auto* p = new char16_t[n];
    std::memcpy(p, other.WideData(), n * 2);
    heap = p;
  }
  Release();
  std::memcpy(FBytes, other.FBytes, sizeof FBytes);
  std::memcpy(FBytes, &heap, sizeof heap);
  FTag = other.FTag;
}

UString TItemName::Str() const {
  return Visit([](auto units) { return UString(units.begin(), units.end()); });
}

bool operator==(const TItemName& a, UStringView b) {
  if (a.size() != b.size()) return false;
  return a.Visit([&](auto units) { return std::equal(units.begin(), units.end(), b.begin()); });
}

bool operator==(const TItemName& a, const TItemName& b) {
  if (a.size() != b.size()) return false;
  return a.Visit([&](auto x) {
    return b.Visit([&](auto y) { return std::equal(x.begin(), x.end(), y.begin()); });
  });
}

}  // namespace kelvane
