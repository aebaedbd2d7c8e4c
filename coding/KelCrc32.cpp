#include "coding/KelCrc32.h"

#include <bit>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define KEL_CRC32_CLMUL 1
#endif

namespace kelvane {
namespace {

// Slicing tables: entry [k][b] is the register contribution of byte b followed
// by k zero bytes, so sixteen bytes advance with sixteen independent look-ups.
constexpr std::array<std::array<uint32_t, 256>, 16> MakeSlicingTables() {
  std::array<std::array<uint32_t, 256>, 16> t{};
  t[0] = Crc32Table;
  for (int k = 1; k < 16; ++k)
    for (int b = 0; b < 256; ++b)
      t[k][b] = (t[k - 1][b] >> 8) ^ Crc32Table[t[k - 1][b] & 0xFF];
  return t;
}

constexpr auto SlicingTables = MakeSlicingTables();

inline uint32_t LoadLe32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  return v;
}

#ifdef KEL_CRC32_CLMUL

// Folding constants, derived from the polynomial rather than typed in:
// (x^n mod P) bit-reflected and shifted left by one, as carry-less folding of
// the reflected register needs them.
constexpr uint64_t XPowModReflected(int n) {
  const uint64_t poly = 0x104C11DB7;  // the normal form of Crc32Polynomial
  uint64_t r = 1;
  for (int i = 0; i < n; ++i) {
    r <<= 1;
    if (r & 0x100000000) r ^= poly;
  }
  uint64_t reflected = 0;
  for (int i = 0; i < 32; ++i)
    if (r & (uint64_t{1} << i)) reflected |= uint64_t{1} << (31 - i);
  return reflected << 1;
}

// Barrett constant: floor(x^64 / P), reflected over 33 bits.
constexpr uint64_t BarrettMuReflected() {
  const uint64_t poly = 0x104C11DB7;
  // Long division of x^64 by P over GF(2); the quotient has 33 bits.
  unsigned __int128 rem = static_cast<unsigned __int128>(1) << 64;
  uint64_t q = 0;
  for (int bit = 32; bit >= 0; --bit) {
    if (rem & (static_cast<unsigned __int128>(1) << (bit + 32))) {
      q |= uint64_t{1} << bit;
      rem ^= static_cast<unsigned __int128>(poly) << bit;
    }
  }
  uint64_t reflected = 0;
  for (int i = 0; i < 33; ++i)
    if (q & (uint64_t{1} << i)) reflected |= uint64_t{1} << (32 - i);
  return reflected;
}

constexpr uint64_t Fold128Lo = XPowModReflected(128 + 32);
constexpr uint64_t Fold128Hi = XPowModReflected(128 - 32);
constexpr uint64_t Fold64 = XPowModReflected(64);
constexpr uint64_t PolyReflected = (uint64_t{Crc32Polynomial} << 1) | 1;
constexpr uint64_t BarrettMu = BarrettMuReflected();

static_assert(Fold128Lo == 0x1751997D0 && Fold128Hi == 0xCCAA009E && BarrettMu == 0x1F7011641);

__attribute__((target("pclmul,sse4.1"))) inline __m128i Fold128(__m128i acc, __m128i next,
                                                                __m128i k) {
  const __m128i lo = _mm_clmulepi64_si128(acc, k, 0x00);
  const __m128i hi = _mm_clmulepi64_si128(acc, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(hi, lo), next);
}

// Lanes of 16 bytes folded side by side: enough independent multiplications
// to hide their latency.
constexpr size_t ClmulLanes = 4;
constexpr size_t ClmulStride = ClmulLanes * 16;
constexpr uint64_t FoldStrideLo = XPowModReflected(ClmulStride * 8 + 32);
constexpr uint64_t FoldStrideHi = XPowModReflected(ClmulStride * 8 - 32);

// Advances the register over Len bytes; Len >= ClmulStride and a multiple of 16.
__attribute__((target("pclmul,sse4.1"))) uint32_t ClmulBlocks(uint32_t crc, const uint8_t* p,
                                                              size_t len) {
  __m128i x[ClmulLanes];
#pragma GCC unroll 16
  for (size_t i = 0; i < ClmulLanes; ++i)
    x[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
  x[0] = _mm_xor_si128(x[0], _mm_cvtsi32_si128(static_cast<int>(crc)));
  p += ClmulStride;
  len -= ClmulStride;

  __m128i k =
      _mm_set_epi64x(static_cast<long long>(FoldStrideHi), static_cast<long long>(FoldStrideLo));
  while (len >= ClmulStride) {
#pragma GCC unroll 16
    for (size_t i = 0; i < ClmulLanes; ++i)
      x[i] = Fold128(x[i], _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i)), k);
    p += ClmulStride;
    len -= ClmulStride;
  }

  k = _mm_set_epi64x(static_cast<long long>(Fold128Hi), static_cast<long long>(Fold128Lo));
  __m128i x1 = x[0];
#pragma GCC unroll 16
  for (size_t i = 1; i < ClmulLanes; ++i)
    x1 = Fold128(x1, x[i], k);
  while (len >= 16) {
    x1 = Fold128(x1, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), k);
    p += 16;
    len -= 16;
  }

  // 128 -> 64 bits.
  const __m128i mask32 = _mm_setr_epi32(-1, 0, -1, 0);
  __m128i t = _mm_clmulepi64_si128(x1, k, 0x10);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), t);
  k = _mm_set_epi64x(0, static_cast<long long>(Fold64));
  t = _mm_srli_si128(x1, 4);
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k, 0x00), t);

  // Barrett reduction to 32 bits.
  k = _mm_set_epi64x(static_cast<long long>(BarrettMu), static_cast<long long>(PolyReflected));
  t = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, mask32), k, 0x00);
  x1 = _mm_xor_si128(x1, t);
  return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}

bool DetectClmul() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}

#endif  // KEL_CRC32_CLMUL

// Below this size the set-up of the folding costs more than it saves.
constexpr size_t ClmulMinimum = 128;

uint32_t Fastest(uint32_t crc, const uint8_t* p, size_t n) {
  static const bool clmul = crc32impl::ClmulAvailable();
  if (clmul && n >= ClmulMinimum) return crc32impl::Clmul(crc, p, n);
  return crc32impl::Slicing16(crc, p, n);
}

}  // namespace

namespace crc32impl {

uint32_t Bytewise(uint32_t crc, const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    crc = UpdateCrc32Byte(p[i], crc);
  return crc;
}

uint32_t Slicing16(uint32_t crc, const uint8_t* p, size_t n) {
  const auto& t = SlicingTables;
  while (n >= 16) {
    const uint32_t a = LoadLe32(p) ^ crc;
    const uint32_t b = LoadLe32(p + 4);
    const uint32_t c = LoadLe32(p + 8);
    const uint32_t d = LoadLe32(p + 12);
    crc = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
          t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^
          t[7][c & 0xFF] ^ t[6][(c >> 8) & 0xFF] ^ t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24] ^
          t[3][d & 0xFF] ^ t[2][(d >> 8) & 0xFF] ^ t[1][(d >> 16) & 0xFF] ^ t[0][d >> 24];
    p += 16;
    n -= 16;
  }
  return Bytewise(crc, p, n);
}

bool ClmulAvailable() {
#ifdef KEL_CRC32_CLMUL
  static const bool available = DetectClmul();
  return available;
#else
  return false;
#endif
}

uint32_t Clmul(uint32_t crc, const uint8_t* p, size_t n) {
#ifdef KEL_CRC32_CLMUL
  if (ClmulAvailable() && n >= ClmulStride) {
    const size_t blocks = n & ~size_t{15};
    crc = ClmulBlocks(crc, p, blocks);
    p += blocks;
    n -= blocks;
  }
#endif
  return Slicing16(crc, p, n);
}

}  // namespace crc32impl

void UpdateCrc32(uint32_t& crc, const void* buffer, int32_t count) {
  if (count <= 0) return;
  crc = Fastest(crc, static_cast<const uint8_t*>(buffer), static_cast<size_t>(count));
}

uint32_t AdvanceCrc32(uint32_t crc, const void* buffer, size_t count) {
  if (count == 0) return crc;
  return Fastest(crc, static_cast<const uint8_t*>(buffer), count);
}

uint32_t Crc32Of(const void* buffer, size_t count) {
  return ~AdvanceCrc32(Crc32Initial, buffer, count);
}

}  // namespace kelvane
