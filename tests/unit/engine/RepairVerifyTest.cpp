// The repair's verification ahead on other threads: it calls an item sound
// only where the archiver's own check verifies it as well (so the repaired
// archive cannot depend on which of them answered), and a repair through it
// copies every sound item byte for byte, the same whether the kernel copies
// or reads and writes do.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <atomic>
#include <cerrno>
#include "unit/WinPosix.h"

#include "DecodeTestSupport.h"
#include "TempDir.h"
#include "UpdateTestSupport.h"
#include "container/KelDirManager.h"
#include "engine/KelRepairVerify.h"
#include "platform/RangeCopyCall.h"

namespace kelvane {
namespace {

using namespace test;

const std::string kText = "the text of an item the repair verifies\n";
const uint32_t kCrc = Crc32Of(kText.data(), kText.size());

// Text that compresses, in several of the decoders' chunks.
std::string LongText(size_t size, uint32_t seed) {
  static const char* const words[] = {"archive ", "item ",   "repair ", "local ", "header\n",
                                      "data ",    "kernel ", "copy ",   "sound ", "verified "};
  std::string s;
  while (s.size() < size) {
    seed = seed * 1103515245u + 12345u;
    s += words[(seed >> 16) % 10];
  }
  s.resize(size);
  return s;
}

Bytes Descriptor(bool signature, uint32_t crc, uint32_t size) {
  Bytes out;
  auto le = [&out](uint32_t v) {
    for (int i = 0; i < 4; ++i)
      out.push_back(uint8_t(v >> (8 * i)));
  };
  if (signature) le(KelDataDescriptorSig);
  le(crc);
  le(size);
  le(size);
  return out;
}

Bytes Flipped(Bytes bytes, size_t at) {
  bytes[at] ^= 0x5A;
  return bytes;
}

class TVerifyProbe : public TKelvane {
 public:
  using TKelBaseArchiver::ExtractItemToStream;
  using TKelvane::TKelvane;
  const TKelDirManager& Dir() const { return *DMHandle; }
};

struct TCase {
  const char* What;
  TTestEntry Entry;
  bool Sound;     // the verifier calls it sound
  bool Verifies;  // the archiver's check verifies it
};

std::vector<TCase> Cases() {
  const std::string big = LongText(2'600'000, 4);
  const Bytes bigDeflated = Deflated(big);
  const auto longer = [](auto& h) { h.compSize += 30; };
  return {
      {"stored", TTestEntry("a.txt", kText, 0), true, true},
      {"empty", TTestEntry("e.txt", "", 0), true, true},
      {"deflated over several chunks", TTestEntry("big.txt", big, 8), true, true},
      {"stored over several chunks", TTestEntry("big.bin", NoiseText(2'300'000), 0), true, true},
      {"a descriptor with its signature", TTestEntry("d.txt", kText, 8).WithDescriptor(), true,
       true},
      {"a descriptor without one",
       TTestEntry("d.txt", kText, 0).WithDescriptorBytes(Descriptor(false, kCrc, kText.size())),
       true, true},
      {"another CRC-32 in both headers", TTestEntry("a.txt", kText, 0).WithCrc(kCrc ^ 1), false,
       false},
      {"a smaller declared size", TTestEntry("big.txt", big, 8).WithSize(2'599'999), false, false},
      {"a larger declared size", TTestEntry("big.txt", big, 8).WithSize(2'600'001), false, false},
      {"deflated data changed",
       TTestEntry("big.txt", big, 8).WithRaw(Flipped(bigDeflated, bigDeflated.size() / 2)), false,
       false},
      {"stored data changed",
       TTestEntry("a.txt", kText, 0).WithRaw(Flipped(Bytes(kText.begin(), kText.end()), 3)), false,
       false},
      {"a local CRC-32 the directory settles",
       TTestEntry("a.txt", kText, 0).WithLocal([](auto& h) { h.crc32 ^= 1; }), false, true},
      {"a descriptor CRC-32 the directory settles",
       TTestEntry("d.txt", kText, 0).WithDescriptorBytes(Descriptor(true, kCrc ^ 1, kText.size())),
       false, true},
      {"another local method",
       TTestEntry("a.txt", kText, 8).WithLocal([](auto& h) { h.compMethod = KelMethodStored; }),
       false, false},
      {"data reaching into the directory",
       TTestEntry("a.txt", kText, 0).WithLocal(longer).WithCentral(longer), false, false},
      {"encrypted", TTestEntry("s.txt", kText, 8, tcPkzip), false, true},
  };
}

TEST(RepairVerify, SoundOnlyWhereTheArchiversCheckVerifiesToo) {
  TempDir dir;
  TKelVerifyBuffers buffers;  // one set for every case, as a worker keeps it
  for (const TCase& c : Cases()) {
    SCOPED_TRACE(c.What);
    WriteAll(dir.NativePath("one.zip"), AsText(BuildZip({c.Entry}).Archive));
    TFileStream file(dir.Path(u"one.zip"), fmOpenRead | fmShareDenyNone);
    TVerifyProbe probe(nullptr);
    probe.SetPassword("secret");
    probe.OpenArchive(file, false);
    const TDirItem item = probe.Dir().CDir.GetItem(0);
    TFileReader reader(file.Handle());
    std::atomic<bool> stop{false};
    const bool sound = VerifyStoredForm(reader, item, probe.Dir().CentralDirOffset, buffers, stop);
    TNullStream sink;
    const bool verifies = NativeErrorOf([&] { probe.ExtractItemToStream(0, sink, 0, 0); }) == 0;
    EXPECT_EQ(sound, c.Sound);
    EXPECT_EQ(verifies, c.Verifies);
    EXPECT_TRUE(verifies || !sound) << "sound, but the archiver would store it anew";
    if (c.Sound && item.CompressedSize() > DecompressionChunkSize) {
      stop = true;
      EXPECT_FALSE(VerifyStoredForm(reader, item, probe.Dir().CentralDirOffset, buffers, stop));
    }
    probe.CloseArchive();
  }
}

// Copies at most 1000 bytes a call, or declines as on another file system.
int64_t ShortCopy(int source, int64_t sourceAt, int dest, int64_t destAt, size_t count) {
  std::vector<char> buf(std::min<size_t>(count, 1000));
  const ssize_t n = ::pread(source, buf.data(), buf.size(), sourceAt);
  return n <= 0 ? n : ::pwrite(dest, buf.data(), size_t(n), destAt);
}
int64_t DeclinedCopy(int, int64_t, int, int64_t, size_t) {
  errno = EXDEV;
  return -1;
}

TEST(RepairVerify, ARepairCopiesEverySoundItemByteForByteHoweverTheKernelCopies) {
  // Many more items than are verified at once, sound and damaged in turn.
  const std::vector<TCase> cases = Cases();
  std::vector<TTestEntry> entries;
  std::vector<bool> sound;
  for (int round = 0; round < 3; ++round)
    for (const TCase& c : cases) {
      entries.push_back(c.Entry);
      entries.back().Name = std::to_string(entries.size()) + "-" + c.Entry.Name;
      sound.push_back(c.Sound);
    }
  ASSERT_GT(entries.size(), size_t(TKelRepairVerifier::Window) * 2);
  const TBuiltZip built = BuildZip(entries);
  const std::string source = AsText(built.Archive);
  TempDir dir;
  WriteAll(dir.NativePath("data.zip"), source);

  std::string first;
  for (const TRangeCopyCall call : {TRangeCopyCall(nullptr), ShortCopy, DeclinedCopy}) {
    SCOPED_TRACE(call == nullptr ? "kernel" : call == ShortCopy ? "short copies" : "declined");
    SetRangeCopyCall(call);
    TKelvane a(nullptr);
    // Without a password: damaged items stored anew get no random header, and
    // the encrypted one is kept as it is.
    a.SetFileName(dir.Path(u"data.zip"));
    a.RepairArchive(dir.Path(u"fixed.zip"));
    SetRangeCopyCall(nullptr);
    const std::string fixed = ReadAll(dir.NativePath("fixed.zip"));
    if (first.empty()) {
      first = fixed;
      // Each sound item's records, as they were, in their order.
      size_t at = 0;
      for (size_t i = 0; i < entries.size(); ++i) {
        if (!sound[i]) continue;
        const size_t end = i + 1 < entries.size() ? built.LocalStart[i + 1] : source.find("PK\1\2");
        const std::string records = source.substr(built.LocalStart[i], end - built.LocalStart[i]);
        const size_t found = fixed.find(records, at);
        ASSERT_NE(found, std::string::npos) << entries[i].Name;
        at = found + records.size();
      }
    } else {
      EXPECT_TRUE(fixed == first);
    }
  }
  EXPECT_TRUE(ReadAll(dir.NativePath("data.zip")) == source);
}

}  // namespace
}  // namespace kelvane
