// The native error number a call raises, for tests of the engine's errors.
#pragma once

#include <functional>

#include "container/KelExcept.h"

namespace kelvane::test {

// 0 when Call raises nothing; other exceptions pass through.
inline int NativeErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const EKelException& e) {
    return e.NativeError;
  }
  return 0;
}

}  // namespace kelvane::test
