// Text operations on names that never depend on the user's locale: only the 26
// ASCII letters have case.
#pragma once

#include <cstdint>

#include "platform/Types.h"

namespace kelvane {

// Flags of ReplaceText, combined with |.
enum TReplaceFlag : uint8_t { rfReplaceAll = 0x01, rfIgnoreCase = 0x02 };

// S with the first occurrence of Old (every one with rfReplaceAll) replaced by New.
// Old is matched exactly, or with rfIgnoreCase without regard to the case of ASCII
// letters. Replaced text is not searched again. An empty Old gives S unchanged.
UString ReplaceText(UStringView S, UStringView Old, UStringView New, uint8_t Flags);

// Only A-Z / a-z change; every other character, accented capitals included, stays.
UString LowerCaseAscii(UStringView S);
UString UpperCaseAscii(UStringView S);
char16_t LowerCaseAscii(char16_t c);
// Equal when they differ only in the case of ASCII letters.
bool SameTextAscii(UStringView a, UStringView b);

// Bytes of S in UTF-16: twice its length in code units.
int32_t ByteLength(UStringView S);

}  // namespace kelvane
