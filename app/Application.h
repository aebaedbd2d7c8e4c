// What the application does with an error that reaches its loop: the dialog's
// handlers catch nothing, so this is where the user sees what went wrong.
#pragma once

#include <exception>
#include <functional>

#include "platform/Dialogs.h"

namespace kelvane {

// The text the error box shows: the message, with a period appended when its
// last character has a higher code than the period (so "... 00035" ends with a
// period and "... failed." or "(x)" keep their end). An empty message stays empty.
UString ErrorDisplayText(const UString& message);

// The message of an exception: Exception's own text, what() of any other
// standard exception, or a fixed text for anything else.
UString ExceptionMessage(const std::exception_ptr& error);

// Shows Error as the application's error box: the display text, error icon, OK
// only, titled with the application's title; through the current TDialogs.
void ShowException(const std::exception_ptr& error);

// Runs a handler as the application's loop does: an error it lets through is
// shown with ShowException and does not end the program. False when an error
// was shown.
bool RunHandler(const std::function<void()>& handler);

}  // namespace kelvane
