// Questions about the medium that holds a path: free space, removability.
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/FileSystem.h"
#include "platform/NativePath.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

// The nearest path at or above Path that exists: a volume about to be written
// does not exist yet, but its folder tells where it will go.
bool StatNearest(const UString& path, struct stat& st, std::string& found) {
  if (path.empty()) return false;
  std::string native = NativePath(FullPath(path));
  for (;;) {
    if (::stat(native.c_str(), &st) == 0) {
      found = native;
      return true;
    }
    while (native.size() > 1 && native.back() == '/')
      native.pop_back();
    const size_t slash = native.rfind('/');
    if (native == "/" || slash == std::string::npos) return false;
    native.erase(slash == 0 ? 1 : slash);
  }
}

bool ReadsOne(const std::string& file) {
  std::ifstream in(file);
  char c = 0;
  return in.get(c) && c == '1';
}

}  // namespace

int64_t DiskFreeSpace(const UString& path) {
  struct stat st {};
  std::string folder;
  if (!StatNearest(path, st, folder)) return -1;
  struct statvfs vfs {};
  if (::statvfs(folder.c_str(), &vfs) != 0) return -1;
  const unsigned long long blockSize = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
  const unsigned long long blocks = vfs.f_bavail;
  if (blockSize != 0 && blocks > static_cast<unsigned long long>(INT64_MAX) / blockSize)
    return INT64_MAX;
  return static_cast<int64_t>(blocks * blockSize);
}

bool IsFloppyDrive(const UString&) {
  return false;
}

namespace {

bool DeviceIsRemovable(dev_t dev) {
  const std::string link =
      "/sys/dev/block/" + std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
  char* resolved = ::realpath(link.c_str(), nullptr);
  if (!resolved) return false;  // not on a block device (tmpfs, overlay, network)
  std::string device = resolved;
  std::free(resolved);
  if (ReadsOne(device + "/removable")) return true;
  // A partition's flag is always 0; its disk carries the real one.
  struct stat part {};
  return ::stat((device + "/partition").c_str(), &part) == 0 && ReadsOne(device + "/../removable");
}

// Whether a device is removable does not change while it exists, and the
// /sys walk costs a dozen system calls: extracting many files asks once.
bool KnownRemovable(dev_t dev) {
  static std::mutex lock;
  static std::unordered_map<dev_t, bool> known;
  std::lock_guard<std::mutex> guard(lock);
  const auto it = known.find(dev);
  if (it != known.end()) return it->second;
  const bool removable = DeviceIsRemovable(dev);
  known.emplace(dev, removable);
  return removable;
}

}  // namespace

bool IsRemovableDrive(const UString& path) {
  struct stat st {};
  std::string found;
  return StatNearest(path, st, found) && KnownRemovable(st.st_dev);
}

bool IsRemovableHandle(int handle) {
  struct stat st {};
  return ::fstat(handle, &st) == 0 && KnownRemovable(st.st_dev);
}

bool LabelVolume(const UString&, const UString&) {
  return false;
}

}  // namespace kelvane
