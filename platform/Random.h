// Randomness from the operating system, for salts and encryption headers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvane {

// Fills Buffer with Count bytes from the system's random source (getrandom;
// BCryptGenRandom with the system's preferred generator on Windows).
// Raises Exception when the source fails, never falls back to a weak one.
void RandomBytes(void* buffer, size_t count);

}  // namespace kelvane
