// Merged and repaired archives as other tools see them: unzip tests them clean
// (no stray or overlapping bytes), python's zipfile reads every item and its
// CRC; the inputs come from zip as well as from this engine.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "TempDir.h"
#include "engine/Kelvane.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

std::pair<int, std::string> RunCommand(const std::string& cmd) {
  std::string out;
  FILE* pipe = popen(("LC_ALL=C.UTF-8 " + cmd + " 2>&1 </dev/null").c_str(), "r");
  if (!pipe) return {-1, out};
  std::array<char, 4096> buf;
  while (size_t n = fread(buf.data(), 1, buf.size(), pipe))
    out.append(buf.data(), n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

bool Installed(const std::string& tool) {
  return RunCommand("command -v " + tool + " >/dev/null").first == 0;
}

// name -> data in hex, as python's zipfile reads them (testzip first).
const char* const PythonItems =
    "import sys, zipfile\n"
    "z = zipfile.ZipFile(sys.argv[1])\n"
    "assert z.testzip() is None\n"
    "for i in z.infolist():\n"
    "  print(i.filename, z.read(i).hex(), sep='\\t')\n";

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream(path, std::ios::binary) << data;
}

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

std::map<std::string, std::string> PythonRead(const std::string& archive) {
  std::map<std::string, std::string> items;
  const std::string script = archive + ".py";
  WriteFile(script, PythonItems);
  const auto [status, out] = RunCommand("python3 '" + script + "' '" + archive + "'");
  std::remove(script.c_str());
  EXPECT_EQ(status, 0) << out;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);)
    if (const size_t tab = line.find('\t'); tab != std::string::npos)
      items[line.substr(0, tab)] = line.substr(tab + 1);
  return items;
}

std::string Hex(const std::string& s) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : s) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

void ExpectUnzipClean(const std::string& archive) {
  const auto [status, out] = RunCommand("unzip -t '" + archive + "'");
  EXPECT_EQ(status, 0) << out;
  EXPECT_EQ(out.find("warning"), std::string::npos) << out;
  EXPECT_NE(out.find("No errors detected"), std::string::npos) << out;
}

class MergeRepairInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Installed("zip") || !Installed("unzip") || !Installed("python3"))
      GTEST_SKIP() << "zip, unzip and python3 are needed";
    // Ours: three items.
    TKelvane a(nullptr);
    a.SetFileName(dir.Path(u"ours.zip"));
    a.SetCompressionMode(6);
    a.OpenArchive(fmCreate);
    a.BeginUpdate();
    for (const auto& [name, data] : Ours)
      a.AddFromBuffer(FromUtf8(name), data.data(), int32_t(data.size()), faArchive, 0);
    a.EndUpdate();
    a.CloseArchive();
    // zip's: files of the same names and others, with a stub in front.
    std::filesystem::create_directories(dir.NativePath("src"));
    for (const auto& [name, data] : Theirs)
      WriteFile(dir.NativePath("src/" + name), data);
    const auto [status, out] =
        RunCommand("cd '" + dir.NativePath("src") + "' && zip -q -X ../theirs.zip *");
    ASSERT_EQ(status, 0) << out;
    WriteFile(dir.NativePath("stubbed.zip"),
              std::string(4000, 'x') + ReadFile(dir.NativePath("theirs.zip")));
    RunCommand("zip -A '" + dir.NativePath("stubbed.zip") + "'");
  }

  test::TempDir dir;
  // Bytes that do not compress, so that damage 40 bytes into them stays there.
  static std::string Noise(size_t n) {
    std::string s(n, '\0');
    uint32_t x = 7;
    for (char& c : s) {
      x = x * 1103515245u + 12345u;
      c = char(x >> 24);
    }
    return s;
  }
  std::map<std::string, std::string> Ours = {
      {"a.txt", Noise(20000)}, {"b.txt", "ours b"}, {"c.bin", std::string(300, '\3')}};
  std::map<std::string, std::string> Theirs = {{"b.txt", "their b, longer than ours"},
                                               {"d.txt", std::string(9000, 'd')}};
};

TEST_F(MergeRepairInterop, MergesAreTheUnionAndReadClean) {
  for (const TKelOverwriteMode mode : {omAlways, omNever}) {
    for (const std::string other : {"theirs.zip", "stubbed.zip", "ours.zip"}) {
      SCOPED_TRACE(other + (mode == omAlways ? " always" : " never"));
      const std::string target = dir.NativePath("merged.zip");
      WriteFile(target, ReadFile(dir.NativePath("ours.zip")));
      TKelvane a(nullptr);
      a.SetFileName(FromUtf8(target));
      a.Options().SetOverwriteMode(mode);
      a.OpenArchive();
      a.MergeWith(dir.Path(FromUtf8(other)));
      a.CloseArchive();

      std::map<std::string, std::string> expected;
      for (const auto& [name, data] : Ours)
        expected[name] = Hex(data);
      if (other != "ours.zip")
        for (const auto& [name, data] : Theirs)
          if (mode == omAlways || !expected.contains(name)) expected[name] = Hex(data);
      EXPECT_EQ(PythonRead(target), expected);
      ExpectUnzipClean(target);
    }
  }
}

TEST_F(MergeRepairInterop, RepairedArchivesReadClean) {
  // zip's archive and ours, each with its directory cut off and one item
  // damaged.
  for (const std::string source : {"theirs.zip", "ours.zip"}) {
    SCOPED_TRACE(source);
    std::string bytes = ReadFile(dir.NativePath(source));
    const std::string victim = source == "ours.zip" ? "a.txt" : "d.txt";
    const size_t at = bytes.find(victim) + victim.size() + 40;
    bytes[at] = char(bytes[at] ^ 0x55);
    bytes.resize(bytes.find("PK\1\2"));
    WriteFile(dir.NativePath("broken.zip"), bytes);
    TKelvane a(nullptr);
    a.SetFileName(dir.Path(u"broken.zip"));
    a.RepairArchive(dir.Path(u"fixed.zip"));
    ExpectUnzipClean(dir.NativePath("fixed.zip"));
    const auto read = PythonRead(dir.NativePath("fixed.zip"));
    for (const auto& [name, data] : source == "ours.zip" ? Ours : Theirs) {
      if (name == victim) continue;
      EXPECT_EQ(read.count(name) ? read.at(name) : "missing", Hex(data)) << name;
    }
  }
}

}  // namespace
}  // namespace kelvane
