// A fresh temporary folder per test, removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <string>

#include "platform/Text.h"
#include "platform/Types.h"

namespace kelvane::test {

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kelvane-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    FRoot = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(FRoot, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(FRoot, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Root() const { return FRoot; }
  // Root + "/" + Name as engine text.
  UString Path(const UString& name) const { return FromUtf8(FRoot.string()) + u"/" + name; }
  std::string NativePath(const std::string& name) const { return (FRoot / name).string(); }

 private:
  std::filesystem::path FRoot;
};

}  // namespace kelvane::test
