// A forward reader for the data of many consecutive items: the local header,
// the name and extra bytes and the data of a small item are served from one
// block read ahead, so that a thousand small items cost a few dozen reads of
// the archive instead of three each.
#pragma once

#include "platform/Stream.h"

namespace kelvane {

// The reader keeps its own position; the stream stands at the end of what
// was read ahead. Whoever moves or replaces the stream behind the reader's
// back must call Drop (a moved stream is also noticed: its position is no
// longer where the reader left it). Never reads more than BlockSize ahead.
class TKelReadAhead {
 public:
  static constexpr int64_t BlockSize = 64 * 1024;

  // Reads of Stream start at Pos from now on; what was read ahead of the same
  // stream is kept when Pos lies in it.
  void Seek(TStream& Stream, int64_t Pos);
  // The position of the next byte Read serves; meaningful after Seek.
  int64_t Position() const { return FPos; }
  // Up to Count bytes at the position, fewer only where the stream ends (0 at
  // its end). Errors of the stream pass through; Seek again before reading on.
  int64_t Read(void* Buffer, int64_t Count);
  // Forgets the stream and what was read of it.
  void Drop();
  // The stream Seek named last; nullptr before and after Drop.
  TStream* Stream() const { return FStream; }

 private:
  // The block holds nothing usable: another stream, or the stream was moved.
  bool BlockStale() const;
  int64_t ReadStream(uint8_t* Buffer, int64_t Count);

  TStream* FStream = nullptr;
  int64_t FPos = 0;
  TBytes FBlock;
  int64_t FBlockPos = 0;    // stream position of FBlock[0]
  int64_t FBlockLen = 0;    // bytes of FBlock that hold data
  int64_t FStreamPos = -1;  // where the stream stands after the reader's last read
};

}  // namespace kelvane
