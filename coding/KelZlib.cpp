#include "coding/KelZlib.h"

#include <algorithm>

namespace kelvane {
namespace {

// What zlib answers a compressor used after its end (Z_STREAM_ERROR).
constexpr int StreamMisused = -2;

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

TKelDeflater::TKelDeflater(int level) : TKelDeflater(level, DefaultDeflateBackend(level)) {}

TKelDeflater::TKelDeflater(int level, TKelDeflateBackend backend)
    : FCore(NewDeflateCore(backend, level)) {}

TKelDeflater::~TKelDeflater() = default;

std::span<uint8_t> TKelDeflater::CompressChunk(const uint8_t* data, size_t count, bool last) {
  if (!FCore || FFinished) throw ECompressionError(StreamMisused);
  const size_t produced = FCore->Compress(data, count, last, FOut);
  FTotalIn += count;
  FTotalOut += produced;
  FFinished = last;
  return {FOut.data(), produced};
}

void TKelDeflater::End(bool cancelled) {
  if (!FCore) return;
  const int r = FCore->End();
  FCore.reset();
  FOut = TBytes();
  if (!cancelled && r < 0) throw ECompressionError(r);
}

// ---- decompressor ----

TKelInflater::TKelInflater(size_t outputBufferSize)
    : TKelInflater(outputBufferSize, DefaultInflateBackend()) {}

TKelInflater::TKelInflater(size_t outputBufferSize, TKelDeflateBackend backend)
    : FCore(NewInflateCore(backend)), FOut(std::max<size_t>(outputBufferSize, 1)) {}

TKelInflater::~TKelInflater() = default;

void TKelInflater::Reset() {
  FCore->Reset();
  FInputLeft = 0;
  FTotalIn = 0;
  FTotalOut = 0;
  FChunkDone = true;
  FStreamEnded = false;
  FFailed = false;
  FFailure.clear();
}

void TKelInflater::SetInput(const uint8_t* data, size_t count) {
  FInput = data;
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

  const TKelInflateStep step = FCore->Step(FInput, FInputLeft, buffer, size);
  FInput += step.Consumed;
  FInputLeft -= step.Consumed;
  FTotalIn += step.Consumed;

  switch (step.Kind) {
    case TKelInflateStep::skStreamEnd:
      FStreamEnded = true;
      if (FInputLeft > 0 || step.TakenPastEnd) Fail("data after the end of the Deflate stream");
      FChunkDone = true;
      break;
    case TKelInflateStep::skOk:
      FChunkDone = FInputLeft == 0 && step.Produced < size && !step.OutputPending;
      break;
    case TKelInflateStep::skNoProgress:
      // Fine once the chunk is used up (the stream continues in the next
      // chunk), corrupt otherwise.
      if (FInputLeft > 0) Fail("the decompressor made no progress");
      FChunkDone = true;
      break;
    case TKelInflateStep::skCorrupt:
      Fail(step.Reason);
  }
  FTotalOut += step.Produced;
  return step.Produced;
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
