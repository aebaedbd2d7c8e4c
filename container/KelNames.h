// Item names to header bytes and back: flag bit 11, the host that made the
// item and the code pages. The byte rules themselves (ANSI round trip, UTF-8
// test, OEM step) live in names/NameCoding.h; this adds what belongs to the
// header.
//
// The host is the high byte of the central header's versionMadeBy. Tools on
// Unix and macOS (Info-ZIP's zip above all) store a name as the bytes the
// file system gives them, UTF-8 today, without flag bit 11 and mostly without
// a 0x7075 field, and unzip writes such bytes out as they are. So for those
// hosts, bytes without bit 11 that are well-formed UTF-8 holding a byte of
// 0x80 or more are read as UTF-8, with or without OEMFileNames. Other tools
// of the same hosts store OEM bytes without bit 11; those are rarely
// well-formed UTF-8 and keep the OEM rule. Every other host (MS-DOS/FAT 0,
// HPFS 6, NTFS 10 or 11, VFAT 14, and the hosts nobody here can vouch for)
// keeps the OEM rule: archives made on Windows hold OEM names whose bytes may
// happen to be well-formed UTF-8.
//
// Writing gives each item the kind of bytes it had: UTF-8 without bit 11 only
// to a name still as read from such UTF-8 bytes (TDirItem::NameInHostUtf8).
// Writing them for every item of those hosts would turn OEM bytes into UTF-8
// ones that the tool that made them reads as another name.
//
// Reading, a name from the bytes can be replaced by one from the header's
// extra fields (TDirItem::ReadExtraFields), in this order of strength:
// 1. the bytes, read by the functions below;
// 2. a Unicode path field (0x7075) whose CRC-32 matches the bytes as stored.
//    Other tools store a UTF-8 name in it beside bytes without flag bit 11:
//    reading it is our own addition, so that such names do not come out
//    through the OEM page. A field whose CRC does not match is stale (another
//    tool renamed the item) and is ignored, as are valid fields that disagree;
// 3. the Unicode name field (0x554E), the engine's own: it wins over both,
//    wherever it stands among the blocks.
// Writing, the name goes into the bytes (and 0x554E when enabled); the writer
// never adds a 0x7075 field, and one read from an archive is kept as it is, so
// that a rename makes it stale rather than wrong.
#pragma once

#include "container/KelZipRecords.h"
#include "platform/Types.h"

namespace kelvane {

// True when VersionMadeBy names a host whose file systems give names in UTF-8
// rather than an OEM code page: Unix (3) and OS X (19).
bool MadeOnHostWithoutOemNames(uint16_t VersionMadeBy);

// True when Header's name Bytes are read as its host's UTF-8: bit 11 clear, a
// host without OEM names, well-formed UTF-8 holding a byte of 0x80 or more.
bool IsHostUtf8Name(const AnsiString& Bytes, const TKelZipCentralDir& Header);

// Sets flag bit 11 in Flag when a name given to an item on this platform goes
// beyond ASCII: code-page bytes mean nothing to the tools of Unix systems, so
// such names are stored as UTF-8 there. Windows builds keep code pages.
inline void FlagUtf8NameForPlatform(const UString& Name, uint16_t& Flag) {
#ifndef _WIN32
  for (const char16_t ch : Name)
    if (ch >= 0x80) {
      Flag |= KelFlagUtf8Name;
      return;
    }
#else
  (void)Name;
  (void)Flag;
#endif
}

// The name bytes for an item's local and central headers. When the name needs
// UTF-8, sets KelFlagUtf8Name in Flag; the bit is never cleared. A flag that
// already carries the bit (an item read from an archive) gets the UTF-8 form
// too, so the bytes always say what the flag says. Otherwise the bytes are ANSI,
// or OEM when OemFileNames. The byte count is the name length field; a name
// longer than 65,535 bytes cannot be stored and raises Exception.
AnsiString ItemNameToBytes(const UString& Name, uint16_t& Flag, bool OemFileNames);

// The name bytes for Header's item. HostUtf8: Name is still the one read from
// host UTF-8 bytes (IsHostUtf8Name), and gets them back, bit 11 left clear.
// Otherwise as above on Header.genPurposeFlag, except that bytes which
// IsHostUtf8Name would take for UTF-8 (the OEM form of a name newly given to
// an item of such a host) are stored as UTF-8 with bit 11: they would read
// back as another name. Raises as above, and then leaves Header unchanged.
AnsiString ItemNameToBytes(const UString& Name, bool HostUtf8, TKelZipCentralDir& Header,
                           bool OemFileNames);

// The name of a central header's bytes: UTF-8 when IsHostUtf8Name, without
// the OEM step; otherwise OEM -> ANSI when OemFileNames and bit 11 is clear,
// then UTF-8 when the bytes hold a byte of 0x80 or more and are well-formed
// UTF-8 (whatever bit 11 says), ANSI otherwise. A zero byte is kept as U+0000,
// so that writing the name again gives the same bytes; what turns names into
// disk paths must cut or refuse it.
UString ItemNameFromBytes(const AnsiString& Bytes, const TKelZipCentralDir& Header,
                          bool OemFileNames);

// The name of a local header's bytes in the recovery scan: the bytes up to the
// first zero byte, the OEM step only when OemStep (an end record was found and
// OEM names are on) and bit 11 is clear, then the same UTF-8 test as the
// central directory, so a recovered item keeps the name the intact archive had;
// except a name in UTF-8 bytes without bit 11 from a host without OEM names:
// only the central header names the host (Info-ZIP leaves the high byte of a
// local extractVersion zero), so recovery gives such a name the OEM reading.
UString RecoveredItemNameFromBytes(const AnsiString& Bytes, uint16_t Flag, bool OemStep);

}  // namespace kelvane
