// Program start of the self-extractor: reads the command line and runs the
// dialog (in a window when one can be shown, else in the terminal) or one of
// the batch modes. Both binaries start here; only the GUI one has a window.
#pragma once

#include <optional>

#include "app/SFXArgs.h"
#include "app/SFXBatch.h"

namespace kelvane {

// Runs the dialog in a window and returns the exit status; nothing when no
// window can be shown after all (the display cannot be opened), and then the
// terminal is used.
using TWindowDialog = std::optional<int> (*)(const TSFXRun& run, const TSFXArgs& args);

// The whole program; Window is null for the terminal-only stub. Returns the
// exit status (TSFXExitStatus).
int SFXStub(int argc, char** argv, TWindowDialog window);

// Whether a window can be seen: on Linux the environment names a display
// (DISPLAY or WAYLAND_DISPLAY set and not empty); on Windows the process's
// window station is visible (not a service's).
bool HasDisplayEnvironment();

// The dialog in the terminal. Without a terminal on standard input nobody
// could answer it: says so on standard error and ends as if "Salir" was chosen.
int RunTerminalDialog(const TSFXRun& run, const TSFXArgs& args);

}  // namespace kelvane
