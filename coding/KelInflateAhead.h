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
// once the pieces before the fault are handed out. It takes a second chunk
// while it works on the first (see TKelPullInflater); a returned piece stays
// valid until the next Inflate call. Memory: the zlib state and Pieces
// buffers of PieceSize bytes.
class TKelInflateAhead final : public TKelPullInflater {
 public:
  // Raises EDecompressionError when zlib cannot start, std::system_error when
  // no thread can be started. Pieces >= 2.
  explicit TKelInflateAhead(size_t pieceSize = DecompressionChunkSize, int pieces = 4);
  ~TKelInflateAhead() override;
  TKelInflateAhead(const TKelInflateAhead&) = delete;
  TKelInflateAhead& operator=(const TKelInflateAhead&) = delete;

  // Only when ChunkDone(): the chunk joins the one in work.
  void SetInput(const uint8_t* data, size_t count) override;
  std::span<const uint8_t> Inflate() override;
  bool ChunkDone() const override;
  bool Drained() const override;
  bool StreamEnded() const override;
  void Finish() const override;
  uint64_t TotalOut() const override { return FHandedOut; }

 private:
  struct TPiece {
    size_t Buffer;
    size_t Size;
  };
  struct TChunk {
    const uint8_t* Data;
    size_t Size;
  };
  static constexpr size_t MaxChunks = 2;
  void Work();
  // Waits until the worker has finished every chunk, failed, or stopped for
  // want of buffers.
  void WaitDone(std::unique_lock<std::mutex>& lock) const;

  TKelInflater FInflater;  // the worker's while a chunk is pending
  const size_t FPieceSize;
  std::vector<TBytes> FBuffers;
  std::vector<size_t> FFree;
  std::deque<TPiece> FReady;  // inflated, not yet handed out, in order
  int64_t FHeld = -1;         // the buffer of the piece the caller holds
  uint64_t FHandedOut = 0;    // the caller's thread only

  mutable std::mutex FLock;
  mutable std::condition_variable FWorkerWake;  // a chunk and a free buffer, or stop
  mutable std::condition_variable FCallerWake;  // a piece, a chunk done, or a fault
  std::deque<TChunk> FChunks;  // not yet inflated to their end; the first is current
  bool FChunkStarted = false;  // FInflater has the first of FChunks
  bool FStepping = false;      // the worker is inflating outside the lock
  bool FStop = false;
  bool FStreamEnded = false;
  bool FFailed = false;
  bool FFailureSeen = false;  // the caller was handed the fault
  std::string FFailure;
  std::thread FWorker;
};

}  // namespace kelvane
