#include "platform/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/DosTime.h"
#include "platform/Exception.h"
#include "platform/FileLayerProbe.h"
#include "platform/NativePath.h"
#include "platform/Text.h"
#include "platform/posix/FileAttributes.h"

namespace kelvane {

UString CurrentDirectory() {
  std::vector<char> buf(4096);
  while (!::getcwd(buf.data(), buf.size())) {
    if (errno != ERANGE) return UString(1, PathDelim);
    buf.resize(buf.size() * 2);
  }
  return FromUtf8(buf.data());
}

UString FullPath(const UString& path) {
  UString abs = path;
  if (abs.empty() || abs[0] != PathDelim) {
    UString cwd = CurrentDirectory();
    if (cwd.empty() || cwd.back() != PathDelim) cwd += PathDelim;
    abs = cwd + abs;
  }
  const bool trailing = abs.size() > 1 && abs.back() == PathDelim;
  std::vector<UString> parts;
  size_t i = 0;
  while (i < abs.size()) {
    size_t j = abs.find(PathDelim, i);
    if (j == UString::npos) j = abs.size();
    UString part = abs.substr(i, j - i);
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(std::move(part));
    }
    i = j + 1;
  }
  UString out;
  for (const UString& p : parts)
    out += PathDelim + p;
  if (out.empty()) return UString(1, PathDelim);
  if (trailing) out += PathDelim;
  return out;
}

bool IsFile(const UString& path) {
  struct stat st {};
  return ::stat(NativePath(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool IsDirectory(const UString& path) {
  struct stat st {};
  return ::stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

bool MakeDirectory(const std::string& native) {
  if (::mkdir(native.c_str(), 0777) == 0) return true;
  struct stat st {};
  // Someone else may have made it in the meantime; only a folder will do.
  return errno == EEXIST && ::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

bool CreateDirectories(const UString& path) {
  if (path.empty()) throw EInOutError("Unable to create directory");
  std::string native = NativePath(path);
  if (native.empty()) return false;
  if (native.size() > 1 && native.back() == '/') native.pop_back();
  struct stat st {};
  if (::stat(native.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  // Outermost first, one component at a time: no recursion however deep the path.
  for (size_t i = 1; i < native.size(); ++i) {
    if (native[i] != '/' || native[i - 1] == '/') continue;
    if (!MakeDirectory(native.substr(0, i))) return false;
  }
  return MakeDirectory(native);
}

bool RemoveFile(const UString& path) {
  if (!FileLayerStep(flcRemove)) return false;
  return ::unlink(NativePath(path).c_str()) == 0;
}

int32_t GetAttributes(const UString& path) {
  const std::string native = NativePath(path);
  struct stat st {};
  if (::stat(native.c_str(), &st) == 0) return AttributesOf(st, LastComponent(native));
  if (::lstat(native.c_str(), &st) == 0) return faSysFile;
  return -1;
}

namespace {

// The permission bits that Attr asks for, starting from Mode.
mode_t ModeWithAttributes(mode_t mode, int32_t attr) {
  mode &= 07777;
  if (attr & faReadOnly) return mode & ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH);
  return mode | S_IWUSR;
}

}  // namespace

bool SetAttributes(const UString& path, int32_t attr) {
  const std::string native = NativePath(path);
  struct stat st {};
  if (::stat(native.c_str(), &st) != 0) return false;
  if (S_ISDIR(st.st_mode)) return true;
  const mode_t mode = ModeWithAttributes(st.st_mode, attr);
  return mode == (st.st_mode & 07777) || ::chmod(native.c_str(), mode) == 0;
}

bool SetHandleAttributes(int handle, int32_t attr) {
  struct stat st {};
  if (::fstat(handle, &st) != 0) return false;
  if (S_ISDIR(st.st_mode)) return true;
  const mode_t mode = ModeWithAttributes(st.st_mode, attr);
  return mode == (st.st_mode & 07777) || ::fchmod(handle, mode) == 0;
}

int32_t FileDosTime(const UString& path) {
  struct stat st {};
  if (::stat(NativePath(path).c_str(), &st) != 0) return kNoDosDateTime;
  return TimeToDosDateTime(st.st_mtime);
}

namespace {

bool DosToTimes(int32_t dos, struct timespec (&times)[2]) {
  const std::optional<time_t> t = DosDateTimeToTime(dos);
  if (!t) return false;
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = *t;
  times[1].tv_nsec = 0;
  return true;
}

}  // namespace

bool SetFileDosTime(const UString& path, int32_t dos) {
  struct timespec times[2];
  return DosToTimes(dos, times) && ::utimensat(AT_FDCWD, NativePath(path).c_str(), times, 0) == 0;
}

bool SetHandleDosTime(int handle, int32_t dos) {
  struct timespec times[2];
  return DosToTimes(dos, times) && ::futimens(handle, times) == 0;
}

bool FlushFile(const UString& path) {
  if (!FileLayerStep(flcFlush)) return false;
  // Non-blocking so that a pipe at Path cannot hold us up.
  const int fd = ::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

bool IsSameFile(const UString& a, const UString& b) {
  struct stat sa {};
  struct stat sb {};
  return ::stat(NativePath(a).c_str(), &sa) == 0 && ::stat(NativePath(b).c_str(), &sb) == 0 &&
         sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

UString CreateTempFile(const UString& dir, const UString& prefix) {
  if (!FileLayerStep(flcCreate)) return {};
  std::string folder = NativePath(dir.empty() ? TempDirectory() : dir);
  if (folder.empty()) return {};
  if (folder.back() != '/') folder += '/';
  std::string name = folder + NativePath(prefix) + "XXXXXX";
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return {};
  ::close(fd);
  return FromUtf8(name);
}

UString TempDirectory() {
  const char* env = std::getenv("TMPDIR");
  return FromUtf8(env && *env ? env : "/tmp");
}

}  // namespace kelvane
