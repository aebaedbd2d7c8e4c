// Archives for the engine's tests, made at test time by python3's zipfile, and
// the small file helpers the tests share.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "TempDir.h"
#include "engine/Kelvane.h"

namespace kelvane::test {

// Runs Script with python3; in it, `out` is the path Target. Fails the test
// (fatally) when python cannot run it.
inline void RunPython(const std::string& script, const std::string& target) {
  const std::string scriptPath = target + ".py";
  {
    std::ofstream f(scriptPath, std::ios::binary);
    f << "import sys, zipfile, struct\nout = sys.argv[1]\n" << script;
  }
  const std::string cmd = "python3 '" + scriptPath + "' '" + target + "'";
  const int rc = std::system(cmd.c_str());
  std::remove(scriptPath.c_str());
  ASSERT_EQ(rc, 0) << "python3 failed:\n" << script;
}

// One item of an archive python writes: name as stored, external attributes,
// data (stored when Store, else deflated), item comment.
struct TPyItem {
  TPyItem(std::string name, uint32_t attr = 0x20, std::string data = {}, bool store = false,
          std::string comment = {})
      : Name(std::move(name)),
        Attr(attr),
        Data(std::move(data)),
        Store(store),
        Comment(std::move(comment)) {}
  std::string Name;
  uint32_t Attr = 0x20;
  std::string Data;
  bool Store = false;
  std::string Comment;
};

// Writes a ZIP archive with Items (DOS date-time 2024-05-17 13:45:32) and
// the archive comment Comment.
inline void MakeZip(const std::string& path, const std::vector<TPyItem>& items,
                    const std::string& comment = {}) {
  std::string script = "items = [\n";
  auto bytesLiteral = [](const std::string& s) {
    std::string hex;
    static const char* digits = "0123456789abcdef";
    for (unsigned char c : s) {
      hex += digits[c >> 4];
      hex += digits[c & 15];
    }
    return "bytes.fromhex('" + hex + "')";
  };
  for (const TPyItem& item : items)
    script += "  (" + bytesLiteral(item.Name) + ".decode('utf-8'), " + std::to_string(item.Attr) +
              ", " + bytesLiteral(item.Data) + ", " + (item.Store ? "True" : "False") + ", " +
              bytesLiteral(item.Comment) + "),\n";
  script +=
      "]\n"
      "with zipfile.ZipFile(out, 'w') as z:\n"
      "  for name, attr, data, store, comment in items:\n"
      "    zi = zipfile.ZipInfo(name, date_time=(2024, 5, 17, 13, 45, 32))\n"
      "    zi.external_attr = attr\n"
      "    zi.comment = comment\n"
      "    zi.compress_type = zipfile.ZIP_STORED if store else zipfile.ZIP_DEFLATED\n"
      "    z.writestr(zi, data)\n"
      "  z.comment = " +
      bytesLiteral(comment) + "\n";
  RunPython(script, path);
}

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

inline void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Bytes that never hold "PK", as a stand-in for an executable stub.
inline std::vector<uint8_t> StubBytes(size_t size) {
  std::vector<uint8_t> stub(size);
  uint32_t x = 12345;
  for (auto& b : stub) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
    if (b == 'P') b = 'p';
  }
  return stub;
}

// Every item a search finds, as stored names in directory order.
inline std::vector<std::string> Found(TKelBaseArchiver& a, const UString& mask, int32_t attr,
                                      const UString& exclusion) {
  std::vector<std::string> names;
  TKelArchiveItem f;
  for (bool ok = a.FindFirst(mask, f, attr, exclusion); ok; ok = a.FindNext(f))
    names.push_back(ToUtf8(f.StoredPath + f.FileName));
  return names;
}

inline std::vector<std::string> Found(TKelBaseArchiver& a) {
  std::vector<std::string> names;
  TKelArchiveItem f;
  for (bool ok = a.FindFirst(f); ok; ok = a.FindNext(f))
    names.push_back(ToUtf8(f.StoredPath + f.FileName));
  return names;
}

}  // namespace kelvane::test
