// Reading ranges of an open file from other threads while its owner goes on
// reading it through its own offset.
#pragma once

#include <cstdint>

namespace kelvane {

class TFileReader {
 public:
  // A descriptor of its own for the file behind Handle (a TFileStream's
  // Handle()): it stays valid whatever becomes of Handle. Valid() is false
  // when the system gives none. Windows: the file opened again for reading
  // (ReOpenFile), so none is given when Handle's opener denies reading.
  explicit TFileReader(int handle);
  ~TFileReader();
  TFileReader(const TFileReader&) = delete;
  TFileReader& operator=(const TFileReader&) = delete;

  bool Valid() const { return FHandle >= 0; }
  // Reads up to Count bytes at offset At; fewer only where the file ends.
  // -1 when the system fails. Any number of threads may read at once.
  int64_t ReadAt(int64_t at, void* buffer, int64_t count) const;

 private:
  int FHandle = -1;
};

}  // namespace kelvane
