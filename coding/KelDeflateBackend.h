// The seam between the Deflate driving (TKelDeflater, TKelInflater) and the
// library that does the work. Two sides: zlib, in every program, and ISA-L,
// which inflates about three times as fast and deflates the fastest modes
// about three times as fast, packing as well. The statically linked stubs carry zlib alone;
// libkelvane and kelvane take ISA-L when the build found it. Both sides read and write raw Deflate,
// so an archive never tells which one made it.
//
// A program gets exactly one of the two choice objects (kel_deflate_zlib or
// kel_deflate_fast in the build), which define the functions under "Choice".
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/Types.h"

namespace kelvane {

enum TKelDeflateBackend : uint8_t { dbZlib, dbIsal };

// One step of a decompressor over the input and output given.
struct TKelInflateStep {
  enum TKind : uint8_t {
    skOk,          // progress, or nothing left to do with this input
    skStreamEnd,   // the final block is decoded and all its output given
    skNoProgress,  // neither input taken nor output made, input was there
    skCorrupt,     // the data is no Deflate stream; Reason says why
  };
  TKind Kind = skOk;
  size_t Consumed = 0;  // input bytes taken, never any after the stream's end
  size_t Produced = 0;
  bool OutputPending = false;  // more output waits without more input
  bool TakenPastEnd = false;   // input taken by earlier steps lies after the end
  const char* Reason = "";
};

class TKelInflateCore {
 public:
  virtual ~TKelInflateCore() = default;
  virtual TKelInflateStep Step(const uint8_t* in, size_t inCount, uint8_t* out,
                               size_t outCount) = 0;
  // Forgets the stream so far: the next Step begins a new one, in the memory
  // already taken. Raises EDecompressionError.
  virtual void Reset() = 0;
};

class TKelDeflateCore {
 public:
  virtual ~TKelDeflateCore() = default;
  // Compresses all of In as the next piece of the stream into Out (grown as
  // needed, from its start); Last finishes the stream, otherwise the piece
  // ends at a byte-aligned sync-flush point (00 00 FF FF). Returns the size of
  // the piece; raises ECompressionError.
  virtual size_t Compress(const uint8_t* in, size_t count, bool last, TBytes& out) = 0;
  // Forgets everything compressed so far and primes the window with the
  // Count bytes before the next piece (at most the last 32 KiB count): the
  // next pieces continue a stream whose earlier pieces another core made.
  // Raises ECompressionError.
  virtual void Restart(const uint8_t* dictionary, size_t count) = 0;
  // Releases the state: 0, or a negative zlib-style code (-3 when a started
  // stream was never finished).
  virtual int End() = 0;
};

// Raises EDecompressionError when the state cannot be made.
std::unique_ptr<TKelInflateCore> NewZlibInflateCore();
// Level 0 to 9; raises ECompressionError otherwise.
std::unique_ptr<TKelDeflateCore> NewZlibDeflateCore(int level);

// The ISA-L side, only in programs built with it (coding/backend). Its
// deflater takes the modes it is chosen for (1 and 2; above 2 it packs as
// its mode 2).
std::unique_ptr<TKelInflateCore> NewIsalInflateCore();
std::unique_ptr<TKelDeflateCore> NewIsalDeflateCore(int mode);

// ---- Choice (defined once per program) ----

// True when this program carries the side.
bool DeflateBackendLinked(TKelDeflateBackend backend);
// The side that inflates by default.
TKelDeflateBackend DefaultInflateBackend();
// The side that deflates at a level by default: ISA-L only where its ratio is
// as good as zlib's at that level.
TKelDeflateBackend DefaultDeflateBackend(int level);
// A side that is not linked is replaced by zlib.
std::unique_ptr<TKelInflateCore> NewInflateCore(TKelDeflateBackend backend);
std::unique_ptr<TKelDeflateCore> NewDeflateCore(TKelDeflateBackend backend, int level);

}  // namespace kelvane
