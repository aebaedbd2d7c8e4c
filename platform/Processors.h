// How many processors this process may run on.
#pragma once

namespace kelvane {

// The processors the process is allowed to use (its affinity mask, so that
// taskset and container CPU sets are respected); at least 1. Windows: the
// process's affinity mask (its processor group).
unsigned ProcessorsAvailable();

}  // namespace kelvane
