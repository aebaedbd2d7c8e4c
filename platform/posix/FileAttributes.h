// Attribute words from the system's file status (shared by the queries and the
// folder listing, so both report the same bits).
#pragma once

#include <sys/stat.h>

#include <string_view>

#include "platform/FileSystem.h"

namespace kelvane {

// True for a name that begins with "." other than "." and "..".
bool IsHiddenName(std::string_view name);
// The attribute word of a file with status St and last path component Name.
int32_t AttributesOf(const struct stat& st, std::string_view name);
// The last component of a native path, trailing separators ignored.
std::string_view LastComponent(std::string_view nativePath);

}  // namespace kelvane
