// AES counter mode (AES instructions and tables), SHA-1 (selected, portable
// and SHA instructions), PBKDF2-HMAC-SHA-1 key derivation as the AES item
// format uses it, and the whole item transform (counter mode plus HMAC).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "coding/KelAESTransform.h"
#include "coding/KelCipher.h"
#include "coding/KelPBKDF_2.h"
#include "coding/Kelsha1.h"

namespace {

using namespace kelvane;

const std::vector<uint8_t>& Buffer() {
  static const std::vector<uint8_t> data = [] {
    std::vector<uint8_t> v(1 << 20);
    std::mt19937 gen(7);
    for (auto& b : v)
      b = static_cast<uint8_t>(gen());
    return v;
  }();
  return data;
}

// Args: key bits, 1 = AES instructions / 0 = tables.
void BM_AesCtr(benchmark::State& state) {
  const bool instructions = state.range(1) != 0;
  if (instructions && !TCipher_Rijndael::HasAesInstructions()) {
    state.SkipWithError("no AES instructions");
    return;
  }
  TBytes key(static_cast<size_t>(state.range(0) / 8), 0x42);
  TCipher_Rijndael cipher(key);
  cipher.SetMode(cmCTR);
  cipher.SetUseAesInstructions(instructions);
  std::vector<uint8_t> data = Buffer();
  for (auto _ : state) {
    cipher.EncodeBuffer(data.data(), data.data(), static_cast<int32_t>(data.size()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_AesCtr)
    ->ArgNames({"bits", "aesni"})
    ->Args({128, 1})
    ->Args({256, 1})
    ->Args({128, 0})
    ->Args({256, 0});

void BM_Sha1(benchmark::State& state) {
  const auto& data = Buffer();
  THashDigest digest;
  for (auto _ : state) {
    HashFullBuffer(&SHA1_Desc, digest, data.data(), static_cast<int32_t>(data.size()));
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_Sha1);

template <void (*Compress)(uint32_t*, const uint8_t*, size_t) noexcept>
void BM_Sha1Compress(benchmark::State& state) {
  if (Compress == &SHA1CompressShaNi && !SHA1HasShaInstructions()) {
    state.SkipWithError("no SHA instructions");
    return;
  }
  const auto& data = Buffer();
  uint32_t s[5] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
  for (auto _ : state) {
    Compress(s, data.data(), data.size() / 64);
    benchmark::DoNotOptimize(s);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_Sha1Compress<&SHA1CompressPortable>)->Name("BM_Sha1Compress/portable");
BENCHMARK(BM_Sha1Compress<&SHA1CompressShaNi>)->Name("BM_Sha1Compress/sha_ni");

// One derivation of the AES item format: 2 * key length + 2 bytes, 1,000
// iterations (time per derivation).
void BM_Pbkdf2AesKeys(benchmark::State& state) {
  const auto keyBytes = static_cast<int32_t>(state.range(0) / 8);
  const TBytes salt(static_cast<size_t>(keyBytes / 2), 0x17);
  TPBKDF2 kdf("correct horse battery staple", AESKeyIterations, salt);
  for (auto _ : state)
    benchmark::DoNotOptimize(kdf.GetKeyBytes(2 * keyBytes + 2));
}
BENCHMARK(BM_Pbkdf2AesKeys)
    ->ArgName("bits")
    ->Arg(128)
    ->Arg(192)
    ->Arg(256)
    ->Unit(benchmark::kMicrosecond);

// Encrypting a 1 MiB piece of an item: counter mode plus the HMAC-SHA-1 code.
void BM_AesTransformEncrypt(benchmark::State& state) {
  TAESCryptoTransform t(256, 2, 8);
  t.Initialize(Encryption);
  t.GenerateKey("password");
  std::vector<uint8_t> data = Buffer();
  for (auto _ : state) {
    t.EncryptBuffer(data, 0, static_cast<int32_t>(data.size()), data, 0);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_AesTransformEncrypt);

}  // namespace
