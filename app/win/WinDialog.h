// The extraction dialog in a Win32 window.
#pragma once

#include <optional>

#include "app/SFXArgs.h"
#include "app/SFXBatch.h"

namespace kelvane {

// Makes the native boxes the current TDialogs provider, shows the dialog and
// runs the message loop until it closes; returns the exit status. With
// Args.DescribeWindow, the window's description (TWinForm1View::Describe)
// goes to standard output once it is shown, and so does every box.
std::optional<int> RunWinDialog(const TSFXRun& run, const TSFXArgs& args);

}  // namespace kelvane
