#include "app/ExecutablePath.h"

#include <limits.h>
#include <unistd.h>

#include <vector>

#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kelvane {

UString ExecutablePath(const std::string& argv0) {
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) break;
    if (static_cast<size_t>(n) < buffer.size())
      return FromUtf8(std::string_view(buffer.data(), static_cast<size_t>(n)));
    buffer.resize(buffer.size() * 2);  // a path longer than PATH_MAX: try again
  }
  if (argv0.find('/') != std::string::npos) return FullPath(FromUtf8(argv0));
  return {};
}

}  // namespace kelvane
