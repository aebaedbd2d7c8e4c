#include "platform/FileSystem.h"

#include <unistd.h>

#include <vector>

#include "platform/Text.h"

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

}  // namespace kelvane
