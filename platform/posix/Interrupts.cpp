#include "platform/Interrupts.h"

#include <csignal>

namespace kelvane {
namespace {

void (*gOnInterrupt)() = nullptr;

void OnSignal(int) {
  if (gOnInterrupt) gOnInterrupt();
}

}  // namespace

struct TInterruptHook::TSaved {
  struct sigaction Int {};
  struct sigaction Term {};
};

TInterruptHook::TInterruptHook(void (*onInterrupt)()) : FSaved(std::make_unique<TSaved>()) {
  gOnInterrupt = onInterrupt;
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESETHAND;  // no SA_RESTART: a question waiting for input gives up
  sigaction(SIGINT, &sa, &FSaved->Int);
  sigaction(SIGTERM, &sa, &FSaved->Term);
}

TInterruptHook::~TInterruptHook() {
  sigaction(SIGINT, &FSaved->Int, nullptr);
  sigaction(SIGTERM, &FSaved->Term, nullptr);
}

}  // namespace kelvane
