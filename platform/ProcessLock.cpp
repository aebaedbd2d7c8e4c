#include "platform/ProcessLock.h"

namespace kelvane {

std::recursive_mutex& ProcessLock() {
  static std::recursive_mutex lock;
  return lock;
}

}  // namespace kelvane
