// Any bytes as an archive: opening it and decoding every item ends with the
// engine's or the platform's error or with data; nothing overruns, and no item
// writes more than it declares.
#include <cstddef>
#include <cstdint>

#include "container/KelDirManager.h"
#include "engine/Kelvane.h"

namespace {

using namespace kelvane;

// Counts what the decoder writes and traps as soon as an item writes more than
// it declares.
class TCappedSink : public TStream {
 public:
  explicit TCappedSink(uint64_t cap) : FCap(cap) {}
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void*, int64_t count) override {
    FWritten += uint64_t(count);
    if (FWritten > FCap) __builtin_trap();
    return count;
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    if (origin == soBeginning) FPosition = offset;
    return FPosition;
  }
  void SetSize(int64_t) override {}

 private:
  uint64_t FCap;
  uint64_t FWritten = 0;
  int64_t FPosition = 0;
};

class TFuzzArchiver : public TKelvane {
 public:
  using TKelBaseArchiver::ExtractItemToStream;
  using TKelvane::TKelvane;
  int32_t ItemCount() const { return DMHandle ? DMHandle->CDir.Count() : 0; }
  uint64_t DeclaredSize(int32_t index) const {
    return DMHandle->CDir.GetItemPtr(index).UncompressedSize();
  }
};

// Items are decoded up to this many, and when they declare at most this size,
// so that one input stays quick.
constexpr int32_t MaxItems = 64;
constexpr uint64_t MaxDeclaredSize = 64u << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMemoryStream archive;  // outlives the archiver
  archive.Write(data, int64_t(size));
  TFuzzArchiver a(nullptr);
  a.SetPassword("secret");
  // A wrong password is skipped rather than asked for again.
  a.SetOnPassword([](TKelBaseArchiver*, const UString&, AnsiString&, bool& skip) { skip = true; });
  try {
    a.OpenArchive(archive, false);
  } catch (const Exception&) {
    return 0;
  }
  for (int32_t i = 0; i < a.ItemCount() && i < MaxItems; ++i) {
    const uint64_t declared = a.DeclaredSize(i);
    if (declared > MaxDeclaredSize) continue;
    TCappedSink sink(declared);
    try {
      a.ExtractItemToStream(i, sink, 0, 0);
    } catch (const Exception&) {
    }
  }
  a.CloseArchive();
  return 0;
}
