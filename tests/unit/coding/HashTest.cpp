#include <gtest/gtest.h>

#include "HexUtil.h"
#include "coding/KelHashes.h"

namespace kelvane {
namespace {

using test::PatternBytes;
using test::ToHex;

struct THashVector {
  std::string message;
  const char* digest;
};

std::string Digest(THash& hash, const std::string& message, size_t piece) {
  hash.Init();
  for (size_t pos = 0; pos < message.size(); pos += piece) {
    hash.Calc(message.data() + pos, static_cast<int32_t>(std::min(piece, message.size() - pos)));
  }
  hash.Done();
  return ToHex(hash.DigestKey());
}

const std::string Alnum = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
std::string EightTimesDigits() {
  std::string s;
  for (int i = 0; i < 8; ++i)
    s += "1234567890";
  return s;
}

// RFC 1320, appendix A.5.
TEST(HashMD4, Rfc1320Vectors) {
  const THashVector vectors[] = {
      {"", "31d6cfe0d16ae931b73c59d7e0c089c0"},
      {"a", "bde52cb31de33e46245e05fbdbd6fb24"},
      {"abc", "a448017aaf21d8525fc10ae87aa6729d"},
      {"message digest", "d9130a8164549fe818874806e1c7014b"},
      {"abcdefghijklmnopqrstuvwxyz", "d79e1c308aa5bbcdeea8ed63df412da9"},
      {Alnum, "043f8582f241db351ce627e153e7f0e4"},
      {EightTimesDigits(), "e33b4ddc9c38f2199c3e7b164fcc0536"},
  };
  THash_MD4 hash;
  for (const auto& v : vectors) {
    for (size_t piece : {size_t{1}, size_t{63}, size_t{1000}}) {
      EXPECT_EQ(Digest(hash, v.message, piece), v.digest) << v.message << " / " << piece;
    }
  }
}

// The vectors published with RIPEMD-256 by its designers.
TEST(HashRipeMD256, PublishedVectors) {
  const THashVector vectors[] = {
      {"", "02ba4c4e5f8ecd1877fc52d64d30e37a2d9774fb1e5d026380ae0168e3c5522d"},
      {"a", "f9333e45d857f5d90a91bab70a1eba0cfb1be4b0783c9acfcd883a9134692925"},
      {"abc", "afbd6e228b9d8cbbcef5ca2d03e6dba10ac0bc7dcbe4680e1e42d2e975459b65"},
      {"message digest", "87e971759a1ce47a514d5c914c392c9018c7c46bc14465554afcdf54a5070c0e"},
      {"abcdefghijklmnopqrstuvwxyz",
       "649d3034751ea216776bf9a18acc81bc7896118a5197968782dd1fd97d8d5133"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "3843045583aac6c8c8d9128573e7a9809afb2a0f34ccc36ea9e72f16f6368e3f"},
      {Alnum, "5740a408ac16b720b84424ae931cbb1fe363d1d0bf4017f1a89f7ea6de77a0b8"},
      {EightTimesDigits(), "06fdcc7a409548aaf91368c06a6275b553e3f099bf0ea4edfd6778df89a890dd"},
      {std::string(1000000, 'a'),
       "ac953744e10e31514c150d4d8d7b677342e33399788296e43ae4850ce4f97978"},
  };
  THash_RipeMD256 hash;
  for (const auto& v : vectors) {
    EXPECT_EQ(Digest(hash, v.message, 1000), v.digest) << v.message.substr(0, 40);
  }
  const std::string awkward = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  EXPECT_EQ(Digest(hash, awkward, 1), Digest(hash, awkward, 1000));
}

TEST(HashClasses, ClassOperationsAndStringFormats) {
  EXPECT_EQ(THash_MD4::DigestKeySize(), 16);
  EXPECT_EQ(THash_RipeMD256::DigestKeySize(), 32);
  EXPECT_EQ(THash::DigestKeySize(), 0);
  EXPECT_EQ(THash_RipeMD256::Class()->DigestKeySize, 32);
  EXPECT_STREQ(THash_RipeMD256::Class()->ClassName, "THash_RipeMD256");

  const AnsiString viaClass = THash::CalcString(THash_MD4::Class(), "abc", fmtCOPY);
  EXPECT_EQ(ToHex(reinterpret_cast<const uint8_t*>(viaClass.data()), viaClass.size()),
            "a448017aaf21d8525fc10ae87aa6729d");
  TStringStream stream("xxabc");
  EXPECT_EQ(THash::CalcStream(THash_MD4::Class(), stream, -1, fmtCOPY),
            THash::CalcString(THash_MD4::Class(), "xxabc", fmtCOPY));
  // The default format (MIME Base 64) has no character table.
  EXPECT_THROW(THash::CalcString(THash_MD4::Class(), "abc", DefaultStringFormat()), Exception);
}

// The hash of a stream arrives through the protection machinery (CodeStream
// with paCalc): Begin starts, chunks add, End finishes.
TEST(HashClasses, CodeStreamHashesInPieces) {
  const auto data = PatternBytes(10000, 7);
  TMemoryStream stream;
  stream.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
  THash_RipeMD256 viaStream;
  viaStream.CodeStream(stream, nullptr, paCalc, -1);
  THash_RipeMD256 direct;
  direct.Calc(data.data(), static_cast<int32_t>(data.size()));
  direct.Done();
  EXPECT_EQ(viaStream.DigestKey(), direct.DigestKey());
}

TEST(HashClasses, StubsRaiseTheirMessages) {
  struct TCase {
    std::function<void()> call;
    const char* message;
  };
  THash base;
  THash_MD4 md4;
  THash_RipeMD256 ripe;
  const TCase cases[] = {
      {[&] { base.DigestKey(); }, "Not implemented 14"},
      {[&] { base.GetTestVector(); }, "Not implemented 14"},
      {[] { THash::SelfTest(); }, "Not implemented 14"},
      {[&] { md4.GetTestVector(); }, "Not implemented 28"},
      {[&] { ripe.GetTestVector(); }, "Not implemented 31"},
      {[&] { md4.BeginCoding(paWipe); }, "Not implemented 12"},
      {[&] { base.Identity(); }, "Not implemented 13"},
  };
  for (const auto& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << "no exception for " << c.message;
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
}

}  // namespace
}  // namespace kelvane
