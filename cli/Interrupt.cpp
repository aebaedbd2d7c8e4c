#include "cli/Interrupt.h"

#include <atomic>

namespace kelvane::cli {
namespace {

// Lock-free, so a signal handler or the console's control thread may set it.
std::atomic<bool> gInterrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void OnInterrupt() {
  gInterrupted = true;
}

// Cleared before the hook is set, so that no interrupt of this scope is lost.
void (*Armed())() {
  gInterrupted = false;
  return OnInterrupt;
}

}  // namespace

TInterruptScope::TInterruptScope() : FHook(Armed()) {}

bool Interrupted() {
  return gInterrupted;
}

}  // namespace kelvane::cli
