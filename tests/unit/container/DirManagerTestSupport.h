// What the directory manager's tests share: an archiver stand-in, a small
// archive builder that lays records out independently of the writer, and
// stream doubles (short reads, failure at byte N, a stream of 4 GiB and more
// that holds only its tail).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "coding/KelCrc32.h"
#include "container/KelArchiveHost.h"
#include "container/KelDirManager.h"
#include "container/KelExcept.h"
#include "platform/Text.h"

namespace kelvane::test {

// ---- The archiver, as far as a directory manager sees it.

// Without volumes, writes go straight to the stream. With a spanning mode the
// archive lives in memory volumes: OpenVolume switches between them, and
// WriteToVolumesChecked follows the archiver's rules (room per volume, a Buffer
// that collects until the volume is full, MinFree keeping a write whole).
class TFakeHost : public TKelArchiveHost {
 public:
  struct TWriteCall {
    int32_t Count;
    int32_t MinFree;
    bool Buffered;
  };

  explicit TFakeHost(TStream* stream = nullptr) : Stream(stream) { Component.SetName(u"Archiver"); }

  const TComponent* ArchiverComponent() const override { return &Component; }
  bool OEMFileNames() const override { return Oem; }
  bool OpenCorruptedArchives() const override { return Corrupted; }
  TKelSpanningMode SpanningMode() const override { return Mode; }
  const TKelSpanningOptions& SpanningOptions() const override { return Options; }
  TKelVolumeNumberInfo& CurrentVolumeInfo() override { return Volume; }
  const UString& SFXStub() const override { return Stub; }
  TStream* ArchiveStream() override { return Stream; }

  void OpenVolume(const TKelVolumeNumberInfo& Info) override {
    const int32_t n =
        Info.LastVolume() ? static_cast<int32_t>(Volumes.size()) - 1 : Info.VolumeNumber();
    Opened.push_back(n);
    if (n < 0 || n >= static_cast<int32_t>(Volumes.size())) throw EKelException(45, &Component);
    Stream = Volumes[static_cast<size_t>(n)].get();
    Stream->SetPosition(0);
    Volume.SetVolumeNumber(n);
  }

  void WriteToVolumesChecked(const void* Data, int32_t Count, TMemoryStream* Buffer,
                             int32_t MinFree, TKelVolumeNumberInfo& Info,
                             TStream*& Target) override {
    Writes.push_back({Count, MinFree, Buffer != nullptr});
    const auto* data = static_cast<const uint8_t*>(Data);
    if (Mode == smNone) {
      if (Target->Write(data, Count) < Count) throw EKelException(46, &Component);
      return;
    }
    int64_t written = 0;
    for (int guard = 0; written < Count && guard < 1000; ++guard) {
      const int64_t held = Buffer ? Buffer->Size() : 0;
      const int64_t room = VolumeLimit - Target->Size() - held;
      if (room < 0) break;
      const int64_t left = Count - written;
      if (MinFree == -1 || left + MinFree <= room) {
        const int64_t n = std::min(room, left);
        TStream& to = Buffer ? static_cast<TStream&>(*Buffer) : *Target;
        if (n > 0) to.WriteBuffer(data + written, n);
        written += n;
      }
      if (written < Count) {  // this volume is full: the next one
        if (Buffer && Buffer->Size() > 0) {
          Target->Seek(0, soEnd);
          Buffer->SaveToStream(*Target);
          Buffer->Clear();
        }
        Volumes.push_back(std::make_unique<TMemoryStream>());
        Info.SetVolumeNumber(Info.VolumeNumber() + 1);
        Stream = Target = Volumes.back().get();
      }
    }
    if (written < Count) throw EKelException(46, &Component);
  }

  void RenameLastVolume() override {
    ++Renames;
    if (RenamedStream) Stream = RenamedStream;
  }

  // Starts a multi-volume archive of empty volumes; volume 0 is current.
  void StartVolumes(TKelSpanningMode mode, int64_t limit) {
    Mode = mode;
    VolumeLimit = limit;
    Volumes.clear();
    Volumes.push_back(std::make_unique<TMemoryStream>());
    Stream = Volumes[0].get();
    Volume.SetVolumeNumber(0);
  }

  TComponent Component{nullptr};
  bool Oem = true;
  bool Corrupted = true;
  TKelSpanningMode Mode = smNone;
  TKelSpanningOptions Options;
  TKelVolumeNumberInfo Volume;
  UString Stub;
  TStream* Stream = nullptr;
  std::vector<std::unique_ptr<TMemoryStream>> Volumes;
  int64_t VolumeLimit = -1;
  std::vector<int32_t> Opened;
  std::vector<TWriteCall> Writes;
  int Renames = 0;
  TStream* RenamedStream = nullptr;
};

// ---- Little-endian bytes.

inline void Put(TBytes& b, size_t at, uint64_t v, int width) {
  if (b.size() < at + width) b.resize(at + width);
  for (int i = 0; i < width; ++i)
    b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutU16(TBytes& b, size_t at, uint64_t v) {
  Put(b, at, v, 2);
}
inline void PutU32(TBytes& b, size_t at, uint64_t v) {
  Put(b, at, v, 4);
}
inline void PutU64(TBytes& b, size_t at, uint64_t v) {
  Put(b, at, v, 8);
}
inline uint64_t Get(const TBytes& b, size_t at, int width) {
  uint64_t v = 0;
  for (int i = width - 1; i >= 0; --i)
    v = (v << 8) | b.at(at + i);
  return v;
}
inline void Append(TBytes& b, const std::string& s) {
  b.insert(b.end(), s.begin(), s.end());
}
inline void AppendU(TBytes& b, uint64_t v, int width) {
  Put(b, b.size(), v, width);
}

// Extra field bytes: id, data size, data.
inline std::string ExtraBlock(uint16_t id, const std::string& data) {
  TBytes b;
  AppendU(b, id, 2);
  AppendU(b, data.size(), 2);
  Append(b, data);
  return std::string(b.begin(), b.end());
}
// A Unicode path field (0x7075, version 1) naming Utf8 for the name bytes ForBytes.
inline std::string UnicodePathBlock(const std::string& forBytes, const std::string& utf8) {
  TBytes data;
  AppendU(data, 1, 1);
  AppendU(data, Crc32Of(forBytes.data(), forBytes.size()), 4);
  Append(data, utf8);
  return ExtraBlock(0x7075, std::string(data.begin(), data.end()));
}
inline std::string Le64(uint64_t v) {
  TBytes b;
  AppendU(b, v, 8);
  return std::string(b.begin(), b.end());
}

// Offsets of fields in the records.
namespace cdf {
inline constexpr size_t Signature = 0, Flag = 8, Crc = 16, CompSize = 20, UnCompSize = 24,
                        NameLength = 28, ExtraLength = 30, CommentLength = 32, DiskStart = 34,
                        ExternalAttr = 38, Offset = 42;
}
namespace eocdf {
inline constexpr size_t DiskNumber = 4, StartDisk = 6, EntriesOnDisk = 8, Entries = 10,
                        DirSize = 12, DirOffset = 16, CommentLength = 20;
}

// ---- An archive laid out record by record.

struct TTestItem {
  std::string Name;
  std::string Data;  // stored as it is, whatever Method says
  uint16_t Flag = 0;
  uint16_t Method = 0;
  uint32_t Attr = KelAttrArchive;
  uint16_t Version = 20;
  uint16_t Time = 0x6DB0;  // 13:45:32
  uint16_t Date = 0x58B1;  // 2024-05-17
  std::string CentralExtra;
  std::string LocalExtra;
  std::string Comment;
  // Local CRC and sizes zero, a data descriptor behind the data.
  bool Descriptor = false;
  // Central name when it differs from the local one.
  std::optional<std::string> CentralName;
};

struct TTestArchiveOptions {
  std::string Stub;               // bytes in front of the archive
  bool OffsetsCountStub = false;  // written with the stub in place
  std::string Comment;
  bool Zip64Records = false;     // Zip64 end record and locator although not needed
  bool EscapeEndRecord = false;  // with them, the end record holds only escapes

  TTestArchiveOptions& WithStub(std::string stub, bool counted = false) {
    Stub = std::move(stub);
    OffsetsCountStub = counted;
    return *this;
  }
  TTestArchiveOptions& WithComment(std::string comment) {
    Comment = std::move(comment);
    return *this;
  }
  TTestArchiveOptions& WithZip64(bool escapeEndRecord = false) {
    Zip64Records = true;
    EscapeEndRecord = escapeEndRecord;
    return *this;
  }
};
inline TTestArchiveOptions Opt() {
  return {};
}

struct TTestArchive {
  TBytes Bytes;
  std::vector<int64_t> Local;    // local header positions
  std::vector<int64_t> Central;  // central header positions
  int64_t DirStart = 0;
  int64_t DirEnd = 0;
  int64_t Zip64EndPos = -1;
  int64_t LocatorPos = -1;
  int64_t EndPos = 0;
};

inline TTestArchive BuildArchive(const std::vector<TTestItem>& items,
                                 const TTestArchiveOptions& opt = {}) {
  TTestArchive a;
  TBytes& b = a.Bytes;
  Append(b, opt.Stub);
  const int64_t shift = opt.OffsetsCountStub ? 0 : static_cast<int64_t>(opt.Stub.size());
  for (const TTestItem& it : items) {
    const uint32_t crc = Crc32Of(it.Data.data(), it.Data.size());
    a.Local.push_back(static_cast<int64_t>(b.size()));
    AppendU(b, KelLocalFileHeaderSig, 4);
    AppendU(b, it.Version, 2);
    AppendU(b, it.Flag, 2);
    AppendU(b, it.Method, 2);
    AppendU(b, it.Time, 2);
    AppendU(b, it.Date, 2);
    AppendU(b, it.Descriptor ? 0 : crc, 4);
    AppendU(b, it.Descriptor ? 0 : it.Data.size(), 4);
    AppendU(b, it.Descriptor ? 0 : it.Data.size(), 4);
    AppendU(b, it.Name.size(), 2);
    AppendU(b, it.LocalExtra.size(), 2);
    Append(b, it.Name);
    Append(b, it.LocalExtra);
    Append(b, it.Data);
    if (it.Descriptor) {
      AppendU(b, KelDataDescriptorSig, 4);
      AppendU(b, crc, 4);
      AppendU(b, it.Data.size(), 4);
      AppendU(b, it.Data.size(), 4);
    }
  }
  a.DirStart = static_cast<int64_t>(b.size());
  for (size_t i = 0; i < items.size(); ++i) {
    const TTestItem& it = items[i];
    const std::string name = it.CentralName.value_or(it.Name);
    a.Central.push_back(static_cast<int64_t>(b.size()));
    AppendU(b, KelCentralFileHeaderSig, 4);
    AppendU(b, it.Version, 2);
    AppendU(b, it.Version, 2);
    AppendU(b, it.Flag, 2);
    AppendU(b, it.Method, 2);
    AppendU(b, it.Time, 2);
    AppendU(b, it.Date, 2);
    AppendU(b, Crc32Of(it.Data.data(), it.Data.size()), 4);
    AppendU(b, it.Data.size(), 4);
    AppendU(b, it.Data.size(), 4);
    AppendU(b, name.size(), 2);
    AppendU(b, it.CentralExtra.size(), 2);
    AppendU(b, it.Comment.size(), 2);
    AppendU(b, 0, 2);
    AppendU(b, 0, 2);
    AppendU(b, it.Attr, 4);
    AppendU(b, a.Local[i] - shift, 4);
    Append(b, name);
    Append(b, it.CentralExtra);
    Append(b, it.Comment);
  }
  a.DirEnd = static_cast<int64_t>(b.size());
  const uint64_t dirSize = static_cast<uint64_t>(a.DirEnd - a.DirStart);
  const uint64_t dirOffset = static_cast<uint64_t>(a.DirStart - shift);
  if (opt.Zip64Records) {
    a.Zip64EndPos = static_cast<int64_t>(b.size());
    AppendU(b, KelZip64CentralDirEndSig, 4);
    AppendU(b, 44, 8);
    AppendU(b, 45, 2);
    AppendU(b, 45, 2);
    AppendU(b, 0, 4);
    AppendU(b, 0, 4);
    AppendU(b, items.size(), 8);
    AppendU(b, items.size(), 8);
    AppendU(b, dirSize, 8);
    AppendU(b, dirOffset, 8);
    a.LocatorPos = static_cast<int64_t>(b.size());
    AppendU(b, KelZip64CentralDirEndLocatorSig, 4);
    AppendU(b, 0, 4);
    AppendU(b, static_cast<uint64_t>(a.Zip64EndPos - shift), 8);
    AppendU(b, 1, 4);
  }
  const bool escape = opt.Zip64Records && opt.EscapeEndRecord;
  a.EndPos = static_cast<int64_t>(b.size());
  AppendU(b, KelCentralDirEndSig, 4);
  AppendU(b, 0, 2);
  AppendU(b, 0, 2);
  AppendU(b, escape ? 0xFFFF : items.size(), 2);
  AppendU(b, escape ? 0xFFFF : items.size(), 2);
  AppendU(b, escape ? 0xFFFFFFFF : dirSize, 4);
  AppendU(b, escape ? 0xFFFFFFFF : dirOffset, 4);
  AppendU(b, opt.Comment.size(), 2);
  Append(b, opt.Comment);
  return a;
}

inline TTestItem Entry(std::string name, std::string data = "", uint32_t attr = KelAttrArchive) {
  TTestItem it;
  it.Name = std::move(name);
  it.Data = std::move(data);
  it.Attr = attr;
  return it;
}

// Items named Prefix0, Prefix1, ... with a little data each.
inline std::vector<TTestItem> NumberedItems(int count, const std::string& prefix = "file") {
  std::vector<TTestItem> items;
  for (int i = 0; i < count; ++i) {
    TTestItem it;
    it.Name = prefix + std::to_string(i) + ".txt";
    it.Data = "data of item " + std::to_string(i) + "\n";
    items.push_back(it);
  }
  return items;
}

inline TMemoryStream MemoryOf(const TBytes& bytes) {
  TMemoryStream s;
  if (!bytes.empty()) s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  s.SetPosition(0);
  return s;
}

inline TBytes BytesOf(TStream& s) {
  const int64_t pos = s.Position();
  TBytes b(static_cast<size_t>(s.Size()));
  s.SetPosition(0);
  if (!b.empty()) s.ReadBuffer(b.data(), static_cast<int64_t>(b.size()));
  s.SetPosition(pos);
  return b;
}

inline std::string Utf8(const UString& s) {
  return ToUtf8(s);
}

inline std::vector<std::string> NamesOf(const TKelDirManager& dm) {
  std::vector<std::string> names;
  for (int32_t i = 0; i < dm.CDir.Count(); ++i)
    names.push_back(Utf8(dm.CDir.GetItemPtr(i).Name));
  return names;
}

// What LoadDir made of an archive: the items, or the error it raised.
struct TLoadOutcome {
  bool Ok = false;
  int Native = -1;           // EKelException's native error
  bool StreamError = false;  // EStreamError (EReadError...)
  std::string Message;
  std::vector<std::string> Names;
  int64_t StubSize = 0;
};

inline TLoadOutcome TryLoad(TStream& stream, TFakeHost& host) {
  TLoadOutcome out;
  host.Stream = &stream;
  try {
    TKelDirManager dm(&stream, false, &host);
    dm.LoadDir();
    out.Ok = true;
    out.Names = NamesOf(dm);
    out.StubSize = dm.StubSize;
  } catch (const EKelException& e) {
    out.Native = e.NativeError;
    out.Message = e.what();
  } catch (const EStreamError& e) {
    out.StreamError = true;
    out.Message = e.what();
  }
  return out;
}

inline TLoadOutcome TryLoad(const TBytes& bytes, bool corrupted, bool oem = true) {
  TMemoryStream stream = MemoryOf(bytes);
  TFakeHost host(&stream);
  host.Corrupted = corrupted;
  host.Oem = oem;
  return TryLoad(stream, host);
}

// ---- Stream doubles.

// Gives at most Chunk bytes per Read, as pipes and sockets may.
class TShortReadStream : public TMemoryStream {
 public:
  explicit TShortReadStream(const TBytes& bytes, int64_t chunk = 7) : FChunk(chunk) {
    FData = bytes;
  }
  int64_t Read(void* buffer, int64_t count) override {
    ++Reads;
    return TMemoryStream::Read(buffer, std::min(count, FChunk));
  }
  int64_t Reads = 0;

 private:
  int64_t FChunk;
};

// Fails at byte FailAt once told to: reads give the bytes before it and then
// raise EReadError, writes store what fits before it and report the short
// count (a full medium).
class TFailingStream : public TMemoryStream {
 public:
  explicit TFailingStream(int64_t failAt) : FFailAt(failAt) {}
  int64_t Read(void* buffer, int64_t count) override {
    if (FailReads && count > 0 && FPosition >= FFailAt) throw EReadError("Injected read failure");
    if (FailReads) count = std::min(count, FFailAt - FPosition);
    return TMemoryStream::Read(buffer, count);
  }
  int64_t Write(const void* buffer, int64_t count) override {
    if (!FailWrites) return TMemoryStream::Write(buffer, count);
    if (FPosition >= FFailAt) return 0;
    return TMemoryStream::Write(buffer, std::min(count, FFailAt - FPosition));
  }
  bool FailReads = false;
  bool FailWrites = false;

 private:
  int64_t FFailAt;
};

// A stream of Base + n bytes that holds only the n bytes above Base; the bytes
// below read as zeros and cannot be written. Lets a test put records beyond
// 4 GiB without 4 GiB of memory.
class THighStream : public TStream {
 public:
  explicit THighStream(int64_t base) : FBase(base) {}
  int64_t Read(void* buffer, int64_t count) override {
    auto* out = static_cast<uint8_t*>(buffer);
    const int64_t n = std::max<int64_t>(0, std::min(count, Size() - FPos));
    for (int64_t done = 0; done < n;) {
      const int64_t at = FPos + done;
      int64_t k;
      if (at < FBase) {
        k = std::min(n - done, FBase - at);
        std::memset(out + done, 0, static_cast<size_t>(k));
      } else {
        k = n - done;
        std::memcpy(out + done, FHigh.data() + (at - FBase), static_cast<size_t>(k));
      }
      done += k;
    }
    FPos += n;
    return n;
  }
  int64_t Write(const void* buffer, int64_t count) override {
    if (FPos < FBase) throw EWriteError("THighStream: write below the held tail");
    const auto at = static_cast<size_t>(FPos - FBase);
    if (FHigh.size() < at + count) FHigh.resize(at + static_cast<size_t>(count));
    std::memcpy(FHigh.data() + at, buffer, static_cast<size_t>(count));
    FPos += count;
    return count;
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    const int64_t target = offset + (origin == soCurrent ? FPos : origin == soEnd ? Size() : 0);
    if (target < 0) throw EStreamError("Invalid stream position");
    return FPos = target;
  }
  int64_t Size() override { return FBase + static_cast<int64_t>(FHigh.size()); }
  void SetSize(int64_t size) override {
    if (size < FBase) throw EStreamError("THighStream: cannot cut below the held tail");
    FHigh.resize(static_cast<size_t>(size - FBase));
    FPos = std::min(FPos, size);
  }
  TBytes& High() { return FHigh; }

 private:
  int64_t FBase;
  int64_t FPos = 0;
  TBytes FHigh;
};

// A manager over an archive's bytes with the host's options; the stream lives
// in the fixture.
class TLoadedDir : public ::testing::Test {
 protected:
  TKelDirManager& Load(const TBytes& bytes) {
    FStream = MemoryOf(bytes);
    FHost.Stream = &FStream;
    FDm = std::make_unique<TKelDirManager>(&FStream, false, &FHost);
    FDm->LoadDir();
    return *FDm;
  }

  TMemoryStream FStream;
  TFakeHost FHost;
  std::unique_ptr<TKelDirManager> FDm;
};

}  // namespace kelvane::test
