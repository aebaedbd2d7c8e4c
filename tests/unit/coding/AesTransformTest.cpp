#include <gtest/gtest.h>

#include <set>

#include "HexUtil.h"
#include "coding/KelAESTransform.h"

namespace kelvane {
namespace {

using test::Bytes;
using test::FromHex;
using test::PatternBytes;
using test::ToHex;

const AnsiString Password = "kelvane-test";
const std::string Plain = "The quick brown fox jumps over the lazy dog. 0123456789";

struct TItemVector {
  int32_t keyBits;
  const char* salt;
  const char* verifier;
  std::string plain;
  const char* cipher;
  const char* code;
};

// Derived independently of this code: key material with python3's
// hashlib.pbkdf2_hmac('sha1', password, salt, 1000, 2 * keylen + 2) (AES key,
// HMAC key, verifier), the key stream by encrypting the little-endian counter
// blocks 1, 2, ... with `openssl enc -aes-N-ecb -nopad`, and the code as the first
// 10 bytes of hmac.new(hmac_key, ciphertext, 'sha1').
const TItemVector ItemVectors[] = {
    {128, "a0a1a2a3a4a5a6a7", "da7f", Plain,
     "46e4333202d2cf8dac23d38756388a72ab029d92f8f0a39864df5bfbb2bf481b19a4cb9d2dbe51391bf41d97f65c"
     "fca87b38bdb9fa32ac",
     "8130b07574ccf55a3ded"},
    {192, "303132333435363738393a3b", "6966", Plain,
     "356b1490d6734d314c6b1eba45f1c03084924a4936e1d5efe6db2cc8e7fe4bfb6cdadd8b1c9f39af258e9edb3b19"
     "b409f9b33319fa059a",
     "402bf6df4f617fc537b0"},
    {256, "101112131415161718191a1b1c1d1e1f", "0406", Plain,
     "644b1533f6bdac99e0a4860f71c9cbb4872f30e729f6b3cd0cce863f60ea7d1342e5ad3323622c1b85a1b8e798eb"
     "384d08d83bf04ed5e5",
     "fc39548dc6c4dbb33638"},
    // An empty item still has salt, verifier and a code: 28 bytes with 256-bit keys.
    {256, "101112131415161718191a1b1c1d1e1f", "0406", "", "", "c6d2e2338c369e9589bf"},
};

TMemoryStream ItemStream(const TItemVector& v) {
  TMemoryStream stream;
  for (const auto& part :
       {FromHex(v.salt), FromHex(v.verifier), FromHex(v.cipher), FromHex(v.code)}) {
    if (!part.empty()) stream.WriteBuffer(part.data(), static_cast<int64_t>(part.size()));
  }
  stream.SetPosition(0);
  return stream;
}

// The decoder's order: GenerateKey (throw-away salt), load the stored start
// block, check the password, decrypt, load and verify the code.
TEST(AesTransform, DecryptsKnownItems) {
  for (const auto& v : ItemVectors) {
    TMemoryStream stream = ItemStream(v);
    TAESCryptoTransform t(v.keyBits, 2, 8);
    t.Initialize(Decryption);
    t.GenerateKey(Password);
    t.LoadFileStorageStartBlock(stream, 0);
    EXPECT_TRUE(t.CheckPassword(Password)) << v.keyBits;
    const int32_t n = static_cast<int32_t>(stream.Size()) - t.GetFileStorageStartBlockSize() -
                      t.GetFileStorageEndBlockSize();
    ASSERT_EQ(n, static_cast<int32_t>(v.plain.size()));
    std::vector<uint8_t> data(static_cast<size_t>(n));
    stream.ReadBuffer(data.data(), n);
    const int32_t first = n / 3;  // in two calls, split inside a block
    t.DecryptBuffer(data, 0, first, data, 0);
    t.DecryptBuffer(data, static_cast<size_t>(first), n - first, data, static_cast<size_t>(first));
    EXPECT_EQ(std::string(data.begin(), data.end()), v.plain) << v.keyBits;
    t.LoadFileStorageEndBlock(stream, 0);
    EXPECT_FALSE(t.IsDirItemCorrupted(0)) << v.keyBits;
  }
}

// Encryption under a known salt (loaded as a decoder would, then switched to
// encryption) reproduces the same bytes.
TEST(AesTransform, EncryptsKnownItems) {
  for (const auto& v : ItemVectors) {
    TMemoryStream stream = ItemStream(v);
    TAESCryptoTransform t(v.keyBits, 2, 8);
    t.Initialize(Decryption);
    t.GenerateKey(Password);
    t.LoadFileStorageStartBlock(stream, 0);
    t.Initialize(Encryption);
    EXPECT_EQ(ToHex(t.GetFileStorageStartBlock()), std::string(v.salt) + v.verifier);
    auto data = Bytes(v.plain);
    std::vector<uint8_t> out(data.size());
    for (size_t pos = 0; pos < data.size(); pos += 17) {
      const auto piece = static_cast<int32_t>(std::min<size_t>(17, data.size() - pos));
      t.EncryptBuffer(data, pos, piece, out, pos);
    }
    EXPECT_EQ(ToHex(out), v.cipher) << v.keyBits;
    EXPECT_EQ(ToHex(t.GetFileStorageEndBlock()), v.code) << v.keyBits;
  }
}

struct TStoredItem {
  TBytes bytes;  // start block, data, end block
  size_t dataSize;
};

TStoredItem EncryptItem(int32_t keyBits, const AnsiString& password,
                        const std::vector<uint8_t>& plain) {
  TAESCryptoTransform t(keyBits, 2, 8);
  t.Initialize(Encryption);
  t.GenerateKey(password);
  TStoredItem item{t.GetFileStorageStartBlock(), plain.size()};
  EXPECT_EQ(item.bytes.size(), static_cast<size_t>(t.GetFileStorageStartBlockSize()));
  std::vector<uint8_t> coded = plain;
  for (size_t pos = 0; pos < coded.size(); pos += 1000) {
    const auto piece = static_cast<int32_t>(std::min<size_t>(1000, coded.size() - pos));
    t.EncryptBuffer(coded, pos, piece, coded, pos);
  }
  item.bytes.insert(item.bytes.end(), coded.begin(), coded.end());
  const TBytes code = t.GetFileStorageEndBlock();
  item.bytes.insert(item.bytes.end(), code.begin(), code.end());
  return item;
}

struct TDecodeResult {
  bool passwordAccepted;
  std::vector<uint8_t> plain;
  bool corrupted;
};

TDecodeResult DecryptItem(int32_t keyBits, const AnsiString& password, const TStoredItem& item,
                          const AnsiString& retryPassword = {}) {
  TMemoryStream stream;
  stream.WriteBuffer(item.bytes.data(), static_cast<int64_t>(item.bytes.size()));
  stream.SetPosition(0);
  TAESCryptoTransform t(keyBits, 2, 8);
  t.Initialize(Decryption);
  t.GenerateKey(password);
  TDecodeResult result{};
  t.LoadFileStorageStartBlock(stream, 0);
  result.passwordAccepted = t.CheckPassword(password);
  if (!result.passwordAccepted && !retryPassword.empty()) {
    t.GenerateKey(retryPassword);
    stream.SetPosition(0);
    t.LoadFileStorageStartBlock(stream, 0);
    result.passwordAccepted = t.CheckPassword(retryPassword);
  }
  result.plain.resize(item.dataSize);
  stream.ReadBuffer(result.plain.data(), static_cast<int64_t>(item.dataSize));
  for (size_t pos = 0; pos < result.plain.size(); pos += 333) {
    const auto piece = static_cast<int32_t>(std::min<size_t>(333, result.plain.size() - pos));
    t.DecryptBuffer(result.plain, pos, piece, result.plain, pos);
  }
  t.LoadFileStorageEndBlock(stream, 0);
  result.corrupted = t.IsDirItemCorrupted(0);
  return result;
}

TEST(AesTransform, RoundTripsAtEveryStrength) {
  const auto plain = PatternBytes(5000, 17);
  for (int32_t bits : {128, 192, 256}) {
    const TStoredItem item = EncryptItem(bits, "pass", plain);
    EXPECT_EQ(item.bytes.size(), bits / 16 + 2 + plain.size() + 10);
    const auto r = DecryptItem(bits, "pass", item);
    EXPECT_TRUE(r.passwordAccepted) << bits;
    EXPECT_EQ(r.plain, plain) << bits;
    EXPECT_FALSE(r.corrupted) << bits;
  }
}

TEST(AesTransform, WrongPasswordIsRejectedThenTheRightOneWorks) {
  const auto plain = PatternBytes(300, 3);
  const TStoredItem item = EncryptItem(256, "right", plain);
  const auto wrong = DecryptItem(256, "wrong", item);
  EXPECT_FALSE(wrong.passwordAccepted);
  EXPECT_TRUE(wrong.corrupted);

  const auto retried = DecryptItem(256, "wrong", item, "right");
  EXPECT_TRUE(retried.passwordAccepted);
  EXPECT_EQ(retried.plain, plain);
  EXPECT_FALSE(retried.corrupted);
}

// Any changed byte of the data or of the stored code, or a code cut short,
// fails the verification.
TEST(AesTransform, AuthenticationCodeDetectsDamage) {
  const auto plain = PatternBytes(100, 5);
  const TStoredItem item = EncryptItem(128, "pw", plain);
  const size_t dataStart = 8 + 2;
  for (size_t at :
       {dataStart, dataStart + 50, dataStart + 99, item.bytes.size() - 10, item.bytes.size() - 1}) {
    TStoredItem damaged = item;
    damaged.bytes[at] ^= 0x01;
    EXPECT_TRUE(DecryptItem(128, "pw", damaged).corrupted) << at;
  }
  TStoredItem truncated = item;
  truncated.bytes.resize(item.bytes.size() - 3);
  EXPECT_TRUE(DecryptItem(128, "pw", truncated).corrupted);
}

// Salts come from the system's random source: back-to-back transforms differ
// and no salt byte is ever 255.
TEST(AesTransform, SaltsAreFreshAndNever255) {
  std::set<TBytes> salts;
  int count255 = 0;
  for (int i = 0; i < 3000; ++i) {
    TAESCryptoTransform t(256, 2, 8);
    t.Initialize(Encryption);
    t.GenerateKey("same password");
    const TBytes& salt = t.SaltValue();
    ASSERT_EQ(salt.size(), 16u);
    for (uint8_t b : salt)
      count255 += b == 255;
    EXPECT_TRUE(salts.insert(salt).second) << "salt repeated at " << i;
  }
  EXPECT_EQ(count255, 0);

  // Same password, same millisecond: different key streams.
  const auto zeros = std::vector<uint8_t>(64, 0);
  const TStoredItem a = EncryptItem(256, "pw", zeros);
  const TStoredItem b = EncryptItem(256, "pw", zeros);
  EXPECT_FALSE(std::equal(a.bytes.begin() + 18, a.bytes.begin() + 82, b.bytes.begin() + 18));
}

TEST(AesTransform, ExtraFieldAndSizes) {
  struct TCase {
    int32_t bits;
    uint8_t strength;
    int32_t startSize;
  };
  for (const TCase& c : {TCase{128, 1, 10}, TCase{192, 2, 14}, TCase{256, 3, 18}}) {
    TAESCryptoTransform t(c.bits, 2, 8);
    TCryptoExtraField field;
    t.GetExtraFieldData(field);
    EXPECT_EQ(field.HeaderId, 0x9901);
    EXPECT_EQ(field.DataSize, 7);
    EXPECT_EQ(field.Data, (TBytes{0x02, 0x00, 'A', 'E', c.strength, 0x08, 0x00}));
    EXPECT_EQ(t.GetFileStorageStartBlockSize(), c.startSize);
    EXPECT_EQ(t.GetFileStorageEndBlockSize(), 10);
  }
}

TEST(AesTransform, MisuseRaisesInsteadOfCorrupting) {
  EXPECT_THROW(TAESCryptoTransform(100, 2, 8), ECipherException);
  EXPECT_THROW(TAESCryptoTransform(0, 2, 8), ECipherException);

  TAESCryptoTransform noKey(256, 2, 8);
  std::vector<uint8_t> buffer(32);
  EXPECT_THROW(noKey.EncryptBuffer(buffer, 0, 16, buffer, 0), ECipherException);
  EXPECT_THROW(noKey.GetFileStorageEndBlock(), ECipherException);
  EXPECT_TRUE(noKey.IsDirItemCorrupted(0));

  TAESCryptoTransform t(128, 2, 0);
  t.GenerateKey("pw");
  EXPECT_THROW(t.EncryptBuffer(buffer, 20, 16, buffer, 0), Exception);
  EXPECT_THROW(t.DecryptBuffer(buffer, 0, 16, buffer, 17), Exception);
  EXPECT_THROW(t.DecryptBuffer(buffer, 0, -1, buffer, 0), Exception);
  EXPECT_EQ(t.EncryptBuffer(buffer, 0, 32, buffer, 0), 32);
  EXPECT_THROW(t.GenerateKey(std::string(32768, 'x')), EPBKDF2);

  t.Reset();
  EXPECT_EQ(t.GetPassword(), "");
  EXPECT_EQ(t.KeyLengthBytes(), 0);
}

}  // namespace
}  // namespace kelvane
