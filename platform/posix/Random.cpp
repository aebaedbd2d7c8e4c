#include "platform/Random.h"

#include <sys/random.h>

#include <cerrno>

#include "platform/Exception.h"

namespace kelvane {

void RandomBytes(void* buffer, size_t count) {
  auto* p = static_cast<uint8_t*>(buffer);
  while (count > 0) {
    const ssize_t n = ::getrandom(p, count, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw Exception("The system's random source failed");
    }
    p += n;
    count -= static_cast<size_t>(n);
  }
}

}  // namespace kelvane
