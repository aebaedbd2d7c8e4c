#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "HexUtil.h"
#include "TempDir.h"
#include "coding/KelCipher.h"

namespace kelvane {
namespace {

using test::FromHex;
using test::PatternBytes;
using test::ToHex;

const char* const Sp80038aKey = "2b7e151628aed2a6abf7158809cf4f3c";
const char* const Sp80038aIv = "000102030405060708090a0b0c0d0e0f";

std::shared_ptr<TCipher_Rijndael> MakeCipher(TCipherMode mode, const char* keyHex = Sp80038aKey,
                                             const char* ivHex = Sp80038aIv) {
  auto cipher = std::make_shared<TCipher_Rijndael>();
  const auto key = FromHex(keyHex);
  const auto iv = FromHex(ivHex);
  cipher->Init(key.data(), static_cast<int32_t>(key.size()), iv.data());
  cipher->SetMode(mode);
  return cipher;
}

// NIST SP 800-38A: F.2.1 (CBC-AES128) and F.3.7 (CFB8-AES128); the 8-bit CFB of
// this library is that mode.
TEST(CipherModes, PublishedVectors) {
  struct TCase {
    TCipherMode mode;
    const char* plain;
    const char* cipher;
  };
  const TCase cases[] = {
      {cmCBC, "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51",
       "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"},
      {cmCFB, "6bc1bee22e409f96e93d7e117393172aae2d", "3b79424c9c0dd436bace9e0ed4586a4f32b9"},
  };
  for (const auto& c : cases) {
    const auto plain = FromHex(c.plain);
    std::vector<uint8_t> out(plain.size());
    MakeCipher(c.mode)->EncodeBuffer(plain.data(), out.data(), static_cast<int32_t>(out.size()));
    EXPECT_EQ(ToHex(out), c.cipher) << int(c.mode);
    MakeCipher(c.mode)->DecodeBuffer(out.data(), out.data(), static_cast<int32_t>(out.size()));
    EXPECT_EQ(ToHex(out), c.plain) << int(c.mode);
  }
}

// Every reversible mode gives the data back for every length, in one call or
// in two, in place, and with source and destination overlapping.
TEST(CipherModes, ReversibleModesRoundTrip) {
  for (TCipherMode mode : {cmCTS, cmCBC, cmCFB, cmOFB, cmCTR}) {
    for (int32_t length : {1, 15, 16, 17, 33, 100}) {
      const auto plain = PatternBytes(static_cast<size_t>(length), static_cast<uint32_t>(length));
      std::vector<uint8_t> coded(plain.size());
      MakeCipher(mode)->EncodeBuffer(plain.data(), coded.data(), length);
      EXPECT_NE(coded, plain) << int(mode) << "/" << length;

      std::vector<uint8_t> inPlace = coded;
      MakeCipher(mode)->DecodeBuffer(inPlace.data(), inPlace.data(), length);
      EXPECT_EQ(inPlace, plain) << int(mode) << "/" << length;

      // Decoding with the destination 3 bytes ahead of the source.
      std::vector<uint8_t> shifted(plain.size() + 3);
      std::copy(coded.begin(), coded.end(), shifted.begin());
      MakeCipher(mode)->DecodeBuffer(shifted.data(), shifted.data() + 3, length);
      EXPECT_TRUE(std::equal(plain.begin(), plain.end(), shifted.begin() + 3))
          << int(mode) << "/" << length;
    }
  }
}

TEST(CipherModes, EcbCodesWholeBlocksAloneAndOnlyEncryptsATail) {
  const auto plain = PatternBytes(37, 5);
  std::vector<uint8_t> coded(plain.size());
  MakeCipher(cmECB)->EncodeBuffer(plain.data(), coded.data(), 37);
  // Equal blocks code equally, whatever came before.
  auto block = std::vector<uint8_t>(plain.begin() + 16, plain.begin() + 32);
  MakeCipher(cmECB)->EncodeBlock(block.data());
  EXPECT_TRUE(std::equal(block.begin(), block.end(), coded.begin() + 16));
  std::vector<uint8_t> decoded(plain.size());
  MakeCipher(cmECB)->DecodeBuffer(coded.data(), decoded.data(), 37);
  EXPECT_TRUE(std::equal(plain.begin(), plain.begin() + 32, decoded.begin()));
}

// The MAC modes never write the destination; the code ends up in the feedback
// register, the same for encoding and decoding, and follows every data byte
// of whole blocks.
TEST(CipherModes, MacModesOnlyAdvanceTheFeedback) {
  for (TCipherMode mode : {cmCTSMAC, cmCBCMAC, cmCFBMAC}) {
    const auto data = PatternBytes(48, 8);
    std::vector<uint8_t> dest(48, 0xCC);
    auto enc = MakeCipher(mode);
    enc->EncodeBuffer(data.data(), dest.data(), 48);
    EXPECT_EQ(dest, std::vector<uint8_t>(48, 0xCC)) << int(mode);
    const std::vector<uint8_t> mac(enc->Feedback(), enc->Feedback() + 16);
    EXPECT_NE(mac, std::vector<uint8_t>(enc->Vector(), enc->Vector() + 16));

    auto dec = MakeCipher(mode);
    dec->DecodeBuffer(data.data(), dest.data(), 48);
    EXPECT_EQ(std::vector<uint8_t>(dec->Feedback(), dec->Feedback() + 16), mac) << int(mode);

    auto changed = data;
    changed[20] ^= 1;
    auto other = MakeCipher(mode);
    other->EncodeBuffer(changed.data(), dest.data(), 48);
    EXPECT_NE(std::vector<uint8_t>(other->Feedback(), other->Feedback() + 16), mac) << int(mode);

    // Done restarts the chain and keeps the code in the work block.
    enc->Done();
    EXPECT_TRUE(std::equal(enc->Vector(), enc->Vector() + 16, enc->Feedback()));
  }
}

// A password key is the cipher's key size of the RIPEMD-256 digest, with the
// initial vector the encryption of a block of 0xFF bytes.
TEST(CipherKeys, PasswordKeyIsTheHashOfThePassword) {
  TCipher_Rijndael fromPassword("secret");
  EXPECT_EQ(fromPassword.Flags() & 3, 3);
  EXPECT_EQ(fromPassword.Rounds(), 14);
  THash_RipeMD256 hash;
  hash.Calc("secret", 6);
  hash.Done();
  const TBytes digest = hash.DigestKey();
  TCipher_Rijndael fromDigest;
  fromDigest.Init(digest.data(), 32, nullptr);
  std::vector<uint8_t> ff(16, 0xFF);
  fromDigest.EncodeBlock(ff.data());
  EXPECT_TRUE(std::equal(ff.begin(), ff.end(), fromPassword.Vector()));

  const auto data = PatternBytes(50, 1);
  std::vector<uint8_t> a(50), b(50);
  fromPassword.EncodeBuffer(data.data(), a.data(), 50);
  fromDigest.EncodeBuffer(data.data(), b.data(), 50);
  EXPECT_EQ(a, b);

  // Another key hash gives another key.
  TCipher_Rijndael md4Key;
  md4Key.SetHashClass(THash_MD4::Class());
  md4Key.InitKey(AnsiString("secret"), nullptr);
  EXPECT_FALSE(std::equal(ff.begin(), ff.end(), md4Key.Vector()));
  md4Key.SetHashClass(nullptr);
  EXPECT_EQ(md4Key.HashClass(), THash_RipeMD256::Class());
}

TEST(CipherKeys, ProtectWipesKeyAndState) {
  auto cipher = MakeCipher(cmCTR);
  std::vector<uint8_t> data(20, 0);
  cipher->EncodeBuffer(data.data(), data.data(), 20);
  cipher->Protect();
  EXPECT_FALSE(cipher->Initialized());
  EXPECT_TRUE(
      std::all_of(cipher->Vector(), cipher->Vector() + 16, [](uint8_t b) { return b == 0xFF; }));
  EXPECT_THROW(cipher->EncodeBuffer(data.data(), data.data(), 20), ECipherException);
}

// --- Protections, registries and formats ---------------------------------------

TEST(CipherLibrary, ChainPassesCodingOnAndRefusesCycles) {
  auto inner = MakeCipher(cmCTR, "000102030405060708090a0b0c0d0e0f");
  auto outer = std::make_shared<TCipher_Rijndael>("pw", inner);
  outer->SetMode(cmCTR);
  const auto plain = PatternBytes(64, 2);
  auto data = plain;
  outer->CodeBuffer(data.data(), 64, paEncode);
  // Encoding passes on first, so the inner cipher codes the plain text.
  auto expected = plain;
  MakeCipher(cmCTR, "000102030405060708090a0b0c0d0e0f")
      ->EncodeBuffer(expected.data(), expected.data(), 64);
  auto outerOnly = std::make_shared<TCipher_Rijndael>("pw");
  outerOnly->SetMode(cmCTR);
  outerOnly->EncodeBuffer(expected.data(), expected.data(), 64);
  EXPECT_EQ(data, expected);
  // The counter runs on across calls, so decoding takes a fresh chain.
  auto decodeInner = MakeCipher(cmCTR, "000102030405060708090a0b0c0d0e0f");
  auto decodeOuter = std::make_shared<TCipher_Rijndael>("pw", decodeInner);
  decodeOuter->SetMode(cmCTR);
  decodeOuter->CodeBuffer(data.data(), 64, paDecode);
  EXPECT_EQ(data, plain);

  try {
    inner->SetProtection(outer);
    FAIL() << "cycle accepted";
  } catch (const EProtection& e) {
    EXPECT_STREQ(e.what(), "Circular Protection detected, Protection Object is invalid.");
  }
  EXPECT_EQ(inner->Protection(), nullptr);
  EXPECT_THROW(outer->SetProtection(outer), EProtection);
  EXPECT_THROW(outer->CodeBuffer(data.data(), 64, paWipe), Exception);
}

TEST(CipherLibrary, CodeStreamCodesInPlaceAndReportsProgress) {
  const auto plain = PatternBytes(10000, 4);
  TMemoryStream stream;
  stream.WriteBuffer(plain.data(), 10000);
  std::vector<std::pair<int64_t, int64_t>> reports;
  SetProtectionProgress([&](int64_t done, int64_t total) { reports.emplace_back(done, total); });
  MakeCipher(cmCBC)->CodeStream(stream, nullptr, paEncode, -1);
  SetProtectionProgress(nullptr);
  ASSERT_EQ(reports.size(), 4u);
  EXPECT_EQ(reports[0], std::make_pair(int64_t{4096}, int64_t{10000}));
  EXPECT_EQ(reports[2], std::make_pair(int64_t{10000}, int64_t{10000}));
  EXPECT_EQ(reports[3], std::make_pair(int64_t{0}, int64_t{0}));

  TMemoryStream decoded;
  MakeCipher(cmCBC)->CodeStream(stream, &decoded, paDecode, -1);
  EXPECT_EQ(decoded.Bytes(), plain);
}

TEST(CipherLibrary, CodeFileToAnotherFileAndInPlace) {
  test::TempDir dir;
  const auto plain = PatternBytes(5000, 6);
  const auto src = dir.Root() / "plain.bin";
  std::ofstream(src, std::ios::binary)
      .write(reinterpret_cast<const char*>(plain.data()),
             static_cast<std::streamsize>(plain.size()));
  auto read = [](const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
  };
  MakeCipher(cmCTR)->CodeFile(dir.Path(u"plain.bin"), dir.Path(u"coded.bin"), paEncode);
  const auto coded = read(dir.Root() / "coded.bin");
  ASSERT_EQ(coded.size(), plain.size());
  EXPECT_NE(coded, plain);
  MakeCipher(cmCTR)->CodeFile(dir.Path(u"coded.bin"), u"", paDecode);
  EXPECT_EQ(read(dir.Root() / "coded.bin"), plain);
}

TEST(CipherLibrary, StringFormatsAndTheirMessages) {
  const auto& list = StringFormatList();
  ASSERT_GE(list.size(), 6u);
  struct TExpect {
    int32_t format;
    const char* name;
    const char* stub;
  };
  const TExpect expected[] = {{1, "copy Input to Output", nullptr},
                              {16, "Hexadecimal", "Not Implemented 2"},
                              {1016, "Hexadecimal lowercase", "Not implemented 3"},
                              {4196, "MIME Base 64", "Not Implemented 4"},
                              {21845, "UU Coding", "Not implemented 5"},
                              {22616, "XX Coding", "Not implemented 6"}};
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(list[i]->Format(), expected[i].format);
    EXPECT_EQ(list[i]->Name(), expected[i].name);
    if (expected[i].stub == nullptr) continue;
    for (auto convert : {&StrToFormat, &FormatToStr}) {
      try {
        convert("abc", expected[i].format);
        ADD_FAILURE() << expected[i].name;
      } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), expected[i].stub);
      }
    }
  }
  EXPECT_EQ(DefaultStringFormat(), 4196);
  EXPECT_EQ(StrToFormat(AnsiString("a\0b", 3), fmtCOPY), AnsiString("a\0b", 3));

  try {
    StrToFormat("abc", 77);
    FAIL();
  } catch (const EStringFormat& e) {
    EXPECT_STREQ(e.what(), "String Format \"77\" not exists.");
  }

  // A format that refuses all input shows the two validation messages.
  struct TRefusing : TStringFormat {
    AnsiString Name() const override { return "Refusing"; }
    int32_t Format() const override { return 555; }
    bool IsValid(const AnsiString&, bool) const override { return false; }
  };
  static const TRefusing refusing;
  RegisterStringFormat(refusing);
  EXPECT_EQ(FindStringFormat(555), &refusing);
  const size_t count = StringFormatList().size();
  RegisterStringFormat(refusing);  // same number: replaced in place
  EXPECT_EQ(StringFormatList().size(), count);
  try {
    StrToFormat("abc", 555);
    FAIL();
  } catch (const EStringFormat& e) {
    EXPECT_STREQ(e.what(), "Input can not be convert to Refusing Format.");
  }
  try {
    FormatToStr("abc", 555);
    FAIL();
  } catch (const EStringFormat& e) {
    EXPECT_STREQ(e.what(), "Input is not an valid Refusing Format.");
  }
}

TEST(CipherLibrary, CipherListNamesRijndael) {
  ASSERT_FALSE(CipherList().empty());
  EXPECT_EQ(CipherList()[0].Text, u"Rijndael=");
  EXPECT_EQ(CipherList()[0].Class, TCipher_Rijndael::Class());
  RegisterCipher(TCipher_Rijndael::Class(), u"AES");
  EXPECT_EQ(CipherList()[0].Text, u"Rijndael=AES");
  EXPECT_EQ(CipherList().size(), 1u);
  RegisterCipher(TCipher_Rijndael::Class(), u"");

  // The list's classes make working ciphers from a password.
  auto cipher = CipherList()[0].Class->Create("pw", nullptr);
  EXPECT_TRUE(cipher->Initialized());
  AnsiString coded = cipher->CodeString("hello", paEncode, fmtCOPY);
  EXPECT_NE(coded, "hello");
  EXPECT_EQ(cipher->CodeString(coded, paDecode, fmtCOPY), "hello");
}

}  // namespace
}  // namespace kelvane
