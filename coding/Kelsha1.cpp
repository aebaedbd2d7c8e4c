#include "coding/Kelsha1.h"

#include <algorithm>
#include <cstring>

#include "coding/KelSecure.h"

namespace kelvane {

namespace {

constexpr int32_t SHA1_OID[] = {1, 3, 14, 3, 2, 26};

inline uint32_t Rol(uint32_t x, int n) noexcept {
  return (x << n) | (x >> (32 - n));
}

inline uint32_t LoadBE32(const uint8_t* p) noexcept {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

inline void StoreBE32(uint8_t* p, uint32_t v) noexcept {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

using TCompressFn = void (*)(uint32_t*, const uint8_t*, size_t) noexcept;

// Chosen on first use rather than at load time, so that a static initialiser
// elsewhere may already hash.
void Compress(uint32_t* state, const uint8_t* blocks, size_t count) noexcept {
  static const TCompressFn fn =
      SHA1HasShaInstructions() ? &SHA1CompressShaNi : &SHA1CompressPortable;
  fn(state, blocks, count);
}

}  // namespace

constinit const THashDesc SHA1_Desc = {
    C_HashSig,  C_HashDescSize, C_HashVers, SHA1BlockSize, SHA1DigestSize, &SHA1Init,
    &SHA1Final, &SHA1UpdateXL,  _SHA1,      "SHA1",        SHA1_OID,       6,
    {},
};

// Rounds unrolled with a 16-word rolling schedule; the roles of a..e rotate
// through the macro arguments instead of moving values between registers.
void SHA1CompressPortable(uint32_t state[5], const uint8_t* blocks, size_t count) noexcept {
  uint32_t w[16];
  for (; count > 0; --count, blocks += SHA1BlockSize) {
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
    for (int i = 0; i < 16; ++i)
      w[i] = LoadBE32(blocks + 4 * i);

#define KEL_W(t) \
  (w[(t)&15] = Rol(w[((t) + 13) & 15] ^ w[((t) + 8) & 15] ^ w[((t) + 2) & 15] ^ w[(t)&15], 1))
#define KEL_R0(a, b, c, d, e, t)                             \
  e += Rol(a, 5) + (d ^ (b & (c ^ d))) + 0x5A827999u + w[t]; \
  b = Rol(b, 30);
#define KEL_R1(a, b, c, d, e, t)                                 \
  e += Rol(a, 5) + (d ^ (b & (c ^ d))) + 0x5A827999u + KEL_W(t); \
  b = Rol(b, 30);
#define KEL_R2(a, b, c, d, e, t)                         \
  e += Rol(a, 5) + (b ^ c ^ d) + 0x6ED9EBA1u + KEL_W(t); \
  b = Rol(b, 30);
#define KEL_R3(a, b, c, d, e, t)                                       \
  e += Rol(a, 5) + (((b | c) & d) | (b & c)) + 0x8F1BBCDCu + KEL_W(t); \
  b = Rol(b, 30);
#define KEL_R4(a, b, c, d, e, t)                         \
  e += Rol(a, 5) + (b ^ c ^ d) + 0xCA62C1D6u + KEL_W(t); \
  b = Rol(b, 30);
#define KEL_FIVE(R, t)      \
  R(a, b, c, d, e, (t) + 0) \
  R(e, a, b, c, d, (t) + 1) \
  R(d, e, a, b, c, (t) + 2) \
  R(c, d, e, a, b, (t) + 3) \
  R(b, c, d, e, a, (t) + 4)

    KEL_FIVE(KEL_R0, 0)
    KEL_FIVE(KEL_R0, 5)
    KEL_FIVE(KEL_R0, 10)
    KEL_R0(a, b, c, d, e, 15)
    KEL_R1(e, a, b, c, d, 16)
    KEL_R1(d, e, a, b, c, 17)
    KEL_R1(c, d, e, a, b, 18)
    KEL_R1(b, c, d, e, a, 19)
    KEL_FIVE(KEL_R2, 20)
    KEL_FIVE(KEL_R2, 25)
    KEL_FIVE(KEL_R2, 30)
    KEL_FIVE(KEL_R2, 35)
    KEL_FIVE(KEL_R3, 40)
    KEL_FIVE(KEL_R3, 45)
    KEL_FIVE(KEL_R3, 50)
    KEL_FIVE(KEL_R3, 55)
    KEL_FIVE(KEL_R4, 60)
    KEL_FIVE(KEL_R4, 65)
    KEL_FIVE(KEL_R4, 70)
    KEL_FIVE(KEL_R4, 75)

#undef KEL_FIVE
#undef KEL_R4
#undef KEL_R3
#undef KEL_R2
#undef KEL_R1
#undef KEL_R0
#undef KEL_W

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
  }
  WipeMemory(w, sizeof(w));
}

void SHA1Compress(uint32_t state[5], const uint8_t* blocks, size_t count) noexcept {
  Compress(state, blocks, count);
}

void SHA1Init(THashContext& context) noexcept {
  std::memset(&context, 0, sizeof(context));
  context.Hash[0] = 0x67452301u;
  context.Hash[1] = 0xEFCDAB89u;
  context.Hash[2] = 0x98BADCFEu;
  context.Hash[3] = 0x10325476u;
  context.Hash[4] = 0xC3D2E1F0u;
}

void SHA1UpdateXL(THashContext& context, const void* data, int32_t count) noexcept {
  if (count <= 0 || data == nullptr) return;
  auto* p = static_cast<const uint8_t*>(data);
  size_t left = static_cast<size_t>(count);

  // The bit counter is 64 bits wide; count * 8 always fits since count < 2^31.
  const uint64_t bits = (uint64_t{context.MLen[1]} << 32 | context.MLen[0]) + uint64_t{left} * 8;
  context.MLen[0] = static_cast<uint32_t>(bits);
  context.MLen[1] = static_cast<uint32_t>(bits >> 32);

  uint32_t index = context.Index;
  if (index > 0) {
    const size_t take = std::min<size_t>(SHA1BlockSize - index, left);
    std::memcpy(context.Buffer + index, p, take);
    index += static_cast<uint32_t>(take);
    p += take;
    left -= take;
    if (index < SHA1BlockSize) {
      context.Index = index;
      return;
    }
    Compress(context.Hash, context.Buffer, 1);
    index = 0;
  }
  const size_t whole = left / SHA1BlockSize;
  if (whole > 0) {
    Compress(context.Hash, p, whole);
    p += whole * SHA1BlockSize;
    left -= whole * SHA1BlockSize;
  }
  std::memcpy(context.Buffer, p, left);
  context.Index = static_cast<uint32_t>(left);
}

void SHA1Final(THashContext& context, THashDigest& digest) noexcept {
  uint32_t index = context.Index;
  context.Buffer[index++] = 0x80;
  if (index > SHA1BlockSize - 8) {
    std::memset(context.Buffer + index, 0, SHA1BlockSize - index);
    Compress(context.Hash, context.Buffer, 1);
    index = 0;
  }
  std::memset(context.Buffer + index, 0, SHA1BlockSize - 8 - index);
  StoreBE32(context.Buffer + 56, context.MLen[1]);
  StoreBE32(context.Buffer + 60, context.MLen[0]);
  Compress(context.Hash, context.Buffer, 1);

  digest.fill(0);
  for (int i = 0; i < 5; ++i)
    StoreBE32(digest.data() + 4 * i, context.Hash[i]);
  WipeMemory(&context, sizeof(context));
}

}  // namespace kelvane
