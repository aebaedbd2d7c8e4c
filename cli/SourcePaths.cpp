#include "cli/SourcePaths.h"

#include <sys/stat.h>

#include <vector>

#include "platform/Text.h"

namespace kelvane::cli {
namespace {

std::vector<UString> Parts(const UString& path) {
  std::vector<UString> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(u'/', start);
    if (end == UString::npos) end = path.size();
    const UString part = path.substr(start, end - start);
    if (!part.empty() && part != u".") {
      if (part != u"..")
        parts.push_back(part);
      else if (!parts.empty() && parts.back() != u"..")
        parts.pop_back();
      else
        parts.push_back(part);
    }
    start = end + 1;
  }
  return parts;
}

UString Joined(const std::vector<UString>& parts, size_t from, size_t to) {
  UString out;
  for (size_t i = from; i < to; ++i)
    out += (i == from ? u"" : u"/") + parts[i];
  return out;
}

}  // namespace

TSourcePath PlanSource(const std::string& given, const UString& folder) {
  TSourcePath s;
  s.Given = given;
  const UString text = FromUtf8(given);
  const bool absolute = !text.empty() && text[0] == u'/';
  // The whole path resolved; ".." parts that climb out of the root stay in
  // place, since "/.." is "/".
  std::vector<UString> whole = Parts(absolute ? text : folder + u"/" + text);
  std::erase(whole, u"..");
  // The stored name: the given path resolved by itself, without its leading
  // ".." parts.
  std::vector<UString> stored = Parts(text);
  size_t firstKept = 0;
  while (firstKept < stored.size() && stored[firstKept] == u"..")
    ++firstKept;
  const size_t storedParts = stored.size() - firstKept;
  s.Path = u"/" + Joined(whole, 0, whole.size());
  s.Base = u"/" + Joined(whole, 0, whole.size() - storedParts);
  s.Stored = Joined(stored, firstKept, stored.size());
  s.Wildcards = !whole.empty() && whole.back().find_first_of(u"*?") != UString::npos;
  return s;
}

char SourceKind(const UString& path, bool followLinks) {
  const std::string p = ToUtf8(path);
  struct stat st {};
  if (::lstat(p.c_str(), &st) != 0) return 0;
  if (S_ISLNK(st.st_mode)) {
    if (!followLinks || ::stat(p.c_str(), &st) != 0) return 'f';
  }
  return S_ISDIR(st.st_mode) ? 'd' : 'f';
}

}  // namespace kelvane::cli
