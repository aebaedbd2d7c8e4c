#include "platform/FileLayerProbe.h"

namespace kelvane {

TFileLayerProbe GFileLayerProbe = nullptr;

void SetFileLayerProbe(TFileLayerProbe probe) {
  GFileLayerProbe = probe;
}

}  // namespace kelvane
