// The ZIP CRC-32 (reflected polynomial 0xEDB88320).
//
// A computation starts with the register at 0xFFFFFFFF and advances it over the
// bytes; the value stored in or compared with a ZIP header is the complement of
// the final register. The 256-entry table is the definition; the bulk routines
// give exactly the results of stepping through it byte by byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kelvane {

inline constexpr uint32_t Crc32Polynomial = 0xEDB88320;
inline constexpr uint32_t Crc32Initial = 0xFFFFFFFF;

constexpr std::array<uint32_t, 256> MakeCrc32Table() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k)
      c = (c & 1) ? (c >> 1) ^ Crc32Polynomial : c >> 1;
    table[i] = c;
  }
  return table;
}

inline constexpr std::array<uint32_t, 256> Crc32Table = MakeCrc32Table();

// One step of the register for byte B; returns the new register.
constexpr uint32_t UpdateCrc32Byte(uint8_t b, uint32_t crc) {
  return Crc32Table[(crc ^ b) & 0xFF] ^ (crc >> 8);
}

// Advances Crc over Count bytes of Buffer. A Count of 0 or less leaves Crc
// unchanged (Buffer is then not read).
void UpdateCrc32(uint32_t& crc, const void* buffer, int32_t count);

// The same for any length (items beyond 2 GiB); returns the new register.
[[nodiscard]] uint32_t AdvanceCrc32(uint32_t crc, const void* buffer, size_t count);

// The value a ZIP header holds for these bytes: ~register after all of them.
[[nodiscard]] uint32_t Crc32Of(const void* buffer, size_t count);

// The routines behind UpdateCrc32, open to tests and benchmarks so that each can
// be held against the table. Each takes and returns the register.
namespace crc32impl {
uint32_t Bytewise(uint32_t crc, const uint8_t* p, size_t n);
uint32_t Slicing16(uint32_t crc, const uint8_t* p, size_t n);
// True when this processor has carry-less multiplication (checked once).
bool ClmulAvailable();
// Carry-less folding for the 16-byte blocks, Slicing16 for the rest (and for
// everything when the processor lacks it).
uint32_t Clmul(uint32_t crc, const uint8_t* p, size_t n);
}  // namespace crc32impl

}  // namespace kelvane
