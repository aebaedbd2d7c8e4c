#include "platform/Clock.h"

#include <windows.h>

#include <algorithm>

namespace kelvane {

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

// One clock for both: the performance counter counts from boot too, and
// GetTickCount64 only moves every 10-16 ms.
uint64_t TickCount() {
  return static_cast<uint64_t>(PerformanceCounter() /
                               std::max<int64_t>(1, PerformanceFrequency() / 1000));
}

}  // namespace kelvane
