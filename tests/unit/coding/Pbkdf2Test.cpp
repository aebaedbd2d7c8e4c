#include <gtest/gtest.h>

#include <set>

#include "HexUtil.h"
#include "coding/KelPBKDF_2.h"
#include "coding/Kelsha1.h"

namespace kelvane {
namespace {

using test::Bytes;
using test::ToHex;

struct TPbkdf2Vector {
  std::string password;
  std::string salt;
  int32_t iterations;
  const char* key;
};

// RFC 6070 (PBKDF2-HMAC-SHA-1). The 16,777,216-iteration case is left out: it
// shows nothing the 4,096-iteration ones do not, at a thousand times the cost.
const TPbkdf2Vector Rfc6070[] = {
    {"password", "salt", 1, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
    {"password", "salt", 2, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
    {"password", "salt", 4096, "4b007901b765489abead49d926f721d065a429c1"},
    {"passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096,
     "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
    {std::string("pass\0word", 9), std::string("sa\0lt", 5), 4096,
     "56fa6aa75548099dcc37d7f03425e0c3"},
};

std::string Derive(PHashDesc desc, const TPbkdf2Vector& v) {
  std::vector<uint8_t> key(std::string_view(v.key).size() / 2);
  EXPECT_EQ(PBKDF2_Derive(desc, v.password.data(), static_cast<uint16_t>(v.password.size()),
                          v.salt.data(), static_cast<uint16_t>(v.salt.size()), v.iterations,
                          key.data(), static_cast<uint16_t>(key.size())),
            0);
  return ToHex(key);
}

// The same SHA-1 behind descriptor operations PBKDF2 does not recognise, so
// that the general path is run as well as the SHA-1 one.
const THashDesc WrappedSha1 = [] {
  THashDesc d = SHA1_Desc;
  d.HInit = [](THashContext& c) { SHA1Init(c); };
  d.HUpdateXL = [](THashContext& c, const void* p, int32_t n) { SHA1UpdateXL(c, p, n); };
  d.HFinal = [](THashContext& c, THashDigest& out) { SHA1Final(c, out); };
  return d;
}();

TEST(Pbkdf2, Rfc6070VectorsOnBothPaths) {
  for (const auto& v : Rfc6070) {
    EXPECT_EQ(Derive(&SHA1_Desc, v), v.key) << v.password << " " << v.iterations;
    EXPECT_EQ(Derive(&WrappedSha1, v), v.key) << v.password << " " << v.iterations;
  }
}

TEST(Pbkdf2, ClassMatchesFunctionAndRangeMatchesSlice) {
  const auto& v = Rfc6070[3];
  const TBytes salt = Bytes(v.salt);
  TPBKDF2 kdf(v.password, v.iterations, salt);
  EXPECT_EQ(kdf.IterationCount(), 4096);
  const TBytes whole = kdf.GetKeyBytes(25);
  EXPECT_EQ(ToHex(whole), v.key);
  // Ranges that start inside a block, span a block edge, and end the key.
  for (auto [offset, count] : {std::pair{0, 25}, {5, 3}, {18, 4}, {20, 5}, {23, 2}, {7, 0}}) {
    const TBytes part = kdf.GetKeyBytesRange(offset, count);
    EXPECT_EQ(part, TBytes(whole.begin() + offset, whole.begin() + offset + count))
        << offset << "+" << count;
  }
}

TEST(Pbkdf2, MissingOrEmptyDescriptorFails) {
  uint8_t key[4] = {1, 2, 3, 4};
  EXPECT_EQ(PBKDF2_Derive(nullptr, "p", 1, "s", 1, 1, key, 4), 1);
  THashDesc noDigest = SHA1_Desc;
  noDigest.HDigestlen = 0;
  EXPECT_EQ(PBKDF2_Derive(&noDigest, "p", 1, "s", 1, 1, key, 4), 2);
  EXPECT_EQ(key[0], 1);
  EXPECT_EQ(key[3], 4);
}

TEST(Pbkdf2, LimitsRaiseInsteadOfOverrunning) {
  EXPECT_THROW(TPBKDF2(std::string(32768, 'p'), 1, 8), EPBKDF2);
  EXPECT_NO_THROW(TPBKDF2(std::string(32767, 'p'), 1, 8));
  EXPECT_THROW(TPBKDF2("p", 1, -1), EPBKDF2);
  EXPECT_THROW(TPBKDF2("p", 1, 65536), EPBKDF2);
  TPBKDF2 kdf("p", 1, 8);
  EXPECT_THROW(kdf.GetKeyBytes(-1), EPBKDF2);
  EXPECT_THROW(kdf.GetKeyBytes(65536), EPBKDF2);
  EXPECT_THROW(kdf.GetKeyBytesRange(65530, 10), EPBKDF2);
  EXPECT_EQ(kdf.GetKeyBytes(0).size(), 0u);
}

// Salts come from the system's random source: no byte is ever 255, and two
// generators made back to back never share a salt.
TEST(Pbkdf2, RandomSaltsAvoid255AndDiffer) {
  std::set<TBytes> seen;
  std::array<int, 256> histogram{};
  for (int i = 0; i < 2000; ++i) {
    TPBKDF2 kdf("password", 1000, 16);
    const TBytes salt = kdf.GetSaltValue();
    ASSERT_EQ(salt.size(), 16u);
    for (uint8_t b : salt)
      ++histogram[b];
    EXPECT_TRUE(seen.insert(salt).second) << "salt repeated at draw " << i;
  }
  EXPECT_EQ(histogram[255], 0);
  // 32,000 bytes over 255 values: every value turns up (the chance that one
  // does not is below 1e-50), so 255 is excluded and nothing else is.
  for (int v = 0; v < 255; ++v)
    EXPECT_GT(histogram[v], 0) << v;
}

TEST(Pbkdf2, SaltCopyIsIndependent) {
  const TBytes salt = {1, 2, 3, 4};
  TPBKDF2 kdf("pw", 1, salt);
  TBytes copy = kdf.GetSaltValue();
  copy.assign(4, 0xEE);
  copy.clear();
  EXPECT_EQ(kdf.GetSaltValue(), salt);
}

}  // namespace
}  // namespace kelvane
