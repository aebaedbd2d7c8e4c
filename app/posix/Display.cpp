#include <cstdlib>

#include "app/SFXStub.h"

namespace kelvane {
namespace {

bool NonEmptyEnv(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

}  // namespace

bool HasDisplayEnvironment() {
  return NonEmptyEnv("DISPLAY") || NonEmptyEnv("WAYLAND_DISPLAY");
}

}  // namespace kelvane
