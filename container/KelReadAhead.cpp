#include "container/KelReadAhead.h"

#include <algorithm>
#include <cstring>

namespace kelvane {

void TKelReadAhead::Seek(TStream& Stream, int64_t Pos) {
  if (FStream != &Stream) {
    Drop();
    FStream = &Stream;
  }
  FPos = Pos;
}

void TKelReadAhead::Drop() {
  FStream = nullptr;
  FPos = 0;
  FBlockPos = 0;
  FBlockLen = 0;
  FStreamPos = -1;
}

bool TKelReadAhead::BlockStale() const {
  return FBlockLen == 0 || FStreamPos < 0 || FStream->Position() != FStreamPos;
}

int64_t TKelReadAhead::ReadStream(uint8_t* Buffer, int64_t Count) {
  FStreamPos = -1;  // unknown until the read is through
  if (FStream->Position() != FPos) FStream->SetPosition(FPos);
  int64_t got = 0;
  while (got < Count) {
    const int64_t n = FStream->Read(Buffer + got, Count - got);
    if (n <= 0) break;
    got += std::min(n, Count - got);
  }
  FStreamPos = FPos + got;
  return got;
}

int64_t TKelReadAhead::Read(void* Buffer, int64_t Count) {
  if (!FStream || Count <= 0) return 0;
  auto* out = static_cast<uint8_t*>(Buffer);
  int64_t done = 0;
  if (BlockStale()) FBlockLen = 0;
  while (done < Count) {
    if (FPos >= FBlockPos && FPos < FBlockPos + FBlockLen) {
      const int64_t n = std::min(Count - done, FBlockPos + FBlockLen - FPos);
      std::memcpy(out + done, FBlock.data() + (FPos - FBlockPos), size_t(n));
      FPos += n;
      done += n;
      continue;
    }
    if (Count - done >= BlockSize) {
      // Large data goes straight to the caller: no copy through the block.
      FBlockLen = 0;
      const int64_t n = ReadStream(out + done, Count - done);
      FPos += n;
      return done + n;
    }
    FBlock.resize(size_t(BlockSize));
    FBlockLen = 0;
    const int64_t n = ReadStream(FBlock.data(), BlockSize);
    if (n == 0) break;
    FBlockPos = FPos;
    FBlockLen = n;
  }
  return done;
}

}  // namespace kelvane
