// The zlib side of KelDeflateBackend.h: raw Deflate (negative window bits).
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "coding/KelDeflateBackend.h"
#include "coding/KelZlib.h"

namespace kelvane {
namespace {

// zlib's memory comes zero-filled, so no decision can ever depend on bytes
// left over from earlier use. calloc refuses an Items x Size that overflows.
voidpf ZeroFillAlloc(voidpf, uInt items, uInt size) {
  return std::calloc(items, size);
}

void ZeroFillFree(voidpf, voidpf address) {
  std::free(address);
}

void PrepareStream(z_stream& z) {
  z = z_stream{};
  z.zalloc = ZeroFillAlloc;
  z.zfree = ZeroFillFree;
  z.opaque = Z_NULL;
}

// Raw Deflate: negative window bits, no header, no trailer, no Adler-32.
constexpr int RawWindowBits = -MAX_WBITS;
constexpr int MemoryLevel = 8;

uInt Clamp(size_t n) {
  return static_cast<uInt>(std::min<size_t>(n, UINT_MAX));
}

class TZlibInflateCore final : public TKelInflateCore {
 public:
  TZlibInflateCore() {
    PrepareStream(FStream);
    const int r = inflateInit2(&FStream, RawWindowBits);
    if (r != Z_OK)
      throw EDecompressionError("the decompressor cannot start (zlib " + std::to_string(r) + ")");
  }
  ~TZlibInflateCore() override { inflateEnd(&FStream); }

  void Reset() override {
    const int r = inflateReset(&FStream);
    if (r != Z_OK)
      throw EDecompressionError("the decompressor cannot start (zlib " + std::to_string(r) + ")");
  }

  TKelInflateStep Step(const uint8_t* in, size_t inCount, uint8_t* out, size_t outCount) override {
    const uInt inSize = Clamp(inCount);
    const uInt outSize = Clamp(outCount);
    FStream.next_in = const_cast<Bytef*>(in);
    FStream.avail_in = inSize;
    FStream.next_out = out;
    FStream.avail_out = outSize;
    const int r = inflate(&FStream, Z_NO_FLUSH);
    TKelInflateStep step;
    step.Consumed = inSize - FStream.avail_in;
    step.Produced = outSize - FStream.avail_out;
    switch (r) {
      case Z_STREAM_END:
        step.Kind = TKelInflateStep::skStreamEnd;
        break;
      case Z_OK:
        break;
      case Z_BUF_ERROR:
        step.Kind = TKelInflateStep::skNoProgress;
        break;
      default:
        step.Kind = TKelInflateStep::skCorrupt;
        step.Reason = FStream.msg ? FStream.msg : "zlib refused the data";
    }
    return step;
  }

 private:
  z_stream FStream;
};

class TZlibDeflateCore final : public TKelDeflateCore {
 public:
  explicit TZlibDeflateCore(int level) {
    PrepareStream(FStream);
    const int r =
        deflateInit2(&FStream, level, Z_DEFLATED, RawWindowBits, MemoryLevel, Z_DEFAULT_STRATEGY);
    if (r != Z_OK) throw ECompressionError(r < 0 ? r : Z_STREAM_ERROR);
    FOpen = true;
  }
  ~TZlibDeflateCore() override { End(); }

  size_t Compress(const uint8_t* data, size_t count, bool last, TBytes& out) override {
    // One call is enough with this much room (incompressible input plus the
    // block and flush overhead); the loop only guards against zlib needing more.
    const size_t room = std::max<size_t>((count + count / 10 + 12 + 255) & ~size_t{255},
                                         deflateBound(&FStream, Clamp(count)) + 16);
    if (out.size() < room) out.resize(room);

    const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
    size_t inLeft = count;
    size_t produced = 0;
    FStream.next_in = const_cast<Bytef*>(data);
    for (;;) {
      if (produced == out.size()) out.resize(out.size() * 2);
      const uInt in = Clamp(inLeft);
      const uInt room = Clamp(out.size() - produced);
      FStream.avail_in = in;
      FStream.next_out = out.data() + produced;
      FStream.avail_out = room;
      const int r = deflate(&FStream, flush);
      if (r < 0) throw ECompressionError(r);
      inLeft -= in - FStream.avail_in;
      produced += room - FStream.avail_out;
      if (last ? r == Z_STREAM_END : (inLeft == 0 && FStream.avail_out > 0)) break;
    }
    return produced;
  }

  void Restart(const uint8_t* dictionary, size_t count) override {
    int r = deflateReset(&FStream);
    if (r == Z_OK && count > 0) r = deflateSetDictionary(&FStream, dictionary, Clamp(count));
    if (r != Z_OK) throw ECompressionError(r < 0 ? r : Z_STREAM_ERROR);
  }

  int End() override {
    if (!FOpen) return Z_OK;
    FOpen = false;
    const int r = deflateEnd(&FStream);
    return r < 0 ? r : Z_OK;
  }

 private:
  z_stream FStream;
  bool FOpen = false;
};

}  // namespace

std::unique_ptr<TKelInflateCore> NewZlibInflateCore() {
  return std::make_unique<TZlibInflateCore>();
}

std::unique_ptr<TKelDeflateCore> NewZlibDeflateCore(int level) {
  return std::make_unique<TZlibDeflateCore>(level);
}

}  // namespace kelvane
