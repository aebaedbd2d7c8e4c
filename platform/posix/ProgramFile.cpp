#include "platform/ProgramFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/NativePath.h"

namespace kelvane {

UString ProgramFilePath() {
  std::string path(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (n <= 0) return {};
  path.resize(static_cast<size_t>(n));
  return FromUtf8(path);
}

bool AllowRunning(const UString& path) {
  const std::string native = NativePath(path);
  struct stat st {};
  if (native.empty() || ::stat(native.c_str(), &st) != 0) return false;
  const mode_t readers = st.st_mode & (S_IRUSR | S_IRGRP | S_IROTH);
  return ::chmod(native.c_str(), (st.st_mode & 07777) | (readers >> 2)) == 0;
}

}  // namespace kelvane
