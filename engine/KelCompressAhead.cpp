#include "engine/KelCompressAhead.h"

#include <algorithm>

#include "coding/KelCrc32.h"
#include "coding/KelZlib.h"
#include "platform/Stream.h"

namespace kelvane {

TKelCompressAhead::TKelCompressAhead(std::vector<TAheadJob> Jobs, unsigned Workers, size_t Window)
    : FJobs(std::move(Jobs)), FResults(FJobs.size()), FDone(FJobs.size(), 0), FWindow(Window) {
  if (FJobs.empty()) return;
  for (unsigned i = 0; i < std::max(Workers, 1u); ++i)
    FThreads.emplace_back([this] { Work(); });
}

TKelCompressAhead::~TKelCompressAhead() {
  {
    std::lock_guard lock(FLock);
    FStop = true;
  }
  FWorkReady.notify_all();
  for (std::thread& t : FThreads)
    t.join();
}

void TKelCompressAhead::Work() {
  std::unique_lock lock(FLock);
  for (;;) {
    FWorkReady.wait(lock,
                    [&] { return FStop || FNext >= FJobs.size() || FNext < FTaken + FWindow; });
    if (FStop || FNext >= FJobs.size()) return;
    const size_t job = FNext++;
    lock.unlock();
    std::unique_ptr<TAheadItem> item = Compress(FJobs[job]);
    lock.lock();
    if (job >= FTaken) FResults[job] = std::move(item);  // else the writer went past it
    FDone[job] = 1;
    FItemDone.notify_all();
  }
}

std::unique_ptr<TAheadItem> TKelCompressAhead::Take(int32_t Index) {
  const auto it = std::lower_bound(FJobs.begin(), FJobs.end(), Index,
                                   [](const TAheadJob& j, int32_t i) { return j.Index < i; });
  if (it == FJobs.end() || it->Index != Index) return nullptr;
  const auto job = static_cast<size_t>(it - FJobs.begin());
  std::unique_lock lock(FLock);
  if (job < FTaken) return nullptr;
  for (size_t j = FTaken; j < job; ++j)
    FResults[j].reset();
  if (job >= FNext) {
    // Not started: done here, while the workers go on with the next ones.
    FTaken = FNext = job + 1;
    lock.unlock();
    FWorkReady.notify_all();
    return Compress(FJobs[job]);
  }
  FTaken = job;  // its worker still hands the result in
  FItemDone.wait(lock, [&] { return FDone[job] != 0; });
  std::unique_ptr<TAheadItem> item = std::move(FResults[job]);
  FTaken = job + 1;
  lock.unlock();
  FWorkReady.notify_all();
  return item;
}

std::unique_ptr<TAheadItem> TKelCompressAhead::Compress(const TAheadJob& Job) {
  try {
    TFileStream file(Job.Path, Job.OpenMode);
    const int64_t size = file.Size();
    if (size <= 0 || static_cast<uint64_t>(size) > Job.MaxSize) return nullptr;
    TBytes data(static_cast<size_t>(size));
    if (file.ReadUpTo(data.data(), size) != size) return nullptr;
    auto item = std::make_unique<TAheadItem>();
    item->Size = static_cast<uint64_t>(size);
    uint32_t crc = Crc32Initial;
    UpdateCrc32(crc, data.data(), static_cast<int32_t>(size));
    item->Crc = crc;
    TKelDeflater deflater(Job.Level);
    const std::span<uint8_t> out = deflater.CompressChunk(data.data(), data.size(), true);
    item->Deflated.assign(out.begin(), out.end());
    deflater.End();
    return item;
  } catch (...) {
    // The writer reads the file itself and reports what goes wrong.
    return nullptr;
  }
}

}  // namespace kelvane
