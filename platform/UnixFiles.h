// What Unix tools keep of a file beside its data: its mode, its time in UTC
// and, for a symbolic link, the target. Paths are UTF-16 with PathDelim, as in
// FileSystem.h; every function answers with the system's result and raises
// nothing.
//
// Windows keeps no Unix modes and this program makes no links there: entries
// get the mode a Unix tool would show (0755 folders, 0644 files, without the
// write bits when read-only, 0777 links), the identity is the volume serial and
// file index, SetHandleMode does nothing and answers true for an open file,
// CreateSymbolicLink and SetLinkUnixTime answer false.
#pragma once

#include <cstdint>

#include "platform/Types.h"

namespace kelvane {

// What a file or folder is, whatever path leads to it: a walk that follows
// links compares the folders it enters with those it is already in, so that a
// link back to one of them cannot make it loop.
struct TFileId {
  uint64_t Device = 0;
  uint64_t Inode = 0;
  bool operator==(const TFileId&) const = default;
};

struct TDiskEntry {
  uint32_t Mode = 0;        // file type and permission bits (st_mode)
  int64_t MTime = 0;        // last write, seconds since 1970-01-01 UTC
  int64_t Size = 0;         // bytes of a regular file; the target's length for a link
  bool IsLink = false;      // the entry described is a symbolic link itself
  AnsiString LinkTarget;    // a link's target, bytes as the system holds them
  TFileId Id;               // what the entry describes
  int32_t Attributes = -1;  // the attribute word (FileSystem.h) of what is described; -1 for a link
};

// Describes Path: the link itself when Path is a symbolic link, or with
// FollowLinks what it leads to (a link that leads nowhere is still described
// as itself). False when nothing is at Path or a link's target cannot be read.
bool ReadDiskEntry(const UString& path, bool followLinks, TDiskEntry& entry);

// The identity of what Path leads to (links followed); false when nothing is
// there.
bool FileIdentity(const UString& path, TFileId& id);

// A symbolic link is at Path (not followed). Windows: any reparse point
// (symbolic link, junction, mount point), so nothing is written through one.
bool IsSymbolicLink(const UString& path);

// Sets the permission bits of the file behind Handle to Mode & 0777: setuid,
// setgid and sticky are never given.
bool SetHandleMode(int handle, uint32_t mode);
// Sets the last-write time of the file behind Handle (seconds since 1970 UTC);
// the access time is kept.
bool SetHandleUnixTime(int handle, int64_t time);

// Creates a symbolic link at Path that leads to Target. Never replaces or
// follows anything at Path: false when something is there.
bool CreateSymbolicLink(const AnsiString& target, const UString& path);
// Sets the last-write time of the link at Path itself, not of what it leads to.
bool SetLinkUnixTime(const UString& path, int64_t time);

}  // namespace kelvane
