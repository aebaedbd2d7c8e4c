// Raw Deflate data of any shape: the decoder raises its own error or ends,
// never overruns, and stops producing once the caller says so.
#include <cstddef>
#include <cstdint>

#include "coding/KelZlib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kelvane;
  constexpr uint64_t kLimit = 1 << 20;  // the caller's declared size
  try {
    TKelInflater inflater(4096);
    uint64_t produced = 0;
    // Feed in two uneven chunks so chunk boundaries are exercised too.
    const size_t split = size / 3;
    auto sink = [&](std::span<const uint8_t> piece) {
      produced += piece.size();
      return produced <= kLimit;
    };
    if (inflater.DecodeChunk(data, split, sink) &&
        inflater.DecodeChunk(data + split, size - split, sink))
      inflater.Finish();
  } catch (const EDecompressionError&) {
  }
  return 0;
}
