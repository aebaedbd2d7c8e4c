// Disk paths as seen from a base folder, and the names files are stored under.
#pragma once

#include "names/StorePathMode.h"
#include "platform/Types.h"

namespace kelvane {

// An absolute disk path for Name as seen from the folder Base. An empty CurrentDir
// means the process's current folder; an empty Base means CurrentDir.
// - A Name with a drive or network prefix is returned unchanged (Windows only).
// - A non-empty Name: FullPath(Name) when it begins with PathDelim, otherwise
//   FullPath(BaseDirectory(Base, CurrentDir) + Name).
// - An empty Name names the base folder itself: FullPath of it (with a trailing
//   PathDelim) when Base is empty or an existing folder; Base unchanged otherwise,
//   and also when Base has a drive (Windows).
// Only an empty Name asks the file system (whether Base is a folder). Raises nothing.
UString ResolvePath(const UString& Base, const UString& Name, const UString& CurrentDir);

// The stored name of the file or folder FileName being added, with "/" separators
// and no leading separator or trailing "/" (callers append it for folders):
// - spNoPath: the file name alone;
// - spRelativePath: the path relative to BaseDir, or the full path when the file
//   lies outside BaseDir;
// - spFullPath: the full path without drive, network server or leading separator;
// - spFullPathWithDrive: the full path as it is (on Linux it begins with "/").
// Relative FileName and BaseDir resolve as ResolvePath does. A bare drive gives "".
// Raises nothing.
UString MakeStoredName(const UString& FileName, const UString& BaseDir, TKelStorePathMode Mode,
                       const UString& CurrentDir);

}  // namespace kelvane
