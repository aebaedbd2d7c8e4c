// One component of a stored name as a Windows file name. Windows gives some
// names a meaning of their own: a device ("CON", "nul.txt"), a data stream
// ("a:b"), or it drops trailing dots and spaces ("a." writes "a"). These
// functions work on plain text, so they run and are tested on every system.
#pragma once

#include "platform/Types.h"

namespace kelvane {

// Whether Windows opens a device for Component, in whatever folder: CON, PRN,
// AUX, NUL, COM1-COM9, LPT1-LPT9 (also with the superscript digits 1, 2 and 3
// that Windows counts as the same), CONIN$ and CONOUT$, in any case, also with
// an extension ("con.txt") and with trailing dots or spaces ("nul ", "aux .c").
bool IsReservedDeviceName(UStringView component);

// Component (no separators) as a Windows file name that names a file of its
// own in its folder: characters Windows refuses in names (< > : " | ? * and
// U+0001-U+001F) become "_", so ":" cannot name a data stream; trailing dots
// and spaces become "_" each, as Windows would drop them (and "a." would land
// on "a"); a reserved device name gets "_" in front ("_con.txt").
UString WindowsSafeComponent(UStringView component);

}  // namespace kelvane
