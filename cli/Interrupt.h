// Ctrl-C (and SIGTERM or Ctrl-Break) while an operation runs: the first one
// asks the operation to stop at its next progress report, a second one ends
// the program at once.
#pragma once

#include "platform/Interrupts.h"

namespace kelvane::cli {

// Catches interrupts for the life of the object and clears the flag that
// Interrupted() reads.
class TInterruptScope {
 public:
  TInterruptScope();
  TInterruptScope(const TInterruptScope&) = delete;
  TInterruptScope& operator=(const TInterruptScope&) = delete;

 private:
  TInterruptHook FHook;
};

// Whether an interrupt came since the last scope began.
bool Interrupted();

}  // namespace kelvane::cli
