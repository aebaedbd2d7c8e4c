// Handling of secret bytes: wiping that the optimiser may not drop, and
// comparisons whose time does not depend on where two codes differ.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kelvane {

// Overwrites Count bytes with zeros; never elided as a dead store.
void WipeMemory(void* buffer, size_t count) noexcept;

// Zeros the bytes and empties the container (its capacity is wiped too).
void WipeBytes(std::vector<uint8_t>& bytes) noexcept;
void WipeString(std::string& text) noexcept;

// True when the Count bytes at A and B are equal; the time taken depends only
// on Count.
bool ConstantTimeEqual(const void* a, const void* b, size_t count) noexcept;

}  // namespace kelvane
