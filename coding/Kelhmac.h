// HMAC (RFC 2104) over any registered hash descriptor.
#pragma once

#include "coding/KelHashDesc.h"

namespace kelvane {

struct THMAC_Context {
  THashContext hashctx;              // the inner hash
  uint8_t hmacbuf[MaxHashBlockLen];  // the key block XOR-ed with the inner pad
  PHashDesc phashd;                  // nullptr: the context is unusable
};

// Starts an HMAC keyed with KLen bytes of Key (hashed first when longer than a
// block). A missing or invalid descriptor leaves the context unusable, so that
// later calls do nothing.
void HMAC_Init(THMAC_Context& ctx, PHashDesc phash, const void* key, uint16_t klen) noexcept;
void HMAC_Update(THMAC_Context& ctx, const void* data, int32_t count) noexcept;
// Writes the code into Mac (the first HDigestlen bytes; the rest zero) and
// wipes the context, which then stays unusable: a context is finished once.
// An unusable context leaves Mac untouched.
void HMAC_Final(THMAC_Context& ctx, THashDigest& mac) noexcept;

}  // namespace kelvane
