#include <gtest/gtest.h>
#include "unit/WinPosix.h"

#include <fstream>

#include "TempDir.h"
#include "engine/PasswordFile.h"
#include "platform/Exception.h"

namespace kelvane {
namespace {

TEST(PasswordFile, TheFirstLineWithoutItsEnd) {
  const struct {
    std::string Content;
    std::string Password;
  } table[] = {
      {"s3cret\n", "s3cret"},
      {"s3cret", "s3cret"},  // no line end
      {"s3cret\r\nsecond line\n", "s3cret"},
      {" with blanks \n", " with blanks "},
      {"\xe9t\xe9\n", "\xe9t\xe9"},  // bytes as they are
      {"\n", ""},                    // an empty line is an empty password
  };
  test::TempDir dir;
  for (const auto& row : table) {
    const std::string path = dir.NativePath("pw");
    std::ofstream(path, std::ios::binary | std::ios::trunc) << row.Content;
    EXPECT_EQ(ReadPasswordFile(path), row.Password) << row.Content;
  }
}

TEST(PasswordFile, UnreadableEmptyOrOverlongFilesAreRefused) {
  test::TempDir dir;
  std::ofstream(dir.NativePath("empty"));
  std::ofstream(dir.NativePath("long")) << std::string(5000, 'x');
  for (const char* name : {"missing", "empty", "long"}) {
    const std::string path = dir.NativePath(name);
    try {
      ReadPasswordFile(path);
      ADD_FAILURE() << name << " accepted";
    } catch (const Exception& e) {
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
  }
}

TEST(PasswordFile, DashReadsOneLineOfStandardInputAndLeavesTheRest) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const std::string input = "from pipe\nnext input\n";
  ASSERT_EQ(::write(fds[1], input.data(), input.size()), ssize_t(input.size()));
  ::close(fds[1]);
  const int savedStdin = ::dup(STDIN_FILENO);
  ::dup2(fds[0], STDIN_FILENO);
  ::close(fds[0]);
  const AnsiString password = ReadPasswordFile("-");
  char rest[32] = {};
  const ssize_t n = ::read(STDIN_FILENO, rest, sizeof rest - 1);
  ::dup2(savedStdin, STDIN_FILENO);
  ::close(savedStdin);
  EXPECT_EQ(password, "from pipe");
  EXPECT_EQ(std::string(rest, n > 0 ? size_t(n) : 0), "next input\n");
}

}  // namespace
}  // namespace kelvane
