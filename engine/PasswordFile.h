// A password handed over without a terminal and without the process list.
#pragma once

#include <string>

#include "platform/Types.h"

namespace kelvane {

// The first line of the file Path ("-": standard input), without its line end
// (LF or CR LF). When the input is a terminal, what is typed is not echoed.
// The bytes are taken as they are (the engine compares them unconverted).
// Raises Exception naming the file when it cannot be read; a file without any
// line (empty) raises too, since an empty password is never meant.
AnsiString ReadPasswordFile(const std::string& path);

}  // namespace kelvane
