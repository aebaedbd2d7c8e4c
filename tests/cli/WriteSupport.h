// Helpers of the tests that change archives with kelvane: files on disk, a
// peer tool's view of an archive, and the tool run with its output in a pipe.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "CliRun.h"

namespace kelvane::test {

inline void WriteFile(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

struct TShellRun {
  int Status = -1;
  std::string Out;
};

// Runs a shell command; its standard output (and error) captured.
inline TShellRun Shell(const std::string& command) {
  TShellRun run;
  FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  if (!p) return run;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;)
    run.Out.append(buffer, n);
  const int raw = ::pclose(p);
  run.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

// "name method encrypted" per item, in directory order, as python3's zipfile
// reads the archive, then "comment=<archive comment>".
inline std::string PeerListing(const std::string& archive) {
  return Shell(
             "python3 -c \"import sys, zipfile\n"
             "z = zipfile.ZipFile(sys.argv[1])\n"
             "for i in z.infolist(): print(i.filename, i.compress_type, i.flag_bits & 1)\n"
             "print('comment=' + z.comment.decode())\" " +
             ShellQuoted(archive))
      .Out;
}

// The tool started with its standard output in a pipe of one page, which the
// test reads, so the tool waits in its output wherever the test stops
// reading; standard error goes to a file.
class TPipedCli {
 public:
  TPipedCli(const std::vector<std::string>& args, const std::string& cwd, const std::string& err) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    ::fcntl(fds[0], F_SETPIPE_SZ, 4096);
    FPid = ::fork();
    if (FPid == 0) {
      ::dup2(fds[1], STDOUT_FILENO);
      const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(errFd, STDERR_FILENO);
      const int nullFd = ::open("/dev/null", O_RDONLY);
      ::dup2(nullFd, STDIN_FILENO);
      ::close(fds[0]);
      if (::chdir(cwd.c_str()) != 0) ::_exit(127);
      std::vector<char*> argv{const_cast<char*>(KELVANE_CLI)};
      for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(KELVANE_CLI, argv.data());
      ::_exit(127);
    }
    ::close(fds[1]);
    FOut = fds[0];
  }
  ~TPipedCli() {
    if (FOut >= 0) ::close(FOut);
    if (FPid > 0 && !FWaited) {
      ::kill(FPid, SIGKILL);
      ::waitpid(FPid, nullptr, 0);
    }
  }

  // Reads until a whole line came (the tool reported an item); false at the
  // end of the output.
  bool ReadLine() {
    char c;
    while (::read(FOut, &c, 1) == 1)
      if (c == '\n') return true;
    return false;
  }
  void Signal(int sig) { ::kill(FPid, sig); }
  // Drains the output and waits: the exit status, -1 when ended by a signal.
  int Wait() {
    char buffer[4096];
    while (::read(FOut, buffer, sizeof buffer) > 0) {
    }
    int raw = 0;
    ::waitpid(FPid, &raw, 0);
    FWaited = true;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }

 private:
  pid_t FPid = -1;
  int FOut = -1;
  bool FWaited = false;
};

}  // namespace kelvane::test
