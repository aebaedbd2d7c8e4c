// Ctrl-C (and SIGTERM on Linux, Ctrl-Break on Windows) while a long operation
// runs: the first one is handed to the program, a second one ends it the
// system's way.
#pragma once

#include <memory>

namespace kelvane {

class TInterruptHook {
 public:
  // Calls OnInterrupt at the first interrupt for as long as the object lives.
  // OnInterrupt may only set a flag: on Linux it runs in a signal handler, on
  // Windows on a thread of its own. A question waiting for input is not
  // resumed on Linux (no restart of the read), so it can give up.
  explicit TInterruptHook(void (*onInterrupt)());
  ~TInterruptHook();
  TInterruptHook(const TInterruptHook&) = delete;
  TInterruptHook& operator=(const TInterruptHook&) = delete;

 private:
  struct TSaved;
  std::unique_ptr<TSaved> FSaved;
};

}  // namespace kelvane
