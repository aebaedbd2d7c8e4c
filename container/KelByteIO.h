// Little-endian reading and writing of on-disk fields, bounds-checked.
//
// Every ZIP structure is parsed through TKelByteReader so that no field of a
// hostile archive can make a parser read past the bytes it was given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/Types.h"

namespace kelvane {

// Reads fields in order from a byte span. A read that does not fit returns 0
// (or an empty span), consumes nothing and marks the reader failed; the mark is
// sticky, so a parser may read a whole record and test Ok() once at the end.
class TKelByteReader {
 public:
  explicit TKelByteReader(std::span<const uint8_t> bytes) : FBytes(bytes) {}

  bool Ok() const { return !FFailed; }
  size_t Position() const { return FPos; }
  size_t Remaining() const { return FBytes.size() - FPos; }
  bool CanRead(size_t count) const { return !FFailed && count <= Remaining(); }

  uint8_t U8() { return static_cast<uint8_t>(Take(1)); }
  uint16_t U16() { return static_cast<uint16_t>(Take(2)); }
  uint32_t U32() { return static_cast<uint32_t>(Take(4)); }
  uint64_t U64() { return Take(8); }
  int32_t I32() { return static_cast<int32_t>(U32()); }

  // The next Count bytes, or an empty span (and failure) when fewer remain.
  std::span<const uint8_t> Bytes(size_t count) {
    if (!CanRead(count)) {
      FFailed = true;
      return {};
    }
    const auto result = FBytes.subspan(FPos, count);
    FPos += count;
    return result;
  }

  void Skip(size_t count) { Bytes(count); }

 private:
  uint64_t Take(size_t width) {
    const auto bytes = Bytes(width);
    uint64_t value = 0;
    for (size_t i = bytes.size(); i > 0; --i)
      value = (value << 8) | bytes[i - 1];
    return value;
  }

  std::span<const uint8_t> FBytes;
  size_t FPos = 0;
  bool FFailed = false;
};

// Appends fields in little-endian order to a byte vector; cannot overrun.
class TKelByteWriter {
 public:
  explicit TKelByteWriter(TBytes& out) : FOut(out) {}

  void U8(uint8_t v) { Put(v, 1); }
  void U16(uint16_t v) { Put(v, 2); }
  void U32(uint32_t v) { Put(v, 4); }
  void U64(uint64_t v) { Put(v, 8); }
  void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
  void Bytes(std::span<const uint8_t> bytes) {
    FOut.insert(FOut.end(), bytes.begin(), bytes.end());
  }

 private:
  void Put(uint64_t v, size_t width) {
    for (size_t i = 0; i < width; ++i)
      FOut.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }

  TBytes& FOut;
};

}  // namespace kelvane
