#include "container/KelStreamReader.h"

#include <algorithm>
#include <cstring>

namespace kelvane {

void ReadAt(TStream& Stream, int64_t Pos, void* Buffer, int64_t Count) {
  Stream.SetPosition(Pos);
  Stream.ReadBuffer(Buffer, Count);
}

TKelBoundedReader::TKelBoundedReader(TStream& Stream, int64_t Start, int64_t Limit)
    : FStream(&Stream), FPos(Start), FLimit(Limit) {}

void TKelBoundedReader::Read(void* Buffer, size_t Count, const char* Message) {
  if (Count == 0) return;
  if (static_cast<uint64_t>(Remaining()) < Count) throw EReadError(Message);
  auto* out = static_cast<uint8_t*>(Buffer);
  const int64_t start = FPos;
  try {
    while (Count > 0) {
      if (FPos >= FBlockPos && FPos < FBlockPos + static_cast<int64_t>(FBlockLen)) {
        const size_t at = static_cast<size_t>(FPos - FBlockPos);
        const size_t n = std::min(Count, FBlockLen - at);
        std::memcpy(out, FBlock.data() + at, n);
        out += n;
        FPos += static_cast<int64_t>(n);
        Count -= n;
      } else if (Count >= BlockSize) {
        // Large reads (long names, extra areas) skip the block.
        ReadAt(*FStream, FPos, out, static_cast<int64_t>(Count));
        FPos += static_cast<int64_t>(Count);
        Count = 0;
      } else {
        // No larger than what is left to read: a small directory gets a small block.
        const int64_t want = std::min<int64_t>(BlockSize, FLimit - FPos);
        if (FBlock.size() < static_cast<size_t>(want)) FBlock.resize(static_cast<size_t>(want));
        FStream->SetPosition(FPos);
        int64_t got = 0;
        while (got < want) {
          const int64_t n = FStream->Read(FBlock.data() + got, want - got);
          if (n <= 0) break;
          got += n;
        }
        if (got == 0) throw EReadError(Message);
        FBlockPos = FPos;
        FBlockLen = static_cast<size_t>(got);
      }
    }
  } catch (...) {
    FPos = start;
    throw;
  }
}

}  // namespace kelvane
