#include "coding/KelZlib.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace kelvane {
namespace {

// zlib's memory comes zero-filled, so no decision can ever depend on bytes
// left over from earlier use. calloc refuses an Items x Size that overflows.
voidpf ZeroFillAlloc(voidpf, uInt items, uInt size) {
  return std::calloc(items, size);
}

void ZeroFillFree(voidpf, voidpf address) {
  std::free(address);
}

z_stream_s* NewStream() {
  auto* z = new z_stream_s{};
  z->zalloc = ZeroFillAlloc;
  z->zfree = ZeroFillFree;
  z->opaque = Z_NULL;
  return z;
}

// Raw Deflate: negative window bits, no header, no trailer, no Adler-32.
constexpr int RawWindowBits = -MAX_WBITS;
constexpr int MemoryLevel = 8;

uInt Clamp(size_t n) {
  return static_cast<uInt>(std::min<size_t>(n, UINT_MAX));
}

}  // namespace

uint8_t CompressionModeForLevel(TKelCompressionLevel level) {
  switch (level) {
    case clNone:
      return 0;
    case clFastest:
      return 1;
    case clNormal:
      return 6;
    case clMax:
      return 9;
  }
  return 1;
}

TKelCompressionLevel CompressionLevelForMode(uint8_t mode) {
  if (mode == 0) return clNone;
  if (mode <= 3) return clFastest;
  if (mode <= 6) return clNormal;
  return clMax;
}

uint16_t CompressionMethodForMode(uint8_t mode) {
  return mode > 0 ? CompressionMethodDeflate : CompressionMethodStored;
}

int32_t CompressionBlockSize(uint8_t mode) {
  if (mode >= 1 && mode <= 3) return 0x80000;
  if (mode >= 7 && mode <= 9) return 0x180000;
  return 0x100000;
}

std::array<uint8_t, 2> ZlibHeaderForLevel(int level) {
  switch (level) {
    case 1:
    case 2:
      return {0x78, 0x01};
    case 3:
    case 4:
      return {0x78, 0x5E};
    case 5:
    case 6:
      return {0x78, 0x9C};
    case 0:
    case 7:
    case 8:
    case 9:
      return {0x78, 0xDA};
    default:
      return {0x00, 0x00};
  }
}

ECompressionError::ECompressionError(int zlibResult)
    : EZlibError("error " + std::to_string(zlibResult)), FResult(zlibResult) {}

EDecompressionError::EDecompressionError(std::string reason)
    : EZlibError(std::string_view("error")), FReason(std::move(reason)) {}

// ---- compressor ----

TKelDeflater::TKelDeflater(int level) : FStream(NewStream()) {
  const int r =
      deflateInit2(FStream, level, Z_DEFLATED, RawWindowBits, MemoryLevel, Z_DEFAULT_STRATEGY);
  if (r != Z_OK) {
    delete FStream;
    FStream = nullptr;
    throw ECompressionError(r < 0 ? r : Z_STREAM_ERROR);
  }
}

TKelDeflater::~TKelDeflater() {
  if (FStream) {
    deflateEnd(FStream);
    delete FStream;
  }
}

std::span<uint8_t> TKelDeflater::CompressChunk(const uint8_t* data, size_t count, bool last) {
  if (!FStream || FFinished) throw ECompressionError(Z_STREAM_ERROR);
  // One call is enough with this much room (incompressible input plus the
  // block and flush overhead); the loop only guards against zlib needing more.
  const size_t room = std::max<size_t>((count + count / 10 + 12 + 255) & ~size_t{255},
                                       deflateBound(FStream, Clamp(count)) + 16);
  if (FOut.size() < room) FOut.resize(room);

  const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
  size_t inLeft = count;
  size_t produced = 0;
  FStream->next_in = const_cast<Bytef*>(data);
  for (;;) {
    if (produced == FOut.size()) FOut.resize(FOut.size() * 2);
    const uInt in = Clamp(inLeft);
    const uInt out = Clamp(FOut.size() - produced);
    FStream->avail_in = in;
    FStream->next_out = FOut.data() + produced;
    FStream->avail_out = out;
    const int r = deflate(FStream, flush);
    if (r < 0) throw ECompressionError(r);
    inLeft -= in - FStream->avail_in;
    produced += out - FStream->avail_out;
    FTotalIn += in - FStream->avail_in;
    FTotalOut += out - FStream->avail_out;
    if (last ? r == Z_STREAM_END : (inLeft == 0 && FStream->avail_out > 0)) break;
  }
  FFinished = last;
  return {FOut.data(), produced};
}

void TKelDeflater::End(bool cancelled) {
  if (!FStream) return;
  const int r = deflateEnd(FStream);
  delete FStream;
  FStream = nullptr;
  FOut = TBytes();
  if (!cancelled && r < 0) throw ECompressionError(r);
}

// ---- decompressor ----

TKelInflater::TKelInflater(size_t outputBufferSize)
    : FStream(NewStream()), FOut(std::max<size_t>(outputBufferSize, 1)) {
  const int r = inflateInit2(FStream, RawWindowBits);
  if (r != Z_OK) {
    delete FStream;
    FStream = nullptr;
    throw EDecompressionError("the decompressor cannot start (zlib " + std::to_string(r) + ")");
  }
}

TKelInflater::~TKelInflater() {
  if (FStream) {
    inflateEnd(FStream);
    delete FStream;
  }
}

void TKelInflater::Reset() {
  const int r = inflateReset(FStream);
  if (r != Z_OK)
    throw EDecompressionError("the decompressor cannot start (zlib " + std::to_string(r) + ")");
  FInputLeft = 0;
  FTotalIn = 0;
  FTotalOut = 0;
  FChunkDone = true;
  FStreamEnded = false;
  FFailed = false;
  FFailure.clear();
}

void TKelInflater::SetInput(const uint8_t* data, size_t count) {
  FStream->next_in = const_cast<Bytef*>(data);
  FInputLeft = count;
  FChunkDone = count == 0;
}

std::span<const uint8_t> TKelInflater::Inflate() {
  return {FOut.data(), InflateInto(FOut.data(), FOut.size())};
}

size_t TKelInflater::InflateInto(uint8_t* buffer, size_t size) {
  if (FFailed) throw EDecompressionError(FFailure);
  if (FChunkDone) return 0;
  if (FStreamEnded) Fail("data after the end of the Deflate stream");

  const uInt in = Clamp(FInputLeft);
  const uInt out = Clamp(size);
  FStream->avail_in = in;
  FStream->next_out = buffer;
  FStream->avail_out = out;
  const int r = inflate(FStream, Z_NO_FLUSH);
  FInputLeft -= in - FStream->avail_in;
  FTotalIn += in - FStream->avail_in;
  const size_t produced = out - FStream->avail_out;

  switch (r) {
    case Z_STREAM_END:
      FStreamEnded = true;
      if (FInputLeft > 0) Fail("data after the end of the Deflate stream");
      FChunkDone = true;
      break;
    case Z_OK:
      FChunkDone = FInputLeft == 0 && FStream->avail_out > 0;
      break;
    case Z_BUF_ERROR:
      // No progress: fine once the chunk is used up (the stream continues in
      // the next chunk), corrupt otherwise.
      if (FInputLeft > 0) Fail("the decompressor made no progress");
      FChunkDone = true;
      break;
    default:
      Fail(FStream->msg ? FStream->msg : "zlib " + std::to_string(r));
  }
  FTotalOut += produced;
  return produced;
}

void TKelInflater::Fail(std::string reason) {
  FFailed = true;
  FChunkDone = true;
  FFailure = std::move(reason);
  throw EDecompressionError(FFailure);
}

void TKelInflater::Finish() const {
  if (FFailed) throw EDecompressionError(FFailure);
  if (!FStreamEnded) throw EDecompressionError("the Deflate stream is truncated");
}

bool TKelInflater::DecodeChunk(const uint8_t* data, size_t count,
                               const std::function<bool(std::span<const uint8_t>)>& output) {
  SetInput(data, count);
  while (!FChunkDone) {
    const auto piece = Inflate();
    if (!piece.empty() && !output(piece)) return false;
  }
  return true;
}

}  // namespace kelvane
