// PKZIP classic (traditional) encryption of item data, and the process's
// clock-seeded pseudo-random generator.
//
// Three 32-bit keys, set up from the password and then advanced by every
// plaintext byte, so the 12-byte encryption header and the item data that
// follows it form one continuous key stream.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Stream.h"
#include "platform/Types.h"

namespace kelvane {

struct PkzipKeys {
  uint32_t Key0 = 0;
  uint32_t Key1 = 0;
  uint32_t Key2 = 0;
};

inline constexpr int PkzipHeaderSize = 12;
// General purpose flag bit: sizes and CRC follow the data in a data descriptor.
inline constexpr uint16_t PkzipDataDescriptorFlag = 0x0008;

// Start values, then every password byte as it is (no terminator, any length).
void InitPkzipKeys(const AnsiString& password, PkzipKeys& keys);
void UpdatePkzipKeys(uint8_t plain, PkzipKeys& keys);
// The next key-stream byte; the keys do not change.
uint8_t PkzipStreamByte(const PkzipKeys& keys);

// In place, continuing the key stream; any split of the data into buffers
// gives the same bytes.
void DecryptPkzipBuffer(uint8_t* buffer, size_t count, PkzipKeys& keys);
void EncryptPkzipBuffer(uint8_t* buffer, size_t count, PkzipKeys& keys);

// The byte an item's header must decrypt to in its last position: bits 8-15 of
// the local header's modification time when the data-descriptor flag is set
// (the CRC was not known when the header was written), else bits 24-31 of the
// local header's CRC-32.
uint8_t PkzipCheckByte(uint32_t crc32, uint16_t lastModTime, uint16_t flags);

// Reads the 12-byte header at Stream's position (a short read raises
// EReadError), sets Keys up from Password and decrypts the header with them.
// Answers whether the last decrypted byte is the check byte; only that byte is
// compared, so about one wrong password in 256 passes (the item's CRC-32 then
// fails). Keys are left ready for the data that follows.
bool CheckPkzipHeader(TStream& stream, const AnsiString& password, PkzipKeys& keys, uint32_t crc32,
                      uint16_t lastModTime, uint16_t flags);

// Builds the encrypted header for an item of CRC-32 Crc32 (the value stored in
// the header) from ten random bytes: plaintext is Random[0..9], then bits
// 16-23 and 24-31 of the CRC. Keys must be set up from the password; they
// continue with the item's data.
void EncodePkzipHeader(const uint8_t (&random)[10], uint32_t crc32, PkzipKeys& keys,
                       uint8_t (&header)[PkzipHeaderSize]);

// Sets Keys up from Password and writes the encrypted header to Dest (a short
// write raises EWriteError). The ten random bytes come from the operating
// system's random source, so no two items share them, however close in time
// they are written.
void WritePkzipHeader(TStream& dest, const AnsiString& password, uint32_t crc32, PkzipKeys& keys);

// The process-wide pseudo-random generator: 32-bit linear congruential
// (seed = seed * 134775813 + 1), not cryptographic. Kept for what relies on
// its exact sequence; secrets use RandomBytes (platform/Random.h).
//
// Reseeds from the low 32 bits of the high-resolution counter.
void Randomize();
// Advances the seed and returns a value in [0, Range): the high 32 bits of
// Range * seed. Range 0 gives 0.
uint32_t RandomBelow(uint32_t range);
uint32_t RandomSeed();
void SetRandomSeed(uint32_t seed);

}  // namespace kelvane
