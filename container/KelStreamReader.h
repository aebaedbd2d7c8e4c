// Reading helpers for the directory code: positions that come back, exact reads
// at a position, and a buffered forward reader that cannot pass a limit.
#pragma once

#include "platform/Stream.h"

namespace kelvane {

// Puts the stream back where it was when the keeper goes out of scope, so that a
// search leaves the caller's position alone whatever way it ends.
class TKelPositionKeeper {
 public:
  explicit TKelPositionKeeper(TStream& stream) : FStream(stream), FPos(stream.Position()) {}
  ~TKelPositionKeeper() {
    try {
      FStream.SetPosition(FPos);
    } catch (...) {  // a stream that cannot seek back has failed already
    }
  }
  TKelPositionKeeper(const TKelPositionKeeper&) = delete;
  TKelPositionKeeper& operator=(const TKelPositionKeeper&) = delete;

 private:
  TStream& FStream;
  int64_t FPos;
};

// Reads Count bytes at Pos into Buffer. Raises EReadError when they are not all
// in the stream; leaves the position after them.
void ReadAt(TStream& Stream, int64_t Pos, void* Buffer, int64_t Count);

// Reads a stream forward from Start, never at or past Limit, through a buffer
// so that many small reads cost few calls to the stream. The stream's position
// belongs to the reader while it is used.
class TKelBoundedReader {
 public:
  TKelBoundedReader(TStream& Stream, int64_t Start, int64_t Limit);

  int64_t Position() const { return FPos; }
  int64_t Remaining() const { return FLimit > FPos ? FLimit - FPos : 0; }
  // Exactly Count bytes. Raises EReadError (Message) and consumes nothing when
  // fewer than Count remain before the limit or in the stream.
  void Read(void* Buffer, size_t Count, const char* Message = "Stream read error");

 private:
  static constexpr size_t BlockSize = 1 << 16;

  TStream* FStream;
  int64_t FPos;
  int64_t FLimit;
  TBytes FBlock;
  int64_t FBlockPos = 0;  // stream position of FBlock[0]
  size_t FBlockLen = 0;
};

}  // namespace kelvane
