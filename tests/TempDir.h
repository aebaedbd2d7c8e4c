// A fresh temporary folder per test, removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

#include "platform/Text.h"
#include "platform/Types.h"

namespace kelvane::test {

// Removes Path with everything in it, read-only files included (Windows
// refuses to delete those).
inline void RemoveTree(const std::filesystem::path& path) {
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(path, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    if (!it->is_symlink(ec))
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_write,
                                   std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path);
}

class TempDir {
 public:
  TempDir() {
    // A new name that nobody else made: create_directory tells whether it was ours.
    std::random_device seed;
    std::mt19937_64 random(seed());
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100 && FRoot.empty(); ++attempt) {
      const auto candidate = base / ("kelvane-" + std::to_string(random() % 100000000));
      std::error_code ec;
      if (std::filesystem::create_directory(candidate, ec)) FRoot = candidate;
    }
    if (FRoot.empty()) throw std::runtime_error("cannot create a temporary folder");
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(FRoot, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    try {
      RemoveTree(FRoot);
    } catch (const std::filesystem::filesystem_error&) {
    }
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Root() const { return FRoot; }
  // Root + PathDelim + Name as engine text.
  UString Path(const UString& name) const {
    const std::u8string root = FRoot.u8string();
    return FromUtf8(std::string(root.begin(), root.end())) + PathDelim + name;
  }
  std::string NativePath(const std::string& name) const { return (FRoot / name).string(); }

 private:
  std::filesystem::path FRoot;
};

}  // namespace kelvane::test
