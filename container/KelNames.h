// Item names to header bytes and back: flag bit 11 and the code pages.
// The byte rules themselves (ANSI round trip, UTF-8 test, OEM step) live in
// names/NameCoding.h; this adds what belongs to the header.
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
