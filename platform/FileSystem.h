// Files and folders as the engine sees them: paths are UTF-16 with PathDelim.
#pragma once

#include "platform/Types.h"

namespace kelvane {

// The process's current folder, without a trailing separator (except "/").
UString CurrentDirectory();
// Absolute form of Path against the current folder, resolved lexically
// ("." and ".." removed, repeated separators collapsed); the file need not exist.
// A trailing separator of Path is kept.
UString FullPath(const UString& path);

}  // namespace kelvane
