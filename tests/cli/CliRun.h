// Runs the built kelvane binary as a script would: standard input from
// /dev/null (no terminal), output captured.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Fixtures.h"
#include "TempDir.h"

namespace kelvane::test {

struct TCliRun {
  int Status = -1;  // exit status; -1 when the program did not exit by itself
  std::string Out, Err;
};

inline std::string ReadWhole(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

inline std::string ShellQuoted(const std::string& s) {
  std::string q = "'";
  for (char c : s)
    q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs kelvane with Args (each passed as one argument) in the folder Cwd
// (the test's own when empty).
inline TCliRun RunCli(const std::vector<std::string>& args, const std::string& cwd = "") {
  TempDir capture;
  const std::string out = capture.NativePath("stdout"), err = capture.NativePath("stderr");
  std::string command;
  if (!cwd.empty()) command = "cd " + ShellQuoted(cwd) + " && ";
  command += ShellQuoted(KELVANE_CLI);
  for (const std::string& a : args)
    command += " " + ShellQuoted(a);
  command += " </dev/null >" + ShellQuoted(out) + " 2>" + ShellQuoted(err);
  const int raw = std::system(command.c_str());
  TCliRun run;
  run.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.Out = ReadWhole(out);
  run.Err = ReadWhole(err);
  return run;
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream s(text);
  for (std::string line; std::getline(s, line);)
    lines.push_back(line);
  return lines;
}

// The small special archives of these tests (make_archives.py), built once.
class TCliArchives {
 public:
  static TCliArchives& Get() {
    static std::unique_ptr<TCliArchives> instance(new TCliArchives());
    return *instance;
  }
  std::string Path(const std::string& name) const { return FDir.NativePath(name); }

 private:
  TCliArchives() {
    const std::string cmd = "python3 '" KELVANE_SOURCE_DIR "/tests/cli/make_archives.py' '" +
                            FDir.Root().string() + "'";
    if (std::system(cmd.c_str()) != 0) throw std::runtime_error("make_archives.py failed");
  }
  TempDir FDir;
};

// The password of the encrypted interop fixtures.
inline bool NeedsPassword(const std::string& archive) {
  return archive.find("aes") != std::string::npos || archive.find("pkzip") != std::string::npos;
}

// Whether the reference reader and the engine agree on how the name is
// decoded: plain ASCII, or flagged as UTF-8.
inline bool NameIsPortable(const TFixtureItem& item) {
  if (item.Flags & 0x0800) return true;
  for (unsigned char c : item.RawName)
    if (c >= 0x80) return false;
  return true;
}

}  // namespace kelvane::test
