// Files deflated ahead of the writer: each result is what the writer would
// have made of the file, and items the writer passes or takes twice give
// nothing, so that it reads those files itself.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "TempDir.h"
#include "coding/KelCrc32.h"
#include "coding/KelZlib.h"
#include "engine/KelCompressAhead.h"
#include "platform/Stream.h"

namespace kelvane {
namespace {

std::string Text(size_t size, int seed) {
  std::string s;
  while (s.size() < size)
    s += "line " + std::to_string(seed * 7919 + int(s.size()) % 613) + "\n";
  s.resize(size);
  return s;
}

class CompressAheadTest : public ::testing::Test {
 protected:
  TAheadJob Job(int32_t index, const std::string& contents, size_t maxSize = 1 << 20) {
    const std::string name = "f" + std::to_string(index);
    std::ofstream(Dir.NativePath(name), std::ios::binary) << contents;
    return {index, Dir.Path(FromUtf8(name)), fmOpenRead | fmShareDenyNone, 6, maxSize};
  }
  test::TempDir Dir;
};

TEST_F(CompressAheadTest, EachItemIsTheWritersOwnStream) {
  std::vector<TAheadJob> jobs;
  std::vector<std::string> contents;
  for (int32_t i = 0; i < 12; ++i) {
    contents.push_back(Text(9000 + size_t(i) * 5000, i));
    jobs.push_back(Job(i * 2 + 1, contents.back()));  // indexes with gaps
  }
  for (unsigned workers : {1u, 3u}) {
    TKelCompressAhead ahead(jobs, workers, 2);
    for (size_t j = 0; j < jobs.size(); ++j) {
      const std::unique_ptr<TAheadItem> item = ahead.Take(jobs[j].Index);
      ASSERT_TRUE(item) << j;
      const std::string& data = contents[j];
      TKelDeflater deflater(6);
      const auto expected =
          deflater.CompressChunk(reinterpret_cast<const uint8_t*>(data.data()), data.size(), true);
      EXPECT_EQ(item->Deflated, TBytes(expected.begin(), expected.end())) << j;
      EXPECT_EQ(item->Size, data.size());
      uint32_t crc = Crc32Initial;
      UpdateCrc32(crc, data.data(), int32_t(data.size()));
      EXPECT_EQ(item->Crc, crc);
    }
  }
}

TEST_F(CompressAheadTest, PassedTakenAndUnreadableItemsGiveNothing) {
  std::vector<TAheadJob> jobs = {
      Job(0, Text(10000, 1)),      Job(1, Text(10000, 2)), Job(2, ""),  // empty
      Job(3, Text(5000, 3), 4096),                                      // larger than its limit
      Job(4, Text(10000, 4)),      Job(5, Text(10000, 5))};
  jobs.push_back({6, Dir.Path(u"missing"), fmOpenRead | fmShareDenyNone, 6, 1 << 20});
  TKelCompressAhead ahead(jobs, 2, 8);
  EXPECT_TRUE(ahead.Take(1)) << "item 0 is passed over";
  EXPECT_FALSE(ahead.Take(0)) << "an item the writer went past";
  EXPECT_FALSE(ahead.Take(1)) << "taken before";
  EXPECT_FALSE(ahead.Take(2));
  EXPECT_FALSE(ahead.Take(3));
  EXPECT_TRUE(ahead.Take(5));
  EXPECT_FALSE(ahead.Take(4)) << "passed over";
  EXPECT_FALSE(ahead.Take(6)) << "missing";
  EXPECT_FALSE(ahead.Take(7)) << "no job";
}

TEST_F(CompressAheadTest, JumpsAheadAndStopsWithItemsLeft) {
  std::vector<TAheadJob> jobs;
  std::vector<std::string> contents;
  for (int32_t i = 0; i < 40; ++i) {
    contents.push_back(Text(20000, i));
    jobs.push_back(Job(i, contents.back()));
  }
  TKelCompressAhead ahead(jobs, 2, 3);
  ASSERT_TRUE(ahead.Take(0));
  // The window holds items 1 to 3 at most: item 10 is not started, and is
  // deflated by the one who asks; the workers go on from item 11.
  for (int32_t i : {10, 11, 12}) {
    const std::unique_ptr<TAheadItem> item = ahead.Take(i);
    ASSERT_TRUE(item) << i;
    EXPECT_EQ(item->Size, contents[size_t(i)].size()) << i;
  }
}  // leaves with jobs left and workers waiting: must not hang

}  // namespace
}  // namespace kelvane
