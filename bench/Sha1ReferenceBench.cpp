// A plain, loop-based SHA-1 compression as found in textbooks, built with the
// project's flags: the yardstick for our own portable and instruction paths.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace {

uint32_t Rol(uint32_t x, int n) {
  return (x << n) | (x >> (32 - n));
}

void ReferenceCompress(uint32_t h[5], const uint8_t* block) {
  uint32_t w[80];
  for (int i = 0; i < 16; ++i)
    w[i] = uint32_t(block[4 * i]) << 24 | uint32_t(block[4 * i + 1]) << 16 |
           uint32_t(block[4 * i + 2]) << 8 | block[4 * i + 3];
  for (int i = 16; i < 80; ++i)
    w[i] = Rol(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
  uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
  for (int i = 0; i < 80; ++i) {
    uint32_t f, k;
    if (i < 20) {
      f = (b & c) | (~b & d), k = 0x5A827999;
    } else if (i < 40) {
      f = b ^ c ^ d, k = 0x6ED9EBA1;
    } else if (i < 60) {
      f = (b & c) | (b & d) | (c & d), k = 0x8F1BBCDC;
    } else {
      f = b ^ c ^ d, k = 0xCA62C1D6;
    }
    const uint32_t t = Rol(a, 5) + f + e + k + w[i];
    e = d, d = c, c = Rol(b, 30), b = a, a = t;
  }
  h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e;
}

void BM_Sha1Compress_TextbookReference(benchmark::State& state) {
  std::vector<uint8_t> data(1 << 20);
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<uint8_t>(i * 131 + 7);
  uint32_t h[5] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
  for (auto _ : state) {
    for (size_t off = 0; off < data.size(); off += 64)
      ReferenceCompress(h, data.data() + off);
    benchmark::DoNotOptimize(h);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_Sha1Compress_TextbookReference);

}  // namespace
