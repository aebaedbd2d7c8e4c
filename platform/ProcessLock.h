// The one lock shared by every archiver of the process: held for a whole run of
// an item driver (extract, test, delete, update) and of gathering files to add.
// It is re-entrant, so an event handler may call back into a component on the
// thread that holds it; another thread waits until the run ends.
#pragma once

#include <mutex>

namespace kelvane {

std::recursive_mutex& ProcessLock();

// Holds ProcessLock() from construction to destruction.
class TProcessLockGuard {
 public:
  TProcessLockGuard() : FGuard(ProcessLock()) {}
  TProcessLockGuard(const TProcessLockGuard&) = delete;
  TProcessLockGuard& operator=(const TProcessLockGuard&) = delete;

 private:
  std::lock_guard<std::recursive_mutex> FGuard;
};

}  // namespace kelvane
