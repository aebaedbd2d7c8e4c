#include "coding/KelHashes.h"

#include <cstring>

#include "coding/KelSecure.h"
#include "platform/Stream.h"

namespace kelvane {

namespace {

[[noreturn]] void NotImplemented(const char* text) {
  throw Exception(std::string_view(text));
}

inline uint32_t Rol(uint32_t x, int n) {
  return (x << n) | (x >> (32 - n));
}

inline uint32_t LoadLE32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

template <class T>
std::shared_ptr<THash> Make() {
  return std::make_shared<T>();
}

const THashClassDesc HashDesc = {"THash", 0, &Make<THash>};
const THashClassDesc MD4Desc = {"THash_MD4", 16, &Make<THash_MD4>};
const THashClassDesc RipeMD256Desc = {"THash_RipeMD256", 32, &Make<THash_RipeMD256>};

}  // namespace

// --- THash -------------------------------------------------------------------

THash::THash(std::shared_ptr<TProtection> protection) : TProtection(std::move(protection)) {}

THashClass THash::Class() {
  return &HashDesc;
}

TBytes THash::GetTestVector() const {
  NotImplemented("Not implemented 14");
}

void THash::Calc(const void*, int32_t) {}

TBytes THash::DigestKey() {
  NotImplemented("Not implemented 14");
}

void THash::SelfTest() {
  NotImplemented("Not implemented 14");
}

AnsiString THash::DigestStr(int32_t format) {
  const TBytes digest = DigestKey();
  return StrToFormat(AnsiString(digest.begin(), digest.end()), format);
}

AnsiString THash::CalcBuffer(THashClass hashClass, const void* buffer, int32_t size,
                             int32_t format) {
  auto hash = hashClass->Create();
  hash->Init();
  hash->Calc(buffer, size);
  hash->Done();
  return hash->DigestStr(format);
}

AnsiString THash::CalcStream(THashClass hashClass, TStream& stream, int64_t size, int32_t format) {
  auto hash = hashClass->Create();
  hash->CodeStream(stream, nullptr, paCalc, size);
  return hash->DigestStr(format);
}

AnsiString THash::CalcString(THashClass hashClass, const AnsiString& data, int32_t format) {
  if (data.size() > static_cast<size_t>(INT32_MAX)) throw EProtection("Data too large to hash");
  return CalcBuffer(hashClass, data.data(), static_cast<int32_t>(data.size()), format);
}

AnsiString THash::CalcFile(THashClass hashClass, const UString& fileName, int32_t format) {
  auto hash = hashClass->Create();
  hash->CodeFile(fileName, {}, paCalc);
  return hash->DigestStr(format);
}

void THash::BeginCoding(TPAction action) {
  if (action == paWipe) NotImplemented("Not implemented 12");
  Init();
  TProtection::BeginCoding(action);
}

void THash::EndCoding(TPAction action) {
  if (action == paCalc) {
    Done();
  } else {
    Init();
  }
  TProtection::EndCoding(action);
}

void THash::CodeChunk(void* buffer, int32_t size, TPAction action) {
  if (HasAction(action)) Calc(buffer, size);
  TProtection::CodeChunk(buffer, size, action);
}

// --- THash_MD4 ---------------------------------------------------------------

THash_MD4::THash_MD4(std::shared_ptr<TProtection> protection) : THash(std::move(protection)) {
  THash_MD4::Init();
}

THash_MD4::~THash_MD4() {
  WipeMemory(FBuffer, sizeof(FBuffer));
  WipeMemory(FDigest, sizeof(FDigest));
  FCount = 0;
}

THashClass THash_MD4::Class() {
  return &MD4Desc;
}

TBytes THash_MD4::GetTestVector() const {
  NotImplemented("Not implemented 28");
}

void THash_MD4::Init() {
  FCount = 0;
  std::memset(FBuffer, 0, sizeof(FBuffer));
  std::memset(FDigest, 0, sizeof(FDigest));
  FDigest[0] = 0x67452301u;
  FDigest[1] = 0xEFCDAB89u;
  FDigest[2] = 0x98BADCFEu;
  FDigest[3] = 0x10325476u;
}

void THash_MD4::Calc(const void* data, int32_t size) {
  if (size <= 0 || data == nullptr) return;
  auto* p = static_cast<const uint8_t*>(data);
  size_t left = static_cast<size_t>(size);
  size_t index = static_cast<size_t>(FCount & 63);
  FCount += left;
  if (index > 0) {
    const size_t take = std::min(64 - index, left);
    std::memcpy(FBuffer + index, p, take);
    p += take;
    left -= take;
    if (index + take < 64) return;
    Transform(FBuffer);
  }
  for (; left >= 64; left -= 64, p += 64)
    Transform(p);
  std::memcpy(FBuffer, p, left);
}

void THash_MD4::Done() {
  const uint64_t bits = FCount * 8;
  size_t index = static_cast<size_t>(FCount & 63);
  FBuffer[index++] = 0x80;
  if (index > 56) {
    std::memset(FBuffer + index, 0, 64 - index);
    Transform(FBuffer);
    index = 0;
  }
  std::memset(FBuffer + index, 0, 56 - index);
  for (int i = 0; i < 8; ++i)
    FBuffer[56 + i] = static_cast<uint8_t>(bits >> (8 * i));
  Transform(FBuffer);
  WipeMemory(FBuffer, sizeof(FBuffer));
  FCount = 0;
}

TBytes THash_MD4::DigestKey() {
  TBytes out(static_cast<size_t>(DigestWords()) * 4);
  for (int32_t i = 0; i < DigestWords(); ++i) {
    for (int b = 0; b < 4; ++b)
      out[4 * i + b] = static_cast<uint8_t>(FDigest[i] >> (8 * b));
  }
  return out;
}

void THash_MD4::Transform(const uint8_t* block) {
  uint32_t x[16];
  for (int i = 0; i < 16; ++i)
    x[i] = LoadLE32(block + 4 * i);
  uint32_t a = FDigest[0], b = FDigest[1], c = FDigest[2], d = FDigest[3];

  auto f = [](uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (~x & z); };
  auto g = [](uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (x & z) | (y & z); };
  auto h = [](uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; };

  static constexpr int s1[4] = {3, 7, 11, 19};
  for (int i = 0; i < 16; ++i) {
    const uint32_t t = Rol(a + f(b, c, d) + x[i], s1[i & 3]);
    a = d;
    d = c;
    c = b;
    b = t;
  }
  static constexpr int s2[4] = {3, 5, 9, 13};
  for (int i = 0; i < 16; ++i) {
    const int k = (i & 3) * 4 + (i >> 2);
    const uint32_t t = Rol(a + g(b, c, d) + x[k] + 0x5A827999u, s2[i & 3]);
    a = d;
    d = c;
    c = b;
    b = t;
  }
  static constexpr int s3[4] = {3, 9, 11, 15};
  static constexpr int k3[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
  for (int i = 0; i < 16; ++i) {
    const uint32_t t = Rol(a + h(b, c, d) + x[k3[i]] + 0x6ED9EBA1u, s3[i & 3]);
    a = d;
    d = c;
    c = b;
    b = t;
  }
  FDigest[0] += a;
  FDigest[1] += b;
  FDigest[2] += c;
  FDigest[3] += d;
  WipeMemory(x, sizeof(x));
}

// --- THash_RipeMD256 ---------------------------------------------------------

THash_RipeMD256::THash_RipeMD256(std::shared_ptr<TProtection> protection)
    : THash_MD4(std::move(protection)) {
  THash_RipeMD256::Init();
}

THashClass THash_RipeMD256::Class() {
  return &RipeMD256Desc;
}

TBytes THash_RipeMD256::GetTestVector() const {
  NotImplemented("Not implemented 31");
}

void THash_RipeMD256::Init() {
  THash_MD4::Init();
  FDigest[4] = 0x76543210u;
  FDigest[5] = 0xFEDCBA98u;
  FDigest[6] = 0x89ABCDEFu;
  FDigest[7] = 0x01234567u;
}

void THash_RipeMD256::Transform(const uint8_t* block) {
  static constexpr uint8_t r[64] = {
      0, 1,  2,  3,  4,  5,  6,  7, 8,  9, 10, 11, 12, 13, 14, 15,  // round 1
      7, 4,  13, 1,  10, 6,  15, 3, 12, 0, 9,  5,  2,  14, 11, 8,   // round 2
      3, 10, 14, 4,  9,  15, 8,  1, 2,  7, 0,  6,  13, 11, 5,  12,  // round 3
      1, 9,  11, 10, 0,  8,  12, 4, 13, 3, 7,  15, 14, 5,  6,  2};  // round 4
  static constexpr uint8_t rr[64] = {
      5,  14, 7, 0, 9, 2,  11, 4,  13, 6,  15, 8,  1,  10, 3,  12,  //
      6,  11, 3, 7, 0, 13, 5,  10, 14, 15, 8,  12, 4,  9,  1,  2,   //
      15, 5,  1, 3, 7, 14, 6,  9,  11, 8,  12, 2,  10, 0,  4,  13,  //
      8,  6,  4, 1, 3, 11, 15, 0,  5,  12, 2,  13, 9,  7,  10, 14};
  static constexpr uint8_t s[64] = {
      11, 14, 15, 12, 5,  8,  7,  9,  11, 13, 14, 15, 6,  7,  9,  8,   //
      7,  6,  8,  13, 11, 9,  7,  15, 7,  12, 15, 9,  11, 7,  13, 12,  //
      11, 13, 6,  7,  14, 9,  13, 15, 14, 8,  13, 6,  5,  12, 7,  5,   //
      11, 12, 14, 15, 14, 15, 9,  8,  9,  14, 5,  6,  8,  6,  5,  12};
  static constexpr uint8_t ss[64] = {
      8,  9,  9,  11, 13, 15, 15, 5,  7,  7,  8,  11, 14, 14, 12, 6,   //
      9,  13, 15, 7,  12, 8,  9,  11, 7,  7,  12, 7,  6,  15, 13, 11,  //
      9,  7,  15, 11, 8,  6,  6,  14, 12, 13, 5,  14, 13, 13, 7,  5,   //
      15, 5,  8,  11, 14, 14, 6,  14, 6,  9,  12, 9,  12, 5,  15, 8};
  static constexpr uint32_t k[4] = {0x00000000u, 0x5A827999u, 0x6ED9EBA1u, 0x8F1BBCDCu};
  static constexpr uint32_t kk[4] = {0x50A28BE6u, 0x5C4DD124u, 0x6D703EF3u, 0x00000000u};

  auto f = [](int round, uint32_t x, uint32_t y, uint32_t z) -> uint32_t {
    switch (round) {
      case 0:
        return x ^ y ^ z;
      case 1:
        return (x & y) | (~x & z);
      case 2:
        return (x | ~y) ^ z;
      default:
        return (x & z) | (y & ~z);
    }
  };

  uint32_t x[16];
  for (int i = 0; i < 16; ++i)
    x[i] = LoadLE32(block + 4 * i);
  uint32_t a = FDigest[0], b = FDigest[1], c = FDigest[2], d = FDigest[3];
  uint32_t aa = FDigest[4], bb = FDigest[5], cc = FDigest[6], dd = FDigest[7];

  for (int round = 0; round < 4; ++round) {
    for (int i = 16 * round; i < 16 * round + 16; ++i) {
      uint32_t t = Rol(a + f(round, b, c, d) + x[r[i]] + k[round], s[i]);
      a = d;
      d = c;
      c = b;
      b = t;
      t = Rol(aa + f(3 - round, bb, cc, dd) + x[rr[i]] + kk[round], ss[i]);
      aa = dd;
      dd = cc;
      cc = bb;
      bb = t;
    }
    switch (round) {
      case 0:
        std::swap(a, aa);
        break;
      case 1:
        std::swap(b, bb);
        break;
      case 2:
        std::swap(c, cc);
        break;
      default:
        std::swap(d, dd);
        break;
    }
  }
  FDigest[0] += a;
  FDigest[1] += b;
  FDigest[2] += c;
  FDigest[3] += d;
  FDigest[4] += aa;
  FDigest[5] += bb;
  FDigest[6] += cc;
  FDigest[7] += dd;
  WipeMemory(x, sizeof(x));
}

}  // namespace kelvane
