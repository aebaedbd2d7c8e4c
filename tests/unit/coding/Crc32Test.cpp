#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "coding/KelCrc32.h"

namespace kelvane {
namespace {

std::vector<uint8_t> RandomData(size_t n, uint32_t seed) {
  std::mt19937 gen(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v)
    b = static_cast<uint8_t>(gen());
  return v;
}

TEST(Crc32, TableIsTheZipPolynomial) {
  EXPECT_EQ(Crc32Table[0], 0u);
  EXPECT_EQ(Crc32Table[1], 0x77073096u);
  EXPECT_EQ(Crc32Table[128], Crc32Polynomial);
  EXPECT_EQ(Crc32Table[255], 0x2D02EF8Du);
}

TEST(Crc32, CheckValues) {
  struct Case {
    std::string text;
    uint32_t crc;
  };
  const Case cases[] = {
      {"", 0x00000000},
      {"a", 0xE8B7BE43},
      {"123456789", 0xCBF43926},
      {"The quick brown fox jumps over the lazy dog", 0x414FA339},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Crc32Of(c.text.data(), c.text.size()), c.crc);
    uint32_t reg = Crc32Initial;
    UpdateCrc32(reg, c.text.data(), static_cast<int32_t>(c.text.size()));
    EXPECT_EQ(~reg, c.crc);
    reg = Crc32Initial;
    for (char ch : c.text)
      reg = UpdateCrc32Byte(static_cast<uint8_t>(ch), reg);
    EXPECT_EQ(~reg, c.crc);
  }
}

TEST(Crc32, CountOfZeroOrLessLeavesTheRegister) {
  uint32_t reg = 0x12345678;
  UpdateCrc32(reg, nullptr, 0);
  UpdateCrc32(reg, nullptr, -1);
  UpdateCrc32(reg, nullptr, INT32_MIN);
  EXPECT_EQ(reg, 0x12345678u);
  EXPECT_EQ(AdvanceCrc32(0x12345678, nullptr, 0), 0x12345678u);
}

TEST(Crc32, IncrementalUpdatesEqualOneShot) {
  const auto data = RandomData(300000, 1);
  const uint32_t whole = Crc32Of(data.data(), data.size());
  EXPECT_EQ(whole, static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size()))));
  for (size_t piece : {1u, 3u, 15u, 64u, 127u, 4096u, 65537u}) {
    SCOPED_TRACE(piece);
    uint32_t reg = Crc32Initial;
    for (size_t at = 0; at < data.size(); at += piece) {
      const size_t n = std::min(piece, data.size() - at);
      UpdateCrc32(reg, data.data() + at, static_cast<int32_t>(n));
    }
    EXPECT_EQ(~reg, whole);
  }
}

// Every bulk routine against the byte-at-a-time definition, over lengths that
// hit each tail and block boundary and over every misalignment.
TEST(Crc32, FastPathsEqualTheTableDefinition) {
  const auto data = RandomData(70000, 2);
  std::mt19937 gen(3);
  std::vector<size_t> lengths;
  for (size_t n = 0; n <= 300; ++n)
    lengths.push_back(n);
  for (int i = 0; i < 200; ++i)
    lengths.push_back(gen() % 65000);
  lengths.push_back(65536);

  for (size_t offset = 0; offset < 16; ++offset) {
    for (size_t n : lengths) {
      const uint8_t* p = data.data() + offset;
      const uint32_t start = gen();
      const uint32_t expected = crc32impl::Bytewise(start, p, n);
      ASSERT_EQ(crc32impl::Slicing16(start, p, n), expected) << "offset " << offset << " n " << n;
      ASSERT_EQ(AdvanceCrc32(start, p, n), expected) << "offset " << offset << " n " << n;
      if (crc32impl::ClmulAvailable()) {
        ASSERT_EQ(crc32impl::Clmul(start, p, n), expected) << "offset " << offset << " n " << n;
      }
    }
  }
}

TEST(Crc32, LargeBufferMatchesZlib) {
  const auto data = RandomData((1 << 20) + 13, 4);
  for (size_t offset : {0u, 1u, 7u}) {
    const size_t n = data.size() - offset;
    const auto expected =
        static_cast<uint32_t>(crc32(0, data.data() + offset, static_cast<uInt>(n)));
    EXPECT_EQ(Crc32Of(data.data() + offset, n), expected);
    EXPECT_EQ(~crc32impl::Slicing16(Crc32Initial, data.data() + offset, n), expected);
  }
}

}  // namespace
}  // namespace kelvane
