#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "TempDir.h"
#include "platform/Stream.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

// Returns at most 3 bytes per call, to show every reader loops.
class TShortReadStream : public TMemoryStream {
 public:
  int64_t Read(void* buffer, int64_t count) override {
    return TMemoryStream::Read(buffer, std::min<int64_t>(count, 3));
  }
};

TEST(MemoryStream, ReadWriteSeekAndSize) {
  TMemoryStream s;
  s.WriteBuffer("hello world", 11);
  EXPECT_EQ(s.Size(), 11);
  EXPECT_EQ(s.Seek(-5, soEnd), 6);
  char buf[5];
  s.ReadBuffer(buf, 5);
  EXPECT_EQ(std::string(buf, 5), "world");
  EXPECT_EQ(s.Read(buf, 5), 0);
  s.SetPosition(20);  // writing past the end fills the gap with zeros
  s.WriteBuffer("!", 1);
  EXPECT_EQ(s.Size(), 21);
  EXPECT_EQ(s.Bytes()[15], 0);
  s.SetSize(4);
  EXPECT_EQ(s.Position(), 4);
  EXPECT_THROW(s.Seek(-5, soCurrent), EStreamError);
}

TEST(MemoryStream, ReadBufferLoopsOverShortReadsAndRaisesAtEnd) {
  TShortReadStream s;
  s.WriteBuffer("0123456789", 10);
  s.SetPosition(0);
  char buf[10];
  s.ReadBuffer(buf, 10);
  EXPECT_EQ(std::string(buf, 10), "0123456789");
  s.SetPosition(8);
  EXPECT_THROW(s.ReadBuffer(buf, 3), EReadError);
}

TEST(HackMemoryStream, CopyFromZeroCopiesWholeSourceAcrossBlocks) {
  TShortReadStream src;
  std::string data(25000, 'x');
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>(i * 7);
  src.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));  // position at end
  THackMemoryStream dst;
  EXPECT_EQ(dst.CopyFrom(src, 0), 25000);
  EXPECT_EQ(std::memcmp(dst.Memory(), data.data(), data.size()), 0);

  THackMemoryStream part;
  src.SetPosition(24990);
  EXPECT_THROW(part.CopyFrom(src, 20), EReadError);
}

TEST(NullStream, SwallowsEverything) {
  TNullStream s;
  char buf[4] = {1, 2, 3, 4};
  EXPECT_EQ(s.Write(buf, 4), 4);
  EXPECT_EQ(s.Read(buf, 4), 4);
  EXPECT_EQ(buf[0], 1);
  EXPECT_EQ(s.Seek(100, soBeginning), 0);
  s.SetSize(10);
  EXPECT_EQ(s.Size(), 0);
}

TEST(StringStream, HoldsText) {
  TStringStream s("abc");
  s.Seek(0, soEnd);
  s.WriteBuffer("de", 2);
  EXPECT_EQ(s.DataString(), "abcde");
}

TEST(FileStream, CreateWriteReopenRead) {
  test::TempDir dir;
  const UString path = dir.Path(u"f.bin");
  {
    TFileStream f(path, fmCreate);
    f.WriteBuffer("abcdef", 6);
    f.SetSize(4);
    EXPECT_EQ(f.Size(), 4);
  }
  TFileStream f(path, fmOpenRead | fmShareDenyNone);
  char buf[4];
  f.ReadBuffer(buf, 4);
  EXPECT_EQ(std::string(buf, 4), "abcd");
  EXPECT_THROW(f.WriteBuffer("x", 1), EWriteError);
  f.SetPosition(1LL << 33);  // 64-bit positions
  EXPECT_EQ(f.Position(), 1LL << 33);
  EXPECT_EQ(f.Read(buf, 1), 0);
}

// The stream keeps the descriptor's offset itself; every operation must leave
// it where the system has it, and where a memory stream would be.
TEST(FileStream, PositionFollowsEveryOperation) {
  test::TempDir dir;
  char buf[8];
  {
    TFileStream f(dir.Path(u"p.bin"), fmCreate);
    TMemoryStream m;
    // Applies Op to both streams, then compares where they stand.
    const auto both = [&](const char* step, auto op) {
      SCOPED_TRACE(step);
      op(f);
      op(m);
      EXPECT_EQ(f.Position(), m.Position());
      EXPECT_EQ(::lseek(f.Handle(), 0, SEEK_CUR), m.Position());
    };
    both("write", [](TStream& s) { s.WriteBuffer("0123456789", 10); });
    both("seek", [](TStream& s) { s.SetPosition(3); });
    both("read", [&](TStream& s) { s.ReadBuffer(buf, 4); });
    both("seek back", [](TStream& s) { s.Seek(-2, soCurrent); });
    both("seek to where it is", [](TStream& s) { s.SetPosition(5); });
    both("overwrite", [](TStream& s) { s.WriteBuffer("ab", 2); });
    both("end", [](TStream& s) { s.Seek(0, soEnd); });
    both("read at the end", [&](TStream& s) { EXPECT_EQ(s.Read(buf, 8), 0); });
    both("cut below the position", [](TStream& s) { s.SetSize(4); });
  }

  TFileStream r(dir.Path(u"p.bin"), fmOpenRead | fmShareDenyNone);
  r.SetPosition(2);
  EXPECT_THROW(r.WriteBuffer("x", 1), EWriteError);
  EXPECT_EQ(r.Position(), 2);
  EXPECT_EQ(r.Read(buf, 8), 2);
  EXPECT_EQ(std::string(buf, 2), "23");
}

TEST(FileStream, ErrorsNameThePath) {
  test::TempDir dir;
  try {
    TFileStream f(dir.Path(u"missing.zip"), fmOpenRead);
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_NE(std::string(e.what()).find("missing.zip"), std::string::npos);
  }
  EXPECT_THROW(TFileStream(dir.Path(u"no/such/dir/x"), fmCreate), EFCreateError);
  EXPECT_THROW(TFileStream(dir.Path(u""), fmOpenRead), EFOpenError);  // a folder
}

// Creating where nothing is: a new file is written and read back; a file, a
// link (even one that leads nowhere) or a folder in the way is left as it is.
TEST(FileStream, CreateNewMakesOnlyWhatIsNotThere) {
  namespace fs = std::filesystem;
  test::TempDir dir;
  {
    auto f = TFileStream::CreateNew(dir.Path(u"new.bin"));
    f->WriteBuffer("fresh", 5);
    f->SetPosition(0);
    char buf[5];
    f->ReadBuffer(buf, 5);
    EXPECT_EQ(std::string(buf, 5), "fresh");
    EXPECT_EQ(f->Mode(), fmCreate);
  }
  { TFileStream(dir.Path(u"old.bin"), fmCreate).WriteBuffer("old", 3); }
  const std::string root = ToUtf8(dir.Path(u""));
  fs::create_directory(root + "/folder");
#ifndef _WIN32  // links need a privilege on Windows (and wine makes none)
  fs::create_symlink(root + "/nowhere", root + "/dangling");
  fs::create_symlink(root + "/old.bin", root + "/link");
  for (const char16_t* name : {u"old.bin", u"dangling", u"link", u"folder", u"no/such/x"}) {
#else
  for (const char16_t* name : {u"old.bin", u"folder", u"no/such/x"}) {
#endif
    SCOPED_TRACE(ToUtf8(name));
    EXPECT_THROW(TFileStream::CreateNew(dir.Path(name)), EFCreateError);
  }
#ifndef _WIN32
  EXPECT_FALSE(fs::exists(root + "/nowhere"));
  EXPECT_TRUE(fs::is_symlink(root + "/dangling"));
#endif
  EXPECT_EQ(fs::file_size(root + "/old.bin"), 3u);
}

// Which second opening succeeds while the first is held, as Windows decides it.
struct ShareCase {
  uint16_t first, second;
  bool secondOpens;
};

TEST(FileStream, ShareModesConflictLikeWindows) {
  const ShareCase cases[] = {
      {fmOpenRead | fmShareDenyNone, fmOpenReadWrite | fmShareDenyNone, true},
      {fmOpenRead | fmShareExclusive, fmOpenRead | fmShareDenyNone, false},
      {fmOpenRead | fmShareDenyNone, fmOpenRead | fmShareExclusive, false},
      {fmOpenRead | fmShareDenyWrite, fmOpenRead | fmShareDenyNone, true},
      {fmOpenRead | fmShareDenyWrite, fmOpenReadWrite | fmShareDenyNone, false},
      {fmOpenReadWrite | fmShareDenyNone, fmOpenRead | fmShareDenyWrite, false},
      {fmOpenReadWrite | fmShareDenyWrite, fmOpenRead | fmShareDenyNone, true},
      {fmOpenRead | fmShareDenyRead, fmOpenRead | fmShareDenyNone, false},
      {fmOpenRead | fmShareDenyNone, fmCreate, false},
  };
  test::TempDir dir;
  const UString path = dir.Path(u"shared.bin");
  { TFileStream(path, fmCreate).WriteBuffer("data", 4); }
  for (const ShareCase& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.first << " then " << c.second);
    TFileStream first(path, c.first);
    bool opened = true;
    try {
      TFileStream second(path, c.second);
    } catch (const EFileStreamError&) {
      opened = false;
    }
    EXPECT_EQ(opened, c.secondOpens);
  }
  // A refused create must not have truncated the file.
  TFileStream check(path, fmOpenRead);
  EXPECT_EQ(check.Size(), 4);
}

}  // namespace
}  // namespace kelvane
