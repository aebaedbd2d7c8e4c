// Verifying the items of a one-file archive ahead, on two threads, while the
// repair copies (or the test reports) the items already known to be sound.
//
// A verdict of "sound" is given only where the archiver's own check (decoding
// the item into nothing) could not say otherwise: an item that is not
// encrypted, stored or deflated, whose local records agree with the directory
// exactly, whose data and data descriptor stay in front of the directory, and
// whose data decodes to its declared size and CRC-32. A verdict of "damaged"
// likewise only where that check must fail: such an item whose data does not
// decode, or not to its declared size and CRC-32. Every other item is left to
// that check, so a repaired archive is the same byte for byte, and a test
// reports the same failures, whichever answers. No handler is called from
// here: events stay on the caller's thread, in item order.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "container/KelDirArray.h"
#include "container/KelDirItem.h"
#include "platform/FileReader.h"

namespace kelvane {

// Working memory of one verifying thread, kept from item to item: one chunk
// of compressed input and one of output.
class TKelVerifyBuffers {
 public:
  static constexpr size_t Size = 1 << 20;
  TKelVerifyBuffers();  // raises std::bad_alloc
  uint8_t* Input() { return FMemory.get(); }
  uint8_t* Output() { return FMemory.get() + Size; }

 private:
  std::unique_ptr<uint8_t[]> FMemory;
};

enum class TKelVerdict : uint8_t { NotKnown, Sound, Damaged };

// Decodes Item's data from Archive (output discarded) and answers Sound or
// Damaged only when that is certain as above. DirectoryOffset: where the
// directory begins. Stop, once set, ends the work early with NotKnown.
// Raises nothing.
TKelVerdict VerifyStoredForm(const TFileReader& Archive, const TDirItem& Item,
                             int64_t DirectoryOffset, TKelVerifyBuffers& Buffers,
                             const std::atomic<bool>& Stop);

// Whether VerifyStoredForm can ever answer other than NotKnown for Item.
bool CanVerifyStoredForm(const TDirItem& Item);

// Memory: at most Window items wait or are being verified (a copy of each
// one's directory entry); each worker holds its TKelVerifyBuffers (2 MiB)
// and an inflater (zlib's state and window, about 45 KiB): about 4 MiB in all
// whatever the archive's size.
class TKelVerifyAhead {
 public:
  static constexpr int32_t Workers = 2;
  // Items submitted from the one the repair waits for on: enough to keep both
  // workers busy while it stores a damaged item anew, which takes as long as
  // verifying dozens of items (with 16, each stood idle for a fifth of the
  // repair of a 200 MB archive).
  static constexpr int32_t Window = 64;

  // Reads the archive through a descriptor of its own made from
  // ArchiveHandle (the archive's TFileStream Handle()); ItemCount bounds the
  // indexes. Started() is false when no descriptor or thread could be had:
  // every verdict is then "not known".
  TKelVerifyAhead(int ArchiveHandle, int64_t DirectoryOffset, int32_t ItemCount);
  // Stops the workers (an item being decoded is abandoned) and waits for them.
  ~TKelVerifyAhead();
  TKelVerifyAhead(const TKelVerifyAhead&) = delete;
  TKelVerifyAhead& operator=(const TKelVerifyAhead&) = delete;

  bool Started() const { return !FThreads.empty(); }
  // Queues item Index for verification, if it can be verified here.
  void Submit(int32_t Index, const TDirItem& Item);
  // Queues the items of Items not queued yet, up to Window after Index, that
  // Wanted takes (every item when it is null).
  void QueueAhead(int32_t Index, const TKelDirArray& Items,
                  bool (*Wanted)(const TDirItem&) = nullptr);
  // The verdict on item Index, waiting for it when it was submitted;
  // NotKnown when it was not submitted, or when Item (the directory's entry
  // now) no longer describes the data verified: a handler may have changed
  // the directory meanwhile.
  TKelVerdict Verdict(int32_t Index, const TDirItem& Item);

 private:
  enum TState : uint8_t { stNone, stPending, stDone };
  // What the verdict on an item's data depends on.
  struct TDataKey {
    uint64_t Offset, Compressed, Uncompressed;
    uint32_t Crc;
    uint16_t Method, Flags;
    bool ExtraAreaCut;
    bool operator==(const TDataKey&) const = default;
  };
  static TDataKey KeyOf(const TDirItem& Item);
  void Work();

  TFileReader FArchive;
  const int64_t FDirectoryOffset;
  int32_t FQueued = 0;  // the next item QueueAhead looks at
  std::vector<TState> FStates;
  std::vector<TKelVerdict> FVerdicts;
  std::unordered_map<int32_t, TDataKey> FKeys;  // of the items submitted, until asked for
  std::deque<std::pair<int32_t, TDirItem>> FJobs;
  std::mutex FLock;
  std::condition_variable FJobReady;
  std::condition_variable FVerdictReady;
  std::atomic<bool> FStop{false};
  std::vector<std::thread> FThreads;
};

}  // namespace kelvane
