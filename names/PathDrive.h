// The parts of path handling that exist only where paths carry drives ("X:") and
// network prefixes ("\\server\share"): a Windows build. On Linux a path is absolute
// when it begins with "/", ':' is an ordinary character and file names compare
// exactly, so these answer "no drive" and the algorithms built on them take their
// drive-free branch.
#pragma once

#include "platform/Types.h"

namespace kelvane {

#ifdef _WIN32
inline constexpr bool PathsHaveDrives = true;
#else
inline constexpr bool PathsHaveDrives = false;
#endif

// "X:" when the second character is ':', or "\\server\share" for a network path,
// else empty. Always empty on Linux.
UString DrivePart(UStringView path);
// A character that splits a disk path: PathDelim, and ':' where paths have drives.
// '/' is not one on Windows (it is PathDelim on Linux).
bool IsPathDelimiter(char16_t c);
// Whether two path components name the same thing on this file system: ASCII
// letters without regard to case on Windows, exactly on Linux.
bool SameFileName(UStringView a, UStringView b);

}  // namespace kelvane
