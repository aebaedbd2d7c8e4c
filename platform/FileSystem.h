// Files and folders as the engine sees them: paths are UTF-16 with PathDelim.
//
// Every function answers with the system's result and raises nothing of its
// own, except CreateDirectories on an empty path. Attributes use the DOS
// attribute word (constants below); on Linux they are derived from the file
// type, the owner's write bit and a leading "." of the name, on Windows they
// are the file's own attributes. A path that contains a NUL character names no
// file: every function fails on it as on a missing file.
//
// Windows: paths may use "\" or "/"; a path too long for the classic 260
// characters is handed to the system with the "\?" prefix, so no length
// limit applies in this layer (the engine keeps the limits the description
// has for names).
#pragma once

#include <memory>

#include "platform/Types.h"

namespace kelvane {

inline constexpr int32_t faReadOnly = 0x01;
inline constexpr int32_t faHidden = 0x02;
inline constexpr int32_t faSysFile = 0x04;
inline constexpr int32_t faVolumeID = 0x08;
inline constexpr int32_t faDirectory = 0x10;
inline constexpr int32_t faArchive = 0x20;
inline constexpr int32_t faAnyFile = 0x3F;

// The process's current folder, without a trailing separator (except "/",
// or a drive's root such as "C:\" on Windows).
UString CurrentDirectory();
// Absolute form of Path against the current folder, resolved lexically
// ("." and ".." removed, repeated separators collapsed); the file need not exist.
// A trailing separator of Path is kept. Windows: the system's GetFullPathNameW,
// which also takes a drive's own current folder ("D:x") and turns "/" into "\".
UString FullPath(const UString& path);

// Something other than a folder exists at Path (links followed): a regular
// file, or a device, pipe or socket.
bool IsFile(const UString& path);
// A folder exists at Path (links followed).
bool IsDirectory(const UString& path);

// Drops one trailing separator, then creates every missing folder of Path from
// the outermost in. True when Path is a folder afterwards; false when a part of
// it is a file or cannot be created (folders made before the failure stay).
// Raises EInOutError "Unable to create directory" for an empty Path.
bool CreateDirectories(const UString& path);

// Deletes a file (not a folder). True on success.
bool RemoveFile(const UString& path);
// Moves a file or folder. Never replaces an existing NewName (false instead).
// A file moves across file systems by copy and delete; a folder does not.
// Windows: MoveFileExW without replacing, copies allowed, written through.
bool RenameOnDisk(const UString& oldName, const UString& newName);
// Puts the file OldName in the place of NewName in one step (an existing
// NewName is replaced: whoever looks sees the old file or the new one, never
// neither), then flushes the folder so the change survives a power loss. Both
// must be on one file system. False when the system refuses the rename; a
// folder that cannot be flushed does not undo it. Windows: MoveFileExW with
// MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH (the file system's journal
// keeps the names; no folder flush).
bool ReplaceOnDisk(const UString& oldName, const UString& newName);
// Copies the data of the file Existing to New with its modification time and
// permission bits. With FailIfExists, an existing New is left alone and the
// answer is false; otherwise New is replaced only once the copy is complete,
// so a failed copy never damages it. Copying a file onto itself is refused.
// Windows: the system's CopyFileW, which takes the attributes along (there are
// no permission bits).
bool CopyOnDisk(const UString& existing, const UString& newName, bool failIfExists);
// Copies Count bytes from offset SourceAt of the open file Source to offset
// DestAt of the open file Dest (descriptors, as a TFileStream's Handle()),
// leaving both descriptors' own offsets where they were. The kernel copies
// where it can (copy_file_range: no pass through this process); where it
// cannot (another file system, an old kernel, a file system that declines),
// the rest goes by reads and writes. Short copies are continued. False, with
// errno set, when a read or write fails (ENOSPC on a full disk) or Source ends
// before Count bytes; what was written by then stays. Windows has no kernel
// range copy between open files: positioned reads and writes do it all.
bool CopyFileRange(int source, int64_t sourceAt, int dest, int64_t destAt, int64_t count);

// The attribute word of Path (links followed): faDirectory or faArchive, plus
// faReadOnly when the owner cannot write and faHidden when the name begins with
// "." (not "." or ".."); devices, pipes and sockets are faSysFile. 4 when Path
// is listed but its target cannot be read (a dangling link); -1 when missing.
// Windows: the file's own faReadOnly, faHidden, faSysFile, faDirectory and
// faArchive bits (a plain file may have none of them).
int32_t GetAttributes(const UString& path);
// Only faReadOnly has a meaning here: set, it removes every write permission;
// clear, it gives the owner write permission. On a folder the bit is not
// applied (a read-only folder would refuse the files extracted into it) and
// the answer is true when the folder exists. Other bits are ignored.
// Windows: faReadOnly, faHidden, faSysFile and faArchive are set as given (on
// a folder all but faReadOnly); faDirectory and faVolumeID are ignored.
bool SetAttributes(const UString& path, int32_t attr);
// The same for the file behind an open descriptor (a TFileStream's Handle()).
bool SetHandleAttributes(int handle, int32_t attr);

// The last-write time of Path (links followed) as a local DOS date-time;
// -1 when Path is missing or the time has no DOS form (before 1980, after 2107).
int32_t FileDosTime(const UString& path);
// Sets the last-write time of Path from a local DOS date-time; the access time
// is kept. False when Dos is not a valid DOS date-time or the system refuses.
bool SetFileDosTime(const UString& path, int32_t dos);
// The same for an open file descriptor (a TFileStream's Handle()).
bool SetHandleDosTime(int handle, int32_t dos);
// Pushes the data of the file or folder Path to the medium (fsync); a folder's
// flush makes the names created or renamed in it durable. Windows:
// FlushFileBuffers; a folder the system will not open for flushing counts as
// flushed (its names are in the file system's journal).
bool FlushFile(const UString& path);

// Both paths name the same file or folder (links followed); false when either
// is missing.
bool IsSameFile(const UString& a, const UString& b);

// Creates a new, empty file with a unique name that starts with Prefix in Dir
// (the system's temporary folder when Dir is empty) and returns its path;
// empty when it cannot be created.
UString CreateTempFile(const UString& dir, const UString& prefix);
// The system's temporary folder: TMPDIR, else /tmp. Windows: GetTempPathW,
// without its trailing "\".
UString TempDirectory();

// Bytes available to this user on the file system that holds Path, or would
// hold it (the nearest existing folder above a missing Path is asked); -1 when
// unknown.
int64_t DiskFreeSpace(const UString& path);
// Linux has no drive letters: a floppy drive is never named. Windows: the
// volume that holds Path is drive A: or B: and removable (GetDriveTypeW).
bool IsFloppyDrive(const UString& path);
// True when the block device that holds Path (or the nearest existing folder
// above it) is flagged removable, on the device itself or on the disk it is a
// partition of. False when unknown (no block device, no /sys). Windows: the
// volume that holds Path (or would hold it) is DRIVE_REMOVABLE.
bool IsRemovableDrive(const UString& path);
// The same for the file behind an open descriptor (a TFileStream's Handle()).
bool IsRemovableHandle(int handle);
// Linux: volume labels cannot be set, always false. Windows: SetVolumeLabelW
// on the root of the volume that holds Path.
bool LabelVolume(const UString& path, const UString& label);

struct TListState;
struct TListStateDeleter {
  void operator()(TListState* state) const;
};

// One entry of a folder listing.
struct TSearchRec {
  UString Name;       // the entry's name, without the folder
  int32_t Attr = 0;   // as GetAttributes
  int64_t Size = 0;   // bytes; 0 for folders
  int32_t Time = -1;  // last-write time as a local DOS date-time, -1 without one
  std::unique_ptr<TListState, TListStateDeleter> State;
};

// Lists the folder part of Pattern (up to its last separator; the current
// folder when there is none) for the names that match its last part: "*" any
// run of characters, "?" any one character; ASCII letters match either case;
// a final ".*" also matches a name without an extension, so "*.*" matches
// everything. A last part without wildcards names one entry and matches it
// exactly. Names are delivered in ascending order.
// An entry is delivered unless it has one of faHidden, faSysFile, faVolumeID
// or faDirectory that Attr does not include; "." and ".." are folders.
// ListFirst and ListNext return 0 while an entry is delivered in Rec, and
// otherwise a system error number: ENOENT when no (further) entry matches, or
// the reason the folder cannot be read. Windows: a pattern's folder may end in
// "\" or "/"; a link or junction is listed with its target's attributes.
// The listing is released by ListClose,
// by the end of the listing, or when Rec is destroyed.
int ListFirst(const UString& pattern, int32_t attr, TSearchRec& rec);
int ListNext(TSearchRec& rec);
void ListClose(TSearchRec& rec);

// Removes Dir (with or without a trailing separator) and every folder below it,
// deepest first, as long as they hold only folders. Files are never deleted:
// a tree that holds one keeps it and every folder above it, and the answer is
// false. Links to folders are entries, not folders: never followed. True when
// Dir is gone afterwards.
bool RemoveEmptyTree(const UString& dir);

}  // namespace kelvane
