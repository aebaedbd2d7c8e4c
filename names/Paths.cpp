#include "names/Paths.h"

#include <vector>

#include "names/PathDrive.h"

namespace kelvane {
namespace {

// Position of the last delimiter, or npos.
size_t LastDelimiter(UStringView path) {
  for (size_t i = path.size(); i-- > 0;)
    if (IsPathDelimiter(path[i])) return i;
  return UStringView::npos;
}

// The folders of a directory text (ending with PathDelim or empty), each without
// its separator; a leading separator gives an empty first folder, the root.
std::vector<UStringView> SplitFolders(UStringView dir) {
  std::vector<UStringView> parts;
  size_t start = 0;
  for (size_t i = 0; i < dir.size(); ++i) {
    if (dir[i] == PathDelim) {
      parts.push_back(dir.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

}  // namespace

UString IncludeBackslash(UStringView Path) {
  UString out(Path);
  if (out.empty() || out.back() != PathDelim) out += PathDelim;
  return out;
}

UString ExcludeBackslash(UStringView Path) {
  if (!Path.empty() && Path.back() == PathDelim) Path.remove_suffix(1);
  return UString(Path);
}

UString BaseDirectory(UStringView A, UStringView B) {
  return IncludeBackslash(A.empty() ? B : A);
}

UString FileNamePart(UStringView Path) {
  const size_t last = LastDelimiter(Path);
  return UString(last == UStringView::npos ? Path : Path.substr(last + 1));
}

UString DirectoryPart(UStringView Path) {
  const size_t last = LastDelimiter(Path);
  return last == UStringView::npos ? UString() : UString(Path.substr(0, last + 1));
}

UString ExtensionPart(UStringView Path) {
  const size_t dot = Path.rfind(u'.');
  if (dot == UStringView::npos) return {};
  const size_t last = LastDelimiter(Path);
  if (last != UStringView::npos && last > dot) return {};
  return UString(Path.substr(dot));
}

UString RelativePath(UStringView Base, UStringView Dest) {
  const UString baseDrive = DrivePart(Base);
  const UString destDrive = DrivePart(Dest);
  if (!SameFileName(baseDrive, destDrive)) return UString(Dest);

  const UString baseDir = DirectoryPart(Base).substr(baseDrive.size());
  const UString destDir = DirectoryPart(Dest).substr(destDrive.size());
  const std::vector<UStringView> baseFolders = SplitFolders(baseDir);
  const std::vector<UStringView> destFolders = SplitFolders(destDir);

  size_t shared = 0;
  while (shared < baseFolders.size() && shared < destFolders.size() &&
         SameFileName(baseFolders[shared], destFolders[shared]))
    ++shared;

  UString out;
  for (size_t i = shared; i < baseFolders.size(); ++i) {
    out += u"..";
    out += PathDelim;
  }
  for (size_t i = shared; i < destFolders.size(); ++i) {
    out += destFolders[i];
    out += PathDelim;
  }
  out += FileNamePart(Dest);
  return out;
}

}  // namespace kelvane
