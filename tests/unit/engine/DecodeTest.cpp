// The item decoder on hand-made archives: what it writes, how it fails, where
// it stops, and how it asks for passwords.
#include <gtest/gtest.h>

#include "DecodeTestSupport.h"
#include "TempDir.h"
#include "platform/ScriptedDialogs.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

using namespace test;

constexpr int MiB = 1 << 20;

// Opens Archive on the caller's memory stream, which must outlive the probe.
class DecodeTest : public ::testing::Test {
 protected:
  void Open(const Bytes& archive) {
    a.CloseArchive();
    FArchive = std::make_unique<TCountingArchive>(archive);
    a.OpenArchive(*FArchive, false);
    FArchive->BytesRead = 0;  // what the directory took
  }
  // Decodes item Index whole; the native error, 0 when it decoded.
  int Decode(int32_t index, TStream& out) {
    return NativeErrorOf([&] { a.ExtractItemToStream(index, out, 0, 0); });
  }
  std::string Decoded(int32_t index) {
    TMemoryStream out;
    EXPECT_EQ(Decode(index, out), 0);
    return AsText(out);
  }

  std::unique_ptr<TCountingArchive> FArchive;
  TDecodeProbe a{nullptr};
};

TEST_F(DecodeTest, EveryKindOfItemDecodesToItsData) {
  const std::string text = "a line of text that repeats\n";
  std::string many;
  while (many.size() < 3 * MiB)
    many += text;
  // Noise does not compress, so its Deflate data spans several input chunks.
  const std::string noise = NoiseText(2 * MiB + 12345);
  const std::vector<TTestEntry> entries = {
      {"empty-stored", "", 0},
      {"empty-deflated", "", 8},
      {"stored", text, 0},
      {"deflated", text, 8},
      {"stored-over-chunks", noise, 0},
      {"deflated-over-chunks", noise, 8},
      {"deflated-big-output", many, 8},
      TTestEntry("descriptor", text).WithDescriptor(),
      {"pkzip-empty", "", 0, tcPkzip},
      {"pkzip-stored", text, 0, tcPkzip},
      {"pkzip-deflated", many, 8, tcPkzip},
      TTestEntry("pkzip-descriptor", text, 8, tcPkzip).WithDescriptor(),
      {"aes128", text, 8, tcAes128},
      {"aes192-stored", noise, 0, tcAes192},
      {"aes256", many, 8, tcAes256},
      {"aes256-empty", "", 0, tcAes256},
  };
  Open(BuildZip(entries).Archive);
  a.SetPassword("secret");
  for (size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE(entries[i].Name);
    EXPECT_EQ(Decoded(int32_t(i)), entries[i].Data);
  }
}

// Data reaches the destination in pieces: memory stays bounded by the chunk
// size, whatever the item's size.
TEST_F(DecodeTest, OutputGoesOutInPiecesNoLargerThanAChunk) {
  std::string many;
  while (many.size() < 8 * MiB)
    many += "compressible, compressible, compressible\n";
  const std::string noise = NoiseText(3 * MiB);
  Open(BuildZip({{"deflated", many, 8}, {"stored", noise, 0}}).Archive);
  TWatchedStream deflated, stored;
  ASSERT_EQ(Decode(0, deflated), 0);
  ASSERT_EQ(Decode(1, stored), 0);
  EXPECT_EQ(deflated.Written, int64_t(many.size()));
  EXPECT_LE(deflated.LargestWrite, MiB);
  EXPECT_EQ(stored.Written, int64_t(noise.size()));
  EXPECT_LE(stored.LargestWrite, 65535);
}

struct TDamage {
  const char* What;
  TTestEntry Entry;
  std::function<void(TBuiltZip&)> Harm;
  int Native;
};

TEST_F(DecodeTest, DamagedItemsFailWithTheirErrors) {
  const std::string text = "some text that will be damaged in several ways\n";
  auto flipData = [](size_t at) {
    return [at](TBuiltZip& z) { z.Archive[z.DataStart[0] + at] ^= 0x20; };
  };
  auto none = [](TBuiltZip&) {};
  Bytes deflated = Deflated(text);
  Bytes trailing = deflated;
  Append(trailing, Bytes{1, 2, 3, 4, 5});
  const TDamage cases[] = {
      {"stored, a data byte flipped", {"x", text, 0}, flipData(3), 8},
      {"deflated, a data byte flipped", {"x", text, 8}, flipData(2), 8},
      {"PKZIP classic, a data byte flipped", {"x", text, 8, tcPkzip}, flipData(1), 8},
      {"AES, a data byte flipped", {"x", text, 8, tcAes256}, flipData(0), 8},
      {"AES, the authentication code flipped",
       {"x", text, 8, tcAes128},
       [](TBuiltZip& z) { z.Archive[z.DataStart[0] + z.DataSize[0] + 9] ^= 1; },
       8},
      {"wrong CRC-32", TTestEntry("x", text).WithCrc(0x12345678), none, 8},
      {"declared larger than the data", TTestEntry("x", text).WithSize(4096), none, 8},
      {"declared smaller than the data", TTestEntry("x", text, 0).WithSize(10), none, 8},
      {"bytes after the end of the Deflate data", TTestEntry("x", text).WithRaw(trailing), none, 8},
      {"Deflate data cut short",
       TTestEntry("x", text).WithRaw(Bytes(deflated.begin(), deflated.end() - 3)), none, 8},
      {"not Deflate at all", TTestEntry("x", text).WithRaw(Bytes(40, 0xFF)), none, 8},
      {"an unknown method (BZIP2)", {"x", text, 12}, none, 8},
      {"Deflate64", {"x", text, 9}, none, 55},
      {"PKZIP classic, shorter than its header", TTestEntry("x", "", 0, tcPkzip),
       [](TBuiltZip& z) {
         // Compressed size 5 (central header, at 20): less than the header.
         z.Archive[z.Archive.size() - 22 - 47 + 20] = 5;
       },
       8},
  };
  for (const TDamage& c : cases) {
    SCOPED_TRACE(c.What);
    TBuiltZip zip = BuildZip({c.Entry});
    c.Harm(zip);
    TMemoryStream archive;  // outlives the archiver that reads it
    archive.Write(zip.Archive.data(), int64_t(zip.Archive.size()));
    TDecodeProbe probe(nullptr);
    probe.SetPassword("secret");
    probe.OpenArchive(archive, false);
    TMemoryStream out;
    EXPECT_EQ(NativeErrorOf([&] { probe.ExtractItemToStream(0, out, 0, 0); }), c.Native);
    EXPECT_LE(out.Size(), int64_t(text.size()));
  }
}

TEST_F(DecodeTest, IndexOutsideTheItemsIsNativeError16) {
  Open(BuildZip({{"a", "x", 0}}).Archive);
  TMemoryStream out;
  for (int32_t index : {-1, 1, 1 << 30})
    EXPECT_EQ(Decode(index, out), 16) << index;
  EXPECT_EQ(FArchive->BytesRead, 0);
  EXPECT_EQ(out.Size(), 0);
}

TEST_F(DecodeTest, ALocalHeaderBeyondTheArchiveIsAReadError) {
  TBuiltZip zip = BuildZip({{"a", "data", 0}});
  // The central header's local header offset (at 42 in the directory).
  const size_t directory = zip.Archive.size() - 22 - 46 - 1;
  zip.Archive[directory + 42 + 3] = 0x7F;
  Open(zip.Archive);
  TMemoryStream out;
  EXPECT_THROW(a.ExtractItemToStream(0, out, 0, 0), EReadError);
}

// Large items are inflated ahead of the writing: damage in the middle of one
// still fails it, also with the output taken whole.
TEST_F(DecodeTest, ALargeItemDamagedInItsMiddleFails) {
  std::string many;
  for (int i = 0; many.size() < 6 * MiB; ++i)
    many += "line " + std::to_string(i) + "\n";
  TBuiltZip zip = BuildZip({{"large", many, 8}});
  const size_t middle = zip.DataStart[0] + (zip.Archive.size() - zip.DataStart[0]) / 2;
  for (size_t i = middle; i < middle + 16; ++i)
    zip.Archive[i] ^= 0x5A;
  Open(zip.Archive);
  TMemoryStream out;
  EXPECT_EQ(Decode(0, out), 8);
}

// An item declared as 1 KiB whose data inflates to 100 MiB fails as soon as
// its output passes 1 KiB; nothing beyond the declared size is written and the
// rest of the data is never read.
TEST_F(DecodeTest, OutputBeyondTheDeclaredSizeFailsAtOnce) {
  TKelDeflater deflater(9);
  Bytes bomb;
  const std::string zeros(MiB, '\0');
  for (int i = 0; i < 100; ++i)
    Append(bomb, deflater.CompressChunk(reinterpret_cast<const uint8_t*>(zeros.data()),
                                        zeros.size(), i == 99));
  const TBuiltZip zip = BuildZip({TTestEntry("bomb", std::string(1024, '\0')).WithRaw(bomb)});
  for (bool keepCorrupted : {false, true}) {
    SCOPED_TRACE(keepCorrupted ? "ExtractCorruptedFiles" : "default");
    Open(zip.Archive);
    a.SetExtractCorruptedFiles(keepCorrupted);
    TWatchedStream out;
    EXPECT_EQ(Decode(0, out), keepCorrupted ? 0 : 8);
    EXPECT_LE(out.Written, 1024);
    EXPECT_LE(FArchive->BytesRead, int64_t(zip.Archive.size()));
  }
}

struct TRange {
  int64_t Offset;
  int32_t Count;
};

// With Count > 0 only the wanted bytes are written and decoding stops once
// they exist; with Count 0 from Offset to the end, verified.
TEST_F(DecodeTest, PartialExtractionWritesTheWantedBytes) {
  std::string many;
  for (int i = 0; many.size() < 12 * MiB; ++i)
    many += "record " + std::to_string(i) + "\n";
  const std::string noise = NoiseText(3 * MiB);
  const TBuiltZip zip = BuildZip({{"deflated", many, 8}, {"stored", noise, 0}});
  const TRange ranges[] = {
      {0, 10}, {5, 1}, {MiB - 3, 7}, {2 * MiB + 1, 65536}, {3 * MiB - 100, 100}, {11 * MiB, 5000}};
  for (int32_t index : {0, 1}) {
    const std::string& data = index == 0 ? many : noise;
    for (const TRange& r : ranges) {
      if (r.Offset + r.Count > int64_t(data.size())) continue;
      SCOPED_TRACE(std::to_string(index) + ": " + std::to_string(r.Offset) + "+" +
                   std::to_string(r.Count));
      Open(zip.Archive);
      TMemoryStream out;
      out.Write("prefix", 6);
      a.ExtractItemToStream(index, out, r.Count, r.Offset);
      EXPECT_EQ(AsText(out).substr(6), data.substr(size_t(r.Offset), size_t(r.Count)));
      // Left at the first wanted byte when there is an offset, else behind them.
      EXPECT_EQ(out.Position(), r.Offset > 0 ? 6 : 6 + r.Count);
    }
  }
  // The first bytes of a large item need its first chunk only.
  for (int32_t index : {0, 1}) {
    Open(zip.Archive);
    TMemoryStream out;
    a.ExtractItemToStream(index, out, 10, 0);
    EXPECT_LE(FArchive->BytesRead, MiB + 4096) << index;
  }
  Open(zip.Archive);
  TMemoryStream tail;
  a.ExtractItemToStream(1, tail, 0, 3 * MiB - 100);
  EXPECT_EQ(AsText(tail), noise.substr(3 * MiB - 100));
}

TEST_F(DecodeTest, ACorruptItemKeepsItsOutputWhenCorruptedFilesAreExtracted) {
  const std::string text = "the text of an item whose CRC is wrong\n";
  Open(BuildZip({TTestEntry("x", text).WithCrc(0xDEADBEEF)}).Archive);
  a.SetExtractCorruptedFiles(true);
  EXPECT_EQ(Decoded(0), text);
}

// ---- Progress and cancellation

TEST_F(DecodeTest, ProgressIsReportedInDecodedBytesAndACancelStopsReading) {
  const std::string noise = NoiseText(5 * MiB);
  std::string many;
  while (many.size() < 5 * MiB)
    many += "progress, progress\n";
  const TBuiltZip zip = BuildZip({{"stored", noise, 0}, {"deflated", many, 8}});
  for (int32_t index : {0, 1}) {
    SCOPED_TRACE(index);
    Open(zip.Archive);
    a.ProgressEnabled() = true;
    a.ProgressCancel() = false;
    std::vector<double> file;
    int overall = 0;
    a.SetOnFileProgress([&](TKelBaseArchiver*, const UString& name, double p, TKelProcessOperation,
                            TKelProgressPhase phase, bool&) {
      EXPECT_EQ(name, index == 0 ? u"stored" : u"deflated");
      EXPECT_EQ(phase, ppProcess);
      file.push_back(p);
    });
    a.SetOnOverallProgress([&](TKelBaseArchiver*, double, TKelProcessOperation, TKelProgressPhase,
                               bool&) { ++overall; });
    TMemoryStream out;
    ASSERT_EQ(Decode(index, out), 0);
    EXPECT_EQ(out.Size(), int64_t(index == 0 ? noise.size() : many.size()));
    ASSERT_GE(file.size(), 5u);
    EXPECT_TRUE(std::is_sorted(file.begin(), file.end()));
    EXPECT_GE(file.front(), 0);
    EXPECT_LE(file.back(), 100);
    EXPECT_EQ(overall, int(file.size()));

    // Cancelled in the second report: no error, the output so far stays, and
    // the rest of the item is not read.
    Open(zip.Archive);
    a.ProgressEnabled() = true;
    a.ProgressCancel() = false;
    int reports = 0;
    a.SetOnFileProgress([&](TKelBaseArchiver*, const UString&, double, TKelProcessOperation,
                            TKelProgressPhase, bool& cancel) { cancel = ++reports == 2; });
    TMemoryStream partial;
    EXPECT_EQ(Decode(index, partial), 0);
    EXPECT_TRUE(a.ProgressCancel());
    EXPECT_EQ(reports, 2);
    EXPECT_LT(partial.Size(), 5 * MiB);
    EXPECT_LE(FArchive->BytesRead, 2 * MiB);
    a.SetOnFileProgress(nullptr);
    a.SetOnOverallProgress(nullptr);
  }
}

// ---- Writing

TEST_F(DecodeTest, AShortWriteAsksAboutTheDiskAndWritesTheSameBytesAgain) {
  const std::string noise = NoiseText(200000);
  Open(BuildZip({{"x", noise, 0}}).Archive);
  a.SetFileName(u"/tmp/archive.zip");
  std::vector<int32_t> asked;
  a.SetOnDiskFull([&](TKelBaseArchiver*, int32_t volume, const UString& name, bool& cancel) {
    asked.push_back(volume);
    EXPECT_EQ(name, u"/tmp/archive.zip");
    cancel = false;
  });
  TShortWriteStream out(2);
  ASSERT_EQ(Decode(0, out), 0);
  EXPECT_EQ(AsText(out), noise);
  EXPECT_EQ(asked, (std::vector<int32_t>{0, 0}));

  // Cancel: the item stops without an error, as a user's cancel does.
  a.SetOnDiskFull([](TKelBaseArchiver*, int32_t, const UString&, bool& cancel) { cancel = true; });
  a.ProgressCancel() = false;
  TShortWriteStream refused(1);
  EXPECT_EQ(Decode(0, refused), 0);
  EXPECT_TRUE(a.ProgressCancel());
  EXPECT_LT(refused.Size(), int64_t(noise.size()));

  // Without a handler the disk-full answer for a plain archive is native error 65.
  a.SetOnDiskFull(nullptr);
  TShortWriteStream full(1);
  EXPECT_EQ(Decode(0, full), 65);
}

// ---- Passwords

struct TPasswordScript {
  const char* What;
  TTestCrypto Crypto;
  std::string Initial;
  std::vector<std::string> Answers;  // "" as an answer means Skip
  bool Decoded;
};

TEST_F(DecodeTest, TheHandlerIsAskedUntilThePasswordFitsOrTheItemIsSkipped) {
  const std::string text = "secret text\n";
  const TPasswordScript scripts[] = {
      {"PKZIP, right at once", tcPkzip, "secret", {}, true},
      {"PKZIP, none set", tcPkzip, "", {"secret"}, true},
      {"PKZIP, wrong twice", tcPkzip, "bad", {"worse", "secret"}, true},
      {"PKZIP, skipped", tcPkzip, "bad", {"worse", ""}, false},
      {"AES-128, wrong then right", tcAes128, "bad", {"secret"}, true},
      {"AES-192, wrong twice", tcAes192, "", {"bad", "secret"}, true},
      {"AES-256, skipped", tcAes256, "bad", {""}, false},
  };
  for (const TPasswordScript& s : scripts) {
    SCOPED_TRACE(s.What);
    Open(BuildZip({{"dir/item.txt", text, 8, s.Crypto}}).Archive);
    a.SetPassword(s.Initial);
    size_t asked = 0;
    a.SetOnPassword([&](TKelBaseArchiver*, const UString& name, AnsiString& password, bool& skip) {
      EXPECT_EQ(name, u"dir/item.txt");
      ASSERT_LT(asked, s.Answers.size());
      const std::string& answer = s.Answers[asked++];
      if (answer.empty())
        skip = true;
      else
        password = answer;
    });
    TMemoryStream out;
    EXPECT_EQ(Decode(0, out), 0);
    EXPECT_EQ(asked, s.Answers.size());
    EXPECT_EQ(AsText(out), s.Decoded ? text : "");
    EXPECT_EQ(a.SkipFile(), !s.Decoded);
    // The answer stays for the items that follow.
    if (s.Decoded) {
      EXPECT_EQ(a.Password(), "secret");
    }
  }
}

// Without a handler the password dialog of the dialog provider asks.
TEST_F(DecodeTest, WithoutAHandlerThePasswordDialogAsksAgainAndCancelSkips) {
  TScriptedDialogs dialogs;
  struct TUse {
    TDialogs* Previous;
    ~TUse() { SetCurrentDialogs(Previous); }
  } use{SetCurrentDialogs(&dialogs)};
  const std::string text = "dialog text\n";
  Open(BuildZip({{"p.txt", text, 8, tcPkzip},
                 TTestEntry("q.txt", text, 8, tcAes256).WithPassword("other")})
           .Archive);
  dialogs.AnswerInput(u"wrong");
  dialogs.AnswerInput(u"secret");
  EXPECT_EQ(Decoded(0), text);
  ASSERT_EQ(dialogs.Questions().size(), 2u);
  EXPECT_EQ(dialogs.Questions()[0].Caption, u"Password for \"p.txt\"");
  EXPECT_TRUE(dialogs.Questions()[0].Masked);

  dialogs.CancelInput();
  TMemoryStream out;
  EXPECT_EQ(Decode(1, out), 0);
  EXPECT_EQ(out.Size(), 0);
  EXPECT_TRUE(a.SkipFile());
  EXPECT_EQ(dialogs.Questions().size(), 3u);
  EXPECT_EQ(a.Password(), "secret");
}

}  // namespace
}  // namespace kelvane
