#include <gtest/gtest.h>

#include "coding/KelHashDesc.h"
#include "coding/Kelsha1.h"

namespace kelvane {
namespace {

TEST(HashRegistry, Sha1IsNumberThreeWithItsDescriptorValues) {
  PHashDesc sha1 = FindHashByAlgorithm(_SHA1);
  ASSERT_EQ(sha1, &SHA1_Desc);
  EXPECT_EQ(sha1->HSig, 0x3D7A);
  EXPECT_EQ(sha1->HDSize, 80);
  EXPECT_EQ(sha1->HDVersion, 0x00010003);
  EXPECT_EQ(sha1->HBlockLen, 64);
  EXPECT_EQ(sha1->HDigestlen, 20);
  EXPECT_EQ(sha1->HAlgNum, 3);
  EXPECT_EQ(sha1->HName, "SHA1");
  ASSERT_EQ(sha1->HLenOID, 6);
  const int32_t oid[] = {1, 3, 14, 3, 2, 26};
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(sha1->HPtrOID[i], oid[i]);
}

TEST(HashRegistry, LookupsAnswerNoneOutsideTheRegisteredSlots) {
  for (int32_t n : {-1, 0, 1, 2, 4, 7, 9, 1000})
    EXPECT_EQ(FindHashByAlgorithm(n), nullptr) << n;
  for (const char* name : {"SHA1", "sha1", "Sha1"})
    EXPECT_EQ(FindHashByName(name), &SHA1_Desc);
  for (const char* name : {"", "SHA", "SHA11", "SHA-1", "MD5"}) {
    EXPECT_EQ(FindHashByName(name), nullptr) << name;
  }
}

TEST(HashRegistry, RegisterRejectsInvalidDescriptors) {
  THashDesc bad = SHA1_Desc;
  bad.HAlgNum = 6;
  RegisterHash(5, &bad);  // number and HAlgNum disagree
  bad.HAlgNum = 5;
  bad.HSig = 0x1234;
  RegisterHash(5, &bad);
  bad.HSig = C_HashSig;
  bad.HDSize = 81;
  RegisterHash(5, &bad);
  bad.HDSize = C_HashDescSize;
  bad.HDVersion = 0x00010002;
  RegisterHash(5, &bad);
  bad.HDVersion = C_HashVers;
  bad.HBlockLen = 200;  // would overrun the block buffers
  RegisterHash(5, &bad);
  RegisterHash(5, nullptr);
  EXPECT_EQ(FindHashByAlgorithm(5), nullptr);

  bad.HAlgNum = 9;
  bad.HBlockLen = 64;
  RegisterHash(9, &bad);
  EXPECT_EQ(FindHashByAlgorithm(9), nullptr);
}

// A descriptor with a 19-character name: a 25-character query is compared on
// its first 19 characters only.
TEST(HashRegistry, NamesCompareOnTheirFirstNineteenCharacters) {
  static THashDesc longName = SHA1_Desc;
  longName.HAlgNum = 8;
  longName.HName = "ABCDEFGHIJKLMNOPQRS";
  RegisterHash(8, &longName);
  ASSERT_EQ(FindHashByAlgorithm(8), &longName);
  EXPECT_EQ(FindHashByName("abcdefghijklmnopqrsTUVWXY"), &longName);
  EXPECT_EQ(FindHashByName("abcdefghijklmnopqr"), nullptr);
  EXPECT_EQ(FindHashByName("sha1"), &SHA1_Desc);
}

TEST(HashRegistry, HashFullBufferIgnoresMissingDescriptor) {
  THashDigest digest;
  digest.fill(0xEE);
  HashFullBuffer(nullptr, digest, "abc", 3);
  for (uint8_t b : digest)
    ASSERT_EQ(b, 0xEE);
}

}  // namespace
}  // namespace kelvane
