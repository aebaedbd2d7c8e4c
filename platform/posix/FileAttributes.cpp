#include "platform/posix/FileAttributes.h"

namespace kelvane {

bool IsHiddenName(std::string_view name) {
  return !name.empty() && name[0] == '.' && name != "." && name != "..";
}

int32_t AttributesOf(const struct stat& st, std::string_view name) {
  int32_t attr;
  if (S_ISDIR(st.st_mode))
    attr = faDirectory;
  else if (S_ISREG(st.st_mode))
    attr = faArchive;
  else
    attr = faSysFile;  // devices, pipes, sockets: never plain data to read
  if (!(st.st_mode & S_IWUSR)) attr |= faReadOnly;
  if (IsHiddenName(name)) attr |= faHidden;
  return attr;
}

std::string_view LastComponent(std::string_view nativePath) {
  while (nativePath.size() > 1 && nativePath.back() == '/')
    nativePath.remove_suffix(1);
  const size_t slash = nativePath.rfind('/');
  return slash == std::string_view::npos ? nativePath : nativePath.substr(slash + 1);
}

}  // namespace kelvane
