// What a path on the command line of add, update or move stands for: the file
// or folder on the disk, and the stored name it gets, which is the path as
// given, made relative (its root — "/", or on Windows a drive "X:" or a network
// share "\\server\share" — and its leading ".." parts dropped).
#pragma once

#include <string>

#include "names/PathDrive.h"
#include "platform/Types.h"

namespace kelvane::cli {

struct TSourcePath {
  std::string Given;        // as on the command line
  UString Path;             // absolute, resolved lexically ("." and ".." taken out)
  UString Base;             // the folder the stored name is relative to: Path = Base/Stored
  UString Stored;           // the stored name ("/" separators); empty for Base itself
  bool BaseIsRoot = false;  // Base is the root of its file system, drive or share
  bool Wildcards = false;   // "*" or "?" in the last part: a mask for the engine
};

// Plans Given against Folder (absolute; the current folder, or -C DIR).
// Drives: paths as on Windows ("\" and "/" separate, drive and share roots,
// "\" joins); otherwise as on Linux. The system's own style is the default.
TSourcePath PlanSource(const std::string& given, const UString& folder,
                       bool drives = PathsHaveDrives);

// What is at Path: 'd' a folder to enter (a link to one only when
// FollowLinks), 'f' anything else that exists, 0 nothing.
char SourceKind(const UString& path, bool followLinks);

}  // namespace kelvane::cli
