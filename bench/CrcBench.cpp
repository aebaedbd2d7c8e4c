// CRC-32 over 1 MiB buffers: ours (run-time selected), each of its routines,
// and zlib's crc32() as the reference, in one run.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <random>
#include <vector>

#include "coding/KelCrc32.h"

namespace {

const std::vector<uint8_t>& Buffer() {
  static const std::vector<uint8_t> data = [] {
    std::vector<uint8_t> v(1 << 20);
    std::mt19937 gen(42);
    for (auto& b : v)
      b = static_cast<uint8_t>(gen());
    return v;
  }();
  return data;
}

template <typename F>
void RunCrc(benchmark::State& state, F f) {
  const auto& data = Buffer();
  for (auto _ : state)
    benchmark::DoNotOptimize(f(data.data(), data.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(data.size()));
}

void BM_Crc32_Kelvane(benchmark::State& state) {
  RunCrc(state, [](const uint8_t* p, size_t n) {
    uint32_t reg = kelvane::Crc32Initial;
    kelvane::UpdateCrc32(reg, p, static_cast<int32_t>(n));
    return ~reg;
  });
}

void BM_Crc32_ZlibReference(benchmark::State& state) {
  RunCrc(state, [](const uint8_t* p, size_t n) { return crc32(0, p, static_cast<uInt>(n)); });
}

void BM_Crc32_Clmul(benchmark::State& state) {
  if (!kelvane::crc32impl::ClmulAvailable()) {
    state.SkipWithError("no carry-less multiplication on this processor");
    return;
  }
  RunCrc(state, [](const uint8_t* p, size_t n) {
    return kelvane::crc32impl::Clmul(kelvane::Crc32Initial, p, n);
  });
}

void BM_Crc32_Slicing16(benchmark::State& state) {
  RunCrc(state, [](const uint8_t* p, size_t n) {
    return kelvane::crc32impl::Slicing16(kelvane::Crc32Initial, p, n);
  });
}

void BM_Crc32_TableBytewise(benchmark::State& state) {
  RunCrc(state, [](const uint8_t* p, size_t n) {
    return kelvane::crc32impl::Bytewise(kelvane::Crc32Initial, p, n);
  });
}

BENCHMARK(BM_Crc32_Kelvane);
BENCHMARK(BM_Crc32_ZlibReference);
BENCHMARK(BM_Crc32_Clmul);
BENCHMARK(BM_Crc32_Slicing16);
BENCHMARK(BM_Crc32_TableBytewise);

}  // namespace
