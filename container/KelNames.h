// Item names to header bytes and back: flag bit 11 and the code pages.
// The byte rules themselves (ANSI round trip, UTF-8 test, OEM step) live in
// names/NameCoding.h; this adds what belongs to the header.
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

#include "platform/Types.h"

namespace kelvane {

// The name bytes for an item's local and central headers. When the name needs
// UTF-8, sets KelFlagUtf8Name in Flag; the bit is never cleared. A flag that
// already carries the bit (an item read from an archive) gets the UTF-8 form
// too, so the bytes always say what the flag says. Otherwise the bytes are ANSI,
// or OEM when OemFileNames. The byte count is the name length field; a name
// longer than 65,535 bytes cannot be stored and raises Exception.
AnsiString ItemNameToBytes(const UString& Name, uint16_t& Flag, bool OemFileNames);

// The name of a central header's bytes: OEM -> ANSI when OemFileNames and the
// flag's bit 11 is clear, then UTF-8 when the bytes hold a byte of 0x80 or more
// and are well-formed UTF-8 (whatever bit 11 says), ANSI otherwise. A zero byte
// is kept as U+0000, so that writing the name again gives the same bytes; what
// turns names into disk paths must cut or refuse it.
UString ItemNameFromBytes(const AnsiString& Bytes, uint16_t Flag, bool OemFileNames);

// The name of a local header's bytes in the recovery scan: the bytes up to the
// first zero byte, the OEM step only when OemStep (an end record was found and
// OEM names are on) and bit 11 is clear, then the same UTF-8 test as the
// central directory, so a recovered item keeps the name the intact archive had.
UString RecoveredItemNameFromBytes(const AnsiString& Bytes, uint16_t Flag, bool OemStep);

}  // namespace kelvane
