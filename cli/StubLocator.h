// Where the self-extractor stubs are: next to the running tool (an installed
// tool has them in the same folder), in app/ beside the tool's cli/ folder (a
// build tree), or, on Linux, in the folder the build was configured to install
// into.
#pragma once

#include <string>

namespace kelvane::cli {

// The stub that Kind names: "gui" (kelvane-sfx, the dialog), "console"
// (kelvane-sfx-cli), each with ".exe" on Windows, or any other word as the
// path of a stub file. Raises
// std::runtime_error naming the places it looked when there is none.
std::string FindStub(const std::string& kind);

}  // namespace kelvane::cli
