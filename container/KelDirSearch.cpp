// Forward searches for record signatures: the stub measurement and the
// recovery scan.
#include <algorithm>

#include "container/KelDirManager.h"
#include "container/KelScanAhead.h"
#include "container/KelStreamReader.h"

namespace kelvane {
namespace {

constexpr int64_t kSignatureSize = 4;

}  // namespace

// Reads the stream in windows of Window bytes; each next window begins with the
// last bytes of the one before, so a signature across two is seen. A scan that
// steps forward through the stream (the recovery, the stub search) passes a
// Cache and so reads each window once, not once per step.
int64_t TKelDirManager::ScanFor(int64_t From, uint32_t Pattern, int64_t Window, TScanWindow* Cache,
                                int64_t Limit) {
  TStream& stream = *FCompressedStream;
  TKelPositionKeeper keep(stream);
  const int64_t size =
      Limit >= 0 ? std::min(stream.Size(), Limit + kSignatureSize - 1) : stream.Size();
  const uint8_t pattern[4] = {static_cast<uint8_t>(Pattern), static_cast<uint8_t>(Pattern >> 8),
                              static_cast<uint8_t>(Pattern >> 16),
                              static_cast<uint8_t>(Pattern >> 24)};
  TScanWindow local;
  TScanWindow& w = Cache ? *Cache : local;
  for (int64_t pos = std::max<int64_t>(From, 0); size - pos >= kSignatureSize;) {
    if (!(pos >= w.Start && w.Start + w.Length - pos >= kSignatureSize)) {
      w.Start = pos;
      w.Length = std::min(Window, size - pos);
      w.Bytes.resize(static_cast<size_t>(w.Length));
      ReadAt(stream, w.Start, w.Bytes.data(), w.Length);
    }
    const int64_t at =
        FindPattern(w.Bytes.data() + (pos - w.Start), w.Start + w.Length - pos, pattern);
    if (at >= 0) return pos + at;
    const int64_t end = w.Start + w.Length;
    if (end >= size) break;
    pos = end - (kSignatureSize - 1);
  }
  return -1;
}

bool TKelDirManager::FindSignature(int64_t& Pos, uint32_t Pattern) {
  const int64_t at = ScanFor(Pos, Pattern, StubSearchWindow);
  if (at < 0) return false;
  Pos = at;
  return true;
}

int64_t TKelDirManager::LocalHeaderFrom(int64_t From, TScanWindow* Cache) {
  return WithHeaderRoom(ScanFor(From, KelLocalFileHeaderSig,
                                Cache ? RecoveryScanChunk : RecoverySearchWindow, Cache));
}

int64_t TKelDirManager::WithHeaderRoom(int64_t At) const {
  if (At < 0) return -1;
  const int64_t left = FCompressedStream->Size() - At;
  return left < static_cast<int64_t>(TKelZipLocalFileHeader::Size) ? -1 : At;
}

int64_t TKelDirManager::FindLocalHeader(int64_t From) {
  return LocalHeaderFrom(From, nullptr);
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
