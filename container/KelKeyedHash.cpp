#include "container/KelKeyedHash.h"

#include "platform/Random.h"

namespace kelvane {
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

uint32_t KeyedHash(UStringView Key) {
  static const TSipKey key;
  const uint64_t h = SipHash13(key, Key);
  return static_cast<uint32_t>(h ^ (h >> 32));
}

}  // namespace kelvane
