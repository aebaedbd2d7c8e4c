#include "cli/DiskFile.h"

#include <stdexcept>

#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "platform/Text.h"

namespace kelvane::cli {

int64_t DiskFileSize(const UString& path) {
  if (!IsFile(path)) return -1;
  try {
    TFileStream file(path, fmOpenRead | fmShareDenyNone);
    return file.Size();
  } catch (const std::exception&) {
    return -1;
  }
}

std::string ReadDiskFile(const std::string& path) {
  try {
    TFileStream file(FromUtf8(path), fmOpenRead | fmShareDenyNone);
    std::string bytes;
    char buffer[65536];
    for (int64_t n; (n = file.Read(buffer, sizeof buffer)) > 0;)
      bytes.append(buffer, static_cast<size_t>(n));
    return bytes;
  } catch (const std::exception&) {
    throw std::runtime_error(path + ": cannot be read");
  }
}

}  // namespace kelvane::cli
