// SHA-1 (FIPS 180-1) as a hash descriptor, registered as algorithm number 3.
#pragma once

#include <cstddef>

#include "coding/KelHashDesc.h"

namespace kelvane {

inline constexpr int32_t _SHA1 = 3;
inline constexpr int SHA1DigestSize = 20;
inline constexpr int SHA1BlockSize = 64;

// HSig 0x3D7A, HDSize 80, version 0x00010003, block 64, digest 20, number 3,
// name "SHA1", OID 1.3.14.3.2.26.
extern const THashDesc SHA1_Desc;

void SHA1Init(THashContext& context) noexcept;
void SHA1UpdateXL(THashContext& context, const void* data, int32_t count) noexcept;
// Writes the digest (big-endian state words) and zeros the rest of Digest;
// wipes the context.
void SHA1Final(THashContext& context, THashDigest& digest) noexcept;

// The compression function over Count whole 64-byte blocks, with the SHA
// instructions when the processor has them.
void SHA1Compress(uint32_t state[5], const uint8_t* blocks, size_t count) noexcept;

// Both implementations, so that tests and benchmarks can hold them side by side.
void SHA1CompressPortable(uint32_t state[5], const uint8_t* blocks, size_t count) noexcept;
// Only when SHA1HasShaInstructions() is true.
void SHA1CompressShaNi(uint32_t state[5], const uint8_t* blocks, size_t count) noexcept;
bool SHA1HasShaInstructions() noexcept;

}  // namespace kelvane
