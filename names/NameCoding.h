// Stored-name bytes <-> UTF-16 names.
#pragma once

#include "platform/Types.h"

namespace kelvane {

// Bytes := Name in the ANSI code page when that converts back to the same Name
// (result false); otherwise Bytes := the UTF-8 form of Name (result true, the
// caller sets flag bit 11).
bool NameToBytes(const UString& Name, AnsiString& Bytes);
// When Bytes hold a byte >= 0x80 and are well-formed UTF-8, Name := their UTF-8
// decoding (result true); otherwise Name := Bytes read in the ANSI code page.
bool BytesToName(const AnsiString& Bytes, UString& Name);

}  // namespace kelvane
