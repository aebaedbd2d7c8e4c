#include "platform/Interrupts.h"

#include <windows.h>

#include <atomic>

namespace kelvane {
namespace {

std::atomic<void (*)()> gOnInterrupt{nullptr};
std::atomic<bool> gInterrupted{false};

// Runs on a thread the system starts for the event. Closing the console,
// logging off and shutting down end the process whatever a handler answers:
// those go to the default handler (a commit is rolled back by its journal).
BOOL WINAPI OnConsoleControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  // A second interrupt goes on to the default handler, which ends the program.
  if (gInterrupted.exchange(true)) return FALSE;
  if (void (*handler)() = gOnInterrupt.load()) handler();
  return TRUE;
}

}  // namespace

struct TInterruptHook::TSaved {};

TInterruptHook::TInterruptHook(void (*onInterrupt)()) {
  gInterrupted = false;
  gOnInterrupt = onInterrupt;
  ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

TInterruptHook::~TInterruptHook() {
  ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  gOnInterrupt = nullptr;
}

}  // namespace kelvane
