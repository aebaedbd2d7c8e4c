// The extraction dialog in an FLTK window.
#pragma once

#include <optional>

#include "app/SFXArgs.h"
#include "app/SFXBatch.h"

namespace kelvane {

// Opens the display, makes the FLTK boxes the current TDialogs provider, shows
// the dialog and runs the loop until it closes; returns the exit status. Nothing
// when the display cannot be opened (the caller falls back to the terminal).
// With Args.DescribeWindow, the window's description (TFltkForm1View::Describe)
// goes to standard output once it is shown.
std::optional<int> RunFltkDialog(const TSFXRun& run, const TSFXArgs& args);

}  // namespace kelvane
