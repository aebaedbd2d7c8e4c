// The engine's message table and the table that maps native error codes to it.
#pragma once

#include <array>
#include <cstdint>

namespace kelvane {

inline constexpr int KelMessageCount = 41;
inline constexpr int KelNativeCodeCount = 68;

struct TKelErrorCodePair {
  int32_t NativeCode;
  int32_t MessageIndex;
};

// Texts indexed by EKelException::ErrorCode; some are format strings (%s, %d).
extern const std::array<const char16_t*, KelMessageCount> KelMessages;
// One pair per native code 0..67, ascending; searched first to last.
extern const std::array<TKelErrorCodePair, KelNativeCodeCount> KelErrorCodes;

}  // namespace kelvane
