// Encoding item data: StoreItemData (read, CRC-32, Deflate, write) against
// zlib alone deflating the same chunks at the same level into memory, and a
// stored item against copying its chunks.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "coding/KelZlib.h"
#include "container/KelDirItem.h"
#include "engine/Kelvane.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The heap as the kelvane tool sets it up: every item takes fresh buffers of
// 1 to 2 MiB, which glibc would otherwise hand back to the system after each
// item and fault in again for the next one.
[[maybe_unused]] const bool ToolHeap = [] {
  mallopt(M_MMAP_THRESHOLD, 8 << 20);
  mallopt(M_TRIM_THRESHOLD, 32 << 20);
  return true;
}();

// Text-like words with random runs: Deflate saves about three quarters.
const Bytes& Source() {
  static const Bytes data = [] {
    static const std::string words[] = {"archive ", "item ",      "volume ", "header ",
                                        "central ", "directory ", "\n",      "deflate "};
    std::mt19937 gen(11);
    Bytes v;
    while (v.size() < (16u << 20)) {
      if (gen() % 8 == 0) {
        for (int i = 0; i < 64; ++i)
          v.push_back(static_cast<uint8_t>(gen()));
      } else {
        const auto& w = words[gen() % std::size(words)];
        v.insert(v.end(), w.begin(), w.end());
      }
    }
    return v;
  }();
  return data;
}

class TStoreProbe : public kelvane::TKelvane {
 public:
  using TKelBaseArchiver::StoreItemData;
  using TKelvane::TKelvane;
};

void BM_StoreItemData(benchmark::State& state) {
  const auto mode = static_cast<uint8_t>(state.range(0));
  TStoreProbe archiver(nullptr);
  kelvane::TMemoryStream source;
  source.WriteBuffer(Source().data(), static_cast<int64_t>(Source().size()));
  kelvane::TMemoryStream dest;
  for (auto _ : state) {
    kelvane::TDirItem item;
    item.CompressionMode = mode;
    item.CompressionMethod = kelvane::CompressionMethodForMode(mode);
    dest.SetPosition(0);  // keeps its memory: no growing inside the timing
    archiver.StoreItemData(source, dest, item);
    benchmark::DoNotOptimize(item.CentralDir.compSize);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Source().size()));
}

// zlib by itself over the same chunks: raw Deflate, one call per chunk, the
// output gathered in memory.
void BM_ZlibChunks(benchmark::State& state) {
  const int level = static_cast<int>(state.range(0));
  const Bytes& src = Source();
  const size_t chunk =
      static_cast<size_t>(kelvane::CompressionBlockSize(static_cast<uint8_t>(level)));
  Bytes buf((chunk + chunk / 10 + 12 + 255) & ~size_t{255});
  Bytes out(src.size() + src.size() / 10 + 4096);
  for (auto _ : state) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    size_t total = 0;
    for (size_t at = 0; at < src.size(); at += chunk) {
      const size_t n = std::min(chunk, src.size() - at);
      z.next_in = const_cast<Bytef*>(src.data() + at);
      z.avail_in = static_cast<uInt>(n);
      z.next_out = buf.data();
      z.avail_out = static_cast<uInt>(buf.size());
      deflate(&z, at + n == src.size() ? Z_FINISH : Z_SYNC_FLUSH);
      const size_t produced = buf.size() - z.avail_out;
      std::memcpy(out.data() + total, buf.data(), produced);
      total += produced;
    }
    deflateEnd(&z);
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * src.size()));
}

// What a stored item cannot beat: the source copied into the destination,
// stream to stream.
void BM_StreamCopy(benchmark::State& state) {
  kelvane::TMemoryStream source;
  source.WriteBuffer(Source().data(), static_cast<int64_t>(Source().size()));
  kelvane::TMemoryStream dest;
  for (auto _ : state) {
    dest.SetPosition(0);
    source.SetPosition(0);
    dest.CopyFrom(source, source.Size());
    benchmark::DoNotOptimize(dest.Memory());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Source().size()));
}

// Wall time, and the processor time of every thread: items of more than one
// chunk are deflated on all the processors the process may use (taskset -c 0
// gives the one-core figures).
BENCHMARK(BM_StoreItemData)
    ->Arg(0)
    ->Arg(1)
    ->Arg(6)
    ->Arg(9)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_ZlibChunks)
    ->Arg(1)
    ->Arg(6)
    ->Arg(9)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_StreamCopy)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
