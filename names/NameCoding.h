// Stored-name bytes <-> UTF-16 names.
#pragma once

#include "platform/Types.h"

namespace kelvane {

// Bytes := Name in the ANSI code page when that converts back to the same Name
// (result false); otherwise Bytes := the UTF-8 form of Name (result true, the
// caller sets flag bit 11). The UTF-8 form is always whole, whatever its length.
bool NameToBytes(const UString& Name, AnsiString& Bytes);
// When Bytes hold a byte >= 0x80 and are well-formed UTF-8, Name := their UTF-8
// decoding (result true); otherwise Name := Bytes read in the ANSI code page.
// Well-formed is strict: overlong forms, encoded surrogates, values above U+10FFFF
// and cut sequences make the bytes ANSI.
bool BytesToName(const AnsiString& Bytes, UString& Name);

// The writer's whole rule for a header name: NameToBytes, then, when OemNames and
// the bytes are not UTF-8, ANSI -> OEM in place. A name whose ANSI form holds a
// character that the OEM page lacks (euro sign, typographic quotes, ...) is stored
// as UTF-8 instead, because its OEM form would read back as another name.
// Result true: Bytes are UTF-8, the caller sets flag bit 11. The byte count is the
// name length field.
bool NameToStoredBytes(const UString& Name, bool OemNames, AnsiString& Bytes);
// The reader's rule for a header name that may be OEM: when OemNames and !Utf8Flag
// the bytes are OEM and go through OEM -> ANSI before the UTF-8 test of BytesToName;
// when they are not UTF-8 they are read straight from the OEM page, so that
// characters the ANSI page lacks (box drawing) keep their form. Result true: the name
// was UTF-8. (Unix hosts' UTF-8 bytes skip the OEM step: see container/KelNames.h.)
bool StoredBytesToName(const AnsiString& Bytes, bool OemNames, bool Utf8Flag, UString& Name);

}  // namespace kelvane
