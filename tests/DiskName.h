// Names as the engine hands them to the disk side: events, questions and
// search results separate folders with PathDelim ('\\' on Windows), while
// stored names and the tests' own tables use '/'.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace kelvane::test {

// Linux file systems tell letter case apart, so an existing file is found
// under its own name; Windows ones do not, and any spelling opens it.
#ifdef _WIN32
inline constexpr bool kCaseSensitiveFiles = false;
#else
inline constexpr bool kCaseSensitiveFiles = true;
#endif

inline std::string OnDisk(std::string name) {
  std::replace(name.begin(), name.end(), '/', static_cast<char>(PathDelim));
  return name;
}

inline UString OnDisk(UString name) {
  std::replace(name.begin(), name.end(), u'/', PathDelim);
  return name;
}

inline std::vector<std::string> OnDisk(std::vector<std::string> names) {
  for (std::string& name : names)
    name = OnDisk(std::move(name));
  return names;
}

}  // namespace kelvane::test
