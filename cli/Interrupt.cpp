#include "cli/Interrupt.h"

namespace kelvane::cli {
namespace {

volatile std::sig_atomic_t gInterrupted = 0;

void OnSignal(int) {
  gInterrupted = 1;
}

}  // namespace

TInterruptScope::TInterruptScope() {
  gInterrupted = 0;
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESETHAND;  // no SA_RESTART: a question waiting for input gives up
  sigaction(SIGINT, &sa, &FOldInt);
  sigaction(SIGTERM, &sa, &FOldTerm);
}

TInterruptScope::~TInterruptScope() {
  sigaction(SIGINT, &FOldInt, nullptr);
  sigaction(SIGTERM, &FOldTerm, nullptr);
}

bool Interrupted() {
  return gInterrupted != 0;
}

}  // namespace kelvane::cli
