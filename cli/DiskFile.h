// Whole files on the disk as the tool reads them, through the engine's file
// streams (UTF-16 paths on every system).
#pragma once

#include <cstdint>
#include <string>

#include "platform/Types.h"

namespace kelvane::cli {

// The size in bytes of the file at Path; -1 when it is missing, a folder or
// cannot be opened for reading.
int64_t DiskFileSize(const UString& path);

// All bytes of the file at Path (UTF-8). Raises std::runtime_error
// "PATH: cannot be read".
std::string ReadDiskFile(const std::string& path);

}  // namespace kelvane::cli
