// Deflating the chunks of one stream on several cores. Each chunk ends at a
// sync-flush point, so a core can make its piece alone once its window is
// primed with the 32 KiB before the chunk; the pieces, joined in order, are
// one raw Deflate stream that any reader takes.
//
// Memory: Workers + 2 slots, each holding one chunk with the 32 KiB before it
// and the chunk's compressed piece (about 2.2 x ChunkSize per slot).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "coding/KelDeflateBackend.h"
#include "platform/Types.h"

namespace kelvane {

// Cores the deflating of one item may use: the processors the process may
// run on, at most 8.
unsigned DeflateWorkers();

class TKelParallelDeflater {
 public:
  // Level 1 to 9 (the side as TKelDeflater picks it), Workers threads (at
  // least 1), chunks of at most ChunkSize source bytes.
  TKelParallelDeflater(int level, unsigned workers, size_t chunkSize);
  // Stops the workers; pieces not taken are dropped.
  ~TKelParallelDeflater();
  TKelParallelDeflater(const TKelParallelDeflater&) = delete;
  TKelParallelDeflater& operator=(const TKelParallelDeflater&) = delete;

  // Room for the next chunk's source bytes (ChunkSize of them), or nullptr
  // while every slot is in work or waits to be taken: take Next() first.
  uint8_t* NextInput();
  // Hands the chunk written at NextInput() (Count bytes) to a worker; Last
  // finishes the stream. Nothing may follow the last chunk.
  void Submit(size_t count, bool last);
  // Chunks submitted whose piece was not taken yet.
  size_t Pending() const { return FSubmitted - FTaken; }
  struct TPiece {
    std::span<uint8_t> Out;  // changeable in place (encryption)
    size_t In = 0;           // source bytes it holds
  };
  // The oldest submitted chunk's piece, waiting until it is made; valid until
  // the next call. Raises the ECompressionError a worker met.
  TPiece Next();
  // Whether the last chunk was submitted.
  bool Finished() const { return FLastSubmitted; }

 private:
  struct TSlot {
    TBytes In;  // the window's bytes, then the chunk
    size_t DictLen = 0;
    size_t Count = 0;
    bool Last = false;
    TBytes Out;
    size_t OutLen = 0;
    bool Done = false;
    std::exception_ptr Error;
  };
  void Work();

  int FLevel;
  size_t FChunkSize;
  std::vector<TSlot> FSlots;
  TBytes FWindow;  // the last 32 KiB submitted
  uint64_t FSubmitted = 0;
  uint64_t FTaken = 0;
  bool FFilling = false;  // NextInput handed out the slot of chunk FSubmitted
  bool FLastSubmitted = false;

  std::mutex FMutex;
  std::condition_variable FWorkReady;
  std::condition_variable FPieceReady;
  std::deque<size_t> FQueue;  // slots to compress, in order
  bool FStop = false;
  std::vector<std::thread> FThreads;
};

}  // namespace kelvane
