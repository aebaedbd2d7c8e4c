// The running program's own file, and making a file runnable.
#pragma once

#include "platform/Types.h"

namespace kelvane {

// The full path of the running program's file (PathDelim separators); empty
// when the system does not say.
UString ProgramFilePath();

// Lets whoever may read the file at Path also run it. On Windows the name's
// extension decides what runs: nothing to do, the answer is true when Path is
// a file. False when Path is missing or the system refuses.
bool AllowRunning(const UString& path);

}  // namespace kelvane
