// Copying and moving files. A copy that replaces an existing file is written
// beside it under a temporary name and renamed over it only when complete.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/FileLayerProbe.h"
#include "platform/FileSystem.h"
#include "platform/NativePath.h"
#include "platform/RangeCopyCall.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

class TFd {
 public:
  explicit TFd(int fd = -1) : FFd(fd) {}
  ~TFd() {
    if (FFd >= 0) ::close(FFd);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return FFd; }
  // Closes now, reporting the error a delayed write may surface only here.
  bool Close() {
    const int fd = FFd;
    FFd = -1;
    return ::close(fd) == 0;
  }

 private:
  int FFd;
};

bool WriteAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

int64_t KernelRangeCopy(int source, int64_t sourceAt, int dest, int64_t destAt, size_t count) {
  loff_t from = sourceAt;
  loff_t to = destAt;
  return ::copy_file_range(source, &from, dest, &to, count, 0);
}

TRangeCopyCall GRangeCopyCall = nullptr;

// The kernel refuses this pair of files, not the copy: reads and writes may
// still do it.
bool KernelCannotCopy(int err) {
  return err == EXDEV || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP || err == EPERM;
}

bool WriteAllAt(int fd, const char* p, size_t n, int64_t at) {
  while (n > 0) {
    const ssize_t w = ::pwrite(fd, p, n, at);
    if (w < 0 && errno == EINTR) continue;
    if (w < 0) return false;
    if (w == 0) {
      errno = ENOSPC;
      return false;
    }
    p += w;
    at += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

bool CopyRangeByReading(int source, int64_t sourceAt, int dest, int64_t destAt, int64_t count) {
  std::vector<char> buf(static_cast<size_t>(std::min<int64_t>(count, 256 * 1024)));
  while (count > 0) {
    const ssize_t n = ::pread(source, buf.data(),
                              static_cast<size_t>(std::min<int64_t>(count, buf.size())), sourceAt);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      errno = EIO;  // the source ended early
      return false;
    }
    if (!WriteAllAt(dest, buf.data(), static_cast<size_t>(n), destAt)) return false;
    sourceAt += n;
    destAt += n;
    count -= n;
  }
  return true;
}

bool CopyData(int src, int dst) {
  // The kernel copies (or shares blocks) where it can; plain reads and writes otherwise.
  bool kernelCopy = true;
  for (;;) {
    if (kernelCopy) {
      const ssize_t n = ::copy_file_range(src, nullptr, dst, nullptr, size_t(1) << 30, 0);
      if (n > 0) continue;
      if (n == 0) return true;
      if (errno == EINTR) continue;
      if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP &&
          errno != EPERM)
        return false;
      kernelCopy = false;
    }
    std::vector<char> buf(1 << 20);
    for (;;) {
      const ssize_t n = ::read(src, buf.data(), buf.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return false;
      if (n == 0) return true;
      if (!WriteAll(dst, buf.data(), static_cast<size_t>(n))) return false;
    }
  }
}

// Fills Dst from Src and gives it Src's permission bits and modification time.
bool CopyInto(int src, const struct stat& srcStat, TFd& dst) {
  if (!CopyData(src, dst.Get())) return false;
  if (::fchmod(dst.Get(), srcStat.st_mode & 0777) != 0) return false;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_NOW;
  times[1] = srcStat.st_mtim;
  if (::futimens(dst.Get(), times) != 0) return false;
  return dst.Close();
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
  const TRangeCopyCall call = GRangeCopyCall ? GRangeCopyCall : KernelRangeCopy;
  while (count > 0) {
    const auto step = static_cast<size_t>(std::min<int64_t>(count, int64_t{1} << 30));
    const int64_t n = call(source, sourceAt, dest, destAt, step);
    if (n > 0) {
      sourceAt += n;
      destAt += n;
      count -= n;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && !KernelCannotCopy(errno)) return false;
    // Declined, or nothing copied: some file systems answer 0 for files
    // they cannot copy, so reads tell whether the source really ends here.
    break;
  }
  return CopyRangeByReading(source, sourceAt, dest, destAt, count);
}

bool CopyOnDisk(const UString& existing, const UString& newName, bool failIfExists) {
  const std::string from = NativePath(existing);
  const std::string to = NativePath(newName);
  if (from.empty() || to.empty()) return false;
  TFd src(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat srcStat {};
  if (src.Get() < 0 || ::fstat(src.Get(), &srcStat) != 0) return false;
  // Only regular files: reading a pipe or a device could block or never end.
  if (!S_ISREG(srcStat.st_mode)) return false;

  if (failIfExists) {
    TFd dst(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (dst.Get() < 0) return false;
    if (CopyInto(src.Get(), srcStat, dst)) return true;
    ::unlink(to.c_str());
    return false;
  }

  struct stat dstStat {};
  if (::stat(to.c_str(), &dstStat) == 0) {
    if (dstStat.st_dev == srcStat.st_dev && dstStat.st_ino == srcStat.st_ino) return false;
    if (S_ISDIR(dstStat.st_mode)) return false;
  }
  std::string temp = to + ".XXXXXX";
  TFd dst(::mkostemp(temp.data(), O_CLOEXEC));
  if (dst.Get() < 0) return false;
  if (CopyInto(src.Get(), srcStat, dst) && ::rename(temp.c_str(), to.c_str()) == 0) return true;
  ::unlink(temp.c_str());
  return false;
}

bool RenameOnDisk(const UString& oldName, const UString& newName) {
  const std::string from = NativePath(oldName);
  const std::string to = NativePath(newName);
  if (from.empty() || to.empty()) return false;
  if (!FileLayerStep(flcRename)) return false;
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  struct stat st {};
  if (errno == EINVAL || errno == ENOSYS) {
    // The file system cannot refuse a replacement itself; ask first.
    if (::lstat(to.c_str(), &st) == 0) return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
  }
  if (errno == EXDEV && ::lstat(from.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    if (!CopyOnDisk(oldName, newName, true)) return false;
    if (::unlink(from.c_str()) == 0) return true;
    ::unlink(to.c_str());  // never leave the file in two places
  }
  return false;
}

bool ReplaceOnDisk(const UString& oldName, const UString& newName) {
  const std::string from = NativePath(oldName);
  const std::string to = NativePath(newName);
  if (from.empty() || to.empty()) return false;
  if (!FileLayerStep(flcRename)) return false;
  if (::rename(from.c_str(), to.c_str()) != 0) return false;
  // Done: the flush only makes it durable sooner, and either name holds a
  // whole file whatever happens meanwhile.
  const size_t slash = to.rfind('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : to.substr(0, slash);
  if (FileLayerStep(flcFlush)) {
    TFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0) ::fsync(dir.Get());
  }
  return true;
}

}  // namespace kelvane
