// The seam in front of the kernel's range copy that CopyFileRange makes, so
// that tests can see its fallback to reads and writes and its handling of
// short copies on any kernel and file system.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvane {

// Copies up to Count bytes from SourceAt of Source to DestAt of Dest as
// copy_file_range does: returns the bytes copied (0 at the end of Source), or
// -1 with errno set.
using TRangeCopyCall = int64_t (*)(int source, int64_t sourceAt, int dest, int64_t destAt,
                                   size_t count);

// Installs Call for the whole process (null restores the kernel's). Not for
// production code: tests only.
void SetRangeCopyCall(TRangeCopyCall call);

}  // namespace kelvane
