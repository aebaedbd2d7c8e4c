#include "coding/Kelhmac.h"

#include <cstring>

#include "coding/KelSecure.h"

namespace kelvane {

namespace {

constexpr uint8_t InnerPad = 0x36;
// Turns the inner pad into the outer pad 0x5C in place.
constexpr uint8_t InnerToOuter = 0x36 ^ 0x5C;

}  // namespace

void HMAC_Init(THMAC_Context& ctx, PHashDesc phash, const void* key, uint16_t klen) noexcept {
  std::memset(&ctx, 0, sizeof(ctx));
  if (!IsValidHashDesc(phash)) return;
  ctx.phashd = phash;
  const uint16_t blockLen = phash->HBlockLen;
  if (klen > blockLen) {
    THashDigest digest;
    HashFullBuffer(phash, digest, key, klen);
    std::memcpy(ctx.hmacbuf, digest.data(), phash->HDigestlen);
    WipeMemory(digest.data(), digest.size());
  } else if (klen > 0) {
    std::memcpy(ctx.hmacbuf, key, klen);
  }
  for (int i = 0; i < blockLen; ++i)
    ctx.hmacbuf[i] ^= InnerPad;
  phash->HInit(ctx.hashctx);
  phash->HUpdateXL(ctx.hashctx, ctx.hmacbuf, blockLen);
}

void HMAC_Update(THMAC_Context& ctx, const void* data, int32_t count) noexcept {
  if (ctx.phashd == nullptr) return;
  ctx.phashd->HUpdateXL(ctx.hashctx, data, count);
}

void HMAC_Final(THMAC_Context& ctx, THashDigest& mac) noexcept {
  PHashDesc phash = ctx.phashd;
  if (phash == nullptr) return;
  const uint16_t blockLen = phash->HBlockLen;
  THashDigest inner;
  phash->HFinal(ctx.hashctx, inner);
  for (int i = 0; i < blockLen; ++i)
    ctx.hmacbuf[i] ^= InnerToOuter;
  phash->HInit(ctx.hashctx);
  phash->HUpdateXL(ctx.hashctx, ctx.hmacbuf, blockLen);
  phash->HUpdateXL(ctx.hashctx, inner.data(), phash->HDigestlen);
  phash->HFinal(ctx.hashctx, mac);
  WipeMemory(inner.data(), inner.size());
  WipeMemory(&ctx, sizeof(ctx));
}

}  // namespace kelvane
