#include "coding/KelInflateAhead.h"

#include <numeric>

namespace kelvane {

TKelInflateAhead::TKelInflateAhead(size_t pieceSize, int pieces)
    : FInflater(1), FPieceSize(std::max<size_t>(pieceSize, 1)) {
  const size_t count = size_t(std::max(pieces, 2));
  FBuffers.resize(count);
  for (TBytes& buffer : FBuffers)
    buffer.resize(FPieceSize);
  FFree.resize(count);
  std::iota(FFree.begin(), FFree.end(), size_t{0});
  FWorker = std::thread([this] { Work(); });
}

TKelInflateAhead::~TKelInflateAhead() {
  {
    std::lock_guard<std::mutex> guard(FLock);
    FStop = true;
  }
  FWorkerWake.notify_one();
  FWorker.join();
}

void TKelInflateAhead::WaitIdle(std::unique_lock<std::mutex>& lock) const {
  FCallerWake.wait(lock, [this] { return !FStepping; });
}

void TKelInflateAhead::SetInput(const uint8_t* data, size_t count) {
  std::unique_lock<std::mutex> lock(FLock);
  WaitIdle(lock);
  if (FHeld >= 0) FFree.push_back(size_t(FHeld));
  FHeld = -1;
  for (const TPiece& piece : FReady)
    FFree.push_back(piece.Buffer);
  FReady.clear();
  FInflater.SetInput(data, count);
  FPending = !FInflater.ChunkDone();
  lock.unlock();
  FWorkerWake.notify_one();
}

std::span<const uint8_t> TKelInflateAhead::Inflate() {
  std::unique_lock<std::mutex> lock(FLock);
  if (FHeld >= 0) {
    FFree.push_back(size_t(FHeld));
    FHeld = -1;
    FWorkerWake.notify_one();
  }
  FCallerWake.wait(lock, [this] { return !FReady.empty() || !FPending; });
  if (!FReady.empty()) {
    const TPiece piece = FReady.front();
    FReady.pop_front();
    FHeld = int64_t(piece.Buffer);
    FHandedOut += piece.Size;
    return {FBuffers[piece.Buffer].data(), piece.Size};
  }
  if (FFailed) {
    FFailureSeen = true;
    throw EDecompressionError(FFailure);
  }
  return {};
}

bool TKelInflateAhead::ChunkDone() const {
  std::lock_guard<std::mutex> guard(FLock);
  return !FPending && FReady.empty() && (!FFailed || FFailureSeen);
}

bool TKelInflateAhead::StreamEnded() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FStreamEnded && FReady.empty();
}

void TKelInflateAhead::Finish() const {
  std::unique_lock<std::mutex> lock(FLock);
  WaitIdle(lock);
  if (FFailed) throw EDecompressionError(FFailure);
  FInflater.Finish();
}

void TKelInflateAhead::Work() {
  std::unique_lock<std::mutex> lock(FLock);
  for (;;) {
    FWorkerWake.wait(lock, [this] { return FStop || (FPending && !FFree.empty()); });
    if (FStop) return;
    const size_t buffer = FFree.back();
    FFree.pop_back();
    FStepping = true;
    lock.unlock();

    size_t produced = 0;
    std::string failure;
    bool failed = false;
    try {
      produced = FInflater.InflateInto(FBuffers[buffer].data(), FPieceSize);
    } catch (const EDecompressionError& e) {
      failed = true;
      failure = e.Reason();
    } catch (...) {  // nothing may leave the thread
      failed = true;
      failure = "the decompressor failed";
    }

    lock.lock();
    FStepping = false;
    if (produced > 0)
      FReady.push_back({buffer, produced});
    else
      FFree.push_back(buffer);
    if (failed) {
      FFailed = true;
      FFailure = std::move(failure);
      FPending = false;
    } else {
      FStreamEnded = FInflater.StreamEnded();
      FPending = !FInflater.ChunkDone();
    }
    FCallerWake.notify_all();
  }
}

}  // namespace kelvane
