// Ctrl-C and SIGTERM while an operation runs: the first one asks the operation
// to stop at its next progress report, a second one ends the program at once.
#pragma once

#include <csignal>

namespace kelvane::cli {

// Catches SIGINT and SIGTERM for the life of the object and clears the flag
// that Interrupted() reads.
class TInterruptScope {
 public:
  TInterruptScope();
  ~TInterruptScope();
  TInterruptScope(const TInterruptScope&) = delete;
  TInterruptScope& operator=(const TInterruptScope&) = delete;

 private:
  struct sigaction FOldInt {};
  struct sigaction FOldTerm {};
};

// Whether a signal came since the last scope began.
bool Interrupted();

}  // namespace kelvane::cli
