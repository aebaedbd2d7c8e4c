// SHA-1 compression with the processor's SHA instructions, selected at run time.
#include "coding/Kelsha1.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace kelvane {

#if defined(__x86_64__) || defined(__i386__)

bool SHA1HasShaInstructions() noexcept {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  const bool sse41 = (ecx & bit_SSE4_1) != 0;
  const bool ssse3 = (ecx & bit_SSSE3) != 0;
  if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
  const bool sha = (ebx & (1u << 29)) != 0;
  return sha && sse41 && ssse3;
}

// Each group of four rounds takes one message vector; from the fifth group on
// the vector is made from the four before it (msg1, xor, msg2), in a ring of four.
__attribute__((target("sha,sse4.1,ssse3"))) void SHA1CompressShaNi(uint32_t state[5],
                                                                   const uint8_t* blocks,
                                                                   size_t count) noexcept {
  const __m128i mask = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
  __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
  __m128i e0 = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);

  for (; count > 0; --count, blocks += 64) {
    const __m128i abcdSave = abcd;
    const __m128i eSave = e0;
    __m128i m[4];
    for (int i = 0; i < 4; ++i) {
      m[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * i)),
                              mask);
    }
    __m128i prev = abcd;
    __m128i e = _mm_add_epi32(e0, m[0]);
    abcd = _mm_sha1rnds4_epu32(abcd, e, 0);

#define KEL_SCHEDULE(i)                                                                \
  m[(i)&3] = _mm_sha1msg2_epu32(                                                       \
      _mm_xor_si128(_mm_sha1msg1_epu32(m[(i)&3], m[((i) + 1) & 3]), m[((i) + 2) & 3]), \
      m[((i) + 3) & 3]);
#define KEL_GROUP(i, f)                    \
  e = _mm_sha1nexte_epu32(prev, m[(i)&3]); \
  prev = abcd;                             \
  abcd = _mm_sha1rnds4_epu32(abcd, e, f);
#define KEL_GROUP_S(i, f) \
  KEL_SCHEDULE(i)         \
  KEL_GROUP(i, f)

    KEL_GROUP(1, 0)
    KEL_GROUP(2, 0)
    KEL_GROUP(3, 0)
    KEL_GROUP_S(4, 0)
    KEL_GROUP_S(5, 1)
    KEL_GROUP_S(6, 1)
    KEL_GROUP_S(7, 1)
    KEL_GROUP_S(8, 1)
    KEL_GROUP_S(9, 1)
    KEL_GROUP_S(10, 2)
    KEL_GROUP_S(11, 2)
    KEL_GROUP_S(12, 2)
    KEL_GROUP_S(13, 2)
    KEL_GROUP_S(14, 2)
    KEL_GROUP_S(15, 3)
    KEL_GROUP_S(16, 3)
    KEL_GROUP_S(17, 3)
    KEL_GROUP_S(18, 3)
    KEL_GROUP_S(19, 3)

#undef KEL_GROUP_S
#undef KEL_GROUP
#undef KEL_SCHEDULE

    e0 = _mm_sha1nexte_epu32(prev, eSave);
    abcd = _mm_add_epi32(abcd, abcdSave);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(abcd, 0x1B));
  state[4] = static_cast<uint32_t>(_mm_extract_epi32(e0, 3));
}

#else

bool SHA1HasShaInstructions() noexcept {
  return false;
}

void SHA1CompressShaNi(uint32_t state[5], const uint8_t* blocks, size_t count) noexcept {
  SHA1CompressPortable(state, blocks, count);
}

#endif

}  // namespace kelvane
