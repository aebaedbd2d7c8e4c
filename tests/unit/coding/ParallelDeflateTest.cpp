#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

#include "ZlibTestData.h"
#include "coding/KelParallelDeflate.h"
#include "coding/KelZlib.h"

namespace kelvane {
namespace {

using test::Bytes;
using test::CompressibleData;
using test::RandomData;

// Source through the parallel deflater, chunk by chunk, taking each piece
// only when no slot is free, as the item encoder does.
Bytes DeflateInParallel(const Bytes& src, int level, unsigned workers, size_t chunk) {
  TKelParallelDeflater d(level, workers, chunk);
  Bytes out;
  size_t read = 0;
  for (;;) {
    for (uint8_t* in; read < src.size() && (in = d.NextInput());) {
      const size_t n = std::min(chunk, src.size() - read);
      std::memcpy(in, src.data() + read, n);
      d.Submit(n, read + n == src.size());
      read += n;
    }
    if (d.Pending() == 0) break;
    const auto piece = d.Next();
    out.insert(out.end(), piece.Out.begin(), piece.Out.end());
  }
  EXPECT_TRUE(d.Finished());
  return out;
}

Bytes DeflateInOrder(const Bytes& src, int level, size_t chunk) {
  TKelDeflater d(level);
  Bytes out;
  for (size_t at = 0; at < src.size(); at += chunk) {
    const size_t n = std::min(chunk, src.size() - at);
    const auto piece = d.CompressChunk(src.data() + at, n, at + n == src.size());
    out.insert(out.end(), piece.begin(), piece.end());
  }
  d.End();
  return out;
}

// Any raw Deflate reader: the whole stream, nothing after its end.
Bytes RawInflate(const Bytes& packed, size_t expected) {
  z_stream z{};
  EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
  Bytes out(expected + 1);
  z.next_in = const_cast<Bytef*>(packed.data());
  z.avail_in = static_cast<uInt>(packed.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
  EXPECT_EQ(z.avail_in, 0u);
  out.resize(z.total_out);
  inflateEnd(&z);
  return out;
}

// A random block repeated: each chunk matches the 32 KiB before it, so a
// chunk deflated without that window would cost its whole first block again.
Bytes RepeatedBlock(size_t n) {
  const Bytes block = RandomData(20000, 9);
  Bytes v;
  while (v.size() < n)
    v.insert(v.end(), block.begin(), block.end());
  v.resize(n);
  return v;
}

TEST(ParallelDeflate, PiecesJoinIntoOneStreamAsSmallAsTheSequentialOne) {
  struct TKind {
    const char* Name;
    Bytes Data;
  } kinds[] = {
      {"text", CompressibleData(600000, 5)},
      {"repeated block", RepeatedBlock(500000)},
      {"random", RandomData(300000, 6)},
      {"one byte", Bytes(1, 'x')},
  };
  for (const int level : {1, 2, 3, 6, 9}) {
    for (const TKind& kind : kinds) {
      for (const size_t chunk : {size_t{65536}, size_t{100003}}) {
        for (const unsigned workers : {1u, 3u}) {
          SCOPED_TRACE(testing::Message() << "level " << level << ", " << kind.Name << ", chunk "
                                          << chunk << ", workers " << workers);
          const Bytes packed = DeflateInParallel(kind.Data, level, workers, chunk);
          EXPECT_EQ(RawInflate(packed, kind.Data.size()), kind.Data);
          // Primed windows: no more than a trace above the sequential size.
          const size_t sequential = DeflateInOrder(kind.Data, level, chunk).size();
          EXPECT_LE(packed.size(), sequential + sequential / 100 + 64);
        }
      }
    }
  }
}

TEST(ParallelDeflate, MisuseRaisesAndAFullPipelineWaitsToBeTaken) {
  TKelParallelDeflater d(6, 2, 1000);
  EXPECT_THROW(d.Next(), ECompressionError);             // nothing submitted
  EXPECT_THROW(d.Submit(10, false), ECompressionError);  // no input handed out
  ASSERT_NE(d.NextInput(), nullptr);
  EXPECT_THROW(d.Submit(1001, false), ECompressionError);  // more than a chunk
  // Every slot (workers + 2) filled: no more room until a piece is taken.
  for (int i = 0; i < 4; ++i) {
    uint8_t* in = d.NextInput();
    ASSERT_NE(in, nullptr) << i;
    std::memset(in, 'a' + i, 1000);
    d.Submit(1000, false);
  }
  EXPECT_EQ(d.NextInput(), nullptr);
  EXPECT_EQ(d.Pending(), 4u);
  EXPECT_EQ(d.Next().In, 1000u);
  EXPECT_NE(d.NextInput(), nullptr);
  d.Submit(0, true);
  EXPECT_EQ(d.NextInput(), nullptr);  // nothing after the last chunk
  EXPECT_TRUE(d.Finished());
}

}  // namespace
}  // namespace kelvane
