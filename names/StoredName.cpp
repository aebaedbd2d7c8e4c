#include "names/StoredName.h"

#include "names/NameText.h"
#include "names/PathDrive.h"
#include "names/Paths.h"
#include "platform/FileSystem.h"

namespace kelvane {
namespace {

bool IsAnySeparator(char16_t c) {
  return c == u'\\' || c == u'/';
}

// Windows: a name with a drive or network prefix is already complete.
bool HasDriveOrNetworkPrefix(const UString& name) {
  if constexpr (!PathsHaveDrives) return false;
  return name.find(u':') != UString::npos ||
         (name.size() >= 2 && name[0] == PathDelim && name[1] == PathDelim);
}

// Windows: where the stored name starts once the drive ("X:") or the network server
// ("\\server\") is skipped; the share name is kept. npos for a bare drive.
size_t SkipDriveOrServer(const UString& p) {
  if constexpr (!PathsHaveDrives) return 0;
  const size_t colon = p.find(u':');
  if (colon != UString::npos) return colon + 1 == p.size() ? UString::npos : colon + 1;
  if (p.size() < 2) return 0;
  for (size_t i = 0; i + 1 < p.size(); ++i) {
    if (IsAnySeparator(p[i]) && IsAnySeparator(p[i + 1])) {
      for (size_t j = i + 2; j < p.size(); ++j)
        if (IsAnySeparator(p[j])) return j + 1;
      return i + 2;
    }
  }
  return 0;
}

}  // namespace

UString ResolvePath(const UString& Base, const UString& Name, const UString& CurrentDir) {
  const UString current = CurrentDir.empty() ? CurrentDirectory() : CurrentDir;
  const UString dir = BaseDirectory(Base, current);
  if (HasDriveOrNetworkPrefix(Name)) return Name;
  if (!Name.empty()) {
    if (Name[0] == PathDelim) return FullPath(Name);
    return FullPath(dir + Name);
  }
  if (PathsHaveDrives && Base.find(u':') != UString::npos) return Base;
  if (Base.empty() || IsDirectory(dir)) {
    // Windows: a lone "\" has no drive; the current folder stands for it. On Linux
    // "/" is the root and resolves as itself.
    if (PathsHaveDrives && dir.size() == 1 && dir[0] == PathDelim) return IncludeBackslash(current);
    return FullPath(dir);
  }
  return Base;
}

UString MakeStoredName(const UString& FileName, const UString& BaseDir, TKelStorePathMode Mode,
                       const UString& CurrentDir) {
  const UString base = ResolvePath(BaseDir, UString(), CurrentDir);
  UString p = ResolvePath(base, FileName, CurrentDir);

  if (!p.empty() && IsAnySeparator(p.back())) p.pop_back();
  // Windows drops a trailing dot of a file name; on Linux "name." is another file
  // than "name", and "..." would turn into "..".
  if (PathsHaveDrives && !p.empty() && p.back() == u'.') p.pop_back();

  switch (Mode) {
    case spNoPath:
      p = FileNamePart(p);
      break;
    case spRelativePath: {
      const UString relative = RelativePath(BaseDirectory(base, CurrentDir), p);
      if (relative.find(u"..\\") == UString::npos && relative.find(u"../") == UString::npos)
        p = relative;
      break;
    }
    case spFullPath:
      break;
    case spFullPathWithDrive:
      p = FullPath(p);
      break;
  }

  size_t start = 0;
  if (Mode != spFullPathWithDrive) {
    start = SkipDriveOrServer(p);
    if (start == UString::npos) return {};
    if (start < p.size() && IsAnySeparator(p[start])) ++start;
  }
  return ReplaceText(UStringView(p).substr(start), u"\\", u"/", rfReplaceAll);
}

}  // namespace kelvane
