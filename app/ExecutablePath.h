// Where the running program's file is: the stub reads itself as the archive.
#pragma once

#include <string>

#include "platform/Types.h"

namespace kelvane {

// The full path of the running executable as the system reports it
// (/proc/self/exe). Without /proc: Argv0 made absolute when it names a path
// (contains a separator), else the empty text, which the engine refuses with
// its own error when the archive is opened.
UString ExecutablePath(const std::string& argv0);

}  // namespace kelvane
