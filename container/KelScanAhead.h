// The far part of a recovery scan, searched on a thread of its own while the
// scan goes through the near part as before: a large archive without its
// directory is searched on two cores at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "platform/FileReader.h"

namespace kelvane {

// Offset of the 4 bytes of Pattern in Bytes, or -1.
int64_t FindPattern(const uint8_t* Bytes, int64_t Count, const uint8_t (&Pattern)[4]);

// Memory: one read buffer (ChunkSize) and at most MaxHits positions (8 bytes
// each), whatever the file's size and content.
class TKelScanAhead {
 public:
  static constexpr int64_t ChunkSize = 1 << 20;
  static constexpr size_t MaxHits = 1 << 16;

  // Searches bytes From to Size of the file behind Handle (a TFileStream's
  // Handle()) for Pattern. Started() is false when no descriptor or thread
  // could be had.
  TKelScanAhead(int Handle, int64_t From, int64_t Size, uint32_t Pattern);
  // Stops the search and waits for it.
  ~TKelScanAhead();
  TKelScanAhead(const TKelScanAhead&) = delete;
  TKelScanAhead& operator=(const TKelScanAhead&) = delete;

  bool Started() const { return FThread.joinable() || FDone; }
  int64_t From() const { return FFrom; }
  // Waits for the search. Then Hits() holds, in order, every position from
  // From() up to End() where Pattern begins; End() falls short of Size where
  // a read failed or MaxHits were found, and nothing is known beyond it.
  void Wait();
  const std::vector<int64_t>& Hits() const { return FHits; }
  int64_t End() const { return FEnd; }

 private:
  void Search(uint32_t Pattern);

  TFileReader FFile;
  const int64_t FFrom;
  const int64_t FSize;
  int64_t FEnd;
  std::vector<int64_t> FHits;
  std::atomic<bool> FStop{false};
  bool FDone = false;
  std::thread FThread;
};

}  // namespace kelvane
