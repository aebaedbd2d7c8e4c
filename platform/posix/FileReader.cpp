#include "platform/FileReader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace kelvane {

// A duplicate shares the open file and its locks, which are tied to it (OFD
// locks): closing the duplicate releases none of them.
TFileReader::TFileReader(int handle)
    : FHandle(handle >= 0 ? ::fcntl(handle, F_DUPFD_CLOEXEC, 0) : -1) {}

TFileReader::~TFileReader() {
  if (FHandle >= 0) ::close(FHandle);
}

int64_t TFileReader::ReadAt(int64_t at, void* buffer, int64_t count) const {
  auto* p = static_cast<char*>(buffer);
  int64_t got = 0;
  while (got < count) {
    const ssize_t n = ::pread(FHandle, p + got, static_cast<size_t>(count - got), at + got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    got += n;
  }
  return got;
}

}  // namespace kelvane
