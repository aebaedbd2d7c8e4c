// The option set of one archiver.
#pragma once

#include "engine/KelTypes.h"
#include "names/StorePathMode.h"
#include "platform/Component.h"

namespace kelvane {

class TKelOptions : public TPersistent {
 public:
  // Every option at its default (see the fields).
  TKelOptions() = default;

  // From another TKelOptions copies every option except ShareMode, which keeps
  // its value; anything else raises EConvertError (TPersistent).
  void Assign(const TPersistent& source) override;
  const char* ClassName() const override { return "TKelOptions"; }

  // How much of a file's path is stored when adding; with spFullPathWithDrive a
  // mask keeps its drive when searching.
  TKelStorePathMode StorePath() const { return FStorePath; }
  void SetStorePath(TKelStorePathMode value) { FStorePath = value; }
  // Searches look into every folder; adding recurses into subfolders.
  bool Recurse() const { return FRecurse; }
  void SetRecurse(bool value) { FRecurse = value; }
  // Sharing with which source files are opened when added files are stored.
  TKelFileShareMode ShareMode() const { return FShareMode; }
  void SetShareMode(TKelFileShareMode value) { FShareMode = value; }
  // What to do when a destination file exists.
  TKelOverwriteMode OverwriteMode() const { return FOverwriteMode; }
  void SetOverwriteMode(TKelOverwriteMode value) { FOverwriteMode = value; }
  // Recreate stored folders when extracting.
  bool CreateDirs() const { return FCreateDirs; }
  void SetCreateDirs(bool value) { FCreateDirs = value; }
  // Existing read-only files may be replaced.
  bool ReplaceReadOnly() const { return FReplaceReadOnly; }
  void SetReplaceReadOnly(bool value) { FReplaceReadOnly = value; }
  // Give extracted files their stored attributes (the option is named
  // SetAttributes, hence the doubled prefix of its setter).
  bool SetAttributes() const { return FSetAttributes; }
  void SetSetAttributes(bool value) { FSetAttributes = value; }
  // Attribute mask of the operations called without arguments.
  int32_t SearchAttr() const { return FSearchAttr; }
  void SetSearchAttr(int32_t value) { FSearchAttr = value; }
  // Flush files on removable drives before closing them.
  bool FlushBuffers() const { return FFlushBuffers; }
  void SetFlushBuffers(bool value) { FFlushBuffers = value; }
  // Stored names are converted between the OEM and the ANSI code page.
  bool OEMFileNames() const { return FOEMFileNames; }
  void SetOEMFileNames(bool value) { FOEMFileNames = value; }
  // A symbolic link found when adding stores the file or folder it leads to;
  // by default the link itself is stored (its target as its data), as Unix
  // tools do. A link that leads nowhere is always stored as a link.
  bool FollowLinks() const { return FFollowLinks; }
  void SetFollowLinks(bool value) { FFollowLinks = value; }

 private:
  TKelStorePathMode FStorePath = spRelativePath;
  bool FRecurse = true;
  TKelFileShareMode FShareMode = smShareDenyNone;
  TKelOverwriteMode FOverwriteMode = omAlways;
  bool FCreateDirs = true;
  bool FReplaceReadOnly = true;
  bool FSetAttributes = true;
  int32_t FSearchAttr = KelAllItemsAttr;
  bool FFlushBuffers = true;
  bool FOEMFileNames = true;
  bool FFollowLinks = false;
};

}  // namespace kelvane
