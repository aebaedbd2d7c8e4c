// The mark a browser puts on a downloaded file (the "Zone.Identifier" stream
// of NTFS). A self-extractor that carries one hands it on to every file it
// extracts, so what came from the internet is still treated as such. Systems
// without such streams have no mark: reading gives nothing.
#pragma once

#include <optional>
#include <string>

#include "platform/Types.h"

namespace kelvane {

// The largest mark taken over; a bigger stream is no browser's mark.
inline constexpr size_t kMaxZoneMarkBytes = 64 * 1024;

// The content of Path's mark, byte for byte; nothing when it has none (or it
// is empty, unreadable or larger than kMaxZoneMarkBytes).
std::optional<std::string> ReadZoneMark(const UString& path);
// Gives Path the mark Content, replacing any it had. False when the file
// system cannot hold it (FAT, some network shares): the file stays as it is.
bool WriteZoneMark(const UString& path, const std::string& content);

}  // namespace kelvane
