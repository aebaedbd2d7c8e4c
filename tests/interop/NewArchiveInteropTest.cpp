// A new archive closed without changes is an empty archive to other tools too,
// with or without a stub in front.
//
// Behind a stub the end record gives the directory's offset as the stub's size,
// as the format defines it. unzip refuses that one form ("start of central
// directory not found": it will not take a non-zero offset with no entries),
// while python's reader and our own take it; the test records that difference.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <memory>

#include "TempDir.h"
#include "engine/Kelvane.h"

namespace kelvane {
namespace {

// Runs a shell command, returning its exit status and what it printed.
std::pair<int, std::string> RunCommand(const std::string& cmd) {
  std::string out;
  FILE* pipe = popen((cmd + " 2>&1").c_str(), "r");
  if (!pipe) return {-1, out};
  std::array<char, 4096> buf;
  while (size_t n = fread(buf.data(), 1, buf.size(), pipe))
    out.append(buf.data(), n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

TEST(NewArchiveInterop, AnEmptyNewArchiveIsEmptyToOtherTools) {
  test::TempDir dir;
  {
    std::ofstream stub(dir.NativePath("stub.bin"), std::ios::binary);
    for (int i = 0; i < 5000; ++i)
      stub.put(static_cast<char>('a' + i % 26));
  }
  for (const bool withStub : {false, true}) {
    SCOPED_TRACE(withStub ? "with a stub" : "plain");
    const std::string name = withStub ? "stubbed.zip" : "plain.zip";
    {
      TKelvane a(nullptr);
      if (withStub) a.SetSFXStub(dir.Path(u"stub.bin"));
      a.SetFileName(dir.Path(FromUtf8(name)));
      a.OpenArchive();
      a.CloseArchive();
    }
    const std::string path = dir.NativePath(name);
    const auto [unzipStatus, unzipOut] = RunCommand("unzip -l '" + path + "'");
    if (withStub) {
      EXPECT_NE(unzipOut.find("start of central directory not found"), std::string::npos)
          << unzipOut;
    } else {
      // unzip reports an empty archive with its warning status 1, and nothing else.
      EXPECT_EQ(unzipStatus, 1) << unzipOut;
      EXPECT_NE(unzipOut.find("zipfile is empty"), std::string::npos) << unzipOut;
      EXPECT_EQ(unzipOut.find("extra bytes"), std::string::npos) << unzipOut;
    }
    const auto [pyStatus, pyOut] = RunCommand(
        "python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
        "assert z.namelist() == [], z.namelist()' '" +
        path + "'");
    EXPECT_EQ(pyStatus, 0) << pyOut;
    TKelvane back(nullptr);
    back.SetFileName(dir.Path(FromUtf8(name)));
    back.OpenArchive(fmOpenRead | fmShareDenyNone);
    EXPECT_EQ(back.FileCount(), 0);
    EXPECT_EQ(back.Size(), withStub ? 5022 : 22);
  }
}

}  // namespace
}  // namespace kelvane
