// Archives made by other tools, built once per test run by make_fixtures.py,
// with what an independent reader reports about each item. Tests treat them
// as read-only and copy an archive before changing it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "TempDir.h"

namespace kelvane::test {

struct TFixtureItem {
  std::string Name;  // as the reference reader decodes it
  uint64_t Size = 0;
  uint64_t Compressed = 0;
  uint32_t Crc = 0;
  uint32_t DosDateTime = 0;
  uint32_t ExternalAttr = 0;
  uint16_t Flags = 0;
  std::string RawName;  // the name bytes as stored
};

class TFixtures {
 public:
  // The shared set; built on first use. Fails the calling test when the
  // generator cannot run.
  static TFixtures& Get() {
    static std::unique_ptr<TFixtures> instance(new TFixtures());
    return *instance;
  }

  // Full path of an archive (or of the source tree with "src").
  std::string Path(const std::string& name) const { return (FRoot / name).string(); }
  bool Has(const std::string& archive) const { return FItems.count(archive) != 0; }
  const std::vector<TFixtureItem>& Items(const std::string& archive) const {
    return FItems.at(archive);
  }
  std::vector<std::string> Archives() const {
    std::vector<std::string> names;
    for (const auto& [name, items] : FItems)
      names.push_back(name);
    return names;
  }

 private:
  // CTest builds the set once for all test processes and names its folder in
  // KELVANE_FIXTURES; a test program run by hand builds its own.
  TFixtures() {
    if (const char* shared = std::getenv("KELVANE_FIXTURES")) {
      FRoot = shared;
    } else {
      FOwn = std::make_unique<TempDir>();
      FRoot = FOwn->Root();
      const std::string cmd = "python3 '" KELVANE_SOURCE_DIR "/tests/interop/make_fixtures.py' '" +
                              FRoot.string() + "'";
      if (std::system(cmd.c_str()) != 0) throw std::runtime_error("make_fixtures.py failed");
    }
    std::ifstream in(FRoot / "manifest.tsv");
    if (!in) throw std::runtime_error("no fixture manifest in " + FRoot.string());
    std::string line;
    while (std::getline(in, line)) {
      std::vector<std::string> f;
      std::stringstream ss(line);
      for (std::string cell; std::getline(ss, cell, '\t');)
        f.push_back(cell);
      if (f.size() != 9) continue;
      TFixtureItem item;
      item.Name = f[1];
      item.Size = std::stoull(f[2]);
      item.Compressed = std::stoull(f[3]);
      item.Crc = static_cast<uint32_t>(std::stoul(f[4], nullptr, 16));
      item.DosDateTime = static_cast<uint32_t>(std::stoul(f[5], nullptr, 16));
      item.ExternalAttr = static_cast<uint32_t>(std::stoul(f[6], nullptr, 16));
      item.Flags = static_cast<uint16_t>(std::stoul(f[7], nullptr, 16));
      for (size_t i = 0; i + 1 < f[8].size(); i += 2)
        item.RawName += static_cast<char>(std::stoi(f[8].substr(i, 2), nullptr, 16));
      FItems[f[0]].push_back(item);
    }
  }

  std::unique_ptr<TempDir> FOwn;
  std::filesystem::path FRoot;
  std::map<std::string, std::vector<TFixtureItem>> FItems;
};

}  // namespace kelvane::test
