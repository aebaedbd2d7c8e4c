// Copying a byte range between open files: inside the kernel, by reads and
// writes where the kernel declines (seen through the seam on any system),
// and with the copy cut short at every step.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <thread>
#include <vector>

#include "TempDir.h"
#include "platform/FileLayerProbe.h"
#include "platform/FileReader.h"
#include "platform/FileSystem.h"
#include "platform/RangeCopyCall.h"

namespace kelvane {
namespace {

using test::TempDir;

std::string Pattern(size_t n, uint32_t seed) {
  std::string s(n, '\0');
  for (char& c : s) {
    seed = seed * 1103515245u + 12345u;
    c = char(seed >> 23);
  }
  return s;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// What the fake kernel copy does on each call.
struct TFakeCopy {
  const char* Label;
  int64_t Limit;    // bytes copied at most per call
  int FailOnCall;   // the call (1-based) that fails; 0: none
  int Error;        // errno of that failure; 0: it answers 0 instead
  bool FailsAfter;  // every call from FailOnCall on fails
  bool Copies;      // false: CopyFileRange must answer false
};

const TFakeCopy* GFake = nullptr;
int GCalls = 0;

int64_t FakeCopy(int source, int64_t sourceAt, int dest, int64_t destAt, size_t count) {
  ++GCalls;
  if (GCalls == GFake->FailOnCall ||
      (GFake->FailsAfter && GCalls > GFake->FailOnCall && GFake->FailOnCall > 0)) {
    if (GFake->Error == 0) return 0;
    errno = GFake->Error;
    return -1;
  }
  std::vector<char> buf(std::min<size_t>(count, size_t(GFake->Limit)));
  const ssize_t n = ::pread(source, buf.data(), buf.size(), sourceAt);
  if (n <= 0) return n;
  return ::pwrite(dest, buf.data(), size_t(n), destAt);
}

class FileRange : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(dir.NativePath("src"), std::ios::binary) << Source;
    std::ofstream(dir.NativePath("dst"), std::ios::binary) << Before;
    src = ::open(dir.NativePath("src").c_str(), O_RDONLY | O_CLOEXEC);
    dst = ::open(dir.NativePath("dst").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(src, 0);
    ASSERT_GE(dst, 0);
    // Offsets of their own, which the copy must leave alone.
    ::lseek(src, 5, SEEK_SET);
    ::lseek(dst, 9, SEEK_SET);
  }
  void TearDown() override {
    SetRangeCopyCall(nullptr);
    SetFileLayerProbe(nullptr);
    ::close(src);
    ::close(dst);
  }

  // The destination as it must be after copying Count bytes from 1000 to 300.
  std::string Expected(int64_t count) const {
    std::string out = Before;
    out.resize(std::max<size_t>(out.size(), size_t(300 + count)));
    out.replace(300, size_t(count), Source.substr(1000, size_t(count)));
    return out;
  }

  TempDir dir;
  const std::string Source = Pattern(700000, 3);
  const std::string Before = Pattern(5000, 8);
  int src = -1;
  int dst = -1;
};

TEST_F(FileRange, TheKernelCopiesTheRangeAndLeavesTheOffsets) {
  const int64_t count = int64_t(Source.size()) - 1000;
  ASSERT_TRUE(CopyFileRange(src, 1000, dst, 300, count));
  EXPECT_TRUE(ReadFile(dir.NativePath("dst")) == Expected(count));
  EXPECT_EQ(::lseek(src, 0, SEEK_CUR), 5);
  EXPECT_EQ(::lseek(dst, 0, SEEK_CUR), 9);
  EXPECT_TRUE(CopyFileRange(src, 0, dst, 0, 0));
  // A source that ends before the count is a failure, not a shorter copy.
  EXPECT_FALSE(CopyFileRange(src, 1000, dst, 300, count + 1));
}

TEST_F(FileRange, DeclinedAndShortCopiesEndTheSameAndFailuresFail) {
  const TFakeCopy cases[] = {
      {"declined at once: other file system", 1 << 30, 1, EXDEV, true, true},
      {"declined at once: no such call", 1 << 30, 1, ENOSYS, true, true},
      {"declined at once: unsupported files", 1 << 30, 1, EINVAL, true, true},
      {"declined after a part", 65536, 3, EOPNOTSUPP, true, true},
      {"nothing copied after a part", 4096, 2, 0, true, true},
      {"short copies throughout", 7777, 0, 0, false, true},
      {"interrupted once", 100000, 2, EINTR, false, true},
      {"a read error", 100000, 2, EIO, false, false},
      {"a full disk", 100000, 3, ENOSPC, false, false},
  };
  const int64_t count = 600000;
  for (const TFakeCopy& c : cases) {
    SCOPED_TRACE(c.Label);
    std::ofstream(dir.NativePath("dst"), std::ios::binary | std::ios::trunc) << Before;
    GFake = &c;
    GCalls = 0;
    SetRangeCopyCall(FakeCopy);
    errno = 0;
    const bool copied = CopyFileRange(src, 1000, dst, 300, count);
    const int err = errno;
    SetRangeCopyCall(nullptr);
    EXPECT_EQ(copied, c.Copies);
    if (c.Copies) {
      EXPECT_TRUE(ReadFile(dir.NativePath("dst")) == Expected(count));
    } else {
      EXPECT_EQ(err, c.Error);
    }
    EXPECT_EQ(::lseek(src, 0, SEEK_CUR), 5);
    EXPECT_EQ(::lseek(dst, 0, SEEK_CUR), 9);
  }
  // Reads and writes stop where the source ends too.
  const TFakeCopy declined{"declined", 1, 1, EXDEV, true, false};
  GFake = &declined;
  GCalls = 0;
  SetRangeCopyCall(FakeCopy);
  EXPECT_FALSE(CopyFileRange(src, 1000, dst, 300, int64_t(Source.size())));
}

TEST_F(FileRange, AFullDiskSeenByTheFileLayerFailsBeforeWriting) {
  SetFileLayerProbe([](TFileLayerCall call) { return call != flcWrite; });
  errno = 0;
  EXPECT_FALSE(CopyFileRange(src, 1000, dst, 300, 10));
  EXPECT_EQ(errno, ENOSPC);
  EXPECT_TRUE(ReadFile(dir.NativePath("dst")) == Before);
}

TEST_F(FileRange, ReadersReadRangesOfTheirOwnFromSeveralThreads) {
  std::vector<std::string> got(4);
  {
    TFileReader reader(src);
    ASSERT_TRUE(reader.Valid());
    std::vector<std::thread> threads;
    for (size_t t = 0; t < got.size(); ++t)
      threads.emplace_back([&, t] {
        std::string& s = got[t];
        s.resize(100000);
        s.resize(size_t(reader.ReadAt(int64_t(t) * 150000, s.data(), int64_t(s.size()))));
      });
    for (std::thread& t : threads)
      t.join();
    // Past the end: what there is.
    std::string tail(50, '\0');
    EXPECT_EQ(reader.ReadAt(int64_t(Source.size()) - 20, tail.data(), 50), 20);
  }
  for (size_t t = 0; t < got.size(); ++t)
    EXPECT_TRUE(got[t] == Source.substr(t * 150000, 100000)) << t;
  EXPECT_EQ(::lseek(src, 0, SEEK_CUR), 5);
  // The reader's descriptor was its own: the owner's still reads.
  char c = 0;
  EXPECT_EQ(::read(src, &c, 1), 1);
  EXPECT_EQ(c, Source[5]);
  EXPECT_FALSE(TFileReader(-1).Valid());
}

}  // namespace
}  // namespace kelvane
