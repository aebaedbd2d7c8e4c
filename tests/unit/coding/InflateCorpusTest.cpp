// The peer corpus of raw Deflate streams (shared/peers/malo/deflate), run
// through the item decompressor, by each side of the Deflate seam, whole and
// in the most awkward feeding, and
// held against the zlib-format way of decoding (two header bytes put in front,
// the end of the data taken as the end of the item).
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ZlibTestData.h"
#include "coding/KelZlib.h"

namespace kelvane {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

std::optional<fs::path> CorpusDir() {
  const char* shared = std::getenv("KELVANE_SHARED");
  if (!shared) return std::nullopt;
  const fs::path dir = fs::path(shared) / "peers" / "malo" / "deflate";
  if (!fs::is_directory(dir)) return std::nullopt;
  return dir;
}

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes Text(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

Bytes Repeat(const std::string& s, int times) {
  std::string r;
  for (int i = 0; i < times; ++i)
    r += s;
  return Text(r);
}

struct TOutcome {
  bool failed = false;
  std::string reason;
  Bytes out;
};

TOutcome DecodeWithInflater(const Bytes& packed, size_t chunk, size_t outputBuffer,
                            TKelDeflateBackend backend) {
  TOutcome r;
  try {
    TKelInflater inf(outputBuffer, backend);
    for (size_t at = 0; at < packed.size(); at += chunk) {
      inf.DecodeChunk(packed.data() + at, std::min(chunk, packed.size() - at), [&](auto piece) {
        r.out.insert(r.out.end(), piece.begin(), piece.end());
        return true;
      });
    }
    inf.Finish();
  } catch (const EDecompressionError& e) {
    r.failed = true;
    r.reason = e.Reason();
  }
  return r;
}

// The zlib-format loop: inflateInit, 78 01 in front of the first chunk,
// Z_BUF_ERROR with no input left means the chunk is used up, any other
// negative result fails the item; a stream that simply stops is no error here.
TOutcome DecodeWithZlibFormat(const Bytes& packed, size_t chunk) {
  TOutcome r;
  z_stream z{};
  EXPECT_EQ(inflateInit(&z), Z_OK);
  Bytes buf(1 << 20);
  for (size_t at = 0; at < packed.size() && !r.failed; at += chunk) {
    const size_t n = std::min(chunk, packed.size() - at);
    Bytes in;
    if (at == 0) in = {0x78, 0x01};
    in.insert(in.end(), packed.begin() + at, packed.begin() + at + n);
    z.next_in = in.data();
    z.avail_in = static_cast<uInt>(in.size());
    for (;;) {
      z.next_out = buf.data();
      z.avail_out = static_cast<uInt>(buf.size());
      const int res = inflate(&z, Z_NO_FLUSH);
      if (res < 0) {
        if (res != Z_BUF_ERROR || z.avail_in != 0) r.failed = true;
        break;
      }
      r.out.insert(r.out.end(), buf.begin(), buf.end() - z.avail_out);
      if ((z.avail_out > 0 && z.avail_in == 0) || res == Z_STREAM_END) break;
    }
  }
  inflateEnd(&z);
  return r;
}

enum TExpect { Decodes, Raises };

struct TCase {
  const char* path;
  TExpect expect;
  std::optional<Bytes> content;  // for Decodes
  bool zlibFormatFails;          // what the zlib-format way answers
  const char* note;
};

// iffy and malicious files: what we do is recorded here.
const std::vector<TCase>& Cases() {
  static const std::vector<TCase> cases = {
      {"accept/dynamic_huffman.deflate", Decodes, Repeat("hello world ", 50), false, ""},
      {"accept/empty.deflate", Decodes, Bytes{}, false, ""},
      {"accept/fixed_huffman.deflate", Decodes, Text("hello"), false, ""},
      {"accept/long_backref.deflate", Decodes, Repeat("a", 300), false, ""},
      {"accept/mixed.deflate", Decodes, Text("hello world"), false, ""},
      {"accept/overlap_backref.deflate", Decodes, Repeat("a", 100), false, ""},
      {"accept/stored.deflate", Decodes, Text("hello"), false, ""},
      {"accept/stored_two_blocks.deflate", Decodes, Text("hello world"), false, ""},
      {"iffy/nonzero_padding.deflate", Decodes, Text("hello"), false,
       "padding bits before a stored block's lengths are ignored, as every decoder does"},
      {"malicious/two_streams.deflate", Raises, std::nullopt, true,
       "a second stream after the final block is data after the end: refused"},
      {"reject/bad_symbol.deflate", Raises, std::nullopt, true, ""},
      {"reject/distance_before_start.deflate", Raises, std::nullopt, true, ""},
      {"reject/dynamic_empty_clen.deflate", Raises, std::nullopt, false, "truncated"},
      {"reject/dynamic_oversubscribed_clen.deflate", Raises, std::nullopt, true, ""},
      {"reject/dynamic_rle_no_prev.deflate", Raises, std::nullopt, true, ""},
      {"reject/nlen_mismatch.deflate", Raises, std::nullopt, true, ""},
      {"reject/non_final_flush.deflate", Raises, std::nullopt, false, "no final block"},
      {"reject/reserved_btype.deflate", Raises, std::nullopt, true, ""},
      {"reject/trailing_garbage.deflate", Raises, std::nullopt, false,
       "one byte after the end; the zlib format reads it as part of a trailer"},
      {"reject/truncated_dynamic.deflate", Raises, std::nullopt, false, "truncated"},
      {"reject/truncated_fixed.deflate", Raises, std::nullopt, false, "truncated"},
      {"reject/truncated_fixed_midcode.deflate", Raises, std::nullopt, false, "truncated"},
      {"reject/truncated_stored.deflate", Raises, std::nullopt, false, "truncated"},
  };
  return cases;
}

TEST(InflateCorpus, EveryFileHasAnExpectedOutcome) {
  const auto dir = CorpusDir();
  if (!dir) GTEST_SKIP() << "peer Deflate corpus not found (KELVANE_SHARED/peers/malo/deflate)";
  std::set<std::string> listed;
  for (const auto& c : Cases())
    listed.insert(c.path);
  for (const auto& entry : fs::recursive_directory_iterator(*dir)) {
    if (entry.path().extension() != ".deflate") continue;
    const std::string rel = fs::relative(entry.path(), *dir).generic_string();
    EXPECT_TRUE(listed.count(rel)) << rel << " is not in the table";
  }
  for (const auto& c : Cases())
    EXPECT_TRUE(fs::exists(*dir / c.path)) << c.path;
}

using InflateCorpusSides = test::BackendTest;
KEL_BACKEND_TESTS(InflateCorpusSides);

TEST_P(InflateCorpusSides, OutcomesWholeAndInAwkwardFeeding) {
  const auto dir = CorpusDir();
  if (!dir) GTEST_SKIP() << "peer Deflate corpus not found (KELVANE_SHARED/peers/malo/deflate)";
  for (const auto& c : Cases()) {
    if (!fs::exists(*dir / c.path)) continue;
    SCOPED_TRACE(testing::Message() << c.path << " " << c.note);
    const Bytes packed = ReadFile(*dir / c.path);
    struct Feeding {
      size_t chunk, output;
    };
    for (const Feeding f : {Feeding{1 << 20, 1 << 20}, Feeding{1, 1}, Feeding{3, 7}}) {
      SCOPED_TRACE(testing::Message() << "chunk " << f.chunk << ", output " << f.output);
      const TOutcome r = DecodeWithInflater(packed, f.chunk, f.output, GetParam());
      if (c.expect == Decodes) {
        EXPECT_FALSE(r.failed) << r.reason;
        if (c.content) {
          EXPECT_EQ(r.out, *c.content);
        }
      } else {
        EXPECT_TRUE(r.failed);
        EXPECT_FALSE(r.reason.empty());
      }
    }
  }
}

// Same bytes and same errors as the zlib-format way, except where the table
// says the stream stops short or carries bytes after its end: those it lets
// through (the item's size or CRC-32 catches most of them later), we refuse.
TEST_P(InflateCorpusSides, AgreesWithTheZlibFormatWay) {
  const auto dir = CorpusDir();
  if (!dir) GTEST_SKIP() << "peer Deflate corpus not found (KELVANE_SHARED/peers/malo/deflate)";
  for (const auto& c : Cases()) {
    if (!fs::exists(*dir / c.path)) continue;
    SCOPED_TRACE(c.path);
    const Bytes packed = ReadFile(*dir / c.path);
    for (size_t chunk : {size_t{1} << 20, size_t{1}}) {
      const TOutcome ours = DecodeWithInflater(packed, chunk, 1 << 20, GetParam());
      const TOutcome zlibFormat = DecodeWithZlibFormat(packed, chunk);
      EXPECT_EQ(zlibFormat.failed, c.zlibFormatFails) << "chunk " << chunk;
      if (zlibFormat.failed) {
        EXPECT_TRUE(ours.failed);
      }
      if (!ours.failed) {
        EXPECT_EQ(ours.out, zlibFormat.out);
      }
    }
  }
}

// Streams written by our compressor (by the same side) decode identically
// both ways, also when split across several 1 MiB chunks.
TEST_P(InflateCorpusSides, OwnStreamsDecodeAlikeBothWays) {
  Bytes src;
  uint32_t x = 1;
  for (int i = 0; i < 3000000; ++i) {
    x = x * 1103515245 + 12345;
    src.push_back(static_cast<uint8_t>((x >> 16) % 17 + 'a'));
  }
  for (int level : {1, 2, 6, 9}) {
    SCOPED_TRACE(level);
    TKelDeflater d(level, GetParam());
    Bytes packed;
    const size_t chunk = static_cast<size_t>(CompressionBlockSize(static_cast<uint8_t>(level)));
    for (size_t at = 0; at < src.size(); at += chunk) {
      const size_t n = std::min(chunk, src.size() - at);
      const auto piece = d.CompressChunk(src.data() + at, n, at + n == src.size());
      packed.insert(packed.end(), piece.begin(), piece.end());
    }
    d.End();
    ASSERT_GT(packed.size(), size_t{DecompressionChunkSize});
    const TOutcome ours =
        DecodeWithInflater(packed, DecompressionChunkSize, DecompressionChunkSize, GetParam());
    const TOutcome zlibFormat = DecodeWithZlibFormat(packed, DecompressionChunkSize);
    EXPECT_FALSE(ours.failed) << ours.reason;
    EXPECT_FALSE(zlibFormat.failed);
    EXPECT_TRUE(ours.out == src);
    EXPECT_TRUE(zlibFormat.out == src);
  }
}

}  // namespace
}  // namespace kelvane
