#include <gtest/gtest.h>

#include <cstring>

#include "HexUtil.h"
#include "coding/KelCipher.h"

namespace kelvane {
namespace {

using test::PatternBytes;

// Lets a test put the counter where it wants it.
class TCounterRijndael : public TCipher_Rijndael {
 public:
  using TCipher_Rijndael::TCipher_Rijndael;
  void SetCounter(uint64_t low) {
    for (int i = 0; i < 8; ++i)
      ctrMode_Nonce[i] = static_cast<uint8_t>(low >> (8 * i));
  }
  std::vector<uint8_t> Nonce() const { return ctrMode_Nonce; }
};

std::unique_ptr<TCounterRijndael> MakeCtr(size_t keyLength, bool aesni, uint32_t seed = 1) {
  TBytes key = PatternBytes(keyLength, seed);
  auto cipher = std::make_unique<TCounterRijndael>(key);
  cipher->SetMode(cmCTR);
  cipher->SetUseAesInstructions(aesni);
  return cipher;
}

std::vector<uint8_t> KeyStreamBlock(size_t keyLength, uint32_t seed, std::vector<uint8_t> counter) {
  TBytes key = PatternBytes(keyLength, seed);
  TCipher_Rijndael ecb(key);
  ecb.EncodeBlock(counter.data());
  return counter;
}

std::vector<bool> Paths() {
  std::vector<bool> paths = {false};
  if (TCipher_Rijndael::HasAesInstructions()) paths.push_back(true);
  return paths;
}

// The first key-stream block encrypts 01 00 .. 00, the second 02 00 .. 00.
TEST(CounterMode, KeyStreamStartsAtCounterOne) {
  for (bool aesni : Paths()) {
    auto ctr = MakeCtr(16, aesni);
    std::vector<uint8_t> zeros(40, 0);
    ctr->EncodeBuffer(zeros.data(), zeros.data(), 40);
    std::vector<uint8_t> one(16, 0), two(16, 0), three(16, 0);
    one[0] = 1;
    two[0] = 2;
    three[0] = 3;
    const auto k1 = KeyStreamBlock(16, 1, one);
    const auto k2 = KeyStreamBlock(16, 1, two);
    const auto k3 = KeyStreamBlock(16, 1, three);
    EXPECT_TRUE(std::equal(k1.begin(), k1.end(), zeros.begin()));
    EXPECT_TRUE(std::equal(k2.begin(), k2.end(), zeros.begin() + 16));
    EXPECT_TRUE(std::equal(k3.begin(), k3.begin() + 8, zeros.begin() + 32));
  }
}

// 100 bytes in one call equal the same bytes coded in calls of 1, 15, 16, 17
// and 51 bytes; both directions, in place and into another buffer.
TEST(CounterMode, PositionCarriesAcrossCalls) {
  const auto plain = PatternBytes(100, 42);
  for (bool aesni : Paths()) {
    for (size_t keyLength : {16u, 24u, 32u}) {
      auto whole = MakeCtr(keyLength, aesni);
      std::vector<uint8_t> expected(100);
      whole->EncodeBuffer(plain.data(), expected.data(), 100);
      ASSERT_NE(expected, plain);

      auto pieces = MakeCtr(keyLength, aesni);
      std::vector<uint8_t> got = plain;
      size_t pos = 0;
      for (size_t piece : {1u, 15u, 16u, 17u, 51u}) {
        pieces->EncodeBuffer(got.data() + pos, got.data() + pos, static_cast<int32_t>(piece));
        pos += piece;
      }
      ASSERT_EQ(pos, 100u);
      EXPECT_EQ(got, expected) << keyLength << (aesni ? " instructions" : " tables");

      auto back = MakeCtr(keyLength, aesni);
      std::vector<uint8_t> decoded(100);
      back->DecodeBuffer(expected.data(), decoded.data(), 37);
      back->DecodeBuffer(expected.data() + 37, decoded.data() + 37, 63);
      EXPECT_EQ(decoded, plain);
    }
  }
}

// The counter lives in the first 8 bytes: after FF..FF it wraps to zero and
// byte 8 stays 0.
TEST(CounterMode, CounterWrapsInItsFirstEightBytes) {
  for (bool aesni : Paths()) {
    for (size_t length : {48u, 40u}) {  // all in bulk, and with a single-block tail
      auto ctr = MakeCtr(32, aesni, 7);
      ctr->SetCounter(0xFFFFFFFFFFFFFFFEull);
      std::vector<uint8_t> zeros(length, 0);
      ctr->EncodeBuffer(zeros.data(), zeros.data(), static_cast<int32_t>(length));

      std::vector<uint8_t> allOnes(16, 0);
      std::fill(allOnes.begin(), allOnes.begin() + 8, 0xFF);
      std::vector<uint8_t> zero(16, 0);
      std::vector<uint8_t> one(16, 0);
      one[0] = 1;
      const auto k1 = KeyStreamBlock(32, 7, allOnes);
      const auto k2 = KeyStreamBlock(32, 7, zero);
      const auto k3 = KeyStreamBlock(32, 7, one);
      EXPECT_TRUE(std::equal(k1.begin(), k1.end(), zeros.begin()));
      EXPECT_TRUE(std::equal(k2.begin(), k2.end(), zeros.begin() + 16));
      EXPECT_TRUE(
          std::equal(k3.begin(), k3.begin() + static_cast<long>(length - 32), zeros.begin() + 32));
      EXPECT_EQ(ctr->Nonce(), one) << (aesni ? "instructions" : "tables");
    }
  }
}

TEST(CounterMode, InstructionsAndTablesGiveIdenticalOutput) {
  if (!TCipher_Rijndael::HasAesInstructions()) GTEST_SKIP() << "no AES instructions";
  const auto data = PatternBytes(5000, 99);
  for (size_t keyLength : {16u, 24u, 32u}) {
    auto fast = MakeCtr(keyLength, true, 3);
    auto table = MakeCtr(keyLength, false, 3);
    ASSERT_TRUE(fast->UsesAesInstructions());
    ASSERT_FALSE(table->UsesAesInstructions());
    std::vector<uint8_t> a(data.size()), b(data.size());
    size_t pos = 0;
    // Pieces that start and end everywhere within a block, some past the
    // eight-block batches.
    for (size_t piece : {3u, 200u, 13u, 129u, 1000u, 1u, 2048u, 7u}) {
      piece = std::min(piece, data.size() - pos);
      fast->EncodeBuffer(data.data() + pos, a.data() + pos, static_cast<int32_t>(piece));
      table->EncodeBuffer(data.data() + pos, b.data() + pos, static_cast<int32_t>(piece));
      pos += piece;
    }
    fast->EncodeBuffer(data.data() + pos, a.data() + pos, static_cast<int32_t>(data.size() - pos));
    table->EncodeBuffer(data.data() + pos, b.data() + pos, static_cast<int32_t>(data.size() - pos));
    EXPECT_EQ(a, b) << keyLength;
    EXPECT_EQ(fast->Nonce(), table->Nonce());
  }
}

// A new key restarts the key stream at counter 1: no byte left over from the
// old key's block is used.
TEST(CounterMode, NewKeyRestartsTheKeyStream) {
  const auto key = PatternBytes(16, 11);
  TCipher_Rijndael reused;
  reused.SetMode(cmCTR);
  reused.Init(key.data(), 16, nullptr);
  std::vector<uint8_t> scratch(5, 0);
  reused.EncodeBuffer(scratch.data(), scratch.data(), 5);  // leaves 11 key-stream bytes
  reused.Init(key.data(), 16, nullptr);
  TCipher_Rijndael fresh;
  fresh.SetMode(cmCTR);
  fresh.Init(key.data(), 16, nullptr);
  std::vector<uint8_t> a(20, 0), b(20, 0);
  reused.EncodeBuffer(a.data(), a.data(), 20);
  fresh.EncodeBuffer(b.data(), b.data(), 20);
  EXPECT_EQ(a, b);
}

}  // namespace
}  // namespace kelvane
