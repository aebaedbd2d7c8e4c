#include "platform/Stream.h"

#include <algorithm>
#include <cstring>

namespace kelvane {

int64_t TStream::Size() {
  const int64_t pos = Seek(0, soCurrent);
  const int64_t size = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return size;
}

void TStream::SetSize(int64_t) {
  throw EStreamError("Stream size cannot be changed");
}

int64_t TStream::ReadUpTo(void* buffer, int64_t count) {
  auto* p = static_cast<uint8_t*>(buffer);
  int64_t got = 0;
  while (got < count) {
    const int64_t n = Read(p + got, count - got);
    if (n <= 0) break;
    got += n;
  }
  return got;
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
  auto* p = static_cast<uint8_t*>(buffer);
  while (count > 0) {
    const int64_t n = Read(p, count);
    if (n <= 0) throw EReadError("Stream read error");
    p += n;
    count -= n;
  }
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  auto* p = static_cast<const uint8_t*>(buffer);
  while (count > 0) {
    const int64_t n = Write(p, count);
    if (n <= 0) throw EWriteError("Stream write error");
    p += n;
    count -= n;
  }
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  return CopyInBlocks(source, count, 1 << 16);
}

int64_t TStream::CopyInBlocks(TStream& source, int64_t count, int64_t blockSize) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  std::vector<uint8_t> buf(static_cast<size_t>(std::min(count, blockSize)));
  for (int64_t left = count; left > 0;) {
    const int64_t n = std::min(left, blockSize);
    source.ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    left -= n;
  }
  return count;
}

// ---- TMemoryStream

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  const int64_t size = Size();
  if (count <= 0 || FPosition >= size) return 0;
  const int64_t n = std::min(count, size - FPosition);
  std::memcpy(buffer, FData.data() + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  const int64_t end = FPosition + count;
  if (end > Size()) {
    if (end > static_cast<int64_t>(FData.capacity()))
      FData.reserve(std::max<size_t>(static_cast<size_t>(end), FData.capacity() * 2));
    FData.resize(static_cast<size_t>(end));
  }
  std::memcpy(FData.data() + FPosition, buffer, static_cast<size_t>(count));
  FPosition = end;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t target = offset;
  if (origin == soCurrent) target += FPosition;
  if (origin == soEnd) target += Size();
  if (target < 0) throw EStreamError("Invalid stream position");
  FPosition = target;
  return FPosition;
}

void TMemoryStream::SetSize(int64_t newSize) {
  if (newSize < 0) throw EStreamError("Invalid stream size");
  FData.resize(static_cast<size_t>(newSize));
  FPosition = std::min(FPosition, newSize);
}

void TMemoryStream::Clear() {
  FData.clear();
  FData.shrink_to_fit();
  FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& source) {
  source.SetPosition(0);
  const int64_t size = source.Size();
  SetSize(size);
  if (size > 0) source.ReadBuffer(FData.data(), size);
  FPosition = 0;
}

void TMemoryStream::SaveToStream(TStream& dest) {
  if (!FData.empty()) dest.WriteBuffer(FData.data(), Size());
}

// ---- THackMemoryStream

int64_t THackMemoryStream::CopyFrom(TStream& source, int64_t count) {
  return CopyInBlocks(source, count, 10000);
}

// ---- TStringStream

TStringStream::TStringStream(const AnsiString& text) {
  FData.assign(text.begin(), text.end());
}

}  // namespace kelvane
