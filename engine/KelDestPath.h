// Where an extracted item may land. Stored names come from the archive and are
// hostile: nothing in one may reach outside the destination folder.
#pragma once

#include <string_view>

#include "names/PathDrive.h"
#include "platform/Types.h"

namespace kelvane {

// The relative disk path (PathDelim separators) below the destination folder
// for a stored item name, which may use "/" or "\" (both are separators here,
// as archives written on Windows by other tools hold "\"):
// - the name ends at its first U+0000 (the directory keeps zero bytes so that
//   the name is written back unchanged; no file name can hold one);
// - leading separators, a network prefix ("\\server\share\" or "//server/share/")
//   and a drive prefix ("C:", also "C:name") of the first component are dropped;
// - empty, "." and ".." components are dropped (so "a/../../x" gives "a/x");
// - with WindowsRules (the default where disk paths have drives) every
//   component is made a Windows name of its own (names/WindowsNames.h): ":"
//   and the other refused characters become "_" (a ":" would name a drive or a
//   data stream), trailing dots and spaces become "_", and a device name such
//   as "CON" or "nul.txt" gets "_" in front;
// - a trailing separator (a folder item) is kept when anything remains.
// The result never begins with a separator and holds no ".." component; it is
// empty when nothing of the name remains, and such an item is not written.
UString SafeRelativeName(UStringView StoredName, bool WindowsRules = PathsHaveDrives);

// Whether FileName, as an OnExtractFile handler returned it, is a full path that
// replaces the destination folder: on Linux one that begins with PathDelim;
// where paths have drives, one that holds ":" or two backslashes anywhere.
bool IsFullDiskPath(UStringView FileName);

// What lies at Folder + Relative, seen without following links (on Windows
// every reparse point counts as a link: a junction or a mount point leads out
// as a symbolic link does). The folder
// components of Relative are all of them when it ends with a separator, else
// all but the last, which is then the target.
struct TDestPathState {
  // The first path Folder + c1 + PathDelim + ... + ck that is a symbolic link;
  // empty when none is. Components that do not exist end the walk: what is
  // created below them cannot be a link. Folder itself is the caller's choice
  // and is not examined.
  UString Link;
  bool LinkIsFolder = false;  // Link is one of the folder components
  // Every folder component exists as a folder; false when there are none,
  // as Folder itself is not examined.
  bool FoldersExist = false;
  bool TargetExists = false;  // something other than a folder is at the target
};
TDestPathState ExamineDestPath(const UString& Folder, UStringView Relative);

// Whether a symbolic link created at LinkPath with Target would lead to a place
// inside the folder Root (or Root itself), however the links already there or
// made later by the same extraction are set:
// - Target must be relative and hold no NUL;
// - ".." may only climb through folders that exist as folders, not links (a
//   link or a name that does not exist yet may become a link elsewhere);
// - links that Target passes through and that exist now must lead inside Root.
// The links this engine creates all obey this, so a chain of them stays inside.
// False also when Root or the folder of LinkPath cannot be resolved, or that
// folder is not inside Root.
bool LinkStaysInside(const UString& Root, const UString& LinkPath, std::string_view Target);

}  // namespace kelvane
