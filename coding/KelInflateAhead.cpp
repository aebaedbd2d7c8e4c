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

void TKelInflateAhead::WaitDone(std::unique_lock<std::mutex>& lock) const {
  // A worker out of buffers waits for a caller that did not take its output:
  // it will not step again, and its inflater is free to be asked.
  FCallerWake.wait(lock, [this] { return FChunks.empty() || (FFree.empty() && !FStepping); });
}

void TKelInflateAhead::SetInput(const uint8_t* data, size_t count) {
  if (count == 0) return;
  std::unique_lock<std::mutex> lock(FLock);
  if (FFailed) return;  // what follows a fault is never read
  FChunks.push_back({data, count});
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
  FCallerWake.wait(lock, [this] { return !FReady.empty() || FChunks.empty(); });
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
  if (FFailed) return FFailureSeen;  // until then Inflate must raise it
  return FChunks.size() < MaxChunks;
}

bool TKelInflateAhead::Drained() const {
  std::lock_guard<std::mutex> guard(FLock);
  if (FFailed) return FFailureSeen;
  return FChunks.empty() && FReady.empty();
}

bool TKelInflateAhead::StreamEnded() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FStreamEnded && FReady.empty();
}

void TKelInflateAhead::Finish() const {
  std::unique_lock<std::mutex> lock(FLock);
  WaitDone(lock);
  if (FFailed) throw EDecompressionError(FFailure);
  FInflater.Finish();
}

void TKelInflateAhead::Work() {
  std::unique_lock<std::mutex> lock(FLock);
  for (;;) {
    FWorkerWake.wait(lock, [this] { return FStop || (!FChunks.empty() && !FFree.empty()); });
    if (FStop) return;
    if (!FChunkStarted) {
      FInflater.SetInput(FChunks.front().Data, FChunks.front().Size);
      FChunkStarted = true;
    }
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
      FChunks.clear();
    } else {
      FStreamEnded = FInflater.StreamEnded();
      if (FInflater.ChunkDone()) {
        FChunks.pop_front();
        FChunkStarted = false;
      }
    }
    FCallerWake.notify_all();
  }
}

}  // namespace kelvane
