// Paths handed to the system.
#pragma once

#include <string>

#include "platform/Text.h"

namespace kelvane {

// Path in the system's encoding (UTF-8). A path with an embedded NUL gives the
// empty string, which names no file: the system would otherwise act on the
// part before the NUL, a different file from the one asked for.
inline std::string NativePath(UStringView path) {
  if (path.find(u'\0') != UStringView::npos) return {};
  return ToUtf8(path);
}

}  // namespace kelvane
