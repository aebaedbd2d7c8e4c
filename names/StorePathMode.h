// How much of a file's path goes into the name it is stored under.
#pragma once

#include <cstdint>

namespace kelvane {

enum TKelStorePathMode : uint8_t {
  spNoPath,             // the file name only
  spRelativePath,       // the path relative to the base folder
  spFullPath,           // the full path without its drive
  spFullPathWithDrive,  // the full path with its drive (on Linux: with its leading "/")
};

}  // namespace kelvane
