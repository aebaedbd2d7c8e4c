// Copying and moving files. A copy that replaces an existing file is written
// beside it under a temporary name and moved over it only when complete.
#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/FileLayerProbe.h"
#include "platform/FileSystem.h"
#include "platform/RangeCopyCall.h"
#include "platform/win/WinPath.h"

namespace kelvane {
namespace {

TRangeCopyCall GRangeCopyCall = nullptr;

// Positioned transfers through a synchronous handle move its offset; the
// caller's offset is put back afterwards.
class TKeepOffset {
 public:
  explicit TKeepOffset(HANDLE h) : FHandle(h) {
    LARGE_INTEGER zero{};
    FValid = SetFilePointerEx(h, zero, &FAt, FILE_CURRENT) != 0;
  }
  ~TKeepOffset() {
    if (FValid) SetFilePointerEx(FHandle, FAt, nullptr, FILE_BEGIN);
  }
  TKeepOffset(const TKeepOffset&) = delete;
  TKeepOffset& operator=(const TKeepOffset&) = delete;

 private:
  HANDLE FHandle;
  LARGE_INTEGER FAt{};
  bool FValid = false;
};

OVERLAPPED At(int64_t offset) {
  OVERLAPPED o{};
  o.Offset = static_cast<DWORD>(offset);
  o.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
  return o;
}

bool WriteAllAt(HANDLE h, const char* p, size_t n, int64_t at) {
  while (n > 0) {
    OVERLAPPED o = At(at);
    DWORD put = 0;
    if (!WriteFile(h, p, static_cast<DWORD>(n), &put, &o)) {
      errno = ErrnoOf(GetLastError());
      return false;
    }
    if (put == 0) {
      errno = ENOSPC;
      return false;
    }
    p += put;
    at += put;
    n -= put;
  }
  return true;
}

bool CopyRangeByReading(int source, int64_t sourceAt, int dest, int64_t destAt, int64_t count) {
  const HANDLE in = HandleOf(source);
  const HANDLE out = HandleOf(dest);
  if (in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return false;
  }
  std::vector<char> buf(static_cast<size_t>(std::min<int64_t>(count, 256 * 1024)));
  while (count > 0) {
    OVERLAPPED o = At(sourceAt);
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<int64_t>(count, buf.size()));
    if (!ReadFile(in, buf.data(), want, &got, &o)) {
      const DWORD error = GetLastError();
      if (error != ERROR_HANDLE_EOF) {
        errno = ErrnoOf(error);
        return false;
      }
      got = 0;
    }
    if (got == 0) {
      errno = EIO;  // the source ended early
      return false;
    }
    if (!WriteAllAt(out, buf.data(), got, destAt)) return false;
    sourceAt += got;
    destAt += got;
    count -= got;
  }
  return true;
}

bool IsRegularFile(DWORD attr) {
  return attr != INVALID_FILE_ATTRIBUTES &&
         !(attr & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
}

}  // namespace

void SetRangeCopyCall(TRangeCopyCall call) {
  GRangeCopyCall = call;
}

bool CopyFileRange(int source, int64_t sourceAt, int dest, int64_t destAt, int64_t count) {
  if (count < 0 || sourceAt < 0 || destAt < 0) {
    errno = EINVAL;
    return false;
  }
  if (count == 0) return true;
  if (!FileLayerStep(flcWrite)) {
    errno = ENOSPC;
    return false;
  }
  TKeepOffset keepSource(HandleOf(source)), keepDest(HandleOf(dest));
  // The system has no range copy between open files: a test's stand-in may
  // take a part, reads and writes do the rest.
  while (GRangeCopyCall && count > 0) {
    const int64_t n =
        GRangeCopyCall(source, sourceAt, dest, destAt,
                       static_cast<size_t>(std::min<int64_t>(count, int64_t{1} << 30)));
    if (n > 0) {
      sourceAt += n;
      destAt += n;
      count -= n;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP &&
        errno != EPERM)
      return false;
    break;
  }
  if (count == 0) return true;
  return CopyRangeByReading(source, sourceAt, dest, destAt, count);
}

bool CopyOnDisk(const UString& existing, const UString& newName, bool failIfExists) {
  const std::wstring from = SystemPath(existing);
  const std::wstring to = SystemPath(newName);
  if (from.empty() || to.empty()) return false;
  // Only regular files: reading a device could block or never end.
  if (!IsRegularFile(GetFileAttributesW(from.c_str()))) return false;
  if (failIfExists) return CopyFileW(from.c_str(), to.c_str(), TRUE) != 0;

  const DWORD target = GetFileAttributesW(to.c_str());
  if (target != INVALID_FILE_ATTRIBUTES) {
    if (target & FILE_ATTRIBUTE_DIRECTORY) return false;
    if (IsSameFile(existing, newName)) return false;
  }
  const size_t sep = newName.find_last_of(u"\\/");
  const UString folder = sep == UString::npos ? UString(u".") : newName.substr(0, sep);
  const UString temp = CreateTempFile(folder, u"~kc");
  if (temp.empty()) return false;
  const std::wstring tempNative = SystemPath(temp);
  if (CopyFileW(from.c_str(), tempNative.c_str(), FALSE) &&
      MoveFileExW(tempNative.c_str(), to.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  DeleteFileW(tempNative.c_str());
  return false;
}

bool RenameOnDisk(const UString& oldName, const UString& newName) {
  const std::wstring from = SystemPath(oldName);
  const std::wstring to = SystemPath(newName);
  if (from.empty() || to.empty()) return false;
  if (!FileLayerStep(flcRename)) return false;
  // Without MOVEFILE_REPLACE_EXISTING an existing NewName is never replaced;
  // a file (never a folder) moves to another volume by copy and delete.
  return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH) != 0;
}

bool ReplaceOnDisk(const UString& oldName, const UString& newName) {
  const std::wstring from = SystemPath(oldName);
  const std::wstring to = SystemPath(newName);
  if (from.empty() || to.empty()) return false;
  if (!FileLayerStep(flcRename)) return false;
  // Write-through: the call returns once the new name is on the medium.
  return MoveFileExW(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace kelvane
