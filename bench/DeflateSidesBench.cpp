// The two sides of the Deflate seam on text-like data (lines of words and
// numbers, as compare.py makes them): speed and compressed size per mode, to
// decide which modes ISA-L takes, and inflating speed.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "coding/KelZlib.h"

namespace {

using Bytes = std::vector<uint8_t>;
using kelvane::TKelDeflateBackend;

const Bytes& TextSource() {
  static const Bytes data = [] {
    static const char* words[] = {
        "archive",  "entry",    "header", "central", "directory", "deflate", "stored",  "record",
        "offset",   "volume",   "split",  "stream",  "buffer",    "window",  "literal", "length",
        "distance", "checksum", "the",    "of",      "and",       "to",      "in",      "is",
        "that",     "for",      "it",     "as",      "with",      "was",     "on",      "be",
        "by",       "this",     "are",    "from"};
    std::mt19937 gen(11);
    std::string text;
    while (text.size() < (16u << 20)) {
      const int count = 4 + int(gen() % 11);
      for (int i = 0; i < count; ++i) {
        if (i) text += ' ';
        text += words[gen() % std::size(words)];
      }
      text += ' ' + std::to_string(gen() % 100000) + '\n';
    }
    text.resize(16u << 20);
    return Bytes(text.begin(), text.end());
  }();
  return data;
}

Bytes Compress(int level, TKelDeflateBackend side) {
  const Bytes& src = TextSource();
  const size_t chunk = size_t(kelvane::CompressionBlockSize(uint8_t(level)));
  kelvane::TKelDeflater d(level, side);
  Bytes out;
  for (size_t at = 0; at < src.size(); at += chunk) {
    const size_t n = std::min(chunk, src.size() - at);
    const auto piece = d.CompressChunk(src.data() + at, n, at + n == src.size());
    out.insert(out.end(), piece.begin(), piece.end());
  }
  d.End();
  return out;
}

// Args: side (0 zlib, 1 ISA-L), mode.
void BM_DeflateSide(benchmark::State& state) {
  const auto side = TKelDeflateBackend(state.range(0));
  const int level = int(state.range(1));
  if (!kelvane::DeflateBackendLinked(side)) {
    state.SkipWithError("side not built");
    return;
  }
  size_t size = 0;
  for (auto _ : state)
    size = Compress(level, side).size();
  state.counters["ratio_pct"] = 100.0 * double(size) / double(TextSource().size());
  state.SetBytesProcessed(int64_t(state.iterations() * TextSource().size()));
}
BENCHMARK(BM_DeflateSide)
    ->ArgsProduct({{0}, {1, 2, 3, 4, 5, 6}})
    ->ArgsProduct({{1}, {1, 2, 3}})
    ->Unit(benchmark::kMillisecond);

// Args: side; the stream made by zlib at mode 6.
void BM_InflateSide(benchmark::State& state) {
  const auto side = TKelDeflateBackend(state.range(0));
  if (!kelvane::DeflateBackendLinked(side)) {
    state.SkipWithError("side not built");
    return;
  }
  const Bytes packed = Compress(6, kelvane::dbZlib);
  const size_t chunk = kelvane::DecompressionChunkSize;
  for (auto _ : state) {
    kelvane::TKelInflater inf(kelvane::DecompressionChunkSize, side);
    uint64_t total = 0;
    for (size_t at = 0; at < packed.size(); at += chunk)
      inf.DecodeChunk(packed.data() + at, std::min(chunk, packed.size() - at), [&](auto piece) {
        total += piece.size();
        return true;
      });
    inf.Finish();
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(int64_t(state.iterations() * TextSource().size()));
}
BENCHMARK(BM_InflateSide)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
