// Adds one file to an archive through the engine and reports what it cost, as
// one JSON line: wall seconds, processor seconds, peak resident memory, and
// the bytes the process read and wrote (/proc/self/io: rchar and wchar count
// every read and write call, whether or not the disk saw it).
//
//   kelvane_add_bench new ARCHIVE SOURCE MODE [aes]
//       a new ARCHIVE holding SOURCE (read through a file stream with
//       AddFromStream) at compression mode MODE, AES-256 with "aes"
//   kelvane_add_bench append ARCHIVE NAME BYTES
//       appends an item NAME of BYTES bytes to the existing ARCHIVE
//   kelvane_add_bench tree ARCHIVE DIR MODE
//       a new ARCHIVE holding everything below DIR (AddFiles, recursing)
//   kelvane_add_bench split ARCHIVE SOURCE MODE VOLUME
//       as new, written as a split set of volumes of VOLUME bytes
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "engine/Kelvane.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace {

using namespace kelvane;

std::map<std::string, long long> ProcIo() {
  std::map<std::string, long long> io;
  std::ifstream in("/proc/self/io");
  std::string key;
  long long value = 0;
  while (in >> key >> value)
    io[key.substr(0, key.size() - 1)] = value;
  return io;
}

double Seconds(const timeval& t) {
  return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

int Usage() {
  std::fprintf(stderr,
               "usage: kelvane_add_bench new ARCHIVE SOURCE MODE [aes]\n"
               "       kelvane_add_bench append ARCHIVE NAME BYTES\n"
               "       kelvane_add_bench tree ARCHIVE DIR MODE\n"
               "       kelvane_add_bench split ARCHIVE SOURCE MODE VOLUME\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) return Usage();
  const std::string what = argv[1];
  const auto ioBefore = ProcIo();
  const auto start = std::chrono::steady_clock::now();
  std::string failure;
  {
    TKelvane a(nullptr);
    a.SetFileName(FromUtf8(argv[2]));
    a.SetZip64Mode(zmAuto);
    a.SetOnProcessFileFailure([&](TKelBaseArchiver*, const UString&, TKelProcessOperation, int32_t,
                                  int32_t, const UString& message, TKelAction& action) {
      failure = ToUtf8(message);
      action = fxaAbort;
    });
    if (what == "split") {
      if (argc < 6) return Usage();
      a.SetSpanningMode(smSplitting);
      a.SpanningOptions().SetVolumeSize(vsCustom);
      a.SpanningOptions().SetCustomVolumeSize(std::atoll(argv[5]));
    }
    if (what == "new" || what == "split") {
      a.SetCompressionMode(static_cast<uint8_t>(std::atoi(argv[4])));
      if (what == "new" && argc > 5 && std::strcmp(argv[5], "aes") == 0) {
        a.SetPassword("bench-password");
        a.SetEncryptionMethod(caAES_256);
      }
      a.OpenArchive(fmCreate);
      TFileStream source(FromUtf8(argv[3]), fmOpenRead | fmShareDenyWrite);
      a.AddFromStream(u"source.dat", source, false, 0, 0, faArchive, 0);
      a.CloseArchive();
    } else if (what == "append") {
      // Noise, so that the item's size in the archive is its size.
      std::vector<char> data(std::strtoull(argv[4], nullptr, 10));
      uint32_t seed = 1;
      for (char& ch : data) {
        seed = seed * 1103515245 + 12345;
        ch = static_cast<char>(seed >> 24);
      }
      a.OpenArchive();
      a.AddFromBuffer(FromUtf8(argv[3]), data.data(), static_cast<int32_t>(data.size()), faArchive,
                      0);
      a.CloseArchive();
    } else if (what == "tree") {
      a.SetCompressionMode(static_cast<uint8_t>(std::atoi(argv[4])));
      a.SetBaseDir(FromUtf8(argv[3]));
      a.Options().SetRecurse(true);
      a.OpenArchive(fmCreate);
      a.AddFiles(u"*", faAnyFile, u"");
      a.CloseArchive();
    } else {
      return Usage();
    }
  }
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!failure.empty()) {
    std::fprintf(stderr, "failed: %s\n", failure.c_str());
    return 1;
  }
  auto io = ProcIo();
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  std::printf(
      "{\"wall\": %.3f, \"user\": %.3f, \"sys\": %.3f, \"peak_kib\": %ld, \"rchar\": %lld, "
      "\"wchar\": %lld, \"syscw\": %lld}\n",
      wall, Seconds(ru.ru_utime), Seconds(ru.ru_stime), ru.ru_maxrss,
      io["rchar"] - ioBefore.at("rchar"), io["wchar"] - ioBefore.at("wchar"),
      io["syscw"] - ioBefore.at("syscw"));
  return 0;
}
