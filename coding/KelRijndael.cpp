// AES (FIPS 197): key set-up, table-driven block operations and the counter
// mode fast path. The tables are computed at compile time from the field
// arithmetic rather than typed in.
#include <cstring>

#include "coding/KelAesNi.h"
#include "coding/KelCipher.h"
#include "coding/KelSecure.h"

namespace kelvane {

namespace {

constexpr int32_t BlockSize = 16;
constexpr int32_t KeySizeMax = 32;
constexpr int32_t ScheduleSize = 480;
// Offset of the decryption round keys in the schedule.
constexpr size_t DecryptKeysOffset = 240;

// --- Tables ------------------------------------------------------------------
// Columns are little-endian words (row 0 in the low byte), so that round keys
// in memory have the standard byte order the AES instructions use as well.

constexpr uint8_t XTime(uint8_t x) {
  return static_cast<uint8_t>((x << 1) ^ ((x & 0x80) ? 0x1B : 0));
}

constexpr uint8_t GMul(uint8_t a, uint8_t b) {
  uint8_t p = 0;
  while (b != 0) {
    if (b & 1) p ^= a;
    a = XTime(a);
    b >>= 1;
  }
  return p;
}

constexpr uint8_t Rotl8(uint8_t x, int n) {
  return static_cast<uint8_t>((x << n) | (x >> (8 - n)));
}

constexpr uint32_t Rotl32(uint32_t x, int n) {
  return n == 0 ? x : (x << n) | (x >> (32 - n));
}

struct TAesTables {
  uint8_t S[256];
  uint8_t Si[256];
  uint32_t Te[4][256];
  uint32_t Td[4][256];
};

constexpr TAesTables MakeTables() {
  TAesTables t{};
  uint8_t exp[256] = {};
  uint8_t log[256] = {};
  uint8_t x = 1;
  for (int i = 0; i < 255; ++i) {  // powers of the generator 3
    exp[i] = x;
    log[x] = static_cast<uint8_t>(i);
    x = static_cast<uint8_t>(x ^ XTime(x));
  }
  for (int i = 0; i < 256; ++i) {
    const uint8_t inv = i == 0 ? 0 : exp[(255 - log[i]) % 255];
    const auto s = static_cast<uint8_t>(inv ^ Rotl8(inv, 1) ^ Rotl8(inv, 2) ^ Rotl8(inv, 3) ^
                                        Rotl8(inv, 4) ^ 0x63);
    t.S[i] = s;
    t.Si[s] = static_cast<uint8_t>(i);
  }
  for (int i = 0; i < 256; ++i) {
    const uint8_t s = t.S[i];
    const uint32_t te =
        uint32_t{GMul(s, 2)} | uint32_t{s} << 8 | uint32_t{s} << 16 | uint32_t{GMul(s, 3)} << 24;
    const uint8_t si = t.Si[i];
    const uint32_t td = uint32_t{GMul(si, 14)} | uint32_t{GMul(si, 9)} << 8 |
                        uint32_t{GMul(si, 13)} << 16 | uint32_t{GMul(si, 11)} << 24;
    for (int k = 0; k < 4; ++k) {
      t.Te[k][i] = Rotl32(te, 8 * k);
      t.Td[k][i] = Rotl32(td, 8 * k);
    }
  }
  return t;
}

constexpr TAesTables Tables = MakeTables();
constexpr auto& S = Tables.S;
constexpr auto& Si = Tables.Si;
constexpr auto& Te0 = Tables.Te[0];
constexpr auto& Te1 = Tables.Te[1];
constexpr auto& Te2 = Tables.Te[2];
constexpr auto& Te3 = Tables.Te[3];
constexpr auto& Td0 = Tables.Td[0];
constexpr auto& Td1 = Tables.Td[1];
constexpr auto& Td2 = Tables.Td[2];
constexpr auto& Td3 = Tables.Td[3];

static_assert(Tables.S[0x00] == 0x63 && Tables.S[0x53] == 0xED && Tables.Si[0x63] == 0x00);

inline uint32_t LoadLE32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

inline void StoreLE32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

inline uint64_t LoadLE64(const uint8_t* p) {
  return uint64_t{LoadLE32(p)} | uint64_t{LoadLE32(p + 4)} << 32;
}

inline void StoreLE64(uint8_t* p, uint64_t v) {
  StoreLE32(p, static_cast<uint32_t>(v));
  StoreLE32(p + 4, static_cast<uint32_t>(v >> 32));
}

inline uint32_t B0(uint32_t x) {
  return x & 0xFF;
}
inline uint32_t B1(uint32_t x) {
  return (x >> 8) & 0xFF;
}
inline uint32_t B2(uint32_t x) {
  return (x >> 16) & 0xFF;
}
inline uint32_t B3(uint32_t x) {
  return x >> 24;
}

uint32_t SubWord(uint32_t w) {
  return uint32_t{S[B0(w)]} | uint32_t{S[B1(w)]} << 8 | uint32_t{S[B2(w)]} << 16 |
         uint32_t{S[B3(w)]} << 24;
}

uint32_t InvMixColumn(uint32_t w) {
  return Td0[S[B0(w)]] ^ Td1[S[B1(w)]] ^ Td2[S[B2(w)]] ^ Td3[S[B3(w)]];
}

// Rk points at 4 * (Rounds + 1) words.
void TableEncrypt(const uint32_t* rk, int rounds, const uint8_t* in, uint8_t* out) {
  uint32_t s0 = LoadLE32(in) ^ rk[0];
  uint32_t s1 = LoadLE32(in + 4) ^ rk[1];
  uint32_t s2 = LoadLE32(in + 8) ^ rk[2];
  uint32_t s3 = LoadLE32(in + 12) ^ rk[3];
  for (int r = 1; r < rounds; ++r) {
    rk += 4;
    const uint32_t t0 = Te0[B0(s0)] ^ Te1[B1(s1)] ^ Te2[B2(s2)] ^ Te3[B3(s3)] ^ rk[0];
    const uint32_t t1 = Te0[B0(s1)] ^ Te1[B1(s2)] ^ Te2[B2(s3)] ^ Te3[B3(s0)] ^ rk[1];
    const uint32_t t2 = Te0[B0(s2)] ^ Te1[B1(s3)] ^ Te2[B2(s0)] ^ Te3[B3(s1)] ^ rk[2];
    const uint32_t t3 = Te0[B0(s3)] ^ Te1[B1(s0)] ^ Te2[B2(s1)] ^ Te3[B3(s2)] ^ rk[3];
    s0 = t0;
    s1 = t1;
    s2 = t2;
    s3 = t3;
  }
  rk += 4;
  auto last = [](uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return uint32_t{S[B0(a)]} | uint32_t{S[B1(b)]} << 8 | uint32_t{S[B2(c)]} << 16 |
           uint32_t{S[B3(d)]} << 24;
  };
  StoreLE32(out, last(s0, s1, s2, s3) ^ rk[0]);
  StoreLE32(out + 4, last(s1, s2, s3, s0) ^ rk[1]);
  StoreLE32(out + 8, last(s2, s3, s0, s1) ^ rk[2]);
  StoreLE32(out + 12, last(s3, s0, s1, s2) ^ rk[3]);
}

void TableDecrypt(const uint32_t* dk, int rounds, const uint8_t* in, uint8_t* out) {
  uint32_t s0 = LoadLE32(in) ^ dk[0];
  uint32_t s1 = LoadLE32(in + 4) ^ dk[1];
  uint32_t s2 = LoadLE32(in + 8) ^ dk[2];
  uint32_t s3 = LoadLE32(in + 12) ^ dk[3];
  for (int r = 1; r < rounds; ++r) {
    dk += 4;
    const uint32_t t0 = Td0[B0(s0)] ^ Td1[B1(s3)] ^ Td2[B2(s2)] ^ Td3[B3(s1)] ^ dk[0];
    const uint32_t t1 = Td0[B0(s1)] ^ Td1[B1(s0)] ^ Td2[B2(s3)] ^ Td3[B3(s2)] ^ dk[1];
    const uint32_t t2 = Td0[B0(s2)] ^ Td1[B1(s1)] ^ Td2[B2(s0)] ^ Td3[B3(s3)] ^ dk[2];
    const uint32_t t3 = Td0[B0(s3)] ^ Td1[B1(s2)] ^ Td2[B2(s1)] ^ Td3[B3(s0)] ^ dk[3];
    s0 = t0;
    s1 = t1;
    s2 = t2;
    s3 = t3;
  }
  dk += 4;
  auto last = [](uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return uint32_t{Si[B0(a)]} | uint32_t{Si[B1(b)]} << 8 | uint32_t{Si[B2(c)]} << 16 |
           uint32_t{Si[B3(d)]} << 24;
  };
  StoreLE32(out, last(s0, s3, s2, s1) ^ dk[0]);
  StoreLE32(out + 4, last(s1, s0, s3, s2) ^ dk[1]);
  StoreLE32(out + 8, last(s2, s1, s0, s3) ^ dk[2]);
  StoreLE32(out + 12, last(s3, s2, s1, s0) ^ dk[3]);
}

// Encryption round keys into Ek and the equivalent-inverse decryption keys
// into Dk, 4 * (Rounds + 1) words each.
void ExpandKey(const uint8_t key[KeySizeMax], int rounds, uint32_t* ek, uint32_t* dk) {
  const int nk = rounds - 6;  // 4, 6 or 8 key words
  const int total = 4 * (rounds + 1);
  for (int i = 0; i < nk; ++i)
    ek[i] = LoadLE32(key + 4 * i);
  uint8_t rcon = 1;
  for (int i = nk; i < total; ++i) {
    uint32_t t = ek[i - 1];
    if (i % nk == 0) {
      t = SubWord(Rotl32(t, 24)) ^ rcon;
      rcon = XTime(rcon);
    } else if (nk > 6 && i % nk == 4) {
      t = SubWord(t);
    }
    ek[i] = ek[i - nk] ^ t;
  }
  for (int r = 0; r <= rounds; ++r) {
    for (int c = 0; c < 4; ++c) {
      const uint32_t w = ek[4 * (rounds - r) + c];
      dk[4 * r + c] = (r == 0 || r == rounds) ? w : InvMixColumn(w);
    }
  }
}

template <class T>
std::shared_ptr<TCipher> MakeCipher(const AnsiString& password,
                                    std::shared_ptr<TProtection> protection) {
  return std::make_shared<T>(password, std::move(protection));
}

const TCipherClassDesc RijndaelDesc = {"TCipher_Rijndael", BlockSize, KeySizeMax, ScheduleSize,
                                       &MakeCipher<TCipher_Rijndael>};

}  // namespace

TCipher_Rijndael::TCipher_Rijndael(const AnsiString& password,
                                   std::shared_ptr<TProtection> protection)
    : TCipher(&RijndaelDesc), FUseAesNi(HasAesInstructions()) {
  SetUpForPassword(password, std::move(protection));
}

TCipher_Rijndael::TCipher_Rijndael(TBytes& key)
    : TCipher(&RijndaelDesc), FUseAesNi(HasAesInstructions()) {
  InitKey(key, nullptr);
}

TCipher_Rijndael::~TCipher_Rijndael() {
  FRounds = 0;
}

TCipherClass TCipher_Rijndael::Class() {
  return &RijndaelDesc;
}

void TCipher_Rijndael::GetContextSizes(int32_t& bufSize, int32_t& keySize, int32_t& userSize) {
  bufSize = BlockSize;
  keySize = KeySizeMax;
  userSize = ScheduleSize;
}

TBytes TCipher_Rijndael::GetTestVector() const {
  throw Exception(std::string_view("Not implemented 20"));
}

bool TCipher_Rijndael::HasAesInstructions() {
  static const bool available = aesni::Available();
  return available;
}

void TCipher_Rijndael::Init(const void* key, int32_t size, const void* iVector) {
  size = InitBegin(size);
  FRounds = size <= 16 ? 10 : size <= 24 ? 12 : 14;
  uint8_t block[KeySizeMax] = {};
  if (size > 0) std::memcpy(block, key, static_cast<size_t>(size));
  uint32_t ek[60];
  uint32_t dk[60];
  ExpandKey(block, FRounds, ek, dk);
  std::memcpy(FUser.data(), ek, sizeof(ek));
  std::memcpy(FUser.data() + DecryptKeysOffset, dk, sizeof(dk));
  WipeMemory(block, sizeof(block));
  WipeMemory(ek, sizeof(ek));
  WipeMemory(dk, sizeof(dk));
  InitEnd(iVector);
}

void TCipher_Rijndael::CheckKey() const {
  // A schedule exists from the first Init on; Protect wipes it but the round
  // count stays, so before any Init there is nothing to code with.
  if (FRounds == 0) CheckInitialized();
}

void TCipher_Rijndael::EncodeBlock(void* data) {
  CheckKey();
  auto* block = static_cast<uint8_t*>(data);
  if (FUseAesNi) {
    aesni::EncryptBlock(FUser.data(), FRounds, block);
  } else {
    uint32_t rk[60];
    std::memcpy(rk, FUser.data(), sizeof(rk));
    TableEncrypt(rk, FRounds, block, block);
    WipeMemory(rk, sizeof(rk));
  }
}

void TCipher_Rijndael::DecodeBlock(void* data) {
  CheckKey();
  auto* block = static_cast<uint8_t*>(data);
  if (FUseAesNi) {
    aesni::DecryptBlock(FUser.data() + DecryptKeysOffset, FRounds, block);
  } else {
    uint32_t dk[60];
    std::memcpy(dk, FUser.data() + DecryptKeysOffset, sizeof(dk));
    TableDecrypt(dk, FRounds, block, block);
    WipeMemory(dk, sizeof(dk));
  }
}

// Same key stream and state as the byte-by-byte model: the remaining bytes of
// the current block first, then whole blocks in bulk, then one block for the tail.
void TCipher_Rijndael::CodeCTR(const uint8_t* src, uint8_t* dst, size_t count) {
  CheckKey();
  uint8_t* keyStream = ctrMode_EncryptionBlock.data();
  size_t n = 0;
  while (n < count && ctrMode_Position < BlockSize) {
    dst[n] = src[n] ^ keyStream[ctrMode_Position++];
    ++n;
  }
  const size_t blocks = (count - n) / BlockSize;
  if (blocks > 0) {
    uint64_t counter = LoadLE64(ctrMode_Nonce.data());
    const uint64_t high = LoadLE64(ctrMode_Nonce.data() + 8);
    if (FUseAesNi) {
      aesni::CtrXor(FUser.data(), FRounds, counter, high, src + n, dst + n, blocks, keyStream);
    } else {
      uint32_t rk[60];
      std::memcpy(rk, FUser.data(), sizeof(rk));
      uint8_t block[BlockSize];
      StoreLE64(block + 8, high);
      for (size_t i = 0; i < blocks; ++i) {
        StoreLE64(block, ++counter);
        TableEncrypt(rk, FRounds, block, keyStream);
        const size_t at = n + i * BlockSize;
        for (int j = 0; j < BlockSize; ++j)
          dst[at + j] = src[at + j] ^ keyStream[j];
      }
      WipeMemory(rk, sizeof(rk));
    }
    n += blocks * BlockSize;
    StoreLE64(ctrMode_Nonce.data(), counter);
    ctrMode_Position = BlockSize;
  }
  if (n < count) {
    IncrementNonce();
    std::memcpy(keyStream, ctrMode_Nonce.data(), BlockSize);
    EncodeBlock(keyStream);
    ctrMode_Position = 0;
    while (n < count) {
      dst[n] = src[n] ^ keyStream[ctrMode_Position++];
      ++n;
    }
  }
}

}  // namespace kelvane
