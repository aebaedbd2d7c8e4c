// The wildcard masks with which item searches and file gathering select names.
#pragma once

#include "platform/Types.h"

namespace kelvane {

// Whether Name matches Mask, both read up to their first zero character.
//   "*"  any run of characters, "/" and the path separator included, but a "*"
//        followed by more mask never matches at the very end of the name (a
//        matches a* but not a**);
//   "?"  any one character;
//   the whole mask "*.*" matches everything; otherwise "." is ordinary.
// With IgnoreCase only A-Z and a-z are taken as equal. Time is bounded by
// length(Name) x length(Mask), whatever the number of "*".
bool WildcardMatch(UStringView Name, UStringView Mask, bool IgnoreCase);

// The engine's mask rules on top of WildcardMatch (case ignored for A-Z):
// an empty mask matches nothing; the first "*.*" of the mask stands for "*";
// a trailing "." of the name is ignored; a mask ending with "." selects only
// names without an extension (so "*." picks README but not a.txt).
bool MatchesMask(UStringView Name, UStringView Mask);

}  // namespace kelvane
