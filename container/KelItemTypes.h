// Enumerations held by every directory item; the engine's other enumerations
// build on these (the container layer cannot include the engine's headers).
#pragma once

#include <cstdint>

namespace kelvane {

enum TKelCryptoAlgorithm : uint8_t { caPkzipClassic, caAES_128, caAES_192, caAES_256 };

enum TKelProcessOperation : uint8_t {
  poAdd,
  poMove,
  poDelete,
  poUpdate,
  poExtract,
  poTest,
  poRename,
  poChangeAttr,
  poChangeComment,
  poMakeSFX,
  poMerge
};

}  // namespace kelvane
