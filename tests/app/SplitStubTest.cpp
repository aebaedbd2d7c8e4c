// A split set written behind the terminal stub: its first volume is the
// program, and started, it extracts the whole set.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "PeerTools.h"
#include "TempDir.h"
#include "engine/Kelvane.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

using namespace test;
namespace fs = std::filesystem;

constexpr int64_t kVolume = 64 * 1024;

std::map<std::string, std::string> FilesBelow(const fs::path& root) {
  std::map<std::string, std::string> tree;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) tree[e.path().lexically_relative(root).generic_string()] = ReadFile(e);
  return tree;
}

TEST(SplitStub, TheFirstVolumeExtractsTheSet) {
  test::TempDir dir;
  const fs::path set = dir.Root() / "set";
  fs::create_directories(set);
  const std::map<std::string, std::string> items = {
      {"docs/readme.txt", std::string(5000, 'r')},
      {"big.bin", Noise(150000, 4)},
      {"last.txt", "the end\n"},
  };
  const auto stubSize = static_cast<int64_t>(fs::file_size(KELVANE_SFX_CLI));
  {
    TKelvane a(nullptr);
    a.SetFileName(FromUtf8((set / "setup.zip").string()));
    a.SetSFXStub(FromUtf8(KELVANE_SFX_CLI));
    a.SetSpanningMode(smSplitting);
    a.SpanningOptions().SetVolumeSize(vsCustom);
    a.SpanningOptions().SetCustomVolumeSize(kVolume);
    a.SpanningOptions().SetFirstVolumeSize(stubSize + kVolume);
    a.OpenArchive();
    a.BeginUpdate();
    for (const auto& [name, data] : items)
      a.AddFromBuffer(FromUtf8(name), data.data(), static_cast<int32_t>(data.size()), faArchive, 0);
    a.EndUpdate();
  }
  const fs::path program = set / "setup.exe";
  ASSERT_TRUE(fs::exists(program));
  EXPECT_TRUE(fs::exists(set / "setup.z02"));
  EXPECT_TRUE(fs::exists(set / "setup.zip"));
  EXPECT_EQ(ReadFile(program).substr(0, static_cast<size_t>(stubSize)), ReadFile(KELVANE_SFX_CLI));
  EXPECT_LE(static_cast<int64_t>(fs::file_size(program)), stubSize + kVolume);

  // Started from elsewhere, by its path, as a user would.
  const fs::path dest = dir.Root() / "out";
  const std::string command = "cd / && '" + program.string() + "' --dest '" + dest.string() +
                              "' </dev/null >'" + dir.NativePath("log") + "' 2>&1";
  const int raw = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 0) << ReadFile(dir.NativePath("log"));
  EXPECT_EQ(FilesBelow(dest), items);
}

}  // namespace
}  // namespace kelvane
