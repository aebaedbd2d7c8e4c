// The two sides of the Deflate seam against each other: the same input in the
// same chunks and output pieces must give the same verdict and the same
// bytes. Where both fail, or the caller stops them at its declared size, the
// output of one is a prefix of the other's (each hands out what it decoded
// before the fault, in pieces of its own).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "coding/KelZlib.h"

namespace {

using namespace kelvane;

enum TVerdict { vEnded, vFailed, vStopped };

struct TRun {
  TVerdict Verdict = vEnded;
  std::vector<uint8_t> Out;
};

TRun Run(TKelDeflateBackend backend, const uint8_t* data, size_t size, size_t split, size_t piece) {
  constexpr uint64_t Limit = 64 << 10;  // the caller's declared size
  TRun r;
  try {
    TKelInflater inflater(piece, backend);
    auto sink = [&](std::span<const uint8_t> p) {
      r.Out.insert(r.Out.end(), p.begin(), p.end());
      return r.Out.size() <= Limit;
    };
    if (!inflater.DecodeChunk(data, split, sink) ||
        !inflater.DecodeChunk(data + split, size - split, sink)) {
      r.Verdict = vStopped;
      return r;
    }
    inflater.Finish();
  } catch (const EDecompressionError&) {
    r.Verdict = vFailed;
  }
  return r;
}

bool OneIsAPrefix(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  const size_t n = std::min(a.size(), b.size());
  return std::equal(a.begin(), a.begin() + long(n), b.begin());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // Two bytes choose the feeding: where the input splits into two chunks,
  // and how large the output pieces are (1 byte to 64 KiB).
  const size_t rest = size - 2;
  const size_t split = rest * data[0] / 255;
  const size_t piece = size_t{1} << (data[1] % 17);
  data += 2;
  const TRun zlib = Run(dbZlib, data, rest, split, piece);
  const TRun isal = Run(dbIsal, data, rest, split, piece);
  if (zlib.Verdict == vEnded || isal.Verdict == vEnded) {
    if (zlib.Verdict != isal.Verdict || zlib.Out != isal.Out) std::abort();
  } else if (!OneIsAPrefix(zlib.Out, isal.Out)) {
    std::abort();
  }
  return 0;
}
