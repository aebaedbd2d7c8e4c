#include <windows.h>

#include "app/SFXStub.h"

namespace kelvane {

// A service or a session without a desktop has no visible window station:
// a window there would wait for a click nobody can give.
bool HasDisplayEnvironment() {
  HWINSTA station = GetProcessWindowStation();
  USEROBJECTFLAGS flags{};
  if (!station || !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr))
    return true;
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace kelvane
