// Helpers shared by the update tests: file bytes, sample data, and what an
// archive holds by content.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "PeerTools.h"
#include "engine/Kelvane.h"

namespace kelvane::test {

using TContents = std::map<UString, std::string>;

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

inline void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The names of the entries of a folder, sorted.
inline std::vector<std::string> FileNamesIn(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Every item of an open archive by name, with its extracted data.
inline TContents ContentsOf(TKelvane& reader) {
  TContents out;
  reader.Options().SetRecurse(true);
  TKelArchiveItem f;
  for (bool more = reader.FindFirst(u"*.*", f, KelAllItemsAttr, u""); more;
       more = reader.FindNext(f)) {
    const UString name = f.StoredPath + f.FileName;
    TMemoryStream s;
    reader.ExtractToStream(name, s);
    out[name] = std::string(s.Bytes().begin(), s.Bytes().end());
  }
  return out;
}

}  // namespace kelvane::test
