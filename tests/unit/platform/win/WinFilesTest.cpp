// The Windows side of the file layer, checked against the system's own view.
#include <gtest/gtest.h>
#include <io.h>
#include <windows.h>
#include <winioctl.h>

#include <cerrno>
#include <filesystem>
#include <thread>

#include "TempDir.h"
#include "platform/DosTime.h"
#include "platform/FileReader.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "platform/Text.h"
#include "platform/UnixFiles.h"

namespace kelvane {
namespace {

std::wstring W(const UString& s) {
  return std::wstring(s.begin(), s.end());
}

// Wine reports every file as archived: the bit cannot be cleared there.
bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

int32_t AsReported(int32_t attr) {
  return UnderWine() && !(attr & faDirectory) ? attr | faArchive : attr;
}

void Put(const UString& path, std::string_view data) {
  TFileStream(path, fmCreate).WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
}

// Share modes are the system's: an opener outside this library is refused too.
TEST(WinFiles, ShareModesDenyOtherOpenersOfTheSystem) {
  test::TempDir dir;
  const UString path = dir.Path(u"held.bin");
  Put(path, "data");
  struct Case {
    uint16_t mode;
    DWORD access;
    bool opens;
  };
  const Case cases[] = {
      {fmOpenRead | fmShareDenyWrite, GENERIC_WRITE, false},
      {fmOpenRead | fmShareDenyWrite, GENERIC_READ, true},
      {fmOpenRead | fmShareDenyRead, GENERIC_READ, false},
      {fmOpenRead | fmShareExclusive, GENERIC_READ, false},
      {fmOpenRead | fmShareDenyNone, GENERIC_READ | GENERIC_WRITE, true},
      {fmCreate, GENERIC_READ, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.mode << " against " << c.access);
    TFileStream held(path, c.mode);
    const HANDLE h = CreateFileW(W(path).c_str(), c.access,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.opens);
    if (h != INVALID_HANDLE_VALUE)
      CloseHandle(h);
    else
      EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  }
}

// Positions beyond 4 GiB reach the system intact (a sparse file keeps it small).
TEST(WinFiles, PositionsAndSizesBeyondFourGigabytes) {
  test::TempDir dir;
  const UString path = dir.Path(u"big.bin");
  TFileStream f(path, fmCreate);
  const int64_t beyond = (int64_t{5} << 30) + 3;
  DWORD ignored = 0;
  DeviceIoControl(reinterpret_cast<HANDLE>(_get_osfhandle(f.Handle())), FSCTL_SET_SPARSE, nullptr,
                  0, nullptr, 0, &ignored, nullptr);
  f.SetPosition(beyond);
  f.WriteBuffer("end", 3);
  EXPECT_EQ(f.Size(), beyond + 3);
  EXPECT_EQ(f.Seek(-3, soEnd), beyond);
  char buf[3];
  f.ReadBuffer(buf, 3);
  EXPECT_EQ(std::string(buf, 3), "end");
  f.SetSize(beyond);
  EXPECT_EQ(f.Size(), beyond);
  EXPECT_EQ(f.Position(), beyond);
}

TEST(WinFiles, AttributesRoundTripThroughTheSystem) {
  test::TempDir dir;
  const UString file = dir.Path(u"f.txt");
  Put(file, "x");
  const int32_t all = faReadOnly | faHidden | faSysFile | faArchive;
  for (const int32_t attr : {all, faHidden, faReadOnly | faArchive, 0}) {
    SCOPED_TRACE(attr);
    ASSERT_TRUE(SetAttributes(file, attr));
    EXPECT_EQ(GetAttributes(file), AsReported(attr));
    EXPECT_EQ(static_cast<int32_t>(GetFileAttributesW(W(file).c_str()) & 0x37), AsReported(attr));
  }
  // Through an open file as well.
  {
    TFileStream f(file, fmOpenReadWrite);
    ASSERT_TRUE(SetHandleAttributes(f.Handle(), faHidden | faArchive));
  }
  EXPECT_EQ(GetAttributes(file), faHidden | faArchive);
  // A folder is a folder and never becomes read-only.
  const UString folder = dir.Path(u"d");
  ASSERT_TRUE(CreateDirectories(folder));
  EXPECT_TRUE(SetAttributes(folder, faReadOnly | faHidden));
  EXPECT_EQ(GetAttributes(folder), faDirectory | faHidden);
  EXPECT_EQ(GetAttributes(dir.Path(u"missing")), -1);
}

TEST(WinFiles, ListingReportsTheSystemAttributesAndFiltersByThem) {
  test::TempDir dir;
  Put(dir.Path(u"plain.txt"), "1");
  Put(dir.Path(u"hidden.txt"), "22");
  Put(dir.Path(u"system.txt"), "333");
  ASSERT_TRUE(CreateDirectories(dir.Path(u"sub")));
  ASSERT_TRUE(SetAttributes(dir.Path(u"hidden.txt"), faHidden));
  ASSERT_TRUE(SetAttributes(dir.Path(u"system.txt"), faSysFile));
  ASSERT_TRUE(SetAttributes(dir.Path(u"plain.txt"), faArchive));
  auto list = [&](int32_t attr) {
    std::vector<std::pair<UString, int32_t>> seen;
    TSearchRec rec;
    for (int r = ListFirst(dir.Path(u"*"), attr, rec); r == 0; r = ListNext(rec))
      if (rec.Name != u"." && rec.Name != u"..") seen.emplace_back(rec.Name, rec.Attr);
    return seen;
  };
  using L = std::vector<std::pair<UString, int32_t>>;
  EXPECT_EQ(list(0), (L{{u"plain.txt", faArchive}}));
  EXPECT_EQ(list(faAnyFile), (L{{u"hidden.txt", AsReported(faHidden)},
                                {u"plain.txt", faArchive},
                                {u"sub", faDirectory},
                                {u"system.txt", AsReported(faSysFile)}}));
  TSearchRec rec;
  ASSERT_EQ(ListFirst(dir.Path(u"SYSTEM.*"), faAnyFile, rec), 0);
  EXPECT_EQ(rec.Size, 3);
  EXPECT_EQ(rec.Time, FileDosTime(dir.Path(u"system.txt")));
  EXPECT_EQ(ListFirst(dir.Path(u"nothing*"), faAnyFile, rec), ENOENT);
  EXPECT_EQ(ListFirst(dir.Path(u"no-folder\\*"), faAnyFile, rec), ENOENT);
}

// The DOS time is the local form of the file's UTC time, both ways.
TEST(WinFiles, DosTimesAreLocalTimesOfTheFileTime) {
  test::TempDir dir;
  const UString file = dir.Path(u"t");
  Put(file, "t");
  const int32_t dos = static_cast<int32_t>((uint32_t(2021 - 1980) << 25) | (7u << 21) |
                                           (14u << 16) | (13u << 11) | (45u << 5) | 10u);
  ASSERT_TRUE(SetFileDosTime(file, dos));
  EXPECT_EQ(FileDosTime(file), dos);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(GetFileAttributesExW(W(file).c_str(), GetFileExInfoStandard, &data));
  const uint64_t ticks =
      (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
  const int64_t unixTime = static_cast<int64_t>(ticks / 10000000) - 11644473600LL;
  EXPECT_EQ(unixTime, *DosDateTimeToTime(dos));
  TFileStream f(file, fmOpenReadWrite);
  const int32_t other = dos + (1 << 16);  // the next day
  ASSERT_TRUE(SetHandleDosTime(f.Handle(), other));
  EXPECT_EQ(FileDosTime(file), other);
  EXPECT_FALSE(SetFileDosTime(file, 0x7FFFFFFF));
}

// Paths beyond beyond the classic 260 characters work everywhere.
TEST(WinFiles, LongPathsWorkThroughEveryCall) {
  test::TempDir dir;
  UString deep = dir.Path(u"");
  for (int i = 0; i < 6; ++i)
    deep += UString(60, static_cast<char16_t>(u'a' + i)) + u"\\";
  ASSERT_GT(deep.size(), 360u);
  ASSERT_TRUE(CreateDirectories(deep));
  EXPECT_TRUE(IsDirectory(deep));
  const UString file = deep + u"file.txt";
  Put(file, "long");
  EXPECT_TRUE(IsFile(file));
  EXPECT_EQ(GetAttributes(file) & faDirectory, 0);
  const int32_t dos = FileDosTime(file);
  EXPECT_NE(dos, kNoDosDateTime);
  TSearchRec rec;
  ASSERT_EQ(ListFirst(deep + u"*.txt", faAnyFile, rec), 0);
  EXPECT_EQ(rec.Name, u"file.txt");
  EXPECT_TRUE(RenameOnDisk(file, deep + u"moved.txt"));
  Put(file, "new");
  EXPECT_TRUE(ReplaceOnDisk(file, deep + u"moved.txt"));
  EXPECT_FALSE(IsFile(file));
  {
    TFileStream f(deep + u"moved.txt", fmOpenRead);
    EXPECT_EQ(f.Size(), 3);
  }
  EXPECT_TRUE(CopyOnDisk(deep + u"moved.txt", deep + u"copy.txt", true));
  EXPECT_TRUE(FlushFile(deep + u"copy.txt"));
  EXPECT_TRUE(RemoveFile(deep + u"moved.txt"));
  EXPECT_TRUE(RemoveFile(deep + u"copy.txt"));
  EXPECT_GT(DiskFreeSpace(deep + u"not-yet"), 0);
  EXPECT_TRUE(RemoveEmptyTree(dir.Path(UString(60, u'a'))));
  EXPECT_FALSE(IsDirectory(deep));
}

// A junction in a destination is a reparse point: it is reported as a link,
// never emptied through, and no new file is created through it.
TEST(WinFiles, ReparsePointsCountAsLinks) {
  test::TempDir dir;
  const UString target = dir.Path(u"elsewhere");
  ASSERT_TRUE(CreateDirectories(target));
  const UString link = dir.Path(u"link");
  if (!::CreateSymbolicLinkW(
          W(link).c_str(), W(target).c_str(),
          SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE))
    GTEST_SKIP() << "this system makes no symbolic links here (error " << GetLastError() << ")";
  if (GetFileAttributesW(W(link).c_str()) == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "CreateSymbolicLinkW answered success and made nothing (wine 8 has no "
                    "reparse points)";
  EXPECT_TRUE(IsSymbolicLink(link));
  EXPECT_FALSE(IsSymbolicLink(target));
  EXPECT_TRUE(IsDirectory(link));
  TDiskEntry entry;
  ASSERT_TRUE(ReadDiskEntry(link, false, entry));
  EXPECT_TRUE(entry.IsLink);
  ASSERT_TRUE(ReadDiskEntry(link, true, entry));
  EXPECT_FALSE(entry.IsLink);
  TFileId a, b;
  ASSERT_TRUE(FileIdentity(link, a));
  ASSERT_TRUE(FileIdentity(target, b));
  EXPECT_EQ(a, b);
  EXPECT_FALSE(RemoveEmptyTree(link));
  EXPECT_TRUE(IsDirectory(target));
  EXPECT_THROW(TFileStream::CreateNew(link), EFCreateError);
}

TEST(WinFiles, RangeCopiesAndReadersLeaveTheOwnersOffsets) {
  test::TempDir dir;
  std::string data(300000, '\0');
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>(i * 31 + i / 256);
  Put(dir.Path(u"src"), data);
  TFileStream src(dir.Path(u"src"), fmOpenRead | fmShareDenyWrite);
  TFileStream dst(dir.Path(u"dst"), fmCreate);
  src.SetPosition(7);
  dst.WriteBuffer("head", 4);
  ASSERT_TRUE(CopyFileRange(src.Handle(), 1000, dst.Handle(), 4, 250000));
  EXPECT_EQ(src.Seek(0, soCurrent), 7);
  EXPECT_EQ(dst.Seek(0, soCurrent), 4);
  EXPECT_EQ(dst.Size(), 250004);
  std::string back(250000, '\0');
  dst.SetPosition(4);
  dst.ReadBuffer(back.data(), 250000);
  EXPECT_EQ(back, data.substr(1000, 250000));
  errno = 0;
  EXPECT_FALSE(CopyFileRange(src.Handle(), 299990, dst.Handle(), 0, 100));
  EXPECT_EQ(errno, EIO);

  // Readers on several threads see the data and never move the owner's offset.
  TFileReader reader(src.Handle());
  ASSERT_TRUE(reader.Valid());
  std::vector<std::thread> threads;
  std::vector<int> good(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      std::string buf(5000, '\0');
      for (int k = 0; k < 20; ++k) {
        const int64_t at = (t * 20 + k) * 3500;
        good[t] += reader.ReadAt(at, buf.data(), 5000) == 5000 && buf == data.substr(at, 5000);
      }
    });
  for (auto& t : threads)
    t.join();
  EXPECT_EQ(good, std::vector<int>(4, 20));
  char tail[10];
  EXPECT_EQ(reader.ReadAt(299995, tail, 10), 5);
  src.SetPosition(7);
  char c;
  src.ReadBuffer(&c, 1);
  EXPECT_EQ(c, data[7]);
}

TEST(WinFiles, TempFolderFreeSpaceAndDrives) {
  const UString temp = TempDirectory();
  ASSERT_FALSE(temp.empty());
  EXPECT_NE(temp.back(), u'\\');
  EXPECT_TRUE(IsDirectory(temp));
  const UString a = CreateTempFile(u"", u"kt");
  const UString b = CreateTempFile(u"", u"kt");
  ASSERT_FALSE(a.empty());
  EXPECT_NE(a, b);
  EXPECT_EQ(a.substr(0, temp.size() + 3), temp + u"\\kt");
  EXPECT_TRUE(IsFile(a));
  RemoveFile(a);
  RemoveFile(b);
  EXPECT_GT(DiskFreeSpace(temp), 0);
  EXPECT_FALSE(IsRemovableDrive(temp));
  EXPECT_FALSE(IsFloppyDrive(temp));
  wchar_t root[4] = L"A:\\";
  const bool floppy = GetDriveTypeW(root) == DRIVE_REMOVABLE;
  EXPECT_EQ(IsFloppyDrive(u"A:\\x.zip"), floppy);
  EXPECT_FALSE(LabelVolume(u"Q:\\", u"NONE"));  // no such drive
}

}  // namespace
}  // namespace kelvane
