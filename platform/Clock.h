// Monotonic time for seeding and measuring, never the wall clock.
#pragma once

#include <cstdint>

namespace kelvane {

// Milliseconds since an arbitrary fixed point (boot); never goes backwards.
uint64_t TickCount();
// A high-resolution count that never goes backwards, PerformanceFrequency()
// units per second.
int64_t PerformanceCounter();
int64_t PerformanceFrequency();

}  // namespace kelvane
