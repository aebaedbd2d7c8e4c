#include "platform/FileReader.h"

#include <io.h>

#include "platform/win/WinPath.h"

namespace kelvane {
namespace {

// A handle of its own (not a duplicate: a duplicate would share, and move,
// the owner's file offset). Reading asks for no more than the owner's share
// mode grants; an owner that denies reading gets no reader.
int ReopenForReading(int handle) {
  const HANDLE owner = HandleOf(handle);
  if (owner == INVALID_HANDLE_VALUE) return -1;
  const HANDLE h =
      ReOpenFile(owner, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
  if (h == INVALID_HANDLE_VALUE) return -1;
  return DescriptorOf(h, true);
}

}  // namespace

TFileReader::TFileReader(int handle) : FHandle(ReopenForReading(handle)) {}

TFileReader::~TFileReader() {
  if (FHandle >= 0) _close(FHandle);
}

int64_t TFileReader::ReadAt(int64_t at, void* buffer, int64_t count) const {
  auto* p = static_cast<char*>(buffer);
  const HANDLE h = HandleOf(FHandle);
  int64_t got = 0;
  while (got < count) {
    OVERLAPPED o{};
    const uint64_t offset = static_cast<uint64_t>(at + got);
    o.Offset = static_cast<DWORD>(offset);
    o.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD n = 0;
    const DWORD want = static_cast<DWORD>(std::min<int64_t>(count - got, 1 << 30));
    if (!ReadFile(h, p + got, want, &n, &o)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      return -1;
    }
    if (n == 0) break;
    got += n;
  }
  return got;
}

}  // namespace kelvane
