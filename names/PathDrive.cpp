#include "names/PathDrive.h"

#include "names/NameText.h"

namespace kelvane {

UString DrivePart(UStringView path) {
  if constexpr (!PathsHaveDrives) return {};
  if (path.size() >= 2 && path[1] == u':') return UString(path.substr(0, 2));
  if (path.size() >= 2 && path[0] == PathDelim && path[1] == PathDelim) {
    const size_t serverEnd = path.find(PathDelim, 2);
    if (serverEnd == UStringView::npos) return UString(path);
    const size_t shareEnd = path.find(PathDelim, serverEnd + 1);
    return UString(path.substr(0, shareEnd));
  }
  return {};
}

bool IsPathDelimiter(char16_t c) {
  return c == PathDelim || (PathsHaveDrives && c == u':');
}

bool SameFileName(UStringView a, UStringView b) {
  if constexpr (!PathsHaveDrives) return a == b;
  return SameTextAscii(a, b);
}

}  // namespace kelvane
