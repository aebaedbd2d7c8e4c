// Compression settings and the chunked driving of Deflate for item data.
//
// Items hold raw Deflate data. The compressor turns each source chunk into the
// next piece of one raw Deflate stream: every chunk but the last ends at a
// sync-flush point (00 00 FF FF), the last one finishes the stream. The
// decompressor takes the compressed data in chunks and hands out its output in
// pieces as it is produced, so a caller can write, checksum, report progress
// and stop (a cancel, or output beyond the declared size) between pieces.
//
// Both sides run raw Deflate through KelDeflateBackend.h (zlib or ISA-L): the
// bytes are those of a zlib-format stream with the two-byte header and
// four-byte trailer taken off, without computing an Adler-32 nobody reads.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "coding/KelDeflateBackend.h"
#include "platform/Exception.h"
#include "platform/Types.h"

namespace kelvane {

enum TKelCompressionLevel : uint8_t { clNone, clFastest, clNormal, clMax };

// The compression mode is the Deflate level, 0 to 9.
inline constexpr uint8_t MaxCompressionMode = 9;
inline constexpr uint16_t CompressionMethodStored = 0;
inline constexpr uint16_t CompressionMethodDeflate = 8;

// Size of the compressed chunks the decoder reads, and of its output buffer.
inline constexpr int32_t DecompressionChunkSize = 0x100000;

// clNone 0, clFastest 1, clNormal 6, clMax 9.
uint8_t CompressionModeForLevel(TKelCompressionLevel level);
// 0 clNone, 1-3 clFastest, 4-6 clNormal, 7-9 clMax (and above 9: clMax; the
// component refuses such modes before it asks).
TKelCompressionLevel CompressionLevelForMode(uint8_t mode);
// 8 (Deflate) for a mode above 0, else 0 (stored).
uint16_t CompressionMethodForMode(uint8_t mode);
// Source bytes per compressed chunk: 512 KiB for modes 1-3, 1 MiB for 0 and
// 4-6, 1.5 MiB for 7-9 (and 1 MiB for anything else, never 0).
int32_t CompressionBlockSize(uint8_t mode);
// The two zlib header bytes for a level: 1-2 78 01, 3-4 78 5E, 5-6 78 9C,
// 0 and 7-9 78 DA, anything else 00 00.
std::array<uint8_t, 2> ZlibHeaderForLevel(int level);

class EZlibError : public Exception {
 public:
  using Exception::Exception;
};

// Message "error <n>" with zlib's (negative) result n.
class ECompressionError : public EZlibError {
 public:
  explicit ECompressionError(int zlibResult);
  int Result() const { return FResult; }

 private:
  int FResult;
};

// Message "error". Reason() says what was wrong with the data, for logs.
class EDecompressionError : public EZlibError {
 public:
  explicit EDecompressionError(std::string reason);
  const std::string& Reason() const { return FReason; }

 private:
  std::string FReason;
};

// Compressor of one item. Stored items (method 0) do not come here: their
// chunks are written as they are.
class TKelDeflater {
 public:
  // Level 0 to 9; raw Deflate, 32 KiB window (zlib: memory level 8, default
  // strategy). Raises ECompressionError when the compressor refuses (a level
  // outside 0..9 included).
  explicit TKelDeflater(int level);
  TKelDeflater(int level, TKelDeflateBackend backend);
  ~TKelDeflater();
  TKelDeflater(const TKelDeflater&) = delete;
  TKelDeflater& operator=(const TKelDeflater&) = delete;

  // Compresses one source chunk as the next piece of the stream: Last finishes
  // the stream, otherwise the piece ends at a sync-flush point. Returns the
  // piece, in a buffer the caller may change in place (encryption) and that
  // stays valid until the next call. Raises ECompressionError on a negative
  // zlib result, and when called again after the last chunk.
  std::span<uint8_t> CompressChunk(const uint8_t* data, size_t count, bool last);

  // Closes the compressor. Unless Cancelled, raises ECompressionError ("error
  // -3") when chunks were compressed but the last one never came (the source
  // came up short). Later calls do nothing.
  void End(bool cancelled = false);

  bool Finished() const { return FFinished; }
  // Source bytes consumed and compressed bytes produced so far.
  uint64_t TotalIn() const { return FTotalIn; }
  uint64_t TotalOut() const { return FTotalOut; }

 private:
  std::unique_ptr<TKelDeflateCore> FCore;
  TBytes FOut;
  uint64_t FTotalIn = 0;
  uint64_t FTotalOut = 0;
  bool FFinished = false;
};

// The pull form of a decompressor, as an item decoder drives it:
//   for each chunk: SetInput(chunk); while (!ChunkDone()) take Inflate();
//   then: while (!Drained()) take Inflate();
// ChunkDone() turns true when the decompressor takes another chunk. One that
// works ahead (TKelInflateAhead) may still be reading the last chunk given
// then, so its caller alternates two input buffers; every chunk is free once
// Drained() is true. TKelInflater finishes each chunk before ChunkDone().
class TKelPullInflater {
 public:
  virtual ~TKelPullInflater() = default;
  virtual void SetInput(const uint8_t* data, size_t count) = 0;
  virtual std::span<const uint8_t> Inflate() = 0;
  virtual bool ChunkDone() const = 0;
  // Every chunk given is inflated and all output handed out.
  virtual bool Drained() const = 0;
  virtual bool StreamEnded() const = 0;
  virtual void Finish() const = 0;
  // Bytes handed out so far.
  virtual uint64_t TotalOut() const = 0;
};

// Decompressor of one item.
//
// Pull form: SetInput(chunk), then Inflate() until ChunkDone(); each call
// returns the bytes it produced (at most the output buffer size). Push form:
// DecodeChunk(chunk, output). After the last chunk, Finish() tells a truncated
// stream from a complete one.
//
// Every failure raises EDecompressionError: corrupt data, bytes after the end
// of the Deflate stream, a truncated stream (in Finish). The output of the step
// that found corrupt data is not handed out. Memory stays at the backend's
// state and one output buffer whatever the data claims.
class TKelInflater : public TKelPullInflater {
 public:
  // Raw Deflate, 32 KiB window. Raises EDecompressionError when the backend
  // cannot start (out of memory); an item decoder treats that as a failed item.
  explicit TKelInflater(size_t outputBufferSize = DecompressionChunkSize);
  TKelInflater(size_t outputBufferSize, TKelDeflateBackend backend);
  ~TKelInflater() override;
  TKelInflater(const TKelInflater&) = delete;
  TKelInflater& operator=(const TKelInflater&) = delete;

  // Ready for the next item's stream, whatever became of the last one;
  // the decompressor's state, its window and the output buffer are kept, so that many
  // small items cost no allocations.
  void Reset();
  size_t OutputBufferSize() const { return FOut.size(); }

  // The next chunk of compressed data; the caller keeps it alive until the
  // chunk is done. Any rest of the previous chunk is dropped (a caller that
  // stopped early).
  void SetInput(const uint8_t* data, size_t count) override;
  // One inflate step over the current chunk. The returned bytes stay valid
  // until the next call.
  std::span<const uint8_t> Inflate() override;
  // The same step into the caller's buffer (Size > 0); returns the bytes produced.
  size_t InflateInto(uint8_t* out, size_t size);
  // True when the current chunk needs no more Inflate calls.
  bool ChunkDone() const override { return FChunkDone; }
  bool Drained() const override { return FChunkDone; }
  // True once the final block of the Deflate stream has been decoded.
  bool StreamEnded() const override { return FStreamEnded; }
  // Raises EDecompressionError unless the stream has ended. Called once all
  // of an item's compressed bytes went in; a caller that stopped early (a
  // cancel, output beyond the declared size, partial extraction) skips it.
  void Finish() const override;

  // Output answers false to stop at once: DecodeChunk then returns false and
  // the rest of the chunk stays unread. True when the whole chunk was inflated.
  bool DecodeChunk(const uint8_t* data, size_t count,
                   const std::function<bool(std::span<const uint8_t>)>& output);

  // Compressed bytes consumed and bytes produced so far (64-bit on every
  // platform, items may exceed 4 GiB).
  uint64_t TotalIn() const { return FTotalIn; }
  uint64_t TotalOut() const override { return FTotalOut; }

 private:
  [[noreturn]] void Fail(std::string reason);

  std::unique_ptr<TKelInflateCore> FCore;
  TBytes FOut;
  const uint8_t* FInput = nullptr;
  size_t FInputLeft = 0;
  uint64_t FTotalIn = 0;
  uint64_t FTotalOut = 0;
  bool FChunkDone = true;
  bool FStreamEnded = false;
  bool FFailed = false;
  std::string FFailure;
};

}  // namespace kelvane
