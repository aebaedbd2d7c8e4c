// The hash of names in the name indexes.
#pragma once

#include <cstdint>

#include "platform/Types.h"

namespace kelvane {

// A keyed hash (SipHash-1-3) of the UTF-16 code units, its key drawn from the
// system's random source once per process: equal keys hash alike in every
// table of the process, and an archive cannot pick names that collide. Raises
// Exception only when the random source fails on first use.
uint32_t KeyedHash(UStringView Key);

}  // namespace kelvane
