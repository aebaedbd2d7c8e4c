// Verifying ahead on other threads: it calls an item sound only where the
// archiver's own check verifies it as well, and damaged only where that
// check fails it, so that a repair copies every sound item byte for byte
// (the same whether the kernel copies or reads and writes do) and a test
// reports exactly what the archiver's check alone reports.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <atomic>
#include <cerrno>
#include "unit/WinPosix.h"

#include "DecodeTestSupport.h"
#include "ExtractTestSupport.h"
#include "TempDir.h"
#include "UpdateTestSupport.h"
#include "container/KelDirManager.h"
#include "engine/KelVerifyAhead.h"
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

constexpr TKelVerdict Sound = TKelVerdict::Sound;
constexpr TKelVerdict Damaged = TKelVerdict::Damaged;
constexpr TKelVerdict NotKnown = TKelVerdict::NotKnown;

struct TCase {
  const char* What;
  TTestEntry Entry;
  TKelVerdict Verdict;  // the verifier's
  bool Verifies;        // the archiver's check verifies it
};

std::vector<TCase> Cases() {
  const std::string big = LongText(2'600'000, 4);
  const Bytes bigDeflated = Deflated(big);
  const auto longer = [](auto& h) { h.compSize += 30; };
  Bytes trailed = Deflated(kText);
  trailed.push_back(0);
  TKelDeflater flusher(6);
  const auto flushed =
      flusher.CompressChunk(reinterpret_cast<const uint8_t*>(kText.data()), kText.size(), false);
  return {
      {"stored", TTestEntry("a.txt", kText, 0), Sound, true},
      {"empty", TTestEntry("e.txt", "", 0), Sound, true},
      {"deflated over several chunks", TTestEntry("big.txt", big, 8), Sound, true},
      {"stored over several chunks", TTestEntry("big.bin", NoiseText(2'300'000), 0), Sound, true},
      {"a descriptor with its signature", TTestEntry("d.txt", kText, 8).WithDescriptor(), Sound,
       true},
      {"a descriptor without one",
       TTestEntry("d.txt", kText, 0).WithDescriptorBytes(Descriptor(false, kCrc, kText.size())),
       Sound, true},
      {"another CRC-32 in both headers", TTestEntry("a.txt", kText, 0).WithCrc(kCrc ^ 1), Damaged,
       false},
      {"a smaller declared size", TTestEntry("big.txt", big, 8).WithSize(2'599'999), Damaged,
       false},
      {"a larger declared size", TTestEntry("big.txt", big, 8).WithSize(2'600'001), Damaged, false},
      {"deflated data changed",
       TTestEntry("big.txt", big, 8).WithRaw(Flipped(bigDeflated, bigDeflated.size() / 2)), Damaged,
       false},
      {"stored data changed",
       TTestEntry("a.txt", kText, 0).WithRaw(Flipped(Bytes(kText.begin(), kText.end()), 3)),
       Damaged, false},
      {"a local CRC-32 the directory settles",
       TTestEntry("a.txt", kText, 0).WithLocal([](auto& h) { h.crc32 ^= 1; }), NotKnown, true},
      {"a descriptor CRC-32 the directory settles",
       TTestEntry("d.txt", kText, 0).WithDescriptorBytes(Descriptor(true, kCrc ^ 1, kText.size())),
       NotKnown, true},
      {"another local method",
       TTestEntry("a.txt", kText, 8).WithLocal([](auto& h) { h.compMethod = KelMethodStored; }),
       NotKnown, false},
      {"data reaching into the directory",
       TTestEntry("a.txt", kText, 0).WithLocal(longer).WithCentral(longer), NotKnown, false},
      {"encrypted", TTestEntry("s.txt", kText, 8, tcPkzip), NotKnown, true},
      {"no Deflate data (a reserved block type)",
       TTestEntry("a.txt", kText, 8).WithRaw(Bytes{0xFF, 0xFF, 0xFF, 0xFF}), Damaged, false},
      {"a byte behind the end of the Deflate stream",
       TTestEntry("a.txt", kText, 8).WithRaw(trailed), Damaged, false},
      // Every byte and the right CRC-32, but no last block: the archiver's
      // check does not ask for one.
      {"a Deflate stream without its end",
       TTestEntry("a.txt", kText, 8).WithRaw(Bytes(flushed.begin(), flushed.end())), NotKnown,
       true},
  };
}

TEST(VerifyAhead, SoundOrDamagedOnlyWhereTheArchiversCheckAgrees) {
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
    const TKelVerdict verdict =
        VerifyStoredForm(reader, item, probe.Dir().CentralDirOffset, buffers, stop);
    TNullStream sink;
    const bool verifies = NativeErrorOf([&] { probe.ExtractItemToStream(0, sink, 0, 0); }) == 0;
    EXPECT_EQ(int(verdict), int(c.Verdict));
    EXPECT_EQ(verifies, c.Verifies);
    EXPECT_TRUE(verifies || verdict != Sound) << "sound, but the archiver would store it anew";
    EXPECT_TRUE(!verifies || verdict != Damaged) << "damaged, but the archiver would copy it";
    if (c.Verdict != NotKnown && item.CompressedSize() > DecompressionChunkSize) {
      stop = true;
      EXPECT_EQ(int(VerifyStoredForm(reader, item, probe.Dir().CentralDirOffset, buffers, stop)),
                int(NotKnown));
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

TEST(VerifyAhead, ARepairCopiesEverySoundItemByteForByteHoweverTheKernelCopies) {
  // Many more items than are verified at once, sound and damaged in turn.
  const std::vector<TCase> cases = Cases();
  std::vector<TTestEntry> entries;
  std::vector<bool> sound;
  for (int round = 0; round < 7; ++round)
    for (const TCase& c : cases) {
      entries.push_back(c.Entry);
      entries.back().Name = std::to_string(entries.size()) + "-" + c.Entry.Name;
      sound.push_back(c.Verdict == Sound);
    }
  ASSERT_GT(entries.size(), size_t(TKelVerifyAhead::Window) * 2);
  const TBuiltZip built = BuildZip(entries);
  const std::string source = AsText(built.Archive);
  TempDir dir;
  WriteAll(dir.NativePath("data.zip"), source);

  // What each repair holds: every item's name, CRC-32 and size. The bytes of
  // items stored anew may differ from run to run (the fast compressor does
  // not always pick the same matches), those of the copied items may not.
  const auto contents = [&dir] {
    TVerifyProbe fixed(nullptr);
    fixed.SetFileName(dir.Path(u"fixed.zip"));
    fixed.OpenArchive(fmOpenRead);
    std::vector<std::string> items;
    for (int32_t i = 0; i < fixed.Dir().CDir.Count(); ++i) {
      const TDirItem& item = fixed.Dir().CDir.GetItemPtr(i);
      items.push_back(ToUtf8(item.Name) + " " + std::to_string(item.CentralDir.crc32) + " " +
                      std::to_string(item.UncompressedSize()));
    }
    fixed.CloseArchive();
    return items;
  };
  std::vector<std::string> first;
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
    if (first.empty())
      first = contents();
    else
      EXPECT_EQ(contents(), first);
  }
  EXPECT_TRUE(ReadAll(dir.NativePath("data.zip")) == source);
}

class TTestAheadProbe : public TKelvane {
 public:
  using TKelBaseArchiver::StartTestAhead;
  using TKelBaseArchiver::TagItems;
  using TKelBaseArchiver::TestedAhead;
  using TKelvane::TKelvane;
  void SetTestAhead(TKelVerifyAhead* ahead) { FTestAhead = ahead; }
};

// Every case, three times over, so that more items wait than are verified at once.
std::vector<TCase> Rounds(int count) {
  std::vector<TCase> all;
  for (int round = 0; round < count; ++round)
    for (TCase c : Cases()) {
      c.Entry.Name = std::to_string(all.size()) + "-" + c.Entry.Name;
      all.push_back(std::move(c));
    }
  return all;
}

TEST(VerifyAhead, ATestPassesTheLargerSoundItemsWithoutDecodingThemAgain) {
  const std::vector<TCase> cases = Rounds(3);
  std::vector<TTestEntry> entries;
  for (const TCase& c : cases)
    entries.push_back(c.Entry);
  TempDir dir;
  WriteAll(dir.NativePath("data.zip"), AsText(BuildZip(entries).Archive));
  TFileStream file(dir.Path(u"data.zip"), fmOpenRead | fmShareDenyNone);
  TTestAheadProbe probe(nullptr);
  probe.OpenArchive(file, false);
  probe.TagItems(u"*.*", KelAllItemsAttr, u"");
  const std::unique_ptr<TKelVerifyAhead> ahead = probe.StartTestAhead();
  ASSERT_NE(ahead, nullptr);
  probe.SetTestAhead(ahead.get());
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].Entry.Name);
    const bool large = cases[i].Entry.Data.size() >= 64 * 1024;
    EXPECT_EQ(probe.TestedAhead(int32_t(i)), large && cases[i].Verdict == Sound);
  }
  probe.SetTestAhead(nullptr);
  probe.CloseArchive();

  // Not worth it: an archive in memory, or a single large item.
  TMemoryStream memory;
  const std::string bytes = AsText(BuildZip(entries).Archive);
  memory.WriteBuffer(bytes.data(), int64_t(bytes.size()));
  probe.OpenArchive(memory, false);
  probe.TagItems(u"*.*", KelAllItemsAttr, u"");
  EXPECT_EQ(probe.StartTestAhead(), nullptr);
  probe.CloseArchive();
  WriteAll(dir.NativePath("one.zip"),
           AsText(BuildZip({TTestEntry("big.txt", LongText(2'600'000, 4), 8)}).Archive));
  TFileStream one(dir.Path(u"one.zip"), fmOpenRead | fmShareDenyNone);
  probe.OpenArchive(one, false);
  probe.TagItems(u"*.*", KelAllItemsAttr, u"");
  EXPECT_EQ(probe.StartTestAhead(), nullptr);
  probe.CloseArchive();
}

TEST(VerifyAhead, ATestReportsWhatTheArchiversCheckAloneReports) {
  const std::vector<TCase> cases = Rounds(3);
  std::vector<TTestEntry> entries;
  std::string firstDamaged, laterSound;  // large items, verified ahead
  for (const TCase& c : cases) {
    entries.push_back(c.Entry);
    if (c.Entry.Data.size() < 64 * 1024) continue;
    if (c.Verdict == Damaged && firstDamaged.empty()) firstDamaged = c.Entry.Name;
    if (c.Verdict == Sound && entries.size() > cases.size() / 2) laterSound = c.Entry.Name;
  }
  const std::string bytes = AsText(BuildZip(entries).Archive);
  TempDir dir;
  WriteAll(dir.NativePath("data.zip"), bytes);
  // Each run stops where a handler cancels: nowhere, or during a large sound item.
  for (const std::string& cancelAt : {std::string(), laterSound}) {
    SCOPED_TRACE(cancelAt);
    std::vector<std::string> reports[2];
    for (int ahead = 0; ahead < 2; ++ahead) {
      // Read from a file, the larger items are verified ahead; from memory, not.
      TFileStream file(dir.Path(u"data.zip"), fmOpenRead | fmShareDenyNone);
      TMemoryStream memory;
      memory.WriteBuffer(bytes.data(), int64_t(bytes.size()));
      TKelvane a(nullptr);
      a.SetPassword("secret");
      a.OpenArchive(ahead ? static_cast<TStream&>(file) : memory, false);
      test::TEventLog log;
      log.Attach(a);
      const auto logged = a.OnFileProgress();
      a.SetOnFileProgress([&](TKelBaseArchiver* s, const UString& name, double p,
                              TKelProcessOperation op, TKelProgressPhase phase, bool& cancel) {
        logged(s, name, p, op, phase, cancel);
        cancel = phase == ppProcess && ToUtf8(name) == cancelAt;
      });
      a.SetOnProcessFileFailure([&](TKelBaseArchiver*, const UString& name, TKelProcessOperation,
                                    int32_t native, int32_t, const UString&, TKelAction& action) {
        log.Lines.push_back("failed " + ToUtf8(name) + " " + std::to_string(native));
        action = fxaIgnore;
      });
      a.TestFiles(u"*.*", KelAllItemsAttr, u"");
      EXPECT_GT(log.ProcessReports, 0);
      reports[ahead] = log.Lines;
      a.CloseArchive();
    }
    EXPECT_EQ(reports[1], reports[0]);
    EXPECT_NE(std::find(reports[0].begin(), reports[0].end(), "failed " + firstDamaged + " 8"),
              reports[0].end());
    const std::string lastEnd = "file " + cases.back().Entry.Name + " 100 end";
    EXPECT_EQ(std::find(reports[0].begin(), reports[0].end(), lastEnd) != reports[0].end(),
              cancelAt.empty());
  }
}

}  // namespace
}  // namespace kelvane
