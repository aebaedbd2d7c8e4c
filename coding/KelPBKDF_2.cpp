#include "coding/KelPBKDF_2.h"

#include <algorithm>
#include <cstring>

#include "coding/KelSecure.h"
#include "coding/Kelsha1.h"
#include "platform/Random.h"

namespace kelvane {

namespace {

constexpr int MaxDerivedLength = 65535;

inline void StoreBE32(uint8_t* p, uint32_t v) noexcept {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// The inner and outer hash states after the padded key blocks. Each U then
// costs one copy of each state instead of a full HMAC set-up; the results are
// those of a fresh HMAC per U.
struct TPrfKey {
  THashContext inner;
  THashContext outer;
};

void PrepareKey(PHashDesc phash, const void* password, uint16_t plen, TPrfKey& prf) noexcept {
  uint8_t block[MaxHashBlockLen] = {};
  const uint16_t blockLen = phash->HBlockLen;
  if (plen > blockLen) {
    THashDigest digest;
    HashFullBuffer(phash, digest, password, plen);
    std::memcpy(block, digest.data(), phash->HDigestlen);
    WipeMemory(digest.data(), digest.size());
  } else if (plen > 0) {
    std::memcpy(block, password, plen);
  }
  for (int i = 0; i < blockLen; ++i)
    block[i] ^= 0x36;
  phash->HInit(prf.inner);
  phash->HUpdateXL(prf.inner, block, blockLen);
  for (int i = 0; i < blockLen; ++i)
    block[i] ^= 0x36 ^ 0x5C;
  phash->HInit(prf.outer);
  phash->HUpdateXL(prf.outer, block, blockLen);
  WipeMemory(block, sizeof(block));
}

// U1 = HMAC(salt || counter), through the descriptor's operations.
void FirstU(PHashDesc phash, const TPrfKey& prf, const void* salt, uint16_t slen, uint32_t counter,
            THashDigest& u) noexcept {
  uint8_t counterBytes[4];
  StoreBE32(counterBytes, counter);
  THashContext ctx = prf.inner;
  phash->HUpdateXL(ctx, salt, slen);
  phash->HUpdateXL(ctx, counterBytes, 4);
  THashDigest inner;
  phash->HFinal(ctx, inner);
  ctx = prf.outer;
  phash->HUpdateXL(ctx, inner.data(), phash->HDigestlen);
  phash->HFinal(ctx, u);
  WipeMemory(inner.data(), inner.size());
}

bool IsSha1(PHashDesc phash) noexcept {
  return phash->HInit == &SHA1Init && phash->HUpdateXL == &SHA1UpdateXL &&
         phash->HFinal == &SHA1Final && phash->HBlockLen == SHA1BlockSize &&
         phash->HDigestlen == SHA1DigestSize;
}

// The remaining iterations of one block for SHA-1: both hashes of a U take a
// 20-byte message after one key block, so one padded block serves both and
// each iteration is exactly two compressions.
void Sha1Iterate(const TPrfKey& prf, int32_t iterations, uint8_t* t) noexcept {
  uint8_t block[SHA1BlockSize] = {};
  std::memcpy(block, t, SHA1DigestSize);
  block[SHA1DigestSize] = 0x80;
  StoreBE32(block + 60, (SHA1BlockSize + SHA1DigestSize) * 8);
  uint32_t acc[5];
  for (int i = 0; i < 5; ++i) {
    acc[i] = uint32_t{t[4 * i]} << 24 | uint32_t{t[4 * i + 1]} << 16 | uint32_t{t[4 * i + 2]} << 8 |
             t[4 * i + 3];
  }
  for (int32_t j = 2; j <= iterations; ++j) {
    uint32_t state[5];
    std::memcpy(state, prf.inner.Hash, sizeof(state));
    SHA1Compress(state, block, 1);
    for (int i = 0; i < 5; ++i)
      StoreBE32(block + 4 * i, state[i]);
    std::memcpy(state, prf.outer.Hash, sizeof(state));
    SHA1Compress(state, block, 1);
    for (int i = 0; i < 5; ++i) {
      StoreBE32(block + 4 * i, state[i]);
      acc[i] ^= state[i];
    }
    WipeMemory(state, sizeof(state));
  }
  for (int i = 0; i < 5; ++i)
    StoreBE32(t + 4 * i, acc[i]);
  WipeMemory(acc, sizeof(acc));
  WipeMemory(block, sizeof(block));
}

void GenericIterate(PHashDesc phash, const TPrfKey& prf, int32_t iterations, const uint8_t* u1,
                    uint8_t* t) noexcept {
  const int digestLen = phash->HDigestlen;
  THashDigest u;
  std::memcpy(u.data(), u1, digestLen);
  for (int32_t j = 2; j <= iterations; ++j) {
    THashContext ctx = prf.inner;
    phash->HUpdateXL(ctx, u.data(), digestLen);
    THashDigest inner;
    phash->HFinal(ctx, inner);
    ctx = prf.outer;
    phash->HUpdateXL(ctx, inner.data(), digestLen);
    phash->HFinal(ctx, u);
    for (int i = 0; i < digestLen; ++i)
      t[i] ^= u[i];
    WipeMemory(inner.data(), inner.size());
  }
  WipeMemory(u.data(), u.size());
}

}  // namespace

int PBKDF2_DeriveRange(PHashDesc phash, const void* password, uint16_t plen, const void* salt,
                       uint16_t slen, int32_t iterations, uint16_t offset, void* key,
                       uint16_t len) noexcept {
  if (!IsValidHashDesc(phash)) return 1;
  const int digestLen = phash->HDigestlen;
  if (digestLen == 0) return 2;
  if (len == 0) return 0;

  TPrfKey prf;
  PrepareKey(phash, password, plen, prf);
  const bool sha1 = IsSha1(phash);
  auto* out = static_cast<uint8_t*>(key);
  const int first = offset / digestLen;
  const int last = (offset + len - 1) / digestLen;
  for (int block = first; block <= last; ++block) {
    THashDigest t{};
    if (iterations >= 1) {
      FirstU(phash, prf, salt, slen, static_cast<uint32_t>(block + 1), t);
      if (sha1) {
        Sha1Iterate(prf, iterations, t.data());
      } else {
        THashDigest u1 = t;
        GenericIterate(phash, prf, iterations, u1.data(), t.data());
        WipeMemory(u1.data(), u1.size());
      }
    }
    const int blockStart = block * digestLen;
    const int from = std::max<int>(offset, blockStart);
    const int to = std::min<int>(offset + len, blockStart + digestLen);
    std::memcpy(out + (from - offset), t.data() + (from - blockStart), to - from);
    WipeMemory(t.data(), t.size());
  }
  WipeMemory(&prf, sizeof(prf));
  return 0;
}

int PBKDF2_Derive(PHashDesc phash, const void* password, uint16_t plen, const void* salt,
                  uint16_t slen, int32_t iterations, void* key, uint16_t klen) noexcept {
  return PBKDF2_DeriveRange(phash, password, plen, salt, slen, iterations, 0, key, klen);
}

TBytes MakeRandomSalt(int32_t count) {
  if (count < 0 || count > MaxDerivedLength) throw EPBKDF2("Salt size out of range");
  TBytes salt(static_cast<size_t>(count));
  RandomBytes(salt.data(), salt.size());
  for (auto& b : salt) {
    while (b == 255)
      RandomBytes(&b, 1);
  }
  return salt;
}

TPBKDF2::TPBKDF2(const AnsiString& password, int32_t iterations, int32_t saltSize)
    : FIterationNumber(iterations), FSaltLength(saltSize), FPassword(password) {
  CheckPassword();
  FSaltValue = MakeRandomSalt(saltSize);
}

TPBKDF2::TPBKDF2(const AnsiString& password, int32_t iterations, std::span<const uint8_t> salt)
    : FIterationNumber(iterations),
      FSaltValue(salt.begin(), salt.end()),
      FSaltLength(static_cast<int32_t>(salt.size())),
      FPassword(password) {
  CheckPassword();
  if (salt.size() > MaxDerivedLength) throw EPBKDF2("Salt size out of range");
}

TPBKDF2::~TPBKDF2() {
  WipeBytes(FSaltValue);
  WipeString(FPassword);
}

void TPBKDF2::CheckPassword() const {
  if (FPassword.size() > static_cast<size_t>(MaxPBKDF2PasswordLength)) {
    throw EPBKDF2("Password longer than 32767 bytes");
  }
}

TBytes TPBKDF2::GetKeyBytesRange(int32_t offset, int32_t count) const {
  if (offset < 0 || count < 0 || int64_t{offset} + count > MaxDerivedLength) {
    throw EPBKDF2("Derived key length out of range");
  }
  TBytes key(static_cast<size_t>(count));
  PBKDF2_DeriveRange(FindHashByAlgorithm(_SHA1), FPassword.data(),
                     static_cast<uint16_t>(FPassword.size()), FSaltValue.data(),
                     static_cast<uint16_t>(FSaltLength), FIterationNumber,
                     static_cast<uint16_t>(offset), key.data(), static_cast<uint16_t>(count));
  return key;
}

TBytes TPBKDF2::GetKeyBytes(int32_t cb) const {
  return GetKeyBytesRange(0, cb);
}

}  // namespace kelvane
