// UTF-8 <-> UTF-16 conversion at the operating-system and front-end boundary.
#pragma once

#include "platform/Types.h"

namespace kelvane {

// Ill-formed input never fails: an unpaired surrogate or a bad UTF-8 sequence
// becomes U+FFFD, so a message or path can always be shown.
std::string ToUtf8(UStringView s);
UString FromUtf8(std::string_view s);

// Strict check used where the result decides how bytes are interpreted.
bool IsWellFormedUtf8(std::string_view s);

// Shorthand for building UTF-16 text from ASCII/UTF-8 literals in messages.
inline UString U(std::string_view s) {
  return FromUtf8(s);
}

}  // namespace kelvane
