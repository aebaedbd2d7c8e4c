#include "coding/KelSecure.h"

#include <cstring>

namespace kelvane {

void WipeMemory(void* buffer, size_t count) noexcept {
  if (buffer == nullptr || count == 0) return;
  volatile auto* p = static_cast<volatile uint8_t*>(buffer);
  for (size_t i = 0; i < count; ++i)
    p[i] = 0;
  // Keeps the stores ordered before any later release of the memory.
  asm volatile("" : : "r"(buffer) : "memory");
}

// Growing to the capacity never reallocates, so the spare bytes are wiped in place.
void WipeBytes(std::vector<uint8_t>& bytes) noexcept {
  bytes.resize(bytes.capacity());
  WipeMemory(bytes.data(), bytes.size());
  bytes.clear();
}

void WipeString(std::string& text) noexcept {
  text.resize(text.capacity());
  WipeMemory(text.data(), text.size());
  text.clear();
}

bool ConstantTimeEqual(const void* a, const void* b, size_t count) noexcept {
  const auto* pa = static_cast<const volatile uint8_t*>(a);
  const auto* pb = static_cast<const volatile uint8_t*>(b);
  uint8_t diff = 0;
  for (size_t i = 0; i < count; ++i)
    diff |= static_cast<uint8_t>(pa[i] ^ pb[i]);
  return diff == 0;
}

}  // namespace kelvane
