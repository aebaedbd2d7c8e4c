// What Unix tools put into an item beside the DOS fields: the host byte of
// versionMadeBy, the file mode in the high half of the external attributes,
// and the extended timestamp field 0x5455 with times in UTC.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "container/KelExtraField.h"

namespace kelvane {

// Hosts of the high byte of versionMadeBy whose external attributes may hold a
// Unix mode in their high 16 bits.
inline constexpr uint8_t KelHostUnix = 3;
inline constexpr uint8_t KelHostOsx = 19;

inline constexpr uint16_t KelExtendedTimestampId = 0x5455;
inline constexpr uint8_t KelTimestampHasMTime = 0x01;

// The file type and permission parts of a Unix mode, in the values every Unix
// uses (the archive carries them, whatever the reading system calls them).
inline constexpr uint32_t KelUnixTypeMask = 0170000;
inline constexpr uint32_t KelUnixDirectory = 0040000;
inline constexpr uint32_t KelUnixRegular = 0100000;
inline constexpr uint32_t KelUnixLink = 0120000;
inline constexpr uint32_t KelUnixPermissions = 0777;  // never setuid, setgid or sticky
inline constexpr uint32_t KelUnixOwnerWrite = 0200;

inline constexpr uint8_t MadeByHost(uint16_t versionMadeBy) {
  return static_cast<uint8_t>(versionMadeBy >> 8);
}

// The versionMadeBy of an item stored with Version (the value the writer puts
// into the version fields): an item made on a Unix host keeps that host in the
// high byte, with the version number of Version in the low one; any other
// item gets Version whole.
uint16_t VersionMadeByFor(uint16_t Current, uint16_t Version);

// The external attributes Unix tools write for Mode: the mode in the high 16
// bits, the DOS bits in the low ones (folder 0x10, else archive 0x20;
// read-only 0x01 without the owner's write bit; hidden 0x02 when Hidden).
uint32_t UnixExternalAttributes(uint32_t Mode, bool Hidden);

// The Unix mode an item carries: the high 16 bits of its external attributes
// when it was made on a Unix host (3 or 19) and they are not 0.
std::optional<uint32_t> UnixModeOf(uint16_t VersionMadeBy, uint32_t ExternalAttr);
inline std::optional<uint32_t> UnixModeOf(const TKelZipCentralDir& Header) {
  return UnixModeOf(Header.versionMadeBy, Header.externalAttr);
}

// The item is a symbolic link stored as Unix tools store it: its data is the
// link's target.
bool IsUnixLink(const TKelZipCentralDir& Header);

// The extended timestamp field with only the modification time (flags 1), as
// it goes into both the local and the central header. Time counts seconds
// since 1970-01-01 UTC; nothing when it does not fit the field's 32 bits
// below 2^31, where every reader agrees on what they mean.
std::optional<TKelExtraFieldDataBlock> BuildExtendedTimestampField(int64_t Time);

// The modification time of an extended timestamp field's data: present when
// the flags announce it and its four bytes are there. Read unsigned (up to
// 2106), as the field's 32 bits are most often read.
std::optional<int64_t> ExtendedTimestampMTime(std::span<const uint8_t> Data);

// The modification time of the first extended timestamp field among Fields
// that holds one.
std::optional<int64_t> ItemUnixMTime(const TKelExtraFields& Fields);

}  // namespace kelvane
