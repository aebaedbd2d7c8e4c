// The name patterns of folder listings, the same on every system.
#pragma once

#include "platform/Types.h"

namespace kelvane {

// Name matches Mask: "*" any run of characters, "?" any one character, ASCII
// letters in either case; a final ".*" also matches a name without an
// extension. A mask without wildcards matches only the same name.
bool NameMatches(UStringView name, UStringView mask);

}  // namespace kelvane
