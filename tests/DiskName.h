// Names as the engine hands them to the disk side: events, questions and
// search results separate folders with PathDelim ('\\' on Windows), while
// stored names and the tests' own tables use '/'.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace kelvane::test {

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
