// Item data through Deflate in the engine's chunk sizes: our raw driving
// against the zlib-format way (header put in front, Adler-32 computed and
// thrown away), same data, same levels, in one run.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "coding/KelZlib.h"

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes& Source() {
  static const Bytes data = [] {
    static const std::string words[] = {"archive ", "item ",      "volume ", "header ",
                                        "central ", "directory ", "\n",      "deflate "};
    std::mt19937 gen(7);
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

Bytes Compress(int level) {
  const Bytes& src = Source();
  const size_t chunk =
      static_cast<size_t>(kelvane::CompressionBlockSize(static_cast<uint8_t>(level)));
  kelvane::TKelDeflater d(level);
  Bytes out;
  for (size_t at = 0; at < src.size(); at += chunk) {
    const size_t n = std::min(chunk, src.size() - at);
    const auto piece = d.CompressChunk(src.data() + at, n, at + n == src.size());
    out.insert(out.end(), piece.begin(), piece.end());
  }
  d.End();
  return out;
}

void BM_Deflate_Raw(benchmark::State& state) {
  const int level = static_cast<int>(state.range(0));
  const Bytes& src = Source();
  const size_t chunk =
      static_cast<size_t>(kelvane::CompressionBlockSize(static_cast<uint8_t>(level)));
  for (auto _ : state) {
    kelvane::TKelDeflater d(level);
    size_t total = 0;
    for (size_t at = 0; at < src.size(); at += chunk) {
      const size_t n = std::min(chunk, src.size() - at);
      total += d.CompressChunk(src.data() + at, n, at + n == src.size()).size();
    }
    d.End();
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Source().size()));
}

void BM_Deflate_ZlibFormat(benchmark::State& state) {
  const int level = static_cast<int>(state.range(0));
  const Bytes& src = Source();
  const size_t chunk =
      static_cast<size_t>(kelvane::CompressionBlockSize(static_cast<uint8_t>(level)));
  for (auto _ : state) {
    z_stream z{};
    deflateInit(&z, level);
    size_t total = 0;
    for (size_t at = 0; at < src.size(); at += chunk) {
      const size_t n = std::min(chunk, src.size() - at);
      Bytes buf((n + n / 10 + 12 + 255) & ~size_t{255});
      z.next_in = const_cast<Bytef*>(src.data() + at);
      z.avail_in = static_cast<uInt>(n);
      z.next_out = buf.data();
      z.avail_out = static_cast<uInt>(buf.size());
      deflate(&z, at + n == src.size() ? Z_FINISH : Z_SYNC_FLUSH);
      total += buf.size() - z.avail_out;
    }
    deflateEnd(&z);
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * src.size()));
}

void BM_Inflate_Raw(benchmark::State& state) {
  const Bytes packed = Compress(6);
  const size_t chunk = kelvane::DecompressionChunkSize;
  for (auto _ : state) {
    kelvane::TKelInflater inf;
    uint64_t total = 0;
    for (size_t at = 0; at < packed.size(); at += chunk) {
      inf.DecodeChunk(packed.data() + at, std::min(chunk, packed.size() - at), [&](auto piece) {
        total += piece.size();
        return true;
      });
    }
    inf.Finish();
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Source().size()));
}

void BM_Inflate_ZlibFormat(benchmark::State& state) {
  const Bytes packed = Compress(6);
  const size_t chunk = kelvane::DecompressionChunkSize;
  Bytes out(kelvane::DecompressionChunkSize);
  for (auto _ : state) {
    z_stream z{};
    inflateInit(&z);
    uint64_t total = 0;
    for (size_t at = 0; at < packed.size(); at += chunk) {
      const size_t n = std::min(chunk, packed.size() - at);
      Bytes in;
      in.reserve(n + 2);
      if (at == 0) in = {0x78, 0x01};
      in.insert(in.end(), packed.begin() + at, packed.begin() + at + n);
      z.next_in = in.data();
      z.avail_in = static_cast<uInt>(in.size());
      for (;;) {
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        const int r = inflate(&z, Z_NO_FLUSH);
        if (r < 0) break;
        total += out.size() - z.avail_out;
        if ((z.avail_out > 0 && z.avail_in == 0) || r == Z_STREAM_END) break;
      }
    }
    inflateEnd(&z);
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Source().size()));
}

BENCHMARK(BM_Deflate_Raw)->Arg(1)->Arg(6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Deflate_ZlibFormat)->Arg(1)->Arg(6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Inflate_Raw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Inflate_ZlibFormat)->Unit(benchmark::kMillisecond);

}  // namespace
