// What tests that check our archives with other tools share: running a
// command, quoting for the shell, and sample bytes.
#pragma once

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

namespace kelvane::test {

// Runs a shell command in a UTF-8 locale (peers print and create names in the
// locale's encoding) with no input, returning its exit status and what it
// printed on both streams.
inline std::pair<int, std::string> RunShell(const std::string& cmd) {
  std::string out;
#ifdef _WIN32
  // The peers are Linux programs: a Windows build (under wine) has none of
  // them, so every tool is missing and the tests that need one skip.
  (void)cmd;
  return {-1, out};
#else
  FILE* pipe = popen(("LC_ALL=C.UTF-8 " + cmd + " </dev/null 2>&1").c_str(), "r");
  if (!pipe) return {-1, out};
  std::array<char, 65536> buf;
  while (size_t n = fread(buf.data(), 1, buf.size(), pipe))
    out.append(buf.data(), n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
#endif
}

inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char ch : s)
    q += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  return q + "'";
}

inline bool HasTool(const std::string& tool) {
  return RunShell("command -v " + tool + " >/dev/null").first == 0;
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Bytes that do not compress.
inline std::string Noise(size_t n, uint32_t seed) {
  std::string s(n, '\0');
  for (char& ch : s) {
    seed = seed * 1103515245 + 12345;
    ch = static_cast<char>(seed >> 24);
  }
  return s;
}

}  // namespace kelvane::test
