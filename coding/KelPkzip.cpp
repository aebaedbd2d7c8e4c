#include "coding/KelPkzip.h"

#include <atomic>

#include "coding/KelCrc32.h"
#include "platform/Clock.h"
#include "platform/Random.h"

namespace kelvane {
namespace {

constexpr uint32_t LcgMultiplier = 134775813;

std::atomic<uint32_t> Seed{0};

inline uint8_t DecryptByte(uint8_t c, PkzipKeys& keys) {
  const uint8_t p = c ^ PkzipStreamByte(keys);
  UpdatePkzipKeys(p, keys);
  return p;
}

inline uint8_t EncryptByte(uint8_t p, PkzipKeys& keys) {
  const uint8_t k = PkzipStreamByte(keys);
  UpdatePkzipKeys(p, keys);
  return p ^ k;
}

// Wipes the plaintext header and random bytes once they are no longer needed.
void Wipe(void* p, size_t n) {
  volatile uint8_t* v = static_cast<volatile uint8_t*>(p);
  while (n--)
    *v++ = 0;
}

}  // namespace

void InitPkzipKeys(const AnsiString& password, PkzipKeys& keys) {
  keys.Key0 = 0x12345678;
  keys.Key1 = 0x23456789;
  keys.Key2 = 0x34567890;
  for (const char c : password)
    UpdatePkzipKeys(static_cast<uint8_t>(c), keys);
}

void UpdatePkzipKeys(uint8_t plain, PkzipKeys& keys) {
  keys.Key0 = UpdateCrc32Byte(plain, keys.Key0);
  keys.Key1 = (keys.Key1 + (keys.Key0 & 0xFF)) * LcgMultiplier + 1;
  keys.Key2 = UpdateCrc32Byte(static_cast<uint8_t>(keys.Key1 >> 24), keys.Key2);
}

uint8_t PkzipStreamByte(const PkzipKeys& keys) {
  const uint32_t t = (keys.Key2 | 2) & 0xFFFF;
  return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
}

void DecryptPkzipBuffer(uint8_t* buffer, size_t count, PkzipKeys& keys) {
  for (size_t i = 0; i < count; ++i)
    buffer[i] = DecryptByte(buffer[i], keys);
}

void EncryptPkzipBuffer(uint8_t* buffer, size_t count, PkzipKeys& keys) {
  for (size_t i = 0; i < count; ++i)
    buffer[i] = EncryptByte(buffer[i], keys);
}

uint8_t PkzipCheckByte(uint32_t crc32, uint16_t lastModTime, uint16_t flags) {
  if (flags & PkzipDataDescriptorFlag) return static_cast<uint8_t>(lastModTime >> 8);
  return static_cast<uint8_t>(crc32 >> 24);
}

bool CheckPkzipHeader(TStream& stream, const AnsiString& password, PkzipKeys& keys, uint32_t crc32,
                      uint16_t lastModTime, uint16_t flags) {
  uint8_t header[PkzipHeaderSize];
  stream.ReadBuffer(header, PkzipHeaderSize);
  InitPkzipKeys(password, keys);
  DecryptPkzipBuffer(header, PkzipHeaderSize, keys);
  const bool fits = header[PkzipHeaderSize - 1] == PkzipCheckByte(crc32, lastModTime, flags);
  Wipe(header, sizeof header);
  return fits;
}

void EncodePkzipHeader(const uint8_t (&random)[10], uint32_t crc32, PkzipKeys& keys,
                       uint8_t (&header)[PkzipHeaderSize]) {
  for (int i = 0; i < 10; ++i)
    header[i] = random[i];
  header[10] = static_cast<uint8_t>(crc32 >> 16);
  header[11] = static_cast<uint8_t>(crc32 >> 24);
  EncryptPkzipBuffer(header, PkzipHeaderSize, keys);
}

void WritePkzipHeader(TStream& dest, const AnsiString& password, uint32_t crc32, PkzipKeys& keys) {
  uint8_t random[10];
  RandomBytes(random, sizeof random);
  InitPkzipKeys(password, keys);
  uint8_t header[PkzipHeaderSize];
  EncodePkzipHeader(random, crc32, keys, header);
  Wipe(random, sizeof random);
  dest.WriteBuffer(header, PkzipHeaderSize);
}

void Randomize() {
  Seed.store(static_cast<uint32_t>(PerformanceCounter()), std::memory_order_relaxed);
}

uint32_t RandomBelow(uint32_t range) {
  uint32_t current = Seed.load(std::memory_order_relaxed);
  uint32_t next;
  do {
    next = current * LcgMultiplier + 1;
  } while (!Seed.compare_exchange_weak(current, next, std::memory_order_relaxed));
  return static_cast<uint32_t>((uint64_t{range} * next) >> 32);
}

uint32_t RandomSeed() {
  return Seed.load(std::memory_order_relaxed);
}

void SetRandomSeed(uint32_t seed) {
  Seed.store(seed, std::memory_order_relaxed);
}

}  // namespace kelvane
