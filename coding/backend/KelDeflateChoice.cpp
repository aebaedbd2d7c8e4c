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

// Measured on text-like data (bench/README.md): ISA-L's levels 1 to 3 make
// archives no larger than zlib's at modes 1 to 3, ten times faster or more.
constexpr int IsalModesUpTo = 3;

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
