#include "cli/StubLocator.h"

#include <stdexcept>
#include <vector>

#include "names/Paths.h"
#include "platform/FileSystem.h"
#include "platform/ProgramFile.h"
#include "platform/Text.h"

namespace kelvane::cli {
namespace {

bool IsRegularFile(const std::string& path) {
  return IsFile(FromUtf8(path));
}

std::string ToolFolder() {
  return ToUtf8(ExcludeBackslash(DirectoryPart(ProgramFilePath())));
}

}  // namespace

std::string FindStub(const std::string& kind) {
  if (kind != "gui" && kind != "console") {
    if (!IsRegularFile(kind)) throw std::runtime_error("the stub " + kind + " is not a file");
    return kind;
  }
  const std::string name =
      std::string(kind == "gui" ? "kelvane-sfx" : "kelvane-sfx-cli") + KELVANE_EXE_SUFFIX;
  const std::string delim = ToUtf8(UString(1, PathDelim));
  const std::string here = ToolFolder();
  std::vector<std::string> places;
  if (!here.empty()) {
    places.push_back(here);
    places.push_back(here + delim + ".." + delim + "app");
  }
#ifdef KELVANE_INSTALL_BINDIR
  places.push_back(KELVANE_INSTALL_BINDIR);
#endif
  std::string looked;
  for (const std::string& folder : places) {
    if (IsRegularFile(folder + delim + name)) return folder + delim + name;
    looked += (looked.empty() ? "" : ", ") + folder;
  }
  throw std::runtime_error("the stub " + name + " is not installed (looked in " + looked + ")");
}

}  // namespace kelvane::cli
