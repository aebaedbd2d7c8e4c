// Hash descriptors and their registry: the small hash layer beneath HMAC and
// PBKDF2. A descriptor names an algorithm and carries its three operations.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace kelvane {

inline constexpr uint16_t C_HashSig = 0x3D7A;
inline constexpr int32_t C_HashVers = 0x00010003;
// Declared size of a descriptor; a registered descriptor must state it.
inline constexpr uint16_t C_HashDescSize = 80;
inline constexpr int32_t MaxHashAlgNum = 8;
inline constexpr int MaxHashBlockLen = 128;
inline constexpr int MaxHashDigestLen = 64;
inline constexpr size_t MaxHashNameLen = 19;

// The first HDigestlen bytes hold the digest, the rest are zero.
using THashDigest = std::array<uint8_t, MaxHashDigestLen>;

struct THashContext {
  uint32_t Hash[16];  // state words
  uint32_t MLen[2];   // message length in bits: low half, high half
  uint8_t Buffer[MaxHashBlockLen];
  uint32_t Index;  // bytes waiting in Buffer
};

struct THashDesc {
  uint16_t HSig;
  uint16_t HDSize;
  int32_t HDVersion;
  uint16_t HBlockLen;
  uint16_t HDigestlen;
  void (*HInit)(THashContext& context);
  // Finishes into Digest, then wipes the whole context.
  void (*HFinal)(THashContext& context, THashDigest& digest);
  // A count of 0 or below adds nothing.
  void (*HUpdateXL)(THashContext& context, const void* data, int32_t count);
  int32_t HAlgNum;
  std::string_view HName;  // at most MaxHashNameLen characters are significant
  const int32_t* HPtrOID;
  uint16_t HLenOID;
  uint8_t HReserved[8];
};
using PHashDesc = const THashDesc*;

// True for a descriptor with the right signature, version and declared size,
// all three operations, and block and digest lengths that fit the buffers.
bool IsValidHashDesc(PHashDesc desc) noexcept;

// Puts Desc into slot Number (0..MaxHashAlgNum) when it is valid and its
// HAlgNum equals Number; otherwise does nothing.
void RegisterHash(int32_t number, PHashDesc desc) noexcept;

// The descriptor in slot Number, or nullptr.
PHashDesc FindHashByAlgorithm(int32_t number) noexcept;

// The first registered descriptor whose name matches Name, both cut to
// MaxHashNameLen characters and compared without ASCII case; or nullptr.
PHashDesc FindHashByName(std::string_view name) noexcept;

// Digest of Count bytes at Buffer; does nothing for a missing or invalid
// descriptor.
void HashFullBuffer(PHashDesc desc, THashDigest& digest, const void* buffer,
                    int32_t count) noexcept;

}  // namespace kelvane
