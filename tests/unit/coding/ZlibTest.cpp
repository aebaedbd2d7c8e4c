#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "ZlibTestData.h"
#include "coding/KelZlib.h"

namespace kelvane {
namespace {

using test::Bytes;
using test::CompressibleData;
using test::Deflate;
using test::RandomData;

// Decompresses Packed fed in chunks of ChunkSize; raises EDecompressionError.
Bytes Inflate(const Bytes& packed, size_t chunkSize, size_t outputBufferSize = 1 << 20,
              TKelDeflateBackend backend = DefaultInflateBackend()) {
  TKelInflater inf(outputBufferSize, backend);
  Bytes out;
  for (size_t at = 0; at < packed.size(); at += chunkSize) {
    const size_t n = std::min(chunkSize, packed.size() - at);
    inf.DecodeChunk(packed.data() + at, n, [&](std::span<const uint8_t> piece) {
      EXPECT_LE(piece.size(), outputBufferSize);
      out.insert(out.end(), piece.begin(), piece.end());
      return true;
    });
  }
  inf.Finish();
  return out;
}

// The zlib-format way: deflateInit at the level, one deflate call per chunk
// into an (n + n/10 + 12 + 255) & ~255 buffer, Z_SYNC_FLUSH or Z_FINISH, the
// two header bytes cut from the first chunk and the four trailer bytes from
// the last.
Bytes DeflateWithZlibFormat(const Bytes& src, int level, size_t chunkSize) {
  z_stream z{};
  EXPECT_EQ(deflateInit(&z, level), Z_OK);
  Bytes out;
  size_t consumed = 0;
  do {
    const size_t n = std::min(chunkSize, src.size() - consumed);
    const bool last = consumed + n == src.size();
    Bytes buf((n + n / 10 + 12 + 255) & ~size_t{255});
    z.next_in = const_cast<Bytef*>(src.data() + consumed);
    z.avail_in = static_cast<uInt>(n);
    z.next_out = buf.data();
    z.avail_out = static_cast<uInt>(buf.size());
    const uLong before = z.total_out;
    EXPECT_GE(deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH), 0);
    EXPECT_EQ(z.avail_in, 0u);
    size_t offset = 0;
    size_t length = z.total_out - before;
    if (consumed == 0) {
      offset = 2;
      length -= 2;
    }
    if (last && level > 0) length -= 4;
    out.insert(out.end(), buf.begin() + offset, buf.begin() + offset + length);
    consumed += n;
  } while (consumed < src.size());
  EXPECT_EQ(deflateEnd(&z), Z_OK);
  return out;
}

TEST(CompressionSettings, LevelModeMethodAndBlockSize) {
  EXPECT_EQ(CompressionModeForLevel(clNone), 0);
  EXPECT_EQ(CompressionModeForLevel(clFastest), 1);
  EXPECT_EQ(CompressionModeForLevel(clNormal), 6);
  EXPECT_EQ(CompressionModeForLevel(clMax), 9);

  struct Row {
    TKelCompressionLevel level;
    uint16_t method;
    int32_t blockSize;
  };
  const Row byMode[10] = {
      {clNone, 0, 0x100000},   {clFastest, 8, 0x80000}, {clFastest, 8, 0x80000},
      {clFastest, 8, 0x80000}, {clNormal, 8, 0x100000}, {clNormal, 8, 0x100000},
      {clNormal, 8, 0x100000}, {clMax, 8, 0x180000},    {clMax, 8, 0x180000},
      {clMax, 8, 0x180000},
  };
  for (uint8_t mode = 0; mode <= MaxCompressionMode; ++mode) {
    SCOPED_TRACE(static_cast<int>(mode));
    EXPECT_EQ(CompressionLevelForMode(mode), byMode[mode].level);
    EXPECT_EQ(CompressionMethodForMode(mode), byMode[mode].method);
    EXPECT_EQ(CompressionBlockSize(mode), byMode[mode].blockSize);
  }
  EXPECT_GT(CompressionBlockSize(200), 0);
}

TEST(CompressionSettings, ZlibHeaderForLevel) {
  const std::array<uint8_t, 2> expected[] = {
      {0x78, 0xDA}, {0x78, 0x01}, {0x78, 0x01}, {0x78, 0x5E}, {0x78, 0x5E},
      {0x78, 0x9C}, {0x78, 0x9C}, {0x78, 0xDA}, {0x78, 0xDA}, {0x78, 0xDA},
  };
  for (int level = 0; level <= 9; ++level) {
    const auto h = ZlibHeaderForLevel(level);
    EXPECT_EQ(h, expected[level]) << level;
    EXPECT_EQ((h[0] * 256 + h[1]) % 31, 0) << "not a valid zlib header, level " << level;
  }
  EXPECT_EQ(ZlibHeaderForLevel(-1), (std::array<uint8_t, 2>{0, 0}));
  EXPECT_EQ(ZlibHeaderForLevel(10), (std::array<uint8_t, 2>{0, 0}));
}

TEST(ZlibErrors, MessagesAndHierarchy) {
  const ECompressionError c(-3);
  EXPECT_STREQ(c.what(), "error -3");
  EXPECT_EQ(c.Result(), -3);
  const EDecompressionError d("invalid block type");
  EXPECT_STREQ(d.what(), "error");
  EXPECT_EQ(d.Reason(), "invalid block type");
  EXPECT_NE(dynamic_cast<const EZlibError*>(&c), nullptr);
  EXPECT_NE(dynamic_cast<const Exception*>(&d), nullptr);
}

using DeflateSides = test::BackendTest;
using InflateSides = test::BackendTest;
KEL_BACKEND_TESTS(DeflateSides);
KEL_BACKEND_TESTS(InflateSides);

// Levels 0..9 over the kinds of data that take different paths in Deflate,
// compressed and decompressed in chunk sizes that cut through blocks, codes
// and flush markers, by one side and read back by the same side.
TEST_P(DeflateSides, RoundTripsAtEveryLevelInAwkwardChunks) {
  struct Data {
    const char* name;
    Bytes bytes;
  };
  const std::string hello = "hello, hello, world";
  const Data kinds[] = {
      {"empty", {}},
      {"small", Bytes(hello.begin(), hello.end())},
      {"compressible", CompressibleData(200000, 1)},
      {"zeros", Bytes(300000, 0)},
      {"random", RandomData(150000, 2)},
  };
  struct Chunking {
    size_t compress, decompress, output;
  };
  const Chunking chunkings[] = {
      {7, 65536, 1 << 20},
      {4099, 13, 1 << 20},
      {65537, 1, 1000},
      {SIZE_MAX, 1 << 20, 777},
  };
  for (int level = 0; level <= 9; ++level) {
    for (const auto& kind : kinds) {
      for (const auto& c : chunkings) {
        SCOPED_TRACE(testing::Message() << "level " << level << ", " << kind.name << ", chunks "
                                        << c.compress << "/" << c.decompress << "/" << c.output);
        const Bytes packed = Deflate(kind.bytes, level, c.compress, GetParam());
        EXPECT_EQ(Inflate(packed, c.decompress, c.output, GetParam()), kind.bytes);
        // Any raw Deflate decoder reads it too.
        z_stream z{};
        ASSERT_EQ(inflateInit2(&z, -15), Z_OK);
        Bytes check(kind.bytes.size() + 1);
        z.next_in = const_cast<Bytef*>(packed.data());
        z.avail_in = static_cast<uInt>(packed.size());
        z.next_out = check.data();
        z.avail_out = static_cast<uInt>(check.size());
        EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
        EXPECT_EQ(z.total_out, kind.bytes.size());
        EXPECT_EQ(z.avail_in, 0u);
        inflateEnd(&z);
      }
    }
  }
}

// Raw Deflate gives byte for byte what the zlib format gives once its header
// and trailer are cut off, at the engine's chunk sizes and at small ones.
TEST(Deflate, ZlibSideGivesTheZlibFormatWithHeaderAndTrailerCut) {
  Bytes mixed = CompressibleData(2000000, 3);
  const Bytes noise = RandomData(600000, 4);
  mixed.insert(mixed.begin() + 700000, noise.begin(), noise.end());
  const Bytes small = CompressibleData(1000, 5);
  for (int level = 1; level <= 9; ++level) {
    SCOPED_TRACE(level);
    const size_t engineChunk =
        static_cast<size_t>(CompressionBlockSize(static_cast<uint8_t>(level)));
    EXPECT_EQ(Deflate(mixed, level, engineChunk, dbZlib),
              DeflateWithZlibFormat(mixed, level, engineChunk));
    EXPECT_EQ(Deflate(mixed, level, 100003, dbZlib), DeflateWithZlibFormat(mixed, level, 100003));
    EXPECT_EQ(Deflate(small, level, 1000, dbZlib), DeflateWithZlibFormat(small, level, 1000));
    EXPECT_EQ(Deflate(small, level, 33, dbZlib), DeflateWithZlibFormat(small, level, 33));
  }
}

TEST_P(DeflateSides, EveryChunkButTheLastEndsAtASyncFlushPoint) {
  const Bytes src = CompressibleData(3000, 6);
  // Mode 1 is one the ISA-L side takes.
  TKelDeflater d(1, GetParam());
  const auto first = d.CompressChunk(src.data(), 1000, false);
  const Bytes a(first.begin(), first.end());
  ASSERT_GE(a.size(), 4u);
  EXPECT_EQ(Bytes(a.end() - 4, a.end()), (Bytes{0x00, 0x00, 0xFF, 0xFF}));

  // The stream so far decodes to the first chunk but has not ended.
  TKelInflater partial(1 << 20, GetParam());
  Bytes out;
  partial.DecodeChunk(a.data(), a.size(), [&](std::span<const uint8_t> p) {
    out.insert(out.end(), p.begin(), p.end());
    return true;
  });
  EXPECT_EQ(out, Bytes(src.begin(), src.begin() + 1000));
  EXPECT_FALSE(partial.StreamEnded());
  EXPECT_THROW(partial.Finish(), EDecompressionError);

  const auto second = d.CompressChunk(src.data() + 1000, 2000, true);
  Bytes whole = a;
  whole.insert(whole.end(), second.begin(), second.end());
  EXPECT_TRUE(d.Finished());
  EXPECT_EQ(d.TotalIn(), 3000u);
  EXPECT_EQ(d.TotalOut(), whole.size());
  d.End();
  EXPECT_EQ(Inflate(whole, whole.size(), 1 << 20, GetParam()), src);
}

TEST_P(DeflateSides, UnfinishedStreamRaisesWhenClosedUnlessCancelled) {
  const Bytes src = CompressibleData(5000, 7);
  {
    TKelDeflater d(1, GetParam());
    d.CompressChunk(src.data(), src.size(), false);
    try {
      d.End();
      ADD_FAILURE() << "an unfinished stream closed without an error";
    } catch (const ECompressionError& e) {
      EXPECT_EQ(e.Result(), Z_DATA_ERROR);
      EXPECT_STREQ(e.what(), "error -3");
    }
    EXPECT_NO_THROW(d.End());  // already closed
  }
  {
    TKelDeflater d(1, GetParam());
    d.CompressChunk(src.data(), src.size(), false);
    EXPECT_NO_THROW(d.End(true));
  }
  for (int level : {1, 9}) {
    TKelDeflater d(level, GetParam());  // nothing compressed: an empty item never starts the stream
    EXPECT_NO_THROW(d.End());
  }
  for (int level : {2, 5}) {
    TKelDeflater d(level, GetParam());
    d.CompressChunk(src.data(), src.size(), true);
    EXPECT_THROW(d.CompressChunk(src.data(), 1, true), ECompressionError);
  }
  EXPECT_THROW(TKelDeflater(10, GetParam()), ECompressionError);
  EXPECT_THROW(TKelDeflater(-2, GetParam()), ECompressionError);
}

// A stream cut at every length is reported, in Inflate or in Finish, and what
// came out before is a prefix of the data.
TEST_P(InflateSides, TruncatedAtEveryLengthRaises) {
  const Bytes src = CompressibleData(6000, 8);
  const Bytes packed = Deflate(src, 6, 2000);  // dynamic blocks and sync points
  for (size_t len = 0; len < packed.size(); ++len) {
    TKelInflater inf(1 << 20, GetParam());
    Bytes out;
    bool raised = false;
    try {
      inf.DecodeChunk(packed.data(), len, [&](std::span<const uint8_t> p) {
        out.insert(out.end(), p.begin(), p.end());
        return true;
      });
      inf.Finish();
    } catch (const EDecompressionError& e) {
      raised = true;
      EXPECT_FALSE(e.Reason().empty());
    }
    ASSERT_TRUE(raised) << "cut at " << len;
    ASSERT_LE(out.size(), src.size());
    ASSERT_TRUE(std::equal(out.begin(), out.end(), src.begin())) << "cut at " << len;
  }
}

TEST_P(InflateSides, BytesAfterTheEndOfTheStreamRaise) {
  const Bytes src = CompressibleData(5000, 9);
  const Bytes packed = Deflate(src, 6, src.size());
  const uint32_t adler =
      static_cast<uint32_t>(adler32(1, src.data(), static_cast<uInt>(src.size())));
  const Bytes adlerBytes = {static_cast<uint8_t>(adler >> 24), static_cast<uint8_t>(adler >> 16),
                            static_cast<uint8_t>(adler >> 8), static_cast<uint8_t>(adler)};
  const Bytes tails[] = {{0x00}, {0x12, 0x34, 0x56}, {1, 2, 3, 4, 5}, adlerBytes};
  for (const auto& tail : tails) {
    SCOPED_TRACE(tail.size());
    Bytes withTail = packed;
    withTail.insert(withTail.end(), tail.begin(), tail.end());
    EXPECT_THROW(Inflate(withTail, withTail.size(), 1 << 20, GetParam()), EDecompressionError);
    // The same when the extra bytes come in a later chunk, and when the
    // output comes in small pieces after all the input went in.
    EXPECT_THROW(Inflate(withTail, packed.size(), 1 << 20, GetParam()), EDecompressionError);
    EXPECT_THROW(Inflate(withTail, withTail.size(), 1000, GetParam()), EDecompressionError);
  }
}

TEST_P(InflateSides, CorruptDataRaisesAndKeepsRaising) {
  const Bytes bad = {0x07};  // reserved block type
  TKelInflater inf(1 << 20, GetParam());
  inf.SetInput(bad.data(), bad.size());
  try {
    inf.Inflate();
    ADD_FAILURE() << "reserved block type accepted";
  } catch (const EDecompressionError& e) {
    EXPECT_STREQ(e.what(), "error");
    EXPECT_NE(e.Reason().find("invalid block"), std::string::npos) << e.Reason();
  }
  inf.SetInput(bad.data(), bad.size());
  EXPECT_THROW(inf.Inflate(), EDecompressionError);
  EXPECT_THROW(inf.Finish(), EDecompressionError);
}

// What a decoder faced with a declared size needs: output comes in pieces no
// larger than the buffer, and the caller can stop between them, so a small
// compressed chunk that expands enormously never runs to the end.
TEST_P(InflateSides, CallerStopsOnceOutputExceedsADeclaredSize) {
  const Bytes zeros(64 << 20, 0);
  const Bytes packed = Deflate(zeros, 9, zeros.size());
  ASSERT_LT(packed.size(), 1u << 20);  // one decoder chunk

  const uint64_t declared = 1000;
  const size_t buffer = 1 << 20;
  TKelInflater inf(buffer, GetParam());
  uint64_t produced = 0;
  int pieces = 0;
  const bool completed = inf.DecodeChunk(packed.data(), packed.size(), [&](auto piece) {
    ++pieces;
    produced += piece.size();
    return produced <= declared;
  });
  EXPECT_FALSE(completed);
  EXPECT_EQ(pieces, 1);
  EXPECT_EQ(produced, buffer);
  EXPECT_EQ(inf.TotalOut(), buffer);
  EXPECT_LT(inf.TotalIn(), packed.size());

  // The pull form gives the same control.
  TKelInflater pull(4096, GetParam());
  pull.SetInput(packed.data(), packed.size());
  uint64_t total = 0;
  while (!pull.ChunkDone()) {
    const auto piece = pull.Inflate();
    ASSERT_LE(piece.size(), 4096u);
    total += piece.size();
    if (total > 100000) break;
  }
  EXPECT_GT(total, 100000u);
  EXPECT_LE(total, 100000u + 4096u);
}

}  // namespace
}  // namespace kelvane
