// A progress line for extraction and testing on a terminal: overall bytes,
// percent, rate and the item in work, redrawn in place a few times a second.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/Types.h"

namespace kelvane::cli {

class TProgressBar {
 public:
  // Draws on Out (the caller's) only when Enabled; TotalBytes is the sum of
  // the uncompressed sizes of the items the run will process.
  TProgressBar(std::FILE* out, bool enabled, uint64_t totalBytes);
  ~TProgressBar() { Clear(); }
  TProgressBar(const TProgressBar&) = delete;
  TProgressBar& operator=(const TProgressBar&) = delete;

  bool Enabled() const { return FEnabled; }
  // Reports of the archiver's OnFileProgress: an item of Size bytes begins,
  // is Percent done, ends.
  void ItemStart(const UString& name, uint64_t size);
  void ItemProgress(double percent);
  void ItemEnd();
  // Removes the line, so that a message can take its place.
  void Clear();

 private:
  void Draw(bool force);

  std::FILE* FOut;
  bool FEnabled;
  uint64_t FTotal;
  uint64_t FDone = 0;     // bytes of the items that ended
  uint64_t FCurrent = 0;  // bytes of the item in work
  uint64_t FItemSize = 0;
  std::string FName;
  uint64_t FStartTick;
  uint64_t FLastDraw = 0;
  bool FShown = false;
};

}  // namespace kelvane::cli
