// Hand-made archives for the decoder's tests, with every field under the
// test's control (lying sizes, flipped bytes, encryption), and the stream
// doubles that watch what the decoder reads and writes.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "NativeError.h"
#include "coding/KelAESTransform.h"
#include "coding/KelCrc32.h"
#include "coding/KelPkzip.h"
#include "coding/KelZlib.h"
#include "container/KelZipRecords.h"
#include "engine/Kelvane.h"

namespace kelvane::test {

using Bytes = std::vector<uint8_t>;

enum TTestCrypto { tcNone, tcPkzip, tcAes128, tcAes192, tcAes256 };

struct TTestEntry {
  TTestEntry(std::string name, std::string data, uint16_t method = 8, TTestCrypto crypto = tcNone)
      : Name(std::move(name)), Data(std::move(data)), Method(method), Crypto(crypto) {}
  TTestEntry& WithPassword(std::string password) {
    Password = std::move(password);
    return *this;
  }
  TTestEntry& WithDescriptor() {
    DataDescriptor = true;
    return *this;
  }
  TTestEntry& WithSize(uint32_t size) {
    DeclaredSize = size;
    return *this;
  }
  TTestEntry& WithCrc(uint32_t crc) {
    DeclaredCrc = crc;
    return *this;
  }
  TTestEntry& WithRaw(std::vector<uint8_t> raw) {
    Raw = std::move(raw);
    return *this;
  }
  TTestEntry& WithLocal(std::function<void(TKelZipLocalFileHeader&)> edit) {
    EditLocal = std::move(edit);
    return *this;
  }
  TTestEntry& WithCentral(std::function<void(TKelZipCentralDir&)> edit) {
    EditCentral = std::move(edit);
    return *this;
  }
  TTestEntry& WithLocalExtra(std::vector<uint8_t> extra) {
    LocalExtra = std::move(extra);
    return *this;
  }
  TTestEntry& WithCentralExtra(std::vector<uint8_t> extra) {
    CentralExtra = std::move(extra);
    return *this;
  }
  // The bytes behind the data instead of the descriptor the entry would get.
  TTestEntry& WithDescriptorBytes(std::vector<uint8_t> bytes) {
    DataDescriptor = true;
    DescriptorBytes = std::move(bytes);
    return *this;
  }

  std::string Name;
  std::string Data;     // what the item decodes to
  uint16_t Method = 8;  // 0 stored, 8 Deflate; others store Data (or Raw) as it is
  TTestCrypto Crypto = tcNone;
  std::string Password = "secret";
  bool DataDescriptor = false;           // sizes and CRC behind the data; PKZIP checks the time
  std::optional<uint32_t> DeclaredSize;  // uncompressed size in the headers
  std::optional<uint32_t> DeclaredCrc;
  std::optional<std::vector<uint8_t>> Raw;  // the data as stored (before encryption)
  // Changes to the headers once built (lengths follow the extra areas below).
  std::function<void(TKelZipLocalFileHeader&)> EditLocal;
  std::function<void(TKelZipCentralDir&)> EditCentral;
  std::optional<std::vector<uint8_t>> LocalExtra;    // instead of the AES field or nothing
  std::optional<std::vector<uint8_t>> CentralExtra;  // likewise
  std::optional<std::vector<uint8_t>> DescriptorBytes;
  uint32_t ExternalAttr = 0x20;
  uint16_t Time = 0x6DB0;
  uint16_t Date = 0x58B1;
};

struct TBuiltZip {
  Bytes Archive;
  std::vector<size_t> LocalStart;  // per item: its local header
  std::vector<size_t> DataStart;   // per item: its first byte of coded data (behind salt or header)
  std::vector<size_t> DataSize;    // per item: bytes of coded data (no salt, header or code)
};

inline Bytes Deflated(const std::string& data, int level = 6) {
  TKelDeflater deflater(level);
  const auto out =
      deflater.CompressChunk(reinterpret_cast<const uint8_t*>(data.data()), data.size(), true);
  return Bytes(out.begin(), out.end());
}

inline void Append(Bytes& out, std::span<const uint8_t> bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

inline TBuiltZip BuildZip(const std::vector<TTestEntry>& entries) {
  TBuiltZip built;
  Bytes& out = built.Archive;
  Bytes directory;
  for (const TTestEntry& e : entries) {
    Bytes payload = e.Raw           ? *e.Raw
                    : e.Method == 8 ? Deflated(e.Data)
                                    : Bytes(e.Data.begin(), e.Data.end());
    const uint32_t crc = Crc32Of(e.Data.data(), e.Data.size());
    const bool aes = e.Crypto >= tcAes128;
    Bytes prefix, suffix, extra;
    if (e.Crypto == tcPkzip) {
      PkzipKeys keys;
      InitPkzipKeys(e.Password, keys);
      Bytes header = {1,
                      2,
                      3,
                      4,
                      5,
                      6,
                      7,
                      8,
                      9,
                      10,
                      uint8_t(crc >> 16),
                      uint8_t(e.DataDescriptor ? e.Time >> 8 : crc >> 24)};
      EncryptPkzipBuffer(header.data(), header.size(), keys);
      EncryptPkzipBuffer(payload.data(), payload.size(), keys);
      prefix = header;
    } else if (aes) {
      const int strength = e.Crypto - tcAes128 + 1;
      TAESCryptoTransform t(64 + 64 * strength, 2, e.Method);
      t.Initialize(Encryption);
      t.GenerateKey(e.Password);
      prefix = t.GetFileStorageStartBlock();
      t.EncryptBuffer(payload, 0, int32_t(payload.size()), payload, 0);
      suffix = t.GetFileStorageEndBlock();
      extra = {0x01, 0x99, 7, 0, 2, 0, 'A', 'E', uint8_t(strength), uint8_t(e.Method), 0};
    }
    const uint32_t compressed = uint32_t(prefix.size() + payload.size() + suffix.size());
    const uint32_t size = e.DeclaredSize.value_or(uint32_t(e.Data.size()));
    const uint32_t storedCrc = e.DeclaredCrc.value_or(aes ? 0 : crc);
    const uint16_t flags = uint16_t((e.Crypto != tcNone ? 1 : 0) | (e.DataDescriptor ? 8 : 0));
    const uint16_t method = aes ? 99 : e.Method;

    const auto offset = uint32_t(out.size());
    TKelZipLocalFileHeader local;
    local.signature = KelLocalFileHeaderSig;
    local.extractVersion = aes ? 51 : 20;
    local.genPurposeFlag = flags;
    local.compMethod = method;
    local.lastModTime = e.Time;
    local.lastModDate = e.Date;
    local.crc32 = e.DataDescriptor ? 0 : storedCrc;
    local.compSize = e.DataDescriptor ? 0 : compressed;
    local.unCompSize = e.DataDescriptor ? 0 : size;
    const Bytes& localExtra = e.LocalExtra ? *e.LocalExtra : extra;
    local.nameLength = uint16_t(e.Name.size());
    local.extraLength = uint16_t(localExtra.size());
    if (e.EditLocal) e.EditLocal(local);
    built.LocalStart.push_back(out.size());
    Append(out, local.ToBytes());
    Append(out, std::span(reinterpret_cast<const uint8_t*>(e.Name.data()), e.Name.size()));
    Append(out, localExtra);
    Append(out, prefix);
    built.DataStart.push_back(out.size());
    built.DataSize.push_back(payload.size());
    Append(out, payload);
    Append(out, suffix);
    if (e.DescriptorBytes) {
      Append(out, *e.DescriptorBytes);
    } else if (e.DataDescriptor) {
      TKelZipDataDescriptor dd{KelDataDescriptorSig, storedCrc, compressed, size};
      Append(out, dd.ToBytes());
    }

    TKelZipCentralDir central;
    central.signature = KelCentralFileHeaderSig;
    central.versionMadeBy = 20;
    central.extractVersion = local.extractVersion;
    central.genPurposeFlag = flags;
    central.compMethod = method;
    central.lastModTime = e.Time;
    central.lastModDate = e.Date;
    central.crc32 = storedCrc;
    central.compSize = compressed;
    central.unCompSize = size;
    const Bytes& centralExtra = e.CentralExtra ? *e.CentralExtra : extra;
    central.nameLength = uint16_t(e.Name.size());
    central.extraLength = uint16_t(centralExtra.size());
    central.externalAttr = e.ExternalAttr;
    central.relOffsetLH = offset;
    if (e.EditCentral) e.EditCentral(central);
    Append(directory, central.ToBytes());
    Append(directory, std::span(reinterpret_cast<const uint8_t*>(e.Name.data()), e.Name.size()));
    Append(directory, centralExtra);
  }
  TKelZipCentralDirEnd end;
  end.signature = KelCentralDirEndSig;
  end.entriesOnDisk = end.entriesCentralDir = uint16_t(entries.size());
  end.centralDirSize = uint32_t(directory.size());
  end.offsetStartDir = uint32_t(out.size());
  Append(out, directory);
  Append(out, end.ToBytes());
  return built;
}

inline std::string AsText(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

inline std::string AsText(TMemoryStream& stream) {
  return AsText(stream.Bytes());
}

// Bytes from a fixed pseudo-random sequence: they do not compress.
inline std::string NoiseText(size_t size, uint32_t seed = 99) {
  std::string s(size, '\0');
  for (char& c : s) {
    seed = seed * 1103515245u + 12345u;
    c = char(seed >> 16);
  }
  return s;
}

// Records the destination's writes: how many bytes at most in one call.
class TWatchedStream : public TMemoryStream {
 public:
  int64_t Write(const void* buffer, int64_t count) override {
    LargestWrite = std::max(LargestWrite, count);
    Written += count;
    return TMemoryStream::Write(buffer, count);
  }
  int64_t LargestWrite = 0;
  int64_t Written = 0;
};

// An archive held in memory that counts what is read from it.
class TCountingArchive : public TMemoryStream {
 public:
  explicit TCountingArchive(const std::vector<uint8_t>& bytes) {
    FData = bytes;
    FPosition = 0;
  }
  int64_t Read(void* buffer, int64_t count) override {
    const int64_t n = TMemoryStream::Read(buffer, count);
    BytesRead += n;
    return n;
  }
  int64_t BytesRead = 0;
};

// Takes only part of the first ShortWrites writes, as a full disk does.
class TShortWriteStream : public TMemoryStream {
 public:
  explicit TShortWriteStream(int shortWrites) : FShortWrites(shortWrites) {}
  int64_t Write(const void* buffer, int64_t count) override {
    if (FShortWrites > 0 && count > 1) {
      --FShortWrites;
      return TMemoryStream::Write(buffer, count / 2);
    }
    return TMemoryStream::Write(buffer, count);
  }

 private:
  int FShortWrites;
};

// The component with its decoder and working fields within reach.
class TDecodeProbe : public TKelvane {
 public:
  using TKelBaseArchiver::ExtractItemToStream;
  using TKelBaseArchiver::WriteWithRetry;
  using TKelvane::TKelvane;
  bool& ProgressCancel() { return FProgressCancel; }
  bool& ProgressEnabled() { return FProgressEnabled; }
  bool SkipFile() const { return FSkipFile; }
  int32_t& UpdateCount() { return FUpdateCount; }
};

}  // namespace kelvane::test
