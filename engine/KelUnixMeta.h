// New items from disk as Unix tools make them: the mode, the time in UTC and
// symbolic links kept (made-by host 3, mode in the high half of the external
// attributes, extended timestamp field 0x5455).
#pragma once

#include "container/KelDirItem.h"
#include "platform/UnixFiles.h"

namespace kelvane {

#ifdef _WIN32
inline constexpr bool KeepsUnixMetadata = false;
#else
inline constexpr bool KeepsUnixMetadata = true;
#endif

// The DOS attributes an item made from Entry gets when Entry is a link stored
// as a link (the link's own mode; Hidden for a name that begins with ".").
// Other entries take theirs from GetAttributes, which reads what a link leads to.
int32_t LinkDosAttributes(const TDiskEntry& Entry, bool Hidden);

// Gives a new item (as InitNewItem left it) what Unix tools keep of Entry: the
// Unix host in versionMadeBy, Entry's mode in the high 16 bits of the external
// attributes (unless they hold a mode already, chosen by an OnStoreFile
// handler), the extended timestamp field, and for a link its target as the
// item's data.
void SetUnixMetadata(TDirItem& Item, const TDiskEntry& Entry);

}  // namespace kelvane
