#include "coding/KelParallelDeflate.h"

#include <algorithm>
#include <cstring>

#include "coding/KelZlib.h"
#include "platform/Processors.h"

namespace kelvane {
namespace {

constexpr size_t WindowSize = 32 * 1024;
constexpr unsigned MaxWorkers = 8;

}  // namespace

unsigned DeflateWorkers() {
  return std::clamp(ProcessorsAvailable(), 1u, MaxWorkers);
}

TKelParallelDeflater::TKelParallelDeflater(int level, unsigned workers, size_t chunkSize)
    : FLevel(level), FChunkSize(std::max<size_t>(chunkSize, 1)) {
  workers = std::max(workers, 1u);
  FSlots.resize(workers + 2);
  for (TSlot& slot : FSlots)
    slot.In.resize(WindowSize + FChunkSize);
  FThreads.reserve(workers);
  for (unsigned i = 0; i < workers; ++i)
    FThreads.emplace_back([this] { Work(); });
}

TKelParallelDeflater::~TKelParallelDeflater() {
  {
    std::lock_guard lock(FMutex);
    FStop = true;
  }
  FWorkReady.notify_all();
  for (std::thread& t : FThreads)
    t.join();
}

uint8_t* TKelParallelDeflater::NextInput() {
  if (FLastSubmitted || FSubmitted - FTaken >= FSlots.size()) return nullptr;
  TSlot& slot = FSlots[FSubmitted % FSlots.size()];
  // The slot's piece was taken, so no worker looks at it.
  slot.DictLen = FWindow.size();
  if (!FWindow.empty()) std::memcpy(slot.In.data(), FWindow.data(), FWindow.size());
  FFilling = true;
  return slot.In.data() + slot.DictLen;
}

void TKelParallelDeflater::Submit(size_t count, bool last) {
  if (!FFilling || count > FChunkSize) throw ECompressionError(-2);
  FFilling = false;
  const size_t index = FSubmitted % FSlots.size();
  TSlot& slot = FSlots[index];
  slot.Count = count;
  slot.Last = last;
  slot.Done = false;
  slot.Error = nullptr;
  // The next chunk's window: the last 32 KiB of everything so far.
  const size_t total = slot.DictLen + count;
  const size_t keep = std::min(total, WindowSize);
  FWindow.assign(slot.In.begin() + static_cast<ptrdiff_t>(total - keep),
                 slot.In.begin() + static_cast<ptrdiff_t>(total));
  {
    std::lock_guard lock(FMutex);
    FQueue.push_back(index);
  }
  FWorkReady.notify_one();
  ++FSubmitted;
  FLastSubmitted = last;
}

TKelParallelDeflater::TPiece TKelParallelDeflater::Next() {
  if (FTaken == FSubmitted) throw ECompressionError(-2);
  TSlot& slot = FSlots[FTaken % FSlots.size()];
  {
    std::unique_lock lock(FMutex);
    FPieceReady.wait(lock, [&] { return slot.Done; });
  }
  ++FTaken;
  if (slot.Error) std::rethrow_exception(slot.Error);
  return {std::span(slot.Out.data(), slot.OutLen), slot.Count};
}

void TKelParallelDeflater::Work() {
  std::unique_ptr<TKelDeflateCore> core;
  for (;;) {
    size_t index;
    {
      std::unique_lock lock(FMutex);
      FWorkReady.wait(lock, [&] { return FStop || !FQueue.empty(); });
      if (FStop) return;
      index = FQueue.front();
      FQueue.pop_front();
    }
    TSlot& slot = FSlots[index];
    try {
      if (!core) core = NewDeflateCore(DefaultDeflateBackend(FLevel), FLevel);
      core->Restart(slot.In.data(), slot.DictLen);
      slot.OutLen = core->Compress(slot.In.data() + slot.DictLen, slot.Count, slot.Last, slot.Out);
    } catch (...) {
      slot.Error = std::current_exception();
    }
    {
      std::lock_guard lock(FMutex);
      slot.Done = true;
    }
    FPieceReady.notify_all();
  }
}

}  // namespace kelvane
