// A self-extractor built by MakeSFX from the real stubs: it runs in batch
// mode, and unzip finds its offsets right (no bytes to account for).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

#include "TempDir.h"
#include "engine/Kelvane.h"
#include "platform/DosTime.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// Status and everything Command printed.
std::pair<int, std::string> RunShell(const std::string& command) {
  std::string out;
  FILE* p = popen((command + " 2>&1 </dev/null").c_str(), "r");
  if (!p) return {-1, ""};
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
    out.append(buf, n);
  const int raw = pclose(p);
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, out};
}

TEST(MakeSFXStub, RunsInBatchModeAndUnzipFindsNoStrayBytes) {
  const std::pair<std::string, std::string> items[] = {
      {"readme.txt", std::string(3000, 'r')}, {"docs/guide.txt", "la guía\n"}, {"empty", ""}};
  for (const std::string stub : {KELVANE_SFX_CLI, KELVANE_SFX}) {
    SCOPED_TRACE(stub);
    test::TempDir dir;
    TKelvane a(nullptr);
    a.SetFileName(dir.Path(u"data.zip"));
    a.SetCompressionMode(6);
    a.OpenArchive(fmCreate);
    a.BeginUpdate();
    for (const auto& [name, data] : items)
      a.AddFromBuffer(FromUtf8(name), data.data(), int32_t(data.size()), faArchive,
                      *DosDateTimeToDateTime(0x58B16D20));
    a.EndUpdate();
    a.CloseArchive();
    a.SetSFXStub(FromUtf8(stub));
    a.MakeSFX(dir.Path(u"setup"));

    const auto [status, out] =
        RunShell("'" + dir.NativePath("setup") + "' --dest '" + dir.NativePath("out") + "'");
    EXPECT_EQ(status, 0) << out;
    for (const auto& [name, data] : items)
      EXPECT_TRUE(ReadFile(dir.NativePath("out/" + name)) == data) << name;

    if (RunShell("command -v unzip >/dev/null").first != 0)
      GTEST_SKIP() << "unzip is not installed";
    const auto [testStatus, report] = RunShell("unzip -t '" + dir.NativePath("setup") + "'");
    EXPECT_EQ(testStatus, 0) << report;
    EXPECT_EQ(report.find("extra bytes"), std::string::npos) << report;
    EXPECT_EQ(report.find("warning"), std::string::npos) << report;
    EXPECT_NE(report.find("No errors detected"), std::string::npos) << report;
  }
}

}  // namespace
}  // namespace kelvane
