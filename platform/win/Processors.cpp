#include "platform/Processors.h"

#include <windows.h>

#include <bit>
#include <cstdint>

namespace kelvane {

unsigned ProcessorsAvailable() {
  // The affinity mask covers the process's processor group; a process that
  // spans no more than one group (the default) runs on exactly these.
  DWORD_PTR process = 0, system = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0)
    return static_cast<unsigned>(std::popcount(static_cast<uint64_t>(process)));
  const DWORD active = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
  return active > 0 ? active : 1;
}

}  // namespace kelvane
