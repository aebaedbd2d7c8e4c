#include "app/ZoneMark.h"

namespace kelvane {

// Unix file systems have no zone streams; nothing marks a download.
std::optional<std::string> ReadZoneMark(const UString&) {
  return std::nullopt;
}

bool WriteZoneMark(const UString&, const std::string&) {
  return false;
}

}  // namespace kelvane
