#include "container/KelScanAhead.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <system_error>

namespace kelvane {
namespace {

constexpr int64_t kSignatureSize = 4;

}  // namespace

int64_t FindPattern(const uint8_t* Bytes, int64_t Count, const uint8_t (&Pattern)[4]) {
  const uint8_t* p = Bytes;
  const uint8_t* end = Bytes + Count;
  while (end - p >= kSignatureSize) {
    p = static_cast<const uint8_t*>(
        std::memchr(p, Pattern[0], static_cast<size_t>(end - p - (kSignatureSize - 1))));
    if (!p) return -1;
    if (std::memcmp(p, Pattern, kSignatureSize) == 0) return p - Bytes;
    ++p;
  }
  return -1;
}

TKelScanAhead::TKelScanAhead(int Handle, int64_t From, int64_t Size, uint32_t Pattern)
    : FFile(Handle), FFrom(From), FSize(Size), FEnd(From) {
  if (!FFile.Valid()) return;
  try {
    FThread = std::thread([this, Pattern] { Search(Pattern); });
  } catch (const std::system_error&) {
    // No thread: the scan goes on alone.
  }
}

TKelScanAhead::~TKelScanAhead() {
  FStop = true;
  if (FThread.joinable()) FThread.join();
}

void TKelScanAhead::Wait() {
  if (FThread.joinable()) FThread.join();
  FDone = true;
}

void TKelScanAhead::Search(uint32_t Pattern) {
  const uint8_t pattern[4] = {uint8_t(Pattern), uint8_t(Pattern >> 8), uint8_t(Pattern >> 16),
                              uint8_t(Pattern >> 24)};
  std::unique_ptr<uint8_t[]> buffer;
  try {
    buffer = std::make_unique_for_overwrite<uint8_t[]>(size_t(ChunkSize));
  } catch (const std::bad_alloc&) {
    return;  // End() stays at From(): the scan reads it all itself
  }
  // Each chunk reads the first bytes of the next, so that a signature across
  // the two is seen; positions found are those where a signature begins.
  for (int64_t at = FFrom; at < FSize && !FStop;) {
    const int64_t wanted = std::min(ChunkSize, FSize - at);
    if (FFile.ReadAt(at, buffer.get(), wanted) != wanted) return;
    const int64_t next = at + wanted == FSize ? FSize : at + wanted - (kSignatureSize - 1);
    for (int64_t pos = 0;;) {
      const int64_t found = FindPattern(buffer.get() + pos, wanted - pos, pattern);
      if (found < 0 || at + pos + found >= next) break;
      const int64_t hit = at + pos + found;
      if (FHits.size() == MaxHits) {
        FEnd = hit;
        return;
      }
      try {
        FHits.push_back(hit);
      } catch (const std::bad_alloc&) {
        FEnd = hit;
        return;
      }
      pos += found + 1;
    }
    at = next;
    FEnd = next;
  }
}

}  // namespace kelvane
