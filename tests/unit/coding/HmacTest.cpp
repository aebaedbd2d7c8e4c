#include <gtest/gtest.h>

#include "HexUtil.h"
#include "coding/Kelhmac.h"
#include "coding/Kelsha1.h"

namespace kelvane {
namespace {

using test::Bytes;
using test::FromHex;
using test::ToHex;

struct THmacVector {
  std::vector<uint8_t> key;
  std::vector<uint8_t> data;
  const char* mac;
};

std::string HmacSha1(const std::vector<uint8_t>& key, const std::vector<uint8_t>& data,
                     size_t piece) {
  THMAC_Context ctx;
  HMAC_Init(ctx, &SHA1_Desc, key.data(), static_cast<uint16_t>(key.size()));
  for (size_t pos = 0; pos < data.size(); pos += piece) {
    HMAC_Update(ctx, data.data() + pos, static_cast<int32_t>(std::min(piece, data.size() - pos)));
  }
  THashDigest mac;
  HMAC_Final(ctx, mac);
  return ToHex(mac.data(), SHA1DigestSize);
}

// RFC 2202, section 3 (all seven HMAC-SHA-1 cases; 6 and 7 use 80-byte keys,
// longer than the block, which are hashed first).
TEST(HmacSha1, Rfc2202Vectors) {
  const THmacVector vectors[] = {
      {std::vector<uint8_t>(20, 0x0b), Bytes("Hi There"),
       "b617318655057264e28bc0b6fb378c8ef146be00"},
      {Bytes("Jefe"), Bytes("what do ya want for nothing?"),
       "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
      {std::vector<uint8_t>(20, 0xaa), std::vector<uint8_t>(50, 0xdd),
       "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
      {FromHex("0102030405060708090a0b0c0d0e0f10111213141516171819"),
       std::vector<uint8_t>(50, 0xcd), "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
      {std::vector<uint8_t>(20, 0x0c), Bytes("Test With Truncation"),
       "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
      {std::vector<uint8_t>(80, 0xaa),
       Bytes("Test Using Larger Than Block-Size Key - Hash Key First"),
       "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
      {std::vector<uint8_t>(80, 0xaa),
       Bytes("Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data"),
       "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
  };
  int n = 1;
  for (const auto& v : vectors) {
    for (size_t piece : {size_t{1}, size_t{7}, size_t{1000}}) {
      EXPECT_EQ(HmacSha1(v.key, v.data, piece), v.mac) << "case " << n << " piece " << piece;
    }
    ++n;
  }
}

TEST(HmacSha1, UnusableContextDoesNothing) {
  THMAC_Context ctx;
  HMAC_Init(ctx, nullptr, "key", 3);
  HMAC_Update(ctx, "data", 4);
  THashDigest mac;
  mac.fill(0x5A);
  HMAC_Final(ctx, mac);
  for (uint8_t b : mac)
    ASSERT_EQ(b, 0x5A);
}

// Finishing wipes the keyed pad and leaves the context unusable, so a second
// finish cannot produce a code from wiped state.
TEST(HmacSha1, FinalWipesAndFinishesOnce) {
  THMAC_Context ctx;
  HMAC_Init(ctx, &SHA1_Desc, "Jefe", 4);
  HMAC_Update(ctx, "what do ya want for nothing?", 28);
  THashDigest mac;
  HMAC_Final(ctx, mac);
  EXPECT_EQ(ToHex(mac.data(), 20), "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79");
  const auto* raw = reinterpret_cast<const uint8_t*>(&ctx);
  for (size_t i = 0; i < sizeof(ctx); ++i)
    ASSERT_EQ(raw[i], 0) << i;
  THashDigest again;
  again.fill(0x11);
  HMAC_Final(ctx, again);
  EXPECT_EQ(again[0], 0x11);
}

}  // namespace
}  // namespace kelvane
