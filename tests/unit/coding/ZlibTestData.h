// Test data for the Deflate coders: random and text-like bytes, and Deflate
// streams made the way the item encoder makes them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "coding/KelZlib.h"

namespace kelvane::test {

using Bytes = std::vector<uint8_t>;

inline Bytes RandomData(size_t n, uint32_t seed) {
  std::mt19937 gen(seed);
  Bytes v(n);
  for (auto& b : v)
    b = static_cast<uint8_t>(gen());
  return v;
}

// Text-like data with long repeats and some variation, so every level makes
// different choices.
inline Bytes CompressibleData(size_t n, uint32_t seed) {
  static const std::string words[] = {"archive ",   "item ", "volume ",     "header ", "central ",
                                      "directory ", "\n",    "0123456789 ", "deflate "};
  std::mt19937 gen(seed);
  Bytes v;
  v.reserve(n);
  while (v.size() < n) {
    const auto& w = words[gen() % std::size(words)];
    v.insert(v.end(), w.begin(), w.end());
  }
  v.resize(n);
  return v;
}

// Compresses Src in chunks of ChunkSize the way the item encoder does.
inline Bytes Deflate(const Bytes& src, int level, size_t chunkSize,
                     std::optional<TKelDeflateBackend> backend = std::nullopt) {
  TKelDeflater d(level, backend.value_or(DefaultDeflateBackend(level)));
  Bytes out;
  size_t at = 0;
  do {
    const size_t n = std::min(chunkSize, src.size() - at);
    const bool last = at + n == src.size();
    const auto piece = d.CompressChunk(src.data() + at, n, last);
    out.insert(out.end(), piece.begin(), piece.end());
    at += n;
  } while (at < src.size());
  d.End();
  return out;
}

// Tests that every side of the Deflate seam must pass take the side as their
// parameter; a side this build lacks is skipped.
class BackendTest : public testing::TestWithParam<TKelDeflateBackend> {
 protected:
  void SetUp() override {
    if (!DeflateBackendLinked(GetParam())) GTEST_SKIP() << "this build has no such side";
  }
};

inline std::string BackendName(const testing::TestParamInfo<TKelDeflateBackend>& info) {
  return info.param == dbZlib ? "zlib" : "isal";
}

#define KEL_BACKEND_TESTS(Suite) \
  INSTANTIATE_TEST_SUITE_P(, Suite, testing::Values(dbZlib, dbIsal), test::BackendName)

}  // namespace kelvane::test
