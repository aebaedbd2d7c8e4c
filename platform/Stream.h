// Seekable byte streams with 64-bit positions.
//
// Contract of the family: Read may return fewer bytes than asked (0 only at the
// end); loop, or use ReadBuffer for an exact amount. Write returns the number of
// bytes stored; a short count means the medium is full (the disk-full questions
// rely on that), other failures raise EWriteError. ReadBuffer and WriteBuffer
// raise EReadError / EWriteError on short transfers.
#pragma once

#include <memory>

#include "platform/Exception.h"

namespace kelvane {

class EStreamError : public Exception {
 public:
  using Exception::Exception;
};
class EReadError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EFileStreamError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EFOpenError : public EFileStreamError {
 public:
  using EFileStreamError::EFileStreamError;
};
class EFCreateError : public EFileStreamError {
 public:
  using EFileStreamError::EFileStreamError;
};

enum TSeekOrigin : uint8_t { soBeginning, soCurrent, soEnd };

class TStream {
 public:
  virtual ~TStream() = default;

  virtual int64_t Read(void* buffer, int64_t count) = 0;
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Returns the new position. A negative target raises EStreamError.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t pos) { Seek(pos, soBeginning); }
  virtual int64_t Size();
  // Default: raises EStreamError (the stream cannot change its size).
  virtual void SetSize(int64_t newSize);

  void ReadBuffer(void* buffer, int64_t count);
  // Reads until Count bytes arrived or the stream ends; returns what arrived.
  int64_t ReadUpTo(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
  // Copies Count bytes from Source's position; Count 0 copies all of Source from
  // its start. Returns the number of bytes copied; raises on a short transfer.
  virtual int64_t CopyFrom(TStream& source, int64_t count);

 protected:
  int64_t CopyInBlocks(TStream& source, int64_t count, int64_t blockSize);
};

// File mode words: access in bits 0-1, sharing in bits 4-6, 0xFF00 = create.
inline constexpr uint16_t fmOpenRead = 0x0000;
inline constexpr uint16_t fmOpenWrite = 0x0001;
inline constexpr uint16_t fmOpenReadWrite = 0x0002;
inline constexpr uint16_t fmShareCompat = 0x0000;
inline constexpr uint16_t fmShareExclusive = 0x0010;
inline constexpr uint16_t fmShareDenyWrite = 0x0020;
inline constexpr uint16_t fmShareDenyRead = 0x0030;
inline constexpr uint16_t fmShareDenyNone = 0x0040;
inline constexpr uint16_t fmCreate = 0xFF00;

// Linux emulates the share modes with open-file-description locks among the
// openers that use them; Windows has them from the system (CreateFileW), so
// they hold against every program. fmShareCompat denies nothing on both, and
// on Windows others may rename or delete the file unless writing is denied.
class TFileStream : public TStream {
 public:
  // Opens (or with fmCreate creates/truncates) Path. Raises EFOpenError or
  // EFCreateError naming the path and the system's reason.
  TFileStream(const UString& path, uint16_t mode);
  // Creates Path for reading and writing (mode fmCreate) where nothing is:
  // fails with EFCreateError when anything is at Path, a link included, which
  // is neither followed nor replaced. A file that did not exist is held by
  // nobody else, so no share-mode locks are needed and nothing is cut.
  static std::unique_ptr<TFileStream> CreateNew(const UString& path);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  void SetSize(int64_t newSize) override;

  const UString& FileName() const { return FFileName; }
  uint16_t Mode() const { return FMode; }
  int Handle() const { return FHandle; }
  // Pushes written data to the medium (fsync); false when the system refuses.
  bool Flush();

 private:
  struct TNewFile {};
  TFileStream(const UString& path, TNewFile);

  UString FFileName;
  uint16_t FMode;
  int FHandle = -1;
  int64_t FPosition = 0;  // the descriptor's offset; -1 when unknown
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(FData.size()); }
  void SetSize(int64_t newSize) override;

  uint8_t* Memory() { return FData.data(); }
  const TBytes& Bytes() const { return FData; }
  void Clear();
  void LoadFromStream(TStream& source);
  void SaveToStream(TStream& dest);

 protected:
  TBytes FData;
  int64_t FPosition = 0;
};

// Memory stream whose CopyFrom moves whole blocks of at most 10,000 bytes.
class THackMemoryStream : public TMemoryStream {
 public:
  int64_t CopyFrom(TStream& source, int64_t count) override;
};

// 8-bit text held as a stream.
class TStringStream : public TMemoryStream {
 public:
  explicit TStringStream(const AnsiString& text = {});
  AnsiString DataString() const { return AnsiString(FData.begin(), FData.end()); }
};

// Swallows writes and pretends to read; used where decoded data is only verified.
class TNullStream : public TStream {
 public:
  int64_t Read(void*, int64_t count) override { return count; }
  int64_t Write(const void*, int64_t count) override { return count; }
  int64_t Seek(int64_t, TSeekOrigin) override { return 0; }
  void SetSize(int64_t) override {}
};

}  // namespace kelvane
