// Which side of the Deflate seam a program uses. Built twice: with
// KELVANE_WITH_ISAL for libkelvane and kelvane, without it for the stubs and
// for builds that have no ISA-L.
#include "coding/KelDeflateBackend.h"

namespace kelvane {
namespace {

#ifdef KELVANE_WITH_ISAL
constexpr bool IsalLinked = true;
#else
constexpr bool IsalLinked = false;
#endif

// Measured on text-like data (bench/README.md): ISA-L's levels 1 and 3 pack
// a little better than zlib's modes 1 and 2, about three times as fast; zlib's
// mode 3 packs better than any ISA-L level, so from mode 3 on zlib deflates.
constexpr int IsalModesUpTo = 2;

}  // namespace

bool DeflateBackendLinked(TKelDeflateBackend backend) {
  return backend == dbZlib || IsalLinked;
}

TKelDeflateBackend DefaultInflateBackend() {
  return IsalLinked ? dbIsal : dbZlib;
}

TKelDeflateBackend DefaultDeflateBackend(int level) {
  return IsalLinked && level >= 1 && level <= IsalModesUpTo ? dbIsal : dbZlib;
}

std::unique_ptr<TKelInflateCore> NewInflateCore(TKelDeflateBackend backend) {
#ifdef KELVANE_WITH_ISAL
  if (backend == dbIsal) return NewIsalInflateCore();
#endif
  (void)backend;
  return NewZlibInflateCore();
}

std::unique_ptr<TKelDeflateCore> NewDeflateCore(TKelDeflateBackend backend, int level) {
#ifdef KELVANE_WITH_ISAL
  if (backend == dbIsal && level >= 1 && level <= IsalModesUpTo) return NewIsalDeflateCore(level);
#endif
  (void)backend;
  return NewZlibDeflateCore(level);
}

}  // namespace kelvane
