#include "coding/KelAesNi.h"

#include "coding/KelSecure.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace kelvane::aesni {

#if defined(__x86_64__) || defined(__i386__)

#define KEL_AES_TARGET __attribute__((target("aes,sse4.1")))

bool Available() noexcept {
  __builtin_cpu_init();
  return __builtin_cpu_supports("aes") && __builtin_cpu_supports("sse4.1");
}

namespace {

KEL_AES_TARGET inline __m128i Load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

KEL_AES_TARGET inline void Store(uint8_t* p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

}  // namespace

KEL_AES_TARGET void EncryptBlock(const uint8_t* roundKeys, int rounds, uint8_t* block) noexcept {
  __m128i b = _mm_xor_si128(Load(block), Load(roundKeys));
  for (int r = 1; r < rounds; ++r)
    b = _mm_aesenc_si128(b, Load(roundKeys + 16 * r));
  Store(block, _mm_aesenclast_si128(b, Load(roundKeys + 16 * rounds)));
}

KEL_AES_TARGET void DecryptBlock(const uint8_t* decryptKeys, int rounds, uint8_t* block) noexcept {
  __m128i b = _mm_xor_si128(Load(block), Load(decryptKeys));
  for (int r = 1; r < rounds; ++r)
    b = _mm_aesdec_si128(b, Load(decryptKeys + 16 * r));
  Store(block, _mm_aesdeclast_si128(b, Load(decryptKeys + 16 * rounds)));
}

// Eight blocks in flight hide the latency of the round instructions.
KEL_AES_TARGET void CtrXor(const uint8_t* roundKeys, int rounds, uint64_t& counter, uint64_t high,
                           const uint8_t* src, uint8_t* dst, size_t blocks,
                           uint8_t* lastKey) noexcept {
  __m128i k[15];
  for (int r = 0; r <= rounds; ++r)
    k[r] = Load(roundKeys + 16 * r);
  const auto hi = static_cast<long long>(high);
  uint64_t ctr = counter;
  __m128i last = _mm_setzero_si128();

  while (blocks >= 8) {
    __m128i b[8];
    for (int i = 0; i < 8; ++i) {
      b[i] = _mm_xor_si128(_mm_set_epi64x(hi, static_cast<long long>(++ctr)), k[0]);
    }
    for (int r = 1; r < rounds; ++r) {
      for (int i = 0; i < 8; ++i)
        b[i] = _mm_aesenc_si128(b[i], k[r]);
    }
    for (int i = 0; i < 8; ++i) {
      b[i] = _mm_aesenclast_si128(b[i], k[rounds]);
      Store(dst + 16 * i, _mm_xor_si128(Load(src + 16 * i), b[i]));
    }
    last = b[7];
    src += 128;
    dst += 128;
    blocks -= 8;
  }
  for (; blocks > 0; --blocks, src += 16, dst += 16) {
    __m128i b = _mm_xor_si128(_mm_set_epi64x(hi, static_cast<long long>(++ctr)), k[0]);
    for (int r = 1; r < rounds; ++r)
      b = _mm_aesenc_si128(b, k[r]);
    b = _mm_aesenclast_si128(b, k[rounds]);
    Store(dst, _mm_xor_si128(Load(src), b));
    last = b;
  }
  Store(lastKey, last);
  counter = ctr;
  WipeMemory(k, sizeof(k));
}

#else

bool Available() noexcept {
  return false;
}
void EncryptBlock(const uint8_t*, int, uint8_t*) noexcept {}
void DecryptBlock(const uint8_t*, int, uint8_t*) noexcept {}
void CtrXor(const uint8_t*, int, uint64_t&, uint64_t, const uint8_t*, uint8_t*, size_t,
            uint8_t*) noexcept {}

#endif

}  // namespace kelvane::aesni
