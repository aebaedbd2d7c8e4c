// The read-ahead block behind the decoding of many small items: every byte
// comes back as the stream holds it, small reads cost few reads of the
// stream, and a stream moved or failing behind the reader's back is not
// answered from stale bytes.
#include <gtest/gtest.h>

#include "container/KelReadAhead.h"

namespace kelvane {
namespace {

class TCountingStream : public TMemoryStream {
 public:
  int64_t Read(void* buffer, int64_t count) override {
    ++Reads;
    if (FailReads) throw EReadError("gone");
    return TMemoryStream::Read(buffer, count);
  }
  int Reads = 0;
  bool FailReads = false;
};

TBytes Pattern(size_t size) {
  TBytes bytes(size);
  for (size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
  return bytes;
}

class ReadAhead : public ::testing::Test {
 protected:
  void SetUp() override {
    FStream.WriteBuffer(FBytes.data(), int64_t(FBytes.size()));
    FStream.SetPosition(0);
  }
  // Reads Count bytes at Pos and checks them against the stream's bytes.
  void ExpectRead(int64_t pos, int64_t count, int64_t expected) {
    FReader.Seek(FStream, pos);
    TBytes got(size_t(count) + 1, 0xEE);
    ASSERT_EQ(FReader.Read(got.data(), count), expected) << pos << "+" << count;
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + expected, FBytes.begin() + pos));
    EXPECT_EQ(got[size_t(expected)], 0xEE);  // nothing written beyond what was read
    EXPECT_EQ(FReader.Position(), pos + expected);
  }

  static constexpr int64_t Block = TKelReadAhead::BlockSize;
  TBytes FBytes = Pattern(size_t(3 * Block + 1000));
  TCountingStream FStream;
  TKelReadAhead FReader;
};

TEST_F(ReadAhead, ConsecutiveSmallReadsCostOneStreamReadPerBlock) {
  int64_t pos = 0;
  for (int64_t size : {30, 22, 95, 1, 0, 4000}) {
    FReader.Seek(FStream, pos);
    TBytes got(static_cast<size_t>(size));
    ASSERT_EQ(FReader.Read(got.data(), size), size);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), FBytes.begin() + pos));
    pos += size;
  }
  EXPECT_EQ(FStream.Reads, 1);
  // Across the block's end, a jump back into it, and past the stream's end.
  ExpectRead(Block - 10, 20, 20);
  ExpectRead(100, 50, 50);
  ExpectRead(int64_t(FBytes.size()) - 5, 100, 5);
  ExpectRead(int64_t(FBytes.size()), 10, 0);
  ExpectRead(int64_t(FBytes.size()) + 50, 10, 0);
}

TEST_F(ReadAhead, LargeReadsGoStraightToTheCaller) {
  ExpectRead(10, 20, 20);
  const int reads = FStream.Reads;
  // Part from the block, the rest with one read of the stream.
  ExpectRead(20, 2 * Block, 2 * Block);
  EXPECT_EQ(FStream.Reads - reads, 1);
  ExpectRead(5, 2 * Block + 2000, 2 * Block + 2000);
}

TEST_F(ReadAhead, AStreamMovedOrReplacedIsReadAgain) {
  ExpectRead(0, 10, 10);
  // Someone else moved the stream and wrote where the block came from.
  FStream.SetPosition(5);
  const uint8_t changed[] = {1, 2, 3};
  FStream.WriteBuffer(changed, 3);
  std::copy(std::begin(changed), std::end(changed), FBytes.begin() + 5);
  ExpectRead(0, 20, 20);

  TCountingStream other;
  other.WriteBuffer("other", 5);
  FReader.Seek(other, 0);
  char got[5] = {};
  ASSERT_EQ(FReader.Read(got, 5), 5);
  EXPECT_EQ(std::string(got, 5), "other");
  EXPECT_EQ(FReader.Stream(), &other);
  FReader.Drop();
  EXPECT_EQ(FReader.Stream(), nullptr);
  EXPECT_EQ(FReader.Read(got, 5), 0);
}

TEST_F(ReadAhead, AFailedReadPassesOnAndLeavesNothingBehind) {
  ExpectRead(0, 10, 10);
  FStream.FailReads = true;
  FReader.Seek(FStream, 2 * Block);
  uint8_t byte = 0;
  EXPECT_THROW(FReader.Read(&byte, 1), EReadError);
  FStream.FailReads = false;
  // The block read before the failure is not trusted any more.
  const int reads = FStream.Reads;
  ExpectRead(0, 10, 10);
  EXPECT_EQ(FStream.Reads - reads, 1);
}

}  // namespace
}  // namespace kelvane
