// A decompressor that inflates on a worker thread while its caller checksums
// and writes the pieces it already handed out: on a large item, decompressing
// and writing take about as long as each other, and they overlap this way.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "coding/KelZlib.h"

namespace kelvane {

// The pull form of TKelInflater, with the same results and errors: the same
// pieces in the same order (each at most PieceSize bytes), EDecompressionError
// once the pieces before the fault are handed out. The caller keeps a chunk
// alive until ChunkDone(); a returned piece stays valid until the next
// Inflate call. Memory: the zlib state and Pieces buffers of PieceSize bytes.
class TKelInflateAhead final : public TKelPullInflater {
 public:
  // Raises EDecompressionError when zlib cannot start. Pieces >= 2.
  explicit TKelInflateAhead(size_t pieceSize = 256 * 1024, int pieces = 4);
  ~TKelInflateAhead() override;
  TKelInflateAhead(const TKelInflateAhead&) = delete;
  TKelInflateAhead& operator=(const TKelInflateAhead&) = delete;

  // Any rest of the previous chunk, inflated or not, is dropped.
  void SetInput(const uint8_t* data, size_t count) override;
  std::span<const uint8_t> Inflate() override;
  bool ChunkDone() const override;
  bool StreamEnded() const override;
  void Finish() const override;
  uint64_t TotalOut() const override { return FHandedOut; }

 private:
  struct TPiece {
    size_t Buffer;
    size_t Size;
  };
  void Work();
  void WaitIdle(std::unique_lock<std::mutex>& lock) const;

  TKelInflater FInflater;  // touched by the worker while a chunk is pending
  const size_t FPieceSize;
  std::vector<TBytes> FBuffers;
  std::vector<size_t> FFree;
  std::deque<TPiece> FReady;  // inflated, not yet handed out, in order
  int64_t FHeld = -1;         // the buffer of the piece the caller holds
  uint64_t FHandedOut = 0;    // the caller's thread only

  mutable std::mutex FLock;
  mutable std::condition_variable FWorkerWake;  // a chunk and a free buffer, or stop
  mutable std::condition_variable FCallerWake;  // a piece, the chunk's end, or a fault
  bool FPending = false;                        // the worker has input left in the current chunk
  bool FStepping = false;                       // the worker is inflating outside the lock
  bool FStop = false;
  bool FStreamEnded = false;
  bool FFailed = false;
  bool FFailureSeen = false;  // the caller was handed the fault
  std::string FFailure;
  std::thread FWorker;
};

}  // namespace kelvane
