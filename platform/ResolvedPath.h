// Paths as the system resolves them, for the checks of where a link leads.
// They stay in the system's own form (bytes on Linux, UTF-16 on Windows): a
// name that is not well-formed text is looked up and compared exactly as it
// is on disk, never through a conversion that could turn it into another name.
#pragma once

#include <string>
#include <string_view>

#include "platform/Types.h"

namespace kelvane {

// What is at a path itself; a link is not followed.
enum class TEntryKind { Missing, Folder, Link, Other, Unreadable };

class TResolvedPath {
 public:
  // Path made absolute, every link followed, ".", ".." and repeated
  // separators removed (realpath). False when a part of it is missing or
  // cannot be read; the path held is then unchanged. Windows: the final path
  // of what Path opens (GetFinalPathNameByHandleW), in its "\\?\" form.
  bool Resolve(const UString& path);
  // The same for the path held now.
  bool Resolve();
  // Appends one name, given as a link's target holds it (bytes; UTF-8 on
  // Windows). False when Name is not one plain name on this system (Windows:
  // it holds "\" or ":"); the path is then unchanged.
  bool Append(std::string_view name);
  // Removes the last name; the root stays the root.
  void RemoveLast();
  // This path is Root or lies below it (whole names compared).
  bool IsInside(const TResolvedPath& root) const;
  // What is at this path itself (lstat); Missing also when a folder on the
  // way is not a folder.
  TEntryKind Kind() const;

 private:
#ifdef _WIN32
  std::wstring FPath;
#else
  std::string FPath;
#endif
};

}  // namespace kelvane
