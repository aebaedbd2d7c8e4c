#include <gtest/gtest.h>

#include <string>

#include "HexUtil.h"
#include "coding/Kelsha1.h"

namespace kelvane {
namespace {

using test::Bytes;
using test::PatternBytes;
using test::ToHex;

std::string Sha1Hex(const std::vector<uint8_t>& data) {
  THashDigest digest;
  HashFullBuffer(&SHA1_Desc, digest, data.data(), static_cast<int32_t>(data.size()));
  return ToHex(digest.data(), SHA1DigestSize);
}

struct TSha1Vector {
  std::string message;
  const char* digest;
};

TEST(Sha1, PublishedVectors) {
  const TSha1Vector vectors[] = {
      {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
      {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
      {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
  };
  for (const auto& v : vectors) {
    EXPECT_EQ(Sha1Hex(Bytes(v.message)), v.digest) << v.message.substr(0, 60);
  }
}

// Feeding the same data in pieces of every awkward size gives the one-call digest,
// across the padding boundaries (55/56/63/64/65 bytes).
TEST(Sha1, SplitUpdatesMatchOneCall) {
  for (size_t total : {0u, 1u, 55u, 56u, 63u, 64u, 65u, 119u, 120u, 128u, 1000u}) {
    const auto data = PatternBytes(total, static_cast<uint32_t>(total));
    const std::string whole = Sha1Hex(data);
    for (size_t piece : {1u, 3u, 63u, 64u, 65u}) {
      THashContext ctx;
      SHA1Init(ctx);
      for (size_t pos = 0; pos < total; pos += piece) {
        SHA1UpdateXL(ctx, data.data() + pos, static_cast<int32_t>(std::min(piece, total - pos)));
      }
      THashDigest digest;
      SHA1Final(ctx, digest);
      EXPECT_EQ(ToHex(digest.data(), SHA1DigestSize), whole) << total << "/" << piece;
      for (size_t i = SHA1DigestSize; i < digest.size(); ++i)
        ASSERT_EQ(digest[i], 0);
    }
  }
}

TEST(Sha1, FinalWipesContextAndIgnoresNegativeCounts) {
  THashContext ctx;
  SHA1Init(ctx);
  SHA1UpdateXL(ctx, "abc", 3);
  SHA1UpdateXL(ctx, "zzz", -5);
  THashDigest digest;
  SHA1Final(ctx, digest);
  EXPECT_EQ(ToHex(digest.data(), SHA1DigestSize), "a9993e364706816aba3e25717850c26c9cd0d89d");
  const auto* raw = reinterpret_cast<const uint8_t*>(&ctx);
  for (size_t i = 0; i < sizeof(ctx); ++i)
    ASSERT_EQ(raw[i], 0) << i;
}

TEST(Sha1, ShaInstructionsMatchPortableCode) {
  if (!SHA1HasShaInstructions()) GTEST_SKIP() << "processor has no SHA instructions";
  for (uint32_t seed = 1; seed <= 20; ++seed) {
    const auto data = PatternBytes(64 * seed, seed);
    uint32_t a[5] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, seed};
    uint32_t b[5] = {a[0], a[1], a[2], a[3], a[4]};
    SHA1CompressPortable(a, data.data(), seed);
    SHA1CompressShaNi(b, data.data(), seed);
    for (int i = 0; i < 5; ++i)
      ASSERT_EQ(a[i], b[i]) << "seed " << seed << " word " << i;
  }
}

}  // namespace
}  // namespace kelvane
