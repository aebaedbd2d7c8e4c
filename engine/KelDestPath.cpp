#include "engine/KelDestPath.h"

#include <algorithm>
#include <vector>

#include "names/PathDrive.h"
#include "names/Paths.h"
#include "names/WindowsNames.h"
#include "platform/FileSystem.h"
#include "platform/ResolvedPath.h"
#include "platform/UnixFiles.h"

namespace kelvane {
namespace {

bool IsNameSeparator(char16_t c) {
  return c == u'/' || c == u'\\';
}

bool IsAsciiLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// What separates folders in a disk path ("/" is one on Windows too).
bool IsDiskSeparator(char16_t c) {
  return c == PathDelim || c == u'/';
}

// The components of Name between the characters IsSeparator accepts, empty
// ones included.
template <typename TView, typename TIsSeparator>
std::vector<TView> Split(TView name, TIsSeparator isSeparator) {
  std::vector<TView> parts;
  size_t start = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i == name.size() || isSeparator(name[i])) {
      parts.push_back(name.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

// The folder Path is in, as written, without a trailing separator unless
// it is a root ("" when Path names no folder).
UString FolderOf(const UString& path) {
  UString folder = DirectoryPart(path);
  const size_t n = folder.size();
  if (n > 1 && folder.back() == PathDelim && !(PathsHaveDrives && folder[n - 2] == u':'))
    folder.pop_back();
  return folder;
}

}  // namespace

UString SafeRelativeName(UStringView StoredName, bool WindowsRules) {
  const UStringView name = StoredName.substr(0, StoredName.find(u'\0'));
  std::vector<UStringView> parts = Split(name, IsNameSeparator);
  const bool isFolder = !name.empty() && IsNameSeparator(name.back());

  size_t first = 0;
  // "\\server\share\..." and "//server/share/...": the server and the share
  // name a place on another machine, not a folder below the destination.
  if (name.size() >= 3 && IsNameSeparator(name[0]) && IsNameSeparator(name[1]) &&
      !IsNameSeparator(name[2]))
    first = std::min(parts.size(), size_t{4});
  while (first < parts.size() && parts[first].empty())
    ++first;
  if (first < parts.size()) {
    UStringView& head = parts[first];
    if (head.size() >= 2 && IsAsciiLetter(head[0]) && head[1] == u':') head.remove_prefix(2);
  }

  UString out;
  for (size_t i = first; i < parts.size(); ++i) {
    const UStringView part = parts[i];
    if (part.empty() || part == u"." || part == u"..") continue;
    if (!out.empty()) out += PathDelim;
    if (WindowsRules)
      out += WindowsSafeComponent(part);
    else
      out += part;
  }
  if (isFolder && !out.empty()) out += PathDelim;
  return out;
}

bool IsFullDiskPath(UStringView FileName) {
  if constexpr (PathsHaveDrives)
    return FileName.find(u':') != UStringView::npos || FileName.find(u"\\\\") != UStringView::npos;
  return !FileName.empty() && FileName.front() == PathDelim;
}

TDestPathState ExamineDestPath(const UString& Folder, UStringView Relative) {
  TDestPathState state;
  std::vector<UStringView> parts;
  for (UStringView part : Split(Relative, IsDiskSeparator))
    if (!part.empty()) parts.push_back(part);
  const bool endsWithFolder = !Relative.empty() && IsDiskSeparator(Relative.back());
  const size_t folders = endsWithFolder || parts.empty() ? parts.size() : parts.size() - 1;

  UString path = Folder;
  if (!path.empty() && path.back() != PathDelim) path += PathDelim;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) path += PathDelim;
    path += parts[i];
    if (IsSymbolicLink(path)) {
      state.Link = path;
      state.LinkIsFolder = i < folders;
      return state;
    }
    const int32_t attr = GetAttributes(path);
    if (attr == -1) return state;
    const bool isFolder = (attr & faDirectory) != 0;
    if (i < folders && !isFolder) return state;  // creating the folders will fail
    if (i + 1 == folders) state.FoldersExist = true;
    if (i == folders) state.TargetExists = !isFolder;
  }
  return state;
}

bool LinkStaysInside(const UString& Root, const UString& LinkPath, std::string_view Target) {
  if (Target.empty() || Target.front() == '/' || Target.find('\0') != std::string_view::npos)
    return false;
  TResolvedPath root;
  TResolvedPath at;
  if (!root.Resolve(Root) || !at.Resolve(FolderOf(LinkPath)) || !at.IsInside(root)) return false;

  bool onDisk = true;    // At exists as it is named
  bool mayClimb = true;  // every step so far went into an existing folder, not a link
  for (std::string_view part : Split(Target, [](char c) { return c == '/'; })) {
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!mayClimb) return false;
      at.RemoveLast();
      if (!at.IsInside(root)) return false;
      continue;
    }
    if (!at.Append(part)) return false;
    if (!onDisk) continue;
    switch (at.Kind()) {
      case TEntryKind::Missing:
      case TEntryKind::Other:
        onDisk = mayClimb = false;
        break;
      case TEntryKind::Unreadable:
        return false;
      case TEntryKind::Link:
        mayClimb = false;
        if (!at.Resolve() || !at.IsInside(root)) return false;
        break;
      case TEntryKind::Folder:
        break;
    }
  }
  return true;
}

}  // namespace kelvane
