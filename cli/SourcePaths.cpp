#include "cli/SourcePaths.h"

#include <vector>

#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/UnixFiles.h"

namespace kelvane::cli {
namespace {

bool IsSeparator(char16_t c, bool drives) {
  return c == u'/' || (drives && c == u'\\');
}

bool IsAsciiLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// The root at the start of Path: where paths have drives "X:" or
// "\\server\share" (without a separator after it), else nothing. Rooted tells
// whether Path is absolute ("/x", "X:x", "\x" on the current drive); Rest is
// where the part below the root begins.
struct TRoot {
  UString Text;
  bool Rooted = false;
  size_t Rest = 0;
};

TRoot RootOf(const UString& path, bool drives) {
  TRoot root;
  if (drives && path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == u':') {
    root.Text = path.substr(0, 2);
    root.Rooted = true;
    root.Rest = 2;
  } else if (drives && path.size() >= 2 && IsSeparator(path[0], true) &&
             IsSeparator(path[1], true)) {
    size_t end = 2;
    for (int part = 0; part < 2; ++part) {
      while (end < path.size() && !IsSeparator(path[end], true))
        ++end;
      if (part == 0 && end < path.size()) ++end;
    }
    root.Text = u"\\\\" + path.substr(2, end - 2);
    for (char16_t& c : root.Text)
      if (c == u'/') c = u'\\';
    root.Rooted = true;
    root.Rest = end;
  } else {
    root.Rooted = !path.empty() && IsSeparator(path[0], drives);
  }
  return root;
}

std::vector<UString> Parts(const UString& path, bool drives) {
  std::vector<UString> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = start;
    while (end < path.size() && !IsSeparator(path[end], drives))
      ++end;
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

UString Joined(const std::vector<UString>& parts, size_t from, size_t to, char16_t delim) {
  UString out;
  for (size_t i = from; i < to; ++i) {
    if (i > from) out += delim;
    out += parts[i];
  }
  return out;
}

}  // namespace

TSourcePath PlanSource(const std::string& given, const UString& folder, bool drives) {
  const char16_t delim = drives ? u'\\' : u'/';
  TSourcePath s;
  s.Given = given;
  const UString text = FromUtf8(given);
  const TRoot root = RootOf(text, drives);
  const TRoot folderRoot = RootOf(folder, drives);
  // The whole path resolved; ".." parts that climb out of the root stay in
  // place, since "/.." is "/".
  const UString& top = root.Text.empty() ? folderRoot.Text : root.Text;
  std::vector<UString> whole = Parts(
      root.Rooted ? text.substr(root.Rest) : folder.substr(folderRoot.Rest) + delim + text, drives);
  std::erase(whole, u"..");
  // The stored name: the given path resolved by itself, without its root and
  // its leading ".." parts.
  std::vector<UString> stored = Parts(text.substr(root.Rest), drives);
  size_t firstKept = 0;
  while (firstKept < stored.size() && stored[firstKept] == u"..")
    ++firstKept;
  const size_t storedParts = stored.size() - firstKept;
  s.Path = top + delim + Joined(whole, 0, whole.size(), delim);
  s.Base = top + delim + Joined(whole, 0, whole.size() - storedParts, delim);
  s.BaseIsRoot = whole.size() == storedParts;
  s.Stored = Joined(stored, firstKept, stored.size(), u'/');
  s.Wildcards = !whole.empty() && whole.back().find_first_of(u"*?") != UString::npos;
  return s;
}

char SourceKind(const UString& path, bool followLinks) {
  if (GetAttributes(path) == -1 && !IsSymbolicLink(path)) return 0;
  if (IsSymbolicLink(path) && !followLinks) return 'f';
  return IsDirectory(path) ? 'd' : 'f';
}

}  // namespace kelvane::cli
