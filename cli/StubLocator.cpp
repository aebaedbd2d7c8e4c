#include "cli/StubLocator.h"

#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

namespace kelvane::cli {
namespace {

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string ToolFolder() {
  std::string path(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (n <= 0) return {};
  path.resize(static_cast<size_t>(n));
  return path.substr(0, path.rfind('/'));
}

}  // namespace

std::string FindStub(const std::string& kind) {
  if (kind != "gui" && kind != "console") {
    if (!IsRegularFile(kind)) throw std::runtime_error("the stub " + kind + " is not a file");
    return kind;
  }
  const std::string name = kind == "gui" ? "kelvane-sfx" : "kelvane-sfx-cli";
  const std::string here = ToolFolder();
  std::vector<std::string> places;
  if (!here.empty()) {
    places.push_back(here);
    places.push_back(here + "/../app");
  }
#ifdef KELVANE_INSTALL_BINDIR
  places.push_back(KELVANE_INSTALL_BINDIR);
#endif
  std::string looked;
  for (const std::string& folder : places) {
    if (IsRegularFile(folder + "/" + name)) return folder + "/" + name;
    looked += (looked.empty() ? "" : ", ") + folder;
  }
  throw std::runtime_error("the stub " + name + " is not installed (looked in " + looked + ")");
}

}  // namespace kelvane::cli
