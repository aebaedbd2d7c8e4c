// The item data encoder: what it writes decodes with the decoder's own parts
// (inflater, PKZIP classic and AES decryption) at every mode and strength; its
// chunk boundaries, Zip64 values, failures of sources that change under it,
// progress, cancel and full disks.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "DecodeTestSupport.h"
#include "DiskName.h"
#include "container/KelDirItem.h"

namespace kelvane {
namespace {

using namespace test;

constexpr uint32_t Escape32 = 0xFFFFFFFF;

class TStoreProbe : public TKelvane {
 public:
  using TKelBaseArchiver::StoreItemData;
  using TKelvane::TKelvane;
  bool& ProgressEnabled() { return FProgressEnabled; }
  bool& ProgressCancel() { return FProgressCancel; }
  int64_t& ProcessedFilesSize() { return FProcessedFilesSize; }
  int64_t& ProcessedFilesTotalSize() { return FProcessedFilesTotalSize; }
};

bool IsAes(TTestCrypto crypto) {
  return crypto >= tcAes128;
}

TKelCryptoAlgorithm AlgorithmOf(TTestCrypto crypto) {
  switch (crypto) {
    case tcAes128:
      return caAES_128;
    case tcAes192:
      return caAES_192;
    case tcAes256:
      return caAES_256;
    default:
      return caPkzipClassic;
  }
}

int32_t KeyBitsOf(TTestCrypto crypto) {
  return 64 + 64 * (crypto - tcAes128 + 1);
}

// Bytes an encrypted item carries besides its data.
size_t OverheadOf(TTestCrypto crypto) {
  if (crypto == tcPkzip) return PkzipHeaderSize;
  return IsAes(crypto) ? size_t(KeyBitsOf(crypto) / 16 + 2 + AESAuthenticationCodeSize) : 0;
}

// Lines of text with runs of noise between them: it compresses, but into
// several Deflate blocks per chunk.
std::string Sample(size_t size) {
  std::string s;
  s.reserve(size + 100);
  for (uint32_t line = 0; s.size() < size; ++line) {
    s += "line " + std::to_string(line) + " of the item's text\n";
    if (line % 16 == 0) s += NoiseText(40, line);
  }
  s.resize(size);
  return s;
}

// Compares texts of megabytes without printing them.
::testing::AssertionResult Same(const std::string& got, const std::string& want) {
  if (got == want) return ::testing::AssertionSuccess();
  const size_t common = std::min(got.size(), want.size());
  const size_t at = size_t(
      std::mismatch(got.begin(), got.begin() + int64_t(common), want.begin()).first - got.begin());
  return ::testing::AssertionFailure()
         << got.size() << " bytes for " << want.size() << ", the first difference at " << at;
}

TDirItem NewItem(uint8_t mode, const std::string& password) {
  TDirItem item;
  item.CompressionMode = mode;
  item.CompressionMethod = CompressionMethodForMode(mode);
  item.CentralDir.compMethod = item.CompressionMethod;
  item.CentralDir.lastModTime = 0x6DB0;
  item.CentralDir.nameLength = 14;
  item.SetPassword(password);
  item.SetSrcFileName(u"dir/source.txt");
  item.Operation = poUpdate;
  return item;
}

TStoreProbe& Configure(TStoreProbe& a, TTestCrypto crypto) {
  a.SetEncryptionMethod(AlgorithmOf(crypto));
  return a;
}

std::string Inflated(const Bytes& data) {
  TKelInflater inflater;
  std::string out;
  for (size_t at = 0; at < data.size(); at += DecompressionChunkSize) {
    const size_t n = std::min<size_t>(DecompressionChunkSize, data.size() - at);
    inflater.DecodeChunk(data.data() + at, n, [&](std::span<const uint8_t> piece) {
      out.append(piece.begin(), piece.end());
      return true;
    });
  }
  inflater.Finish();
  return out;
}

// The item's data back from its coded bytes, through the decoder's parts,
// checking the password and the authentication code on the way.
std::string DecodeItem(const Bytes& coded, const TDirItem& item, TTestCrypto crypto,
                       const std::string& password) {
  TMemoryStream in;
  in.WriteBuffer(coded.data(), int64_t(coded.size()));
  in.SetPosition(0);
  Bytes data = coded;
  if (crypto == tcPkzip) {
    PkzipKeys keys;
    EXPECT_TRUE(CheckPkzipHeader(in, password, keys, item.CentralDir.crc32, 0, 0));
    data.erase(data.begin(), data.begin() + PkzipHeaderSize);
    DecryptPkzipBuffer(data.data(), data.size(), keys);
  } else if (IsAes(crypto)) {
    TAESCryptoTransform t(KeyBitsOf(crypto), 2, item.CompressionMethod);
    t.Initialize(Decryption);
    t.GenerateKey(password);
    t.LoadFileStorageStartBlock(in, 0);
    EXPECT_TRUE(t.CheckPassword(password));
    const size_t start = size_t(t.GetFileStorageStartBlockSize());
    if (coded.size() < start + AESAuthenticationCodeSize) {
      ADD_FAILURE() << "no room for the AES blocks";
      return {};
    }
    data.assign(coded.begin() + int64_t(start), coded.end() - AESAuthenticationCodeSize);
    t.DecryptBuffer(data, 0, int32_t(data.size()), data, 0);
    in.SetPosition(int64_t(coded.size()) - AESAuthenticationCodeSize);
    t.LoadFileStorageEndBlock(in, 0);
    EXPECT_FALSE(t.IsDirItemCorrupted(0));
  }
  return item.CompressionMethod == CompressionMethodStored ? AsText(data) : Inflated(data);
}

Bytes StoredBytes(TMemoryStream& dest, size_t from = 0) {
  return Bytes(dest.Bytes().begin() + int64_t(from), dest.Bytes().end());
}

// ---- Round trips

class StoreRoundTrip : public ::testing::TestWithParam<std::tuple<int, TTestCrypto>> {};

TEST_P(StoreRoundTrip, DecodesToTheSourceWithItsCrcAndSizes) {
  const auto [modeValue, crypto] = GetParam();
  const auto mode = uint8_t(modeValue);
  const size_t chunk = size_t(CompressionBlockSize(mode));
  for (const size_t size : {size_t{0}, size_t{1}, chunk, 2 * chunk + 1234}) {
    SCOPED_TRACE(size);
    TStoreProbe a(nullptr);
    // Each item is encrypted with its own password, not the component's.
    a.SetPassword("the component's password");
    Configure(a, crypto);
    const std::string source = Sample(size);
    TStringStream src(source);
    src.SetPosition(int64_t(size / 2));  // read from the start all the same
    TMemoryStream dest;
    dest.WriteBuffer("header", 6);
    TDirItem item = NewItem(mode, crypto == tcNone ? "" : "item's password");
    const uint16_t method = item.CompressionMethod;

    ASSERT_TRUE(a.StoreItemData(src, dest, item));
    const Bytes coded = StoredBytes(dest, 6);
    EXPECT_EQ(item.CentralDir.compSize, coded.size());
    EXPECT_EQ(item.CentralDir.unCompSize, size);
    EXPECT_EQ(item.CentralDir.crc32, Crc32Of(source.data(), source.size()));
    EXPECT_EQ(item.CentralDir.lastModTime, 0x6DB0);
    EXPECT_EQ(item.CentralDir.nameLength, 14);
    EXPECT_FALSE(item.bHugeFile);
    if (size == 0) {
      EXPECT_EQ(item.CompressionMethod, CompressionMethodStored);
      // Other readers take an encrypted item without 99 for PKZIP classic.
      EXPECT_EQ(item.CentralDir.compMethod, IsAes(crypto) ? 99 : CompressionMethodStored);
      EXPECT_EQ(coded.size(), OverheadOf(crypto));
    } else {
      EXPECT_EQ(item.CompressionMethod, method);
      EXPECT_EQ(item.CentralDir.compMethod, IsAes(crypto) ? 99 : method);
    }
    if (IsAes(crypto)) {
      EXPECT_EQ(item.KelEncryptionAlgorithm, AlgorithmOf(crypto));
    }
    if (crypto == tcNone && method == CompressionMethodStored) {
      EXPECT_TRUE(Same(AsText(coded), source));
    }
    EXPECT_TRUE(Same(DecodeItem(coded, item, crypto, "item's password"), source));
  }
}

std::string CaseName(const ::testing::TestParamInfo<std::tuple<int, TTestCrypto>>& info) {
  static const char* const names[] = {"None", "Pkzip", "Aes128", "Aes192", "Aes256"};
  return "Mode" + std::to_string(std::get<0>(info.param)) + names[std::get<1>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(ModesAndCiphers, StoreRoundTrip,
                         ::testing::Combine(::testing::Range(0, 10),
                                            ::testing::Values(tcNone, tcPkzip, tcAes128, tcAes192,
                                                              tcAes256)),
                         CaseName);

// A method-0 item at a Deflate mode (a no-compression mask) is copied in that
// mode's chunks.
TEST(StoreItemData, AStoredItemAtADeflateModeIsCopied) {
  TStoreProbe a(nullptr);
  const std::string source = Sample(3 * 1024 * 1024 + 5);
  TStringStream src(source);
  TMemoryStream dest;
  TDirItem item = NewItem(9, "");
  item.CompressionMethod = CompressionMethodStored;
  item.CentralDir.compMethod = CompressionMethodStored;
  ASSERT_TRUE(a.StoreItemData(src, dest, item));
  EXPECT_TRUE(Same(AsText(dest), source));
  EXPECT_EQ(item.CentralDir.compMethod, CompressionMethodStored);
  EXPECT_EQ(item.CentralDir.crc32, Crc32Of(source.data(), source.size()));
}

// ---- Chunks

// Keeps the end of every write: one write per chunk.
class TWriteLog : public TMemoryStream {
 public:
  int64_t Write(const void* buffer, int64_t count) override {
    const int64_t n = TMemoryStream::Write(buffer, count);
    Ends.push_back(size_t(Position()));
    return n;
  }
  std::vector<size_t> Ends;
};

TEST(StoreItemData, EveryChunkButTheLastEndsAtASyncFlushPoint) {
  const Bytes marker = {0x00, 0x00, 0xFF, 0xFF};
  for (const uint8_t mode : {1, 6, 9}) {
    SCOPED_TRACE(int(mode));
    const size_t chunk = size_t(CompressionBlockSize(mode));
    const std::string source = Sample(2 * chunk + 5);
    TStoreProbe a(nullptr);
    TStringStream src(source);
    TWriteLog dest;
    TDirItem item = NewItem(mode, "");
    ASSERT_TRUE(a.StoreItemData(src, dest, item));
    const Bytes& out = dest.Bytes();
    ASSERT_EQ(dest.Ends.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
      const Bytes tail(out.begin() + int64_t(dest.Ends[i]) - 4,
                       out.begin() + int64_t(dest.Ends[i]));
      EXPECT_EQ(tail == marker, i < 2) << "chunk " << i;
    }
    // Up to that point the output stands on its own: it inflates to the
    // first chunk, nothing held back.
    TKelInflater inflater;
    std::string first;
    inflater.DecodeChunk(out.data(), dest.Ends[0], [&](std::span<const uint8_t> piece) {
      first.append(piece.begin(), piece.end());
      return true;
    });
    EXPECT_TRUE(Same(first, source.substr(0, chunk)));
  }
}

// ---- Sizes and Zip64

// Holds Data but reports Reported as its size.
class TMisreportingStream : public TMemoryStream {
 public:
  TMisreportingStream(const std::string& data, int64_t reported) : FReported(reported) {
    FData.assign(data.begin(), data.end());
  }
  int64_t Size() override { return FReported; }
  int64_t Read(void* buffer, int64_t count) override {
    const int64_t n = std::clamp<int64_t>(int64_t(FData.size()) - FPosition, 0, count);
    if (n > 0) std::memcpy(buffer, FData.data() + FPosition, size_t(n));
    FPosition += n;
    return n;
  }

 private:
  int64_t FReported;
};

TEST(StoreItemData, SizesGoToZip64ValuesWhenAlwaysWantedOrNeeded) {
  const std::string source = "tiny";
  {
    TStoreProbe a(nullptr);
    a.SetZip64Mode(zmAlways);
    TStringStream src(source);
    TMemoryStream dest;
    TDirItem item = NewItem(0, "");
    ASSERT_TRUE(a.StoreItemData(src, dest, item));
    EXPECT_TRUE(item.bHugeFile);
    EXPECT_EQ(item.CentralDir.compSize, Escape32);
    EXPECT_EQ(item.CentralDir.unCompSize, Escape32);
    EXPECT_EQ(item.Zip64ExtInfo().compSize, 4u);
    EXPECT_EQ(item.Zip64ExtInfo().uncompSize, 4u);
    EXPECT_EQ(item.CompressedSize(), 4u);
    EXPECT_EQ(item.UncompressedSize(), 4u);
  }
  {
    // An item already marked for Zip64 (its offset, say) cannot be written
    // without it.
    TStoreProbe a(nullptr);
    a.SetZip64Mode(zmDisabled);
    TStringStream src(source);
    TMemoryStream dest;
    TDirItem item = NewItem(6, "");
    item.bHugeFile = true;
    try {
      a.StoreItemData(src, dest, item);
      ADD_FAILURE() << "no error";
    } catch (const EKelException& e) {
      EXPECT_EQ(e.NativeError, 41);
      EXPECT_NE(
          e.Message().find(u"Cannot compress file 'dir/source.txt'. Zip64 mode is not enabled"),
          UString::npos);
    }
  }
  {
    TStoreProbe a(nullptr);
    // As a stream counting in 32 bits reports sizes from 2 GiB on.
    TMisreportingStream src(source, int64_t(source.size()) - (int64_t(1) << 32));
    TMemoryStream dest;
    TDirItem item = NewItem(6, "");
    ASSERT_TRUE(a.StoreItemData(src, dest, item));
    EXPECT_EQ(item.CentralDir.unCompSize, 4u);
    EXPECT_EQ(DecodeItem(StoredBytes(dest), item, tcNone, ""), source);
  }
}

// ---- Sources that change under the encoder

// Delivers all of its bytes for the first Passes reads to its end, then Change
// alters them; its size stays the one it had at first.
class TChangingSource : public TMisreportingStream {
 public:
  TChangingSource(const std::string& data, int passes, std::function<void(TBytes&)> change)
      : TMisreportingStream(data, int64_t(data.size())),
        FPasses(passes),
        FChange(std::move(change)) {
    if (FPasses == 0) FChange(FData);
  }
  int64_t Read(void* buffer, int64_t count) override {
    const int64_t n = TMisreportingStream::Read(buffer, count);
    if (n > 0 && FPosition >= int64_t(FData.size()) && --FPasses == 0) FChange(FData);
    return n;
  }

 private:
  int FPasses;
  std::function<void(TBytes&)> FChange;
};

constexpr int CompressionFailure = -1;

int FailureOf(const std::function<void()>& call) {
  try {
    return NativeErrorOf(call);
  } catch (const ECompressionError&) {
    return CompressionFailure;
  }
}

TEST(StoreItemData, ASourceThatComesUpShortOrChangesNeverGivesACompleteItem) {
  const size_t chunk = size_t(CompressionBlockSize(1));
  const std::string source = Sample(2 * chunk + 999);
  const auto cutTo = [](size_t keep) { return [keep](TBytes& b) { b.resize(keep); }; };
  const auto flipByte = [](TBytes& b) { b[b.size() / 2] ^= 1; };
  struct TCase {
    const char* Name;
    uint8_t Mode;
    TTestCrypto Crypto;
    int Passes;  // complete reads before the change
    std::function<void(TBytes&)> Change;
    int Expected;
  };
  const TCase cases[] = {
      {"stored, short", 0, tcNone, 0, cutTo(1000), 34},
      {"deflated, short before a chunk", 1, tcNone, 0, cutTo(1000), 34},
      // The compressor is left unfinished.
      {"deflated, short after a chunk", 1, tcNone, 0, cutTo(chunk + 10), CompressionFailure},
      {"pkzip stored, cut after the CRC pass", 0, tcPkzip, 1, cutTo(chunk + 10), 34},
      {"aes deflated, cut after the CRC pass", 1, tcAes256, 1, cutTo(chunk + 10),
       CompressionFailure},
      {"aes deflated, emptied after the CRC pass", 1, tcAes128, 1, cutTo(0), 34},
      {"pkzip deflated, changed after the CRC pass", 1, tcPkzip, 1, flipByte, 8},
      {"aes stored, changed after the CRC pass", 0, tcAes192, 1, flipByte, 8},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TStoreProbe a(nullptr);
    Configure(a, c.Crypto);
    TChangingSource src(source, c.Passes, c.Change);
    TMemoryStream dest;
    TDirItem item = NewItem(c.Mode, c.Crypto == tcNone ? "" : "pw");
    const auto before = item.CentralDir.ToBytes();
    EXPECT_EQ(FailureOf([&] { a.StoreItemData(src, dest, item); }), c.Expected);
    EXPECT_EQ(item.CentralDir.ToBytes(), before);
  }
}

TEST(StoreItemData, AShortSourceNamesBothSizes) {
  TStoreProbe a(nullptr);
  TChangingSource src("0123456789", 0, [](TBytes& b) { b.resize(4); });
  TMemoryStream dest;
  TDirItem item = NewItem(0, "");
  try {
    a.StoreItemData(src, dest, item);
    ADD_FAILURE() << "no error";
  } catch (const EKelException& e) {
    EXPECT_EQ(e.NativeError, 34);
    EXPECT_NE(e.Message().find(u"Invalid compressed size, rfs.size = 10, count = 0"),
              UString::npos);
  }
}

// ---- Progress and cancel

struct TReports {
  std::vector<double> File;
  std::vector<double> Overall;
};

void Watch(TStoreProbe& a, TReports& r, int cancelAtFile = -1, int cancelAtOverall = -1) {
  a.SetOnFileProgress([&r, cancelAtFile](TKelBaseArchiver*, const UString& name, double progress,
                                         TKelProcessOperation op, TKelProgressPhase phase,
                                         bool& cancel) {
    EXPECT_EQ(name, test::OnDisk(u"dir/source.txt"));
    EXPECT_EQ(op, poUpdate);
    EXPECT_EQ(phase, ppProcess);
    r.File.push_back(progress);
    cancel = int(r.File.size()) == cancelAtFile;
  });
  a.SetOnOverallProgress([&r, cancelAtOverall](TKelBaseArchiver*, double progress,
                                               TKelProcessOperation op, TKelProgressPhase phase,
                                               bool& cancel) {
    EXPECT_EQ(op, poUpdate);
    EXPECT_EQ(phase, ppProcess);
    r.Overall.push_back(progress);
    cancel = int(r.Overall.size()) == cancelAtOverall;
  });
}

TEST(StoreItemData, ReportsProgressBeforeEveryChunk) {
  const double chunk = CompressionBlockSize(1);
  const std::string source = Sample(2 * size_t(chunk) + 1000);
  const double size = double(source.size());
  for (const int64_t total : {int64_t(4 * size), int64_t(0)}) {
    SCOPED_TRACE(total);
    TStoreProbe a(nullptr);
    TReports r;
    Watch(a, r);
    a.ProgressEnabled() = true;
    a.ProcessedFilesSize() = 1000;
    a.ProcessedFilesTotalSize() = total;
    TStringStream src(source);
    TMemoryStream dest;
    TDirItem item = NewItem(1, "");
    ASSERT_TRUE(a.StoreItemData(src, dest, item));
    EXPECT_EQ(r.File, (std::vector<double>{0, chunk / size * 100, 2 * chunk / size * 100}));
    const std::vector<double> overall =
        total > 0 ? std::vector<double>{1000 / (4 * size) * 100, (1000 + chunk) / (4 * size) * 100,
                                        (1000 + 2 * chunk) / (4 * size) * 100}
                  : std::vector<double>{50, 50, 50};
    EXPECT_EQ(r.Overall, overall);
    EXPECT_EQ(a.ProcessedFilesSize(), 1000 + int64_t(size));
  }

  TStoreProbe quiet(nullptr);
  TReports none;
  Watch(quiet, none);
  TStringStream src(source);
  TMemoryStream dest;
  TDirItem item = NewItem(1, "");
  ASSERT_TRUE(quiet.StoreItemData(src, dest, item));
  EXPECT_TRUE(none.File.empty());
  EXPECT_TRUE(none.Overall.empty());
}

TEST(StoreItemData, ACancelStopsBetweenChunksAndReturnsFalse) {
  const size_t chunk = size_t(CompressionBlockSize(1));
  const std::string source = Sample(2 * chunk + 1000);
  struct TCase {
    const char* Name;
    int CancelAtFile;
    int CancelAtOverall;
    size_t ChunksWritten;
  };
  for (const TCase& c : {TCase{"file progress, second report", 2, -1, 1},
                         TCase{"overall progress, first report", -1, 1, 0}}) {
    SCOPED_TRACE(c.Name);
    TStoreProbe a(nullptr);
    TReports r;
    Watch(a, r, c.CancelAtFile, c.CancelAtOverall);
    a.ProgressEnabled() = true;
    TStringStream src(source);
    TWriteLog dest;
    TDirItem item = NewItem(1, "");
    EXPECT_FALSE(a.StoreItemData(src, dest, item));
    EXPECT_TRUE(a.ProgressCancel());
    EXPECT_EQ(dest.Ends.size(), c.ChunksWritten);
    EXPECT_EQ(item.CentralDir.compSize, uint32_t(dest.Size()));
    EXPECT_EQ(a.ProcessedFilesSize(), int64_t(source.size()));
  }
}

// ---- Full disks

// Takes nothing beyond Capacity bytes, as a full disk does.
class TFullDisk : public TMemoryStream {
 public:
  explicit TFullDisk(int64_t capacity) : Capacity(capacity) {}
  int64_t Write(const void* buffer, int64_t count) override {
    return TMemoryStream::Write(buffer, std::clamp<int64_t>(Capacity - FPosition, 0, count));
  }
  int64_t Capacity;
};

TEST(StoreItemData, AFullDiskAsksTheDiskFullQuestion) {
  const std::string source = NoiseText(300000);
  TStoreProbe a(nullptr);
  a.SetFileName(u"/tmp/archive.zip");
  TFullDisk disk(100000);
  std::vector<int32_t> asked;
  a.SetOnDiskFull([&](TKelBaseArchiver*, int32_t volume, const UString& name, bool& cancel) {
    asked.push_back(volume);
    EXPECT_EQ(name, u"/tmp/archive.zip");
    disk.Capacity = int64_t(1) << 40;  // room made
    cancel = false;
  });
  {
    TStringStream src(source);
    TDirItem item = NewItem(0, "");
    ASSERT_TRUE(a.StoreItemData(src, disk, item));
    EXPECT_EQ(asked, std::vector<int32_t>{0});
    EXPECT_TRUE(Same(AsText(disk), source));
  }
  // Cancel: no error, and the caller sees the cancel.
  a.SetOnDiskFull([](TKelBaseArchiver*, int32_t, const UString&, bool& cancel) { cancel = true; });
  for (const TTestCrypto crypto : {tcNone, tcAes128}) {
    SCOPED_TRACE(int(crypto));
    Configure(a, crypto);
    a.ProgressCancel() = false;
    TStringStream src(source);
    // AES: everything but the authentication code fits.
    TFullDisk full(crypto == tcNone ? 100000 : int64_t(OverheadOf(crypto) - 10 + source.size()));
    TDirItem item = NewItem(0, crypto == tcNone ? "" : "pw");
    EXPECT_FALSE(a.StoreItemData(src, full, item));
    EXPECT_TRUE(a.ProgressCancel());
  }
  // Without a handler a full disk outside spanning is native error 65.
  a.SetOnDiskFull(nullptr);
  Configure(a, tcNone);
  TStringStream src(source);
  TFullDisk full(100000);
  TDirItem item = NewItem(0, "");
  EXPECT_EQ(NativeErrorOf([&] { a.StoreItemData(src, full, item); }), 65);
}

TEST(StoreItemData, AnEncryptionHeaderThatDoesNotFitRaises) {
  for (const TTestCrypto crypto : {tcPkzip, tcAes256}) {
    SCOPED_TRACE(int(crypto));
    TStoreProbe a(nullptr);
    Configure(a, crypto);
    bool asked = false;
    a.SetOnDiskFull([&](TKelBaseArchiver*, int32_t, const UString&, bool&) { asked = true; });
    TStringStream src("data");
    TFullDisk full(5);
    TDirItem item = NewItem(0, "pw");
    EXPECT_THROW(a.StoreItemData(src, full, item), EWriteError);
    EXPECT_FALSE(asked);
  }
}

}  // namespace
}  // namespace kelvane
