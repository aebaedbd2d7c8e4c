// Hex text <-> bytes for test vectors.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kelvane::test {

inline std::vector<uint8_t> FromHex(std::string_view hex) {
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    throw std::invalid_argument("bad hex digit");
  };
  std::vector<uint8_t> out;
  int high = -1;
  for (char c : hex) {
    if (c == ' ') continue;
    const int v = nibble(c);
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<uint8_t>(high << 4 | v));
      high = -1;
    }
  }
  if (high >= 0) throw std::invalid_argument("odd hex length");
  return out;
}

inline std::string ToHex(const uint8_t* data, size_t count) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < count; ++i) {
    out += digits[data[i] >> 4];
    out += digits[data[i] & 15];
  }
  return out;
}

inline std::string ToHex(const std::vector<uint8_t>& bytes) {
  return ToHex(bytes.data(), bytes.size());
}

inline std::vector<uint8_t> Bytes(std::string_view text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

// Deterministic filler so that failures reproduce.
inline std::vector<uint8_t> PatternBytes(size_t count, uint32_t seed) {
  std::vector<uint8_t> out(count);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& b : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<uint8_t>(x >> 24);
  }
  return out;
}

}  // namespace kelvane::test
