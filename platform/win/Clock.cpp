#include "platform/Clock.h"

#include <windows.h>

namespace kelvane {

uint64_t TickCount() {
  return GetTickCount64();
}

int64_t PerformanceCounter() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

int64_t PerformanceFrequency() {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return frequency.QuadPart;
}

}  // namespace kelvane
