#include "platform/Random.h"

#include <windows.h>
// after windows.h
#include <bcrypt.h>

#include <algorithm>

#include "platform/Exception.h"

namespace kelvane {

void RandomBytes(void* buffer, size_t count) {
  auto* p = static_cast<uint8_t*>(buffer);
  while (count > 0) {
    const ULONG step = static_cast<ULONG>(std::min<size_t>(count, 1u << 30));
    if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, p, step, BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
      throw Exception("The system's random source failed");
    p += step;
    count -= step;
  }
}

}  // namespace kelvane
