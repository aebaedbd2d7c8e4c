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

#include "DiskName.h"
#include "TempDir.h"
#include "engine/Kelvane.h"

#ifdef _WIN32
#include <zlib.h>
#endif

namespace kelvane::test {

// A Windows test program under wine cannot start the Linux python3: tests
// whose fixtures only a python script makes are skipped there.
#ifdef _WIN32
#define KEL_NEEDS_PYTHON() GTEST_SKIP() << "the fixture is made by python3, out of reach under wine"
#else
#define KEL_NEEDS_PYTHON() (void)0
#endif

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
#ifdef _WIN32
// What python's zipfile on Linux writes for MakeZip, written here: made by
// Unix (3) version 2.0, UTF-8 flag for names beyond ASCII, no extra fields.
namespace zipwriter {

inline void Le(std::string& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i)
    out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

inline std::string RawDeflate(const std::string& data) {
  z_stream z{};
  deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

}  // namespace zipwriter

inline void MakeZip(const std::string& path, const std::vector<TPyItem>& items,
                    const std::string& comment = {}) {
  using zipwriter::Le;
  const uint32_t dosTime = (13u << 11) | (45u << 5) | (32u / 2);
  const uint32_t dosDate = ((2024u - 1980) << 9) | (5u << 5) | 17u;
  std::string body, central;
  for (const TPyItem& item : items) {
    bool ascii = true;
    for (unsigned char c : item.Name)
      ascii = ascii && c < 0x80;
    const uint32_t flags = ascii ? 0 : 0x800;
    const std::string data = item.Store ? item.Data : zipwriter::RawDeflate(item.Data);
    const uint32_t crc = static_cast<uint32_t>(crc32(
        0, reinterpret_cast<const Bytef*>(item.Data.data()), static_cast<uInt>(item.Data.size())));
    const auto offset = static_cast<uint32_t>(body.size());
    auto common = [&](std::string& out) {
      Le(out, 20, 2);
      Le(out, flags, 2);
      Le(out, item.Store ? 0 : 8, 2);
      Le(out, dosTime, 2);
      Le(out, dosDate, 2);
      Le(out, crc, 4);
      Le(out, static_cast<uint32_t>(data.size()), 4);
      Le(out, static_cast<uint32_t>(item.Data.size()), 4);
      Le(out, static_cast<uint32_t>(item.Name.size()), 2);
      Le(out, 0, 2);
    };
    Le(body, 0x04034b50, 4);
    common(body);
    body += item.Name + data;
    Le(central, 0x02014b50, 4);
    Le(central, (3u << 8) | 20, 2);
    common(central);
    Le(central, static_cast<uint32_t>(item.Comment.size()), 2);
    Le(central, 0, 2);
    Le(central, 0, 2);
    Le(central, item.Attr, 4);
    Le(central, offset, 4);
    central += item.Name + item.Comment;
  }
  std::string out = body + central;
  Le(out, 0x06054b50, 4);
  Le(out, 0, 4);
  Le(out, static_cast<uint32_t>(items.size()), 2);
  Le(out, static_cast<uint32_t>(items.size()), 2);
  Le(out, static_cast<uint32_t>(central.size()), 4);
  Le(out, static_cast<uint32_t>(body.size()), 4);
  Le(out, static_cast<uint32_t>(comment.size()), 2);
  out += comment;
  std::ofstream(path, std::ios::binary) << out;
}
#else
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
#endif

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
