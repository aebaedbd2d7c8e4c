// Changes that must leave an archive as it was: Ctrl-C during the commit, a
// run killed in it (rolled back by the next change), and bad input.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>

#include "WriteSupport.h"

namespace kelvane::test {
namespace {

class CliWriteSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(P("work/seed.txt"), "seed");
    ASSERT_EQ(RunCli({"add", "base.zip", "seed.txt"}, P("work")).Status, 0);
    FBefore = ReadWhole(P("work/base.zip"));
    // More -v output than the pipe and the test together hold: the commit
    // cannot end while the test does not read.
    for (int i = 0; i < 300; ++i)
      WriteFile(P("work/tree/file_with_a_long_name_to_fill_the_pipe_" + std::to_string(i)),
                std::string(1000, char('a' + i % 26)));
  }
  std::string P(const std::string& name) const { return FDir.NativePath(name); }
  bool LeftoversGone() const {
    return !std::filesystem::exists(P("work/base.zip-journal")) &&
           !std::filesystem::exists(P("work/base.zip-tail"));
  }

  TempDir FDir;
  std::string FBefore;
};

TEST_F(CliWriteSafety, CtrlCDuringTheCommitRollsItBack) {
  TPipedCli cli({"add", "base.zip", "tree", "-v"}, P("work"), P("err"));
  ASSERT_TRUE(cli.ReadLine());  // the commit stored its first item
  cli.Signal(SIGINT);
  EXPECT_EQ(cli.Wait(), 130);
  EXPECT_NE(ReadWhole(P("err")).find("interrupted; the archive was left as it was"),
            std::string::npos);
  EXPECT_EQ(ReadWhole(P("work/base.zip")), FBefore);
  EXPECT_TRUE(LeftoversGone());
}

TEST_F(CliWriteSafety, AKilledCommitIsRolledBackByTheNextChange) {
  TPipedCli cli({"add", "base.zip", "tree", "-v"}, P("work"), P("err"));
  ASSERT_TRUE(cli.ReadLine());
  cli.Signal(SIGKILL);
  EXPECT_EQ(cli.Wait(), -1);
  ASSERT_TRUE(std::filesystem::exists(P("work/base.zip-journal")));
  EXPECT_NE(RunCli({"list", "base.zip"}, P("work")).Status, 0);  // refused until rolled back

  WriteFile(P("work/next.txt"), "next");
  const TCliRun next = RunCli({"add", "base.zip", "next.txt"}, P("work"));
  EXPECT_EQ(next.Status, 0);
  EXPECT_EQ(next.Err,
            "kelvane: base.zip: a change of an earlier run was interrupted; it was rolled back\n");
  EXPECT_EQ(PeerListing(P("work/base.zip")), "seed.txt 8 0\nnext.txt 8 0\ncomment=\n");
  EXPECT_TRUE(LeftoversGone());
}

TEST_F(CliWriteSafety, BadInputLeavesTheArchiveAsItWas) {
  WriteFile(P("work/enc.txt"), "enc");
  ASSERT_EQ(RunCli({"add", "enc.zip", "enc.txt", "-p", "right"}, P("work")).Status, 0);
  const std::string encBefore = ReadWhole(P("work/enc.zip"));
  std::string damaged = FBefore;
  damaged.replace(damaged.rfind("PK\x05\x06"), 4, "XXXX");
  WriteFile(P("work/damaged.zip"), damaged);
  struct TCase {
    std::vector<std::string> Args;
    std::string Archive, Message;
  } cases[] = {
      {{"add", "base.zip", "seed.txt", "missing.txt"},
       "base.zip",
       "kelvane: missing.txt: no such file or folder\nkelvane: nothing was changed\n"},
      {{"add", "base.zip", "tree/nothing*"}, "base.zip", "tree/nothing*: no file matches"},
      {{"add", "enc.zip", "seed.txt", "-p", "wrong"},
       "enc.zip",
       "kelvane: the password does not open the archive's encrypted item enc.txt"},
      {{"add", "damaged.zip", "seed.txt"}, "damaged.zip", "kelvane: damaged.zip is damaged ("},
      {{"delete", "base.zip", "seed.txt", "nothing"},
       "base.zip",
       "kelvane: no item matches nothing\nkelvane: nothing was changed\n"},
      {{"rename", "base.zip", "nothing", "x"}, "base.zip", "kelvane: File \"nothing\" not found"},
      {{"update", "missing.zip"}, "", "kelvane: missing.zip: no such archive\n"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Args[0] + " " + c.Args.back());
    const std::string before = c.Archive.empty() ? "" : ReadWhole(P("work/" + c.Archive));
    const TCliRun run = RunCli(c.Args, P("work"));
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find(c.Message), std::string::npos) << run.Err;
    if (!c.Archive.empty()) {
      EXPECT_EQ(ReadWhole(P("work/" + c.Archive)), before);
    }
  }
  EXPECT_FALSE(std::filesystem::exists(P("work/missing.zip")));
  EXPECT_EQ(ReadWhole(P("work/enc.zip")), encBefore);
}

// A source that cannot be opened (a socket: no permission bits keep root out)
// fails alone; the others are stored and the failure is named.
TEST_F(CliWriteSafety, AnUnreadableSourceIsNamedAndTheOthersAreStored) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const std::string sock = P("work/sock");
  ASSERT_LT(sock.size(), sizeof addr.sun_path);
  std::strcpy(addr.sun_path, sock.c_str());
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  const TCliRun run = RunCli(
      {"add", "base.zip", "sock", "tree/file_with_a_long_name_to_fill_the_pipe_1"}, P("work"));
  ::close(fd);
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("sock: Cannot open file"), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("1 item failed"), std::string::npos) << run.Err;
  EXPECT_EQ(PeerListing(P("work/base.zip")),
            "seed.txt 8 0\ntree/file_with_a_long_name_to_fill_the_pipe_1 8 0\ncomment=\n");
}

}  // namespace
}  // namespace kelvane::test
