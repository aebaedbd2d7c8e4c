#include "engine/KelOptions.h"

namespace kelvane {

void TKelOptions::Assign(const TPersistent& source) {
  if (auto* other = dynamic_cast<const TKelOptions*>(&source)) {
    FStorePath = other->FStorePath;
    FRecurse = other->FRecurse;
    FOverwriteMode = other->FOverwriteMode;
    FCreateDirs = other->FCreateDirs;
    FReplaceReadOnly = other->FReplaceReadOnly;
    FSetAttributes = other->FSetAttributes;
    FSearchAttr = other->FSearchAttr;
    FFlushBuffers = other->FFlushBuffers;
    FOEMFileNames = other->FOEMFileNames;
    FFollowLinks = other->FFollowLinks;
    return;
  }
  TPersistent::Assign(source);
}

}  // namespace kelvane
