// AES rounds with the processor's AES instructions (x86). Round keys are those
// of the table-driven code: 16 bytes per round in the standard byte order, the
// decryption keys in the equivalent-inverse form. Call only when Available().
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvane::aesni {

bool Available() noexcept;

void EncryptBlock(const uint8_t* roundKeys, int rounds, uint8_t* block) noexcept;
void DecryptBlock(const uint8_t* decryptKeys, int rounds, uint8_t* block) noexcept;

// Counter mode over Blocks whole blocks from Src to Dst (same or disjoint).
// Each block's counter is Counter + 1 (little-endian in bytes 0-7, wrapping)
// with High in bytes 8-15; Counter ends at the last value used and LastKey
// receives the last key-stream block.
void CtrXor(const uint8_t* roundKeys, int rounds, uint64_t& counter, uint64_t high,
            const uint8_t* src, uint8_t* dst, size_t blocks, uint8_t* lastKey) noexcept;

}  // namespace kelvane::aesni
