// The ISA-L side of KelDeflateBackend.h: raw Deflate, 32 KiB window.
#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <new>

#include "coding/KelDeflateBackend.h"
#include "coding/KelZlib.h"

namespace kelvane {
namespace {

uint32_t Clamp(size_t n) {
  return static_cast<uint32_t>(std::min<size_t>(n, UINT32_MAX));
}

const char* InflateFault(int r) {
  switch (r) {
    case ISAL_INVALID_BLOCK:
      return "invalid block";
    case ISAL_INVALID_SYMBOL:
      return "invalid code";
    case ISAL_INVALID_LOOKBACK:
      return "invalid distance too far back";
    default:
      return "the decompressor refused the data";
  }
}

class TIsalInflateCore final : public TKelInflateCore {
 public:
  TIsalInflateCore() {
    // Its tables and its 64 KiB output window make the state large: on the heap.
    FState = std::make_unique<inflate_state>();
    Reset();
  }

  void Reset() override {
    isal_inflate_init(FState.get());
    FState->crc_flag = ISAL_DEFLATE;
    FState->hist_bits = 0;  // the whole 32 KiB
  }

  TKelInflateStep Step(const uint8_t* in, size_t inCount, uint8_t* out, size_t outCount) override {
    inflate_state& s = *FState;
    const uint32_t inSize = Clamp(inCount);
    const uint32_t outSize = Clamp(outCount);
    s.next_in = const_cast<uint8_t*>(in);
    s.avail_in = inSize;
    s.next_out = out;
    s.avail_out = outSize;
    const int r = isal_inflate(&s);
    TKelInflateStep step;
    step.Produced = outSize - s.avail_out;
    step.Consumed = inSize - s.avail_in;
    if (r < 0) {
      step.Kind = TKelInflateStep::skCorrupt;
      step.Reason = InflateFault(r);
      return step;
    }
    if (s.block_state == ISAL_BLOCK_FINISH) {
      // Whole bytes it read ahead past the final block are not the stream's,
      // so that bytes after the end are seen as such.
      const size_t ahead = size_t(s.read_in_length / 8);
      s.read_in_length %= 8;
      if (ahead <= step.Consumed)
        step.Consumed -= ahead;
      else
        step.TakenPastEnd = true;
      step.Kind = TKelInflateStep::skStreamEnd;
    } else {
      // Output it keeps back (a full caller buffer) comes without more input.
      step.OutputPending =
          s.tmp_out_valid > s.tmp_out_processed || s.block_state == ISAL_BLOCK_INPUT_DONE;
    }
    return step;
  }

 private:
  std::unique_ptr<inflate_state> FState;
};

// The ISA-L level for a compression mode: mode 1 the fastest level, mode 2
// the one that packs best (on text still smaller than zlib's mode 2).
int IsalLevel(int mode) {
  return mode <= 1 ? 1 : ISAL_DEF_MAX_LEVEL;
}

size_t LevelBufferSize(int level) {
  switch (level) {
    case 1:
      return ISAL_DEF_LVL1_DEFAULT;
    case 2:
      return ISAL_DEF_LVL2_DEFAULT;
    default:
      return ISAL_DEF_LVL3_DEFAULT;
  }
}

class TIsalDeflateCore final : public TKelDeflateCore {
 public:
  explicit TIsalDeflateCore(int mode)
      : FStream(std::make_unique<isal_zstream>()), FLevelBuffer(LevelBufferSize(IsalLevel(mode))) {
    isal_deflate_init(FStream.get());
    FStream->level = uint32_t(IsalLevel(mode));
    FStream->level_buf = FLevelBuffer.data();
    FStream->level_buf_size = uint32_t(FLevelBuffer.size());
    FStream->gzip_flag = IGZIP_DEFLATE;
    FStream->hist_bits = 0;
    FStream->flush = SYNC_FLUSH;
  }

  size_t Compress(const uint8_t* data, size_t count, bool last, TBytes& out) override {
    // Incompressible input plus block headers and the flush marker.
    const size_t room = count + count / 8 + 1024;
    if (out.size() < room) out.resize(room);
    isal_zstream& s = *FStream;
    s.end_of_stream = last ? 1 : 0;
    s.next_in = const_cast<uint8_t*>(data);
    size_t inLeft = count;
    size_t produced = 0;
    FStarted = true;
    for (;;) {
      if (produced == out.size()) out.resize(out.size() * 2);
      const uint32_t in = Clamp(inLeft);
      const uint32_t space = Clamp(out.size() - produced);
      s.avail_in = in;
      s.next_out = out.data() + produced;
      s.avail_out = space;
      const int r = isal_deflate(&s);
      if (r != COMP_OK) throw ECompressionError(-2);
      inLeft -= in - s.avail_in;
      produced += space - s.avail_out;
      if (inLeft > 0) continue;
      // With room left over, everything given is flushed.
      if (last ? s.internal_state.state == ZSTATE_END : s.avail_out > 0) break;
    }
    FFinished = last;
    return produced;
  }

  void Restart(const uint8_t* dictionary, size_t count) override {
    if (!FStream) throw ECompressionError(-2);
    isal_deflate_reset(FStream.get());
    FStream->flush = SYNC_FLUSH;
    if (count > 0 && isal_deflate_set_dict(FStream.get(), const_cast<uint8_t*>(dictionary),
                                           Clamp(count)) != COMP_OK)
      throw ECompressionError(-2);
    FStarted = FFinished = false;
  }

  int End() override {
    const bool unfinished = FStarted && !FFinished;
    FStream.reset();
    FLevelBuffer = TBytes();
    FStarted = FFinished = false;
    return unfinished ? -3 : 0;
  }

 private:
  std::unique_ptr<isal_zstream> FStream;
  TBytes FLevelBuffer;
  bool FStarted = false;
  bool FFinished = false;
};

}  // namespace

std::unique_ptr<TKelInflateCore> NewIsalInflateCore() {
  try {
    return std::make_unique<TIsalInflateCore>();
  } catch (const std::bad_alloc&) {
    throw EDecompressionError("the decompressor cannot start (no memory)");
  }
}

std::unique_ptr<TKelDeflateCore> NewIsalDeflateCore(int mode) {
  return std::make_unique<TIsalDeflateCore>(mode);
}

}  // namespace kelvane
