// What the extraction tests share: a component that exposes the driver, an
// event log, and archives with files, folders and a damaged item.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ArchiveFiles.h"
#include "container/KelDirManager.h"
#include "engine/Kelvane.h"
#include "platform/Dialogs.h"
#include "platform/Text.h"

namespace kelvane::test {

// DOS date-time of every item MakeZip writes: 2024-05-17 13:45:32.
inline constexpr int32_t kItemTime =
    (44 << 25) | (5 << 21) | (17 << 16) | (13 << 11) | (45 << 5) | (32 / 2);

class TExtractProbe : public TKelvane {
 public:
  using TKelBaseArchiver::ProcessItems;
  using TKelBaseArchiver::TagItems;
  using TKelvane::TKelvane;
  int32_t ProcessedFileNo() const { return FProcessedFileNo; }
  int32_t ProcessedFileCount() const { return FProcessedFileCount; }
  const UString& CurrentDirField() const { return FCurrentDir; }
  void SetUpdateCount(int32_t count) { FUpdateCount = count; }
  std::vector<std::string> ItemNames() const {
    std::vector<std::string> names;
    for (int32_t i = 0; i < DMHandle->CDir.Count(); ++i)
      names.push_back(ToUtf8(DMHandle->CDir.GetItemPtr(i).Name));
    return names;
  }
};

inline const char* PhaseName(TKelProgressPhase phase) {
  return phase == ppStart ? "start" : phase == ppEnd ? "end" : "process";
}

// The progress reports of a run, one line each: "file <name> <phase>" and
// "overall <percent> <phase>"; reports while data is decoded are counted, not
// listed, as their number depends on the chunking.
struct TEventLog {
  std::vector<std::string> Lines;
  int ProcessReports = 0;

  void Attach(TKelBaseArchiver& a) {
    a.SetOnFileProgress([this](TKelBaseArchiver*, const UString& name, double progress,
                               TKelProcessOperation, TKelProgressPhase phase, bool&) {
      if (phase == ppProcess) {
        ++ProcessReports;
        return;
      }
      Lines.push_back("file " + ToUtf8(name) + " " + std::to_string(int(progress)) + " " +
                      PhaseName(phase));
    });
    a.SetOnOverallProgress([this](TKelBaseArchiver*, double progress, TKelProcessOperation,
                                  TKelProgressPhase phase, bool&) {
      if (phase == ppProcess) return;
      Lines.push_back("overall " + std::to_string(int(progress)) + " " + PhaseName(phase));
    });
  }
};

inline std::string ReadText(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

inline void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Every file and folder below Root, as relative paths with "/" (folders end
// with "/"), sorted.
inline std::vector<std::string> TreeOf(const std::filesystem::path& root) {
  namespace fs = std::filesystem;
  std::vector<std::string> entries;
  std::error_code ec;
  if (!fs::exists(root, ec)) return entries;
  for (auto it = fs::recursive_directory_iterator(root, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    std::string rel = it->path().lexically_relative(root).generic_string();
    if (it->is_directory() && !it->is_symlink()) rel += "/";
    entries.push_back(rel);
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

// Flips one byte in the middle of the first occurrence of Data in the file at
// Path (stored items keep their data as it is).
inline void FlipDataByte(const std::string& path, const std::string& data) {
  std::string bytes = ReadText(path);
  const size_t at = bytes.find(data);
  ASSERT_NE(at, std::string::npos);
  bytes[at + data.size() / 2] ^= 0x01;
  WriteText(path, bytes);
}

}  // namespace kelvane::test
