// Items of one chunk or less, deflated on the other cores while the writer
// stores the ones before them: the parallel deflater splits large items, and
// this keeps the cores busy on a tree of many middle-sized files.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Types.h"

namespace kelvane {

struct TAheadJob {
  int32_t Index = 0;     // the item's place in the directory; ascending from job to job
  UString Path;          // its source file
  int32_t OpenMode = 0;  // fmOpenRead with the share mode the writer would use
  uint8_t Level = 6;     // Deflate level
  size_t MaxSize = 0;    // a larger file is left to the writer
};

// What the writer would have made of the file at that moment: its size, its
// CRC and its raw Deflate stream (one chunk, finished), byte for byte.
struct TAheadItem {
  uint64_t Size = 0;
  uint32_t Crc = 0;  // the running CRC-32, not yet complemented
  TBytes Deflated;
};

class TKelCompressAhead {
 public:
  // Workers threads run at most Window items ahead of the last one taken.
  TKelCompressAhead(std::vector<TAheadJob> Jobs, unsigned Workers, size_t Window);
  ~TKelCompressAhead();  // stops the workers and waits for them
  TKelCompressAhead(const TKelCompressAhead&) = delete;
  TKelCompressAhead& operator=(const TKelCompressAhead&) = delete;

  // The item at Index deflated, waiting for it when it is under way and
  // deflating it here when it was not started; null when it has no job, was
  // taken before, or could not be read whole (the writer then reads it
  // itself, and meets whatever error there is). Results of items before it
  // are dropped.
  std::unique_ptr<TAheadItem> Take(int32_t Index);

 private:
  void Work();
  static std::unique_ptr<TAheadItem> Compress(const TAheadJob& Job);

  std::vector<TAheadJob> FJobs;
  std::vector<std::unique_ptr<TAheadItem>> FResults;
  std::vector<uint8_t> FDone;
  size_t FNext = 0;   // the next job a worker starts
  size_t FTaken = 0;  // jobs before this one are taken or dropped
  size_t FWindow;
  bool FStop = false;
  std::mutex FLock;
  std::condition_variable FWorkReady;
  std::condition_variable FItemDone;
  std::vector<std::thread> FThreads;
};

}  // namespace kelvane
