// Splitting and joining disk paths. Disk paths use PathDelim; the split functions
// also split at ':' where paths have drives (names/PathDrive.h). '/' is never a
// delimiter on Windows; stored names ("/" separators) are not disk paths.
// None of these touch the file system.
#pragma once

#include "platform/Types.h"

namespace kelvane {

// Path with PathDelim appended unless it already ends with one; "" gives PathDelim.
UString IncludeBackslash(UStringView Path);
// Path without its last character when that is PathDelim; "" stays "".
UString ExcludeBackslash(UStringView Path);
// IncludeBackslash(A), or IncludeBackslash(B) when A is empty.
UString BaseDirectory(UStringView A, UStringView B);

// The text after the last delimiter (all of Path when there is none).
UString FileNamePart(UStringView Path);
// The text up to and including the last delimiter ("" when there is none).
UString DirectoryPart(UStringView Path);
// The text from the last '.' when it follows the last delimiter, else "".
UString ExtensionPart(UStringView Path);

// Dest relative to the folder Base (which ends with PathDelim): the leading folders
// both share are removed and ".." + PathDelim is put in front once for every
// remaining folder of Base. Dest unchanged when the drive parts differ. Folder names
// compare as SameFileName does.
UString RelativePath(UStringView Base, UStringView Dest);

}  // namespace kelvane
