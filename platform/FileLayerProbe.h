// A seam in front of every call that changes what is on disk, so that tests
// can stop a process, or fail the call as a full disk would, at the k-th such
// call and then check that nothing was lost. Without a probe it costs a load
// and a branch.
#pragma once

#include <cstdint>

namespace kelvane {

enum TFileLayerCall : uint8_t {
  flcCreate,  // a file created or emptied
  flcWrite,
  flcCut,    // a file's size changed
  flcFlush,  // data or a folder's names pushed to the medium
  flcRemove,
  flcRename,
};

// Answers false to make the call fail as on a full disk: a write then stores
// nothing (a short count), the other calls fail with the system's ENOSPC.
using TFileLayerProbe = bool (*)(TFileLayerCall call);

// Installs Probe for the whole process (null removes it). Not for production
// code: tests only.
void SetFileLayerProbe(TFileLayerProbe probe);

extern TFileLayerProbe GFileLayerProbe;

// True when the call may go ahead.
inline bool FileLayerStep(TFileLayerCall call) {
  return GFileLayerProbe == nullptr || GFileLayerProbe(call);
}

}  // namespace kelvane
