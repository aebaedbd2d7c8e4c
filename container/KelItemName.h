// An item name held compactly: a directory of a million items keeps a million
// names, most of them short and of Latin-1 characters only.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>

#include "platform/Text.h"
#include "platform/Types.h"

namespace kelvane {

// A UTF-16 string that stores one byte per code unit while every unit is
// below 0x100, and keeps names of up to 23 such units (11 otherwise) inside
// the object, without a heap block. It reads as a UString: it converts to
// one, compares with one, and is assigned from one.
class TItemName {
 public:
  TItemName() noexcept { Reset(); }
  explicit TItemName(UStringView s) {
    Reset();
    Assign(s);
  }
  TItemName(const TItemName& other) {
    Reset();
    Assign(other);
  }
  TItemName(TItemName&& other) noexcept {
    std::memcpy(FBytes, other.FBytes, sizeof FBytes);
    FTag = other.FTag;
    other.Reset();
  }
  TItemName& operator=(const TItemName& other) {
    if (this != &other) Assign(other);
    return *this;
  }
  TItemName& operator=(TItemName&& other) noexcept {
    if (this != &other) {
      Release();
      std::memcpy(FBytes, other.FBytes, sizeof FBytes);
      FTag = other.FTag;
      other.Reset();
    }
    return *this;
  }
  TItemName& operator=(UStringView s) {
    Assign(s);
    return *this;
  }
  ~TItemName() { Release(); }

  operator UString() const { return Str(); }  // NOLINT: reads as the UString it was
  UString Str() const;

  size_t size() const { return OnHeap() ? HeapLength() : FTag & kLengthMask; }
  size_t length() const { return size(); }
  bool empty() const { return size() == 0; }
  char16_t operator[](size_t i) const { return Narrow() ? NarrowData()[i] : WideData()[i]; }
  char16_t front() const { return (*this)[0]; }
  char16_t back() const { return (*this)[size() - 1]; }

  // Calls F with the units: a span of bytes (each one code unit) when the
  // name is narrow, a UStringView otherwise.
  template <class F>
  decltype(auto) Visit(F&& f) const {
    if (Narrow()) return f(std::span<const uint8_t>(NarrowData(), size()));
    return f(UStringView(WideData(), size()));
  }

  friend bool operator==(const TItemName& a, UStringView b);
  friend bool operator==(const TItemName& a, const TItemName& b);

 private:
  static constexpr uint8_t kHeap = 0x80;
  static constexpr uint8_t kWide = 0x40;
  static constexpr uint8_t kLengthMask = 0x3F;
  static constexpr size_t kInlineBytes = 23;

  bool OnHeap() const { return (FTag & kHeap) != 0; }
  bool Narrow() const { return (FTag & kWide) == 0; }
  uint32_t HeapLength() const {
    uint32_t n;
    std::memcpy(&n, FBytes + sizeof(void*), sizeof n);
    return n;
  }
  void* HeapPtr() const {
    void* p;
    std::memcpy(&p, FBytes, sizeof p);
    return p;
  }
  const uint8_t* NarrowData() const {
    return OnHeap() ? static_cast<const uint8_t*>(HeapPtr()) : FBytes;
  }
  const char16_t* WideData() const {
    return OnHeap() ? static_cast<const char16_t*>(HeapPtr())
                    : reinterpret_cast<const char16_t*>(FBytes);
  }
  void Reset() noexcept {
    std::memset(FBytes, 0, sizeof FBytes);
    FTag = 0;
  }
  void Release() noexcept;
  void Assign(UStringView s);
  void Assign(const TItemName& other);

  alignas(8) uint8_t FBytes[kInlineBytes];
  uint8_t FTag;
};

static_assert(sizeof(TItemName) == 24);

inline UString operator+(const UString& a, const TItemName& b) {
  return a + b.Str();
}
inline UString operator+(const TItemName& a, const UString& b) {
  return a.Str() + b;
}
inline UString operator+(const char16_t* a, const TItemName& b) {
  return a + b.Str();
}
inline UString operator+(const TItemName& a, const char16_t* b) {
  return a.Str() + b;
}
inline UString operator+(const TItemName& a, char16_t b) {
  return a.Str() + b;
}

inline std::string ToUtf8(const TItemName& name) {
  return ToUtf8(name.Str());
}

}  // namespace kelvane
