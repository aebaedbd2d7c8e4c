// TFileStream over POSIX descriptors. Share modes are emulated with open file
// description locks on four bytes far beyond any real data: one region per
// access right held and one per right denied to others, so exclusive and
// deny-read/deny-write openers conflict exactly with the openers they exclude.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/FileLayerProbe.h"
#include "platform/NativePath.h"
#include "platform/Stream.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

constexpr off_t kLockBase = off_t(1) << 62;
enum LockRegion { lrHasRead, lrHasWrite, lrDenyRead, lrDenyWrite };

// Whether another opener holds a lock anywhere in the regions First..Last.
bool RegionsTaken(int fd, LockRegion first, LockRegion last) {
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = kLockBase + first;
  fl.l_len = last - first + 1;
  if (fcntl(fd, F_OFD_GETLK, &fl) != 0) return false;
  return fl.l_type != F_UNLCK;
}

void HoldRegions(int fd, LockRegion first, LockRegion last) {
  struct flock fl {};
  fl.l_type = F_RDLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = kLockBase + first;
  fl.l_len = last - first + 1;
  fcntl(fd, F_OFD_SETLK, &fl);  // best effort: a write-only descriptor cannot hold it
}

// Calls Act once per run of adjacent regions in Wanted (bit r = region r), so
// that the usual modes cost one call for the checks and one for the locks.
template <typename TAct>
bool ForEachRun(unsigned wanted, TAct act) {
  for (int r = lrHasRead; r <= lrDenyWrite;) {
    if (!(wanted & (1u << r))) {
      ++r;
      continue;
    }
    int last = r;
    while (last < lrDenyWrite && (wanted & (1u << (last + 1))))
      ++last;
    if (!act(LockRegion(r), LockRegion(last))) return false;
    r = last + 1;
  }
  return true;
}

// Returns false when another opener's rights or denials conflict with ours.
bool ApplyShareMode(int fd, bool wantRead, bool wantWrite, uint16_t share) {
  const bool denyRead = share == fmShareExclusive || share == fmShareDenyRead;
  const bool denyWrite = share == fmShareExclusive || share == fmShareDenyWrite;
  const unsigned conflicts = (wantRead ? 1u << lrDenyRead : 0) |
                             (wantWrite ? 1u << lrDenyWrite : 0) |
                             (denyRead ? 1u << lrHasRead : 0) | (denyWrite ? 1u << lrHasWrite : 0);
  const bool free =
      ForEachRun(conflicts, [fd](LockRegion a, LockRegion b) { return !RegionsTaken(fd, a, b); });
  if (!free) return false;
  const unsigned held = (wantRead ? 1u << lrHasRead : 0) | (wantWrite ? 1u << lrHasWrite : 0) |
                        (denyRead ? 1u << lrDenyRead : 0) | (denyWrite ? 1u << lrDenyWrite : 0);
  ForEachRun(held, [fd](LockRegion a, LockRegion b) {
    HoldRegions(fd, a, b);
    return true;
  });
  return true;
}

UString Reason(int err) {
  return FromUtf8(std::strerror(err));
}

}  // namespace

TFileStream::TFileStream(const UString& path, uint16_t mode) : FFileName(path), FMode(mode) {
  const std::string native = NativePath(path);
  const bool create = mode == fmCreate;
  const uint16_t access = create ? fmOpenReadWrite : (mode & 0x3);
  const uint16_t share = create ? fmShareExclusive : (mode & 0x70);
  int flags = O_CLOEXEC;
  flags |= access == fmOpenWrite ? O_WRONLY : access == fmOpenReadWrite ? O_RDWR : O_RDONLY;
  if (create) flags |= O_CREAT | O_TRUNC;
  // Never truncate a file someone else holds under a denial: open first, check, then cut.
  if (create && !FileLayerStep(flcCreate))
    throw EFCreateError(u"Cannot create file \"" + path + u"\". " + Reason(ENOSPC));
  FHandle = ::open(native.c_str(), flags & ~O_TRUNC, 0666);
  if (FHandle < 0) {
    const int err = errno;
    if (create) throw EFCreateError(u"Cannot create file \"" + path + u"\". " + Reason(err));
    throw EFOpenError(u"Cannot open file \"" + path + u"\". " + Reason(err));
  }
  // Only a read-only open can succeed on a folder; the others fail with EISDIR.
  struct stat st {};
  if (access == fmOpenRead && fstat(FHandle, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(FHandle);
    FHandle = -1;
    if (create) throw EFCreateError(u"Cannot create file \"" + path + u"\". " + Reason(EISDIR));
    throw EFOpenError(u"Cannot open file \"" + path + u"\". " + Reason(EISDIR));
  }
  const bool wantRead = access != fmOpenWrite;
  const bool wantWrite = access != fmOpenRead;
  if (!ApplyShareMode(FHandle, wantRead, wantWrite, share)) {
    ::close(FHandle);
    FHandle = -1;
    const UString why = u"The file is in use by another process";
    if (create) throw EFCreateError(u"Cannot create file \"" + path + u"\". " + why);
    throw EFOpenError(u"Cannot open file \"" + path + u"\". " + why);
  }
  if (create && ::ftruncate(FHandle, 0) != 0) {
    const int err = errno;
    ::close(FHandle);
    FHandle = -1;
    throw EFCreateError(u"Cannot create file \"" + path + u"\". " + Reason(err));
  }
}

TFileStream::TFileStream(const UString& path, TNewFile) : FFileName(path), FMode(fmCreate) {
  if (!FileLayerStep(flcCreate))
    throw EFCreateError(u"Cannot create file \"" + path + u"\". " + Reason(ENOSPC));
  FHandle =
      ::open(NativePath(path).c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (FHandle < 0) {
    const int err = errno;
    throw EFCreateError(u"Cannot create file \"" + path + u"\". " + Reason(err));
  }
}

std::unique_ptr<TFileStream> TFileStream::CreateNew(const UString& path) {
  return std::unique_ptr<TFileStream>(new TFileStream(path, TNewFile{}));
}

TFileStream::~TFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  auto* p = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const ssize_t n = ::read(FHandle, p + done, static_cast<size_t>(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      FPosition = -1;
      throw EReadError(u"Cannot read file \"" + FFileName + u"\". " + Reason(errno));
    }
    if (n == 0) break;
    done += n;
  }
  if (FPosition >= 0) FPosition += done;
  return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  auto* p = static_cast<const uint8_t*>(buffer);
  int64_t done = 0;
  if (count > 0 && !FileLayerStep(flcWrite)) return 0;
  while (done < count) {
    const ssize_t n = ::write(FHandle, p + done, static_cast<size_t>(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      // A full medium is reported as a short count so callers can ask for space.
      if (errno == ENOSPC || errno == EDQUOT || errno == EFBIG) break;
      FPosition = -1;
      throw EWriteError(u"Cannot write file \"" + FFileName + u"\". " + Reason(errno));
    }
    if (n == 0) break;
    done += n;
  }
  if (FPosition >= 0) FPosition += done;
  return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  // Readers ask for the position and seek to where they are all the time;
  // the descriptor's offset moves only through this stream.
  if (FPosition >= 0) {
    if (origin == soCurrent && offset == 0) return FPosition;
    if (origin == soBeginning && offset == FPosition) return FPosition;
  }
  const int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
  const off_t pos = ::lseek(FHandle, offset, whence);
  if (pos < 0) {
    FPosition = -1;
    throw EStreamError(u"Cannot seek in file \"" + FFileName + u"\". " + Reason(errno));
  }
  FPosition = pos;
  return pos;
}

int64_t TFileStream::Size() {
  struct stat st {};
  if (fstat(FHandle, &st) != 0)
    throw EStreamError(u"Cannot read the size of \"" + FFileName + u"\". " + Reason(errno));
  return st.st_size;
}

void TFileStream::SetSize(int64_t newSize) {
  if (!FileLayerStep(flcCut))
    throw EStreamError(u"Cannot change the size of \"" + FFileName + u"\". " + Reason(ENOSPC));
  if (::ftruncate(FHandle, newSize) != 0)
    throw EStreamError(u"Cannot change the size of \"" + FFileName + u"\". " + Reason(errno));
  if (Position() > newSize) Seek(newSize, soBeginning);
}

bool TFileStream::Flush() {
  return FileLayerStep(flcFlush) && ::fsync(FHandle) == 0;
}

}  // namespace kelvane
