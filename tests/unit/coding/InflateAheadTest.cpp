#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZlibTestData.h"
#include "coding/KelInflateAhead.h"

namespace kelvane {
namespace {

using test::Bytes;

struct TPulled {
  std::vector<Bytes> Pieces;
  std::string Failure;  // the reason of the first fault, empty without one
  bool StreamEnded = false;
  uint64_t TotalOut = 0;
};

// Drives Inflater the way the item decoder does: each chunk is copied into
// one of two buffers that take turns, so a chunk read after the inflater let
// its buffer go comes out wrong.
TPulled Pull(TKelPullInflater& inflater, const Bytes& packed, size_t chunkSize) {
  TPulled r;
  Bytes buffers[2];
  const auto take = [&](bool drain) {
    while (drain ? !inflater.Drained() : !inflater.ChunkDone()) {
      const auto piece = inflater.Inflate();
      if (!piece.empty()) r.Pieces.emplace_back(piece.begin(), piece.end());
    }
  };
  try {
    for (size_t at = 0, turn = 0; at < packed.size(); at += chunkSize, turn ^= 1) {
      const auto from = packed.begin() + at;
      buffers[turn].assign(from, from + std::min(chunkSize, packed.size() - at));
      inflater.SetInput(buffers[turn].data(), buffers[turn].size());
      take(false);
    }
    take(true);
    r.StreamEnded = inflater.StreamEnded();
    inflater.Finish();
  } catch (const EDecompressionError& e) {
    r.Failure = e.Reason();
  }
  r.TotalOut = inflater.TotalOut();
  return r;
}

Bytes Joined(const TPulled& pulled) {
  Bytes all;
  for (const Bytes& piece : pulled.Pieces)
    all.insert(all.end(), piece.begin(), piece.end());
  return all;
}

Bytes Mixed(size_t size) {
  Bytes data = test::CompressibleData(size / 2, 21);
  const Bytes noise = test::RandomData(size - data.size(), 22);
  data.insert(data.end(), noise.begin(), noise.end());
  return data;
}

// The worker must hand out exactly what the in-line inflater produces, piece
// for piece, whatever the chunking, the piece size and the number of buffers.
TEST(InflateAhead, GivesThePiecesOfTheInLineInflater) {
  struct Case {
    const char* what;
    Bytes data;
    size_t chunk;
    size_t piece;
    int pieces;
  };
  const Case cases[] = {
      {"text, one chunk", test::CompressibleData(3 << 20, 1), 1 << 20, 64 << 10, 4},
      {"text and noise, small chunks", Mixed(2 << 20), 4093, 16 << 10, 2},
      {"pieces smaller than the chunks", Mixed(1 << 20), 1 << 20, 1000, 3},
      {"zeros: a small chunk expands", Bytes(8 << 20, 0), 1 << 20, 256 << 10, 4},
      {"empty", Bytes(), 1 << 20, 4096, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes packed = test::Deflate(c.data, 6, 300000);
    TKelInflater inLine(c.piece);
    TKelInflateAhead ahead(c.piece, c.pieces);
    const TPulled expected = Pull(inLine, packed, c.chunk);
    const TPulled got = Pull(ahead, packed, c.chunk);
    EXPECT_EQ(expected.Failure, "");
    EXPECT_EQ(got.Failure, "");
    EXPECT_TRUE(got.StreamEnded);
    EXPECT_EQ(got.Pieces, expected.Pieces);
    EXPECT_EQ(got.TotalOut, c.data.size());
    EXPECT_TRUE(Joined(got) == c.data);
  }
}

// A fault is raised once the pieces before it are out, as in line.
TEST(InflateAhead, FaultsComeAfterThePiecesBeforeThem) {
  const Bytes data = test::CompressibleData(2 << 20, 5);
  const Bytes packed = test::Deflate(data, 6, 300000);
  // A reserved block type where a block begins behind a sync point, well
  // inside the stream.
  const Bytes sync = {0x00, 0x00, 0xFF, 0xFF};
  Bytes corrupt = packed;
  const auto at =
      std::search(corrupt.begin() + corrupt.size() / 2, corrupt.end(), sync.begin(), sync.end());
  ASSERT_LT(at + 4, corrupt.end());
  at[4] = 0x07;
  Bytes trailing = packed;
  trailing.push_back(0x11);
  const Bytes truncated(packed.begin(), packed.end() - 100);

  struct Case {
    const char* what;
    const Bytes& packed;
  };
  const Case cases[] = {
      {"corrupt", corrupt}, {"trailing bytes", trailing}, {"truncated", truncated}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TKelInflater inLine(32 << 10);
    TKelInflateAhead ahead(32 << 10, 3);
    const TPulled expected = Pull(inLine, c.packed, 1 << 20);
    const TPulled got = Pull(ahead, c.packed, 1 << 20);
    EXPECT_NE(expected.Failure, "");
    EXPECT_EQ(got.Failure, expected.Failure);
    EXPECT_EQ(got.Pieces, expected.Pieces);
  }
}

// A caller that stops early (a cancel, output beyond the declared size)
// drops the inflater with the worker busy; a fault stays raised.
TEST(InflateAhead, StoppingEarlyNeitherHangsNorLeaks) {
  const Bytes zeros(64 << 20, 0);
  const Bytes packed = test::Deflate(zeros, 9, zeros.size());
  {
    TKelInflateAhead ahead(4096, 2);
    ahead.SetInput(packed.data(), packed.size());
    EXPECT_EQ(ahead.Inflate().size(), 4096u);
    EXPECT_FALSE(ahead.Drained());
  }
  const Bytes bad = {0x07};  // reserved block type
  TKelInflateAhead ahead;
  ahead.SetInput(bad.data(), bad.size());
  EXPECT_FALSE(ahead.Drained());
  EXPECT_THROW(ahead.Inflate(), EDecompressionError);
  EXPECT_TRUE(ahead.Drained());
  EXPECT_THROW(ahead.Finish(), EDecompressionError);
  // Finish before the output was taken neither hangs nor says the stream ended.
  TKelInflateAhead untaken(4096, 2);
  untaken.SetInput(packed.data(), packed.size());
  EXPECT_THROW(untaken.Finish(), EDecompressionError);
}

}  // namespace
}  // namespace kelvane
