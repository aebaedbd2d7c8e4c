#include "platform/UnixFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "platform/NativePath.h"
#include "platform/posix/FileAttributes.h"

namespace kelvane {
namespace {

void SetTimes(int64_t time, struct timespec (&times)[2]) {
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(time);
  times[1].tv_nsec = 0;
}

}  // namespace

bool ReadDiskEntry(const UString& path, bool followLinks, TDiskEntry& entry) {
  const std::string native = NativePath(path);
  struct stat st {};
  if (native.empty() || ::lstat(native.c_str(), &st) != 0) return false;
  if (S_ISLNK(st.st_mode)) {
    struct stat target {};
    if (followLinks && ::stat(native.c_str(), &target) == 0) {
      st = target;
    } else {
      // The size lstat reports may be 0 (some file systems); read until it fits.
      std::string buffer(PATH_MAX, '\0');
      const ssize_t n = ::readlink(native.c_str(), buffer.data(), buffer.size());
      if (n < 0 || static_cast<size_t>(n) >= buffer.size()) return false;
      buffer.resize(static_cast<size_t>(n));
      entry = TDiskEntry{};
      entry.Mode = static_cast<uint32_t>(st.st_mode);
      entry.MTime = st.st_mtime;
      entry.Size = n;
      entry.IsLink = true;
      entry.LinkTarget = buffer;
      entry.Id = TFileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
      return true;
    }
  }
  entry = TDiskEntry{};
  entry.Mode = static_cast<uint32_t>(st.st_mode);
  entry.MTime = st.st_mtime;
  entry.Size = S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : 0;
  entry.Id = TFileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  entry.Attributes = AttributesOf(st, LastComponent(native));
  return true;
}

bool FileIdentity(const UString& path, TFileId& id) {
  const std::string native = NativePath(path);
  struct stat st {};
  if (native.empty() || ::stat(native.c_str(), &st) != 0) return false;
  id = TFileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  return true;
}

bool IsSymbolicLink(const UString& path) {
  const std::string native = NativePath(path);
  struct stat st {};
  return !native.empty() && ::lstat(native.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool SetHandleMode(int handle, uint32_t mode) {
  return ::fchmod(handle, static_cast<mode_t>(mode & 0777)) == 0;
}

bool SetHandleUnixTime(int handle, int64_t time) {
  struct timespec times[2];
  SetTimes(time, times);
  return ::futimens(handle, times) == 0;
}

bool CreateSymbolicLink(const AnsiString& target, const UString& path) {
  const std::string native = NativePath(path);
  return !native.empty() && target.find('\0') == AnsiString::npos &&
         ::symlink(target.c_str(), native.c_str()) == 0;
}

bool SetLinkUnixTime(const UString& path, int64_t time) {
  struct timespec times[2];
  SetTimes(time, times);
  const std::string native = NativePath(path);
  return !native.empty() && ::utimensat(AT_FDCWD, native.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace kelvane
