// Forward searches for record signatures: the stub measurement and the
// recovery scan.
#include <algorithm>
#include <cstring>

#include "container/KelDirManager.h"
#include "container/KelStreamReader.h"

namespace kelvane {
namespace {

constexpr int64_t kSignatureSize = 4;

// Offset of the 4 bytes of Pattern in Bytes, or -1.
int64_t FindPattern(const uint8_t* bytes, int64_t count, const uint8_t (&pattern)[4]) {
  const uint8_t* p = bytes;
  const uint8_t* end = bytes + count;
  while (end - p >= kSignatureSize) {
    p = static_cast<const uint8_t*>(
        std::memchr(p, pattern[0], static_cast<size_t>(end - p - (kSignatureSize - 1))));
    if (!p) return -1;
    if (std::memcmp(p, pattern, kSignatureSize) == 0) return p - bytes;
    ++p;
  }
  return -1;
}

}  // namespace

int64_t TKelDirManager::ScanFor(int64_t From, uint32_t Pattern, int64_t Window) {
  TStream& stream = *FCompressedStream;
  TKelPositionKeeper keep(stream);
  const int64_t size = stream.Size();
  const uint8_t pattern[4] = {static_cast<uint8_t>(Pattern), static_cast<uint8_t>(Pattern >> 8),
                              static_cast<uint8_t>(Pattern >> 16),
                              static_cast<uint8_t>(Pattern >> 24)};
  FScanBuffer.resize(static_cast<size_t>(Window));
  // Windows overlap by the signature's size, so one that straddles two is seen.
  for (int64_t start = std::max<int64_t>(From, 0); size - start >= kSignatureSize;
       start += Window - kSignatureSize) {
    const int64_t n = std::min(Window, size - start);
    ReadAt(stream, start, FScanBuffer.data(), n);
    const int64_t at = FindPattern(FScanBuffer.data(), n, pattern);
    if (at >= 0) return start + at;
    if (start + n >= size) break;
  }
  return -1;
}

bool TKelDirManager::FindSignature(int64_t& Pos, uint32_t Pattern) {
  const int64_t at = ScanFor(Pos, Pattern, StubSearchWindow);
  if (at < 0) return false;
  Pos = at;
  return true;
}

int64_t TKelDirManager::FindLocalHeader(int64_t From) {
  const int64_t at = ScanFor(From, KelLocalFileHeaderSig, RecoverySearchWindow);
  if (at < 0) return -1;
  const int64_t left = FCompressedStream->Size() - at;
  return left < static_cast<int64_t>(TKelZipLocalFileHeader::Size) ? -1 : at;
}

bool TKelDirManager::FindDataDescriptor(int64_t From, TKelZipDataDescriptor& Descriptor) {
  const int64_t at = ScanFor(From, KelDataDescriptorSig, RecoverySearchWindow);
  if (at < 0 || FCompressedStream->Size() - at < static_cast<int64_t>(Descriptor.Size))
    return false;
  TKelPositionKeeper keep(*FCompressedStream);
  FCompressedStream->SetPosition(at);
  ReadRecord(*FCompressedStream, Descriptor);
  return true;
}

}  // namespace kelvane
