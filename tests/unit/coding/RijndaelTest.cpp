#include <gtest/gtest.h>

#include "HexUtil.h"
#include "coding/KelCipher.h"

namespace kelvane {
namespace {

using test::FromHex;
using test::PatternBytes;
using test::ToHex;

// Both block implementations: the AES instructions (where present) and the tables.
std::vector<bool> Paths() {
  std::vector<bool> paths = {false};
  if (TCipher_Rijndael::HasAesInstructions()) paths.push_back(true);
  return paths;
}

struct TBlockVector {
  const char* key;
  const char* plain;
  const char* cipher;
  int rounds;
};

// FIPS 197, appendix C.1-C.3, and appendix B.
TEST(Rijndael, Fips197Vectors) {
  const TBlockVector vectors[] = {
      {"000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
       "69c4e0d86a7b0430d8cdb78070b4c55a", 10},
      {"000102030405060708090a0b0c0d0e0f1011121314151617", "00112233445566778899aabbccddeeff",
       "dda97ca4864cdfe06eaf70a0ec0d7191", 12},
      {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
       "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089", 14},
      {"2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734",
       "3925841d02dc09fbdc118597196a0b32", 10},
  };
  for (bool aesni : Paths()) {
    for (const auto& v : vectors) {
      TCipher_Rijndael cipher;
      cipher.SetUseAesInstructions(aesni);
      const auto key = FromHex(v.key);
      cipher.Init(key.data(), static_cast<int32_t>(key.size()), nullptr);
      EXPECT_EQ(cipher.Rounds(), v.rounds);
      auto block = FromHex(v.plain);
      cipher.EncodeBlock(block.data());
      EXPECT_EQ(ToHex(block), v.cipher) << v.key << (aesni ? " (instructions)" : " (tables)");
      cipher.DecodeBlock(block.data());
      EXPECT_EQ(ToHex(block), v.plain) << v.key << (aesni ? " (instructions)" : " (tables)");
    }
  }
}

TEST(Rijndael, InstructionsAndTablesAgreeOnRandomKeysAndBlocks) {
  if (!TCipher_Rijndael::HasAesInstructions()) GTEST_SKIP() << "no AES instructions";
  for (uint32_t seed = 1; seed <= 60; ++seed) {
    const auto key = PatternBytes(16 + 8 * (seed % 3), seed);
    TCipher_Rijndael fast, table;
    table.SetUseAesInstructions(false);
    fast.Init(key.data(), static_cast<int32_t>(key.size()), nullptr);
    table.Init(key.data(), static_cast<int32_t>(key.size()), nullptr);
    auto a = PatternBytes(16, seed + 1000);
    auto b = a;
    fast.EncodeBlock(a.data());
    table.EncodeBlock(b.data());
    ASSERT_EQ(a, b) << seed;
    fast.DecodeBlock(a.data());
    table.DecodeBlock(b.data());
    ASSERT_EQ(a, b) << seed;
  }
}

// Key length picks the rounds; short keys are padded with zeros, long keys cut
// to 32 bytes without an error while the key-size check is off.
TEST(Rijndael, KeyLengthDecidesRoundsAndPadding) {
  const auto key40 = PatternBytes(40, 3);
  struct TCase {
    int32_t size;
    int rounds;
    int32_t equivalentSize;  // zero-padded key that must behave the same
  };
  const TCase cases[] = {{0, 10, 16},  {5, 10, 16},  {16, 10, 16}, {17, 12, 24}, {20, 12, 24},
                         {24, 12, 24}, {25, 14, 32}, {32, 14, 32}, {40, 14, 32}, {-3, 10, 16}};
  for (const auto& c : cases) {
    TCipher_Rijndael cipher;
    cipher.Init(key40.data(), c.size, nullptr);
    EXPECT_EQ(cipher.Rounds(), c.rounds) << c.size;

    std::vector<uint8_t> padded(static_cast<size_t>(c.equivalentSize), 0);
    const int32_t used = std::clamp(c.size, 0, 32);
    std::copy(key40.begin(), key40.begin() + used, padded.begin());
    TCipher_Rijndael reference;
    reference.Init(padded.data(), c.equivalentSize, nullptr);
    auto a = PatternBytes(16, 9);
    auto b = a;
    cipher.EncodeBlock(a.data());
    reference.EncodeBlock(b.data());
    EXPECT_EQ(a, b) << c.size;
  }
}

TEST(Rijndael, OversizedKeyRaisesWhenCheckIsOn) {
  struct TCheckOn {
    TCheckOn() { SetCheckCipherKeySize(true); }
    ~TCheckOn() { SetCheckCipherKeySize(false); }
  } checkOn;
  const auto key = PatternBytes(33, 1);
  TCipher_Rijndael cipher;
  try {
    cipher.Init(key.data(), 33, nullptr);
    FAIL() << "no exception";
  } catch (const ECipherException& e) {
    EXPECT_EQ(e.ErrorCode, 2);
    EXPECT_STREQ(e.what(),
                 "Length from Encryptionkey is invalid.\r\nKeysize for TCipher_Rijndael must be "
                 "to 0-32 bytes");
  }
  EXPECT_FALSE(cipher.Initialized());
  EXPECT_NO_THROW(cipher.Init(key.data(), 32, nullptr));
}

TEST(Rijndael, CodingBeforeInitRaises) {
  TCipher_Rijndael cipher;
  uint8_t data[16] = {};
  for (auto call : {+[](TCipher&c, uint8_t*d) { c.EncodeBuffer(d, d, 16); },
                    +[](TCipher&c, uint8_t*d) { c.DecodeBuffer(d, d, 16); },
                    +[](TCipher&c, uint8_t*d) { c.EncodeBlock(d); },
                    +[](TCipher&c, uint8_t*d) { c.DecodeBlock(d); }}) {
    try {
      call(cipher, data);
      ADD_FAILURE() << "no exception";
    } catch (const ECipherException& e) {
      EXPECT_EQ(e.ErrorCode, 3);
      EXPECT_STREQ(e.what(),
                   "TCipher_Rijndael is not initialized call Init() or InitKey() before.");
    }
  }
}

// The engine's constructor: the caller's key is replaced by as many different
// bytes, and the cipher works with the original key.
TEST(Rijndael, RawKeyConstructorReplacesTheCallersKey) {
  for (size_t length : {16u, 24u, 32u, 40u}) {
    const auto original = PatternBytes(length, static_cast<uint32_t>(length));
    TBytes key = original;
    TCipher_Rijndael cipher(key);
    EXPECT_EQ(key.size(), length);
    EXPECT_NE(key, original);
    EXPECT_EQ(cipher.Flags() & 3, 3);
    EXPECT_EQ(cipher.Protection(), nullptr);
    EXPECT_EQ(cipher.Actions(), 0);

    TCipher_Rijndael reference;
    reference.Init(original.data(), std::min<int32_t>(static_cast<int32_t>(length), 32), nullptr);
    auto a = PatternBytes(16, 5);
    auto b = a;
    cipher.EncodeBlock(a.data());
    reference.EncodeBlock(b.data());
    EXPECT_EQ(a, b) << length;
  }
}

TEST(Rijndael, ClassDataAndStubs) {
  int32_t bufSize = 0, keySize = 0, userSize = 0;
  TCipher_Rijndael::GetContextSizes(bufSize, keySize, userSize);
  EXPECT_EQ(bufSize, 16);
  EXPECT_EQ(keySize, 32);
  EXPECT_EQ(userSize, 480);
  EXPECT_EQ(TCipher_Rijndael::MaxKeySize(), 32);
  TCipher_Rijndael cipher;
  EXPECT_STREQ(cipher.ClassName(), "TCipher_Rijndael");
  EXPECT_EQ(cipher.Mode(), cmCTS);
  EXPECT_EQ(cipher.HashClass(), THash_RipeMD256::Class());
  EXPECT_EQ(cipher.Actions(), paAllActions);
  auto expectMessage = [](const std::function<void()>& call, const char* message) {
    try {
      call();
      ADD_FAILURE() << "no exception for " << message;
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), message);
    }
  };
  expectMessage([&] { cipher.GetTestVector(); }, "Not implemented 20");
  expectMessage([] { TCipher::SelfTest(); }, "Not implemented 14");
}

}  // namespace
}  // namespace kelvane
