// printf-like formatting of UTF-16 text with typed arguments (%s, %d, %u, %x, %%,
// with an optional '-' flag and width), as message tables need.
#pragma once

#include <initializer_list>
#include <variant>

#include "platform/Types.h"

namespace kelvane {

using TFormatArg = std::variant<UString, int64_t>;

// A placeholder without a matching argument, or of the wrong kind, raises
// EConvertError rather than reading past the arguments.
UString Format(UStringView fmt, std::initializer_list<TFormatArg> args);
UString Format(UStringView fmt, const std::vector<TFormatArg>& args);

}  // namespace kelvane
