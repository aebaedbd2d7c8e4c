// The modes of operation of TCipher, over the class's block operations.
#include <cstring>

#include "coding/KelCipher.h"

namespace kelvane {

namespace {

bool Overlap(const uint8_t* a, const uint8_t* b, size_t count) {
  return a != b && a < b + count && b < a + count;
}

}  // namespace

void TCipher::EncodeBuffer(const void* source, void* dest, int32_t dataSize) {
  CodeBlocks(source, dest, dataSize, true);
}

void TCipher::DecodeBuffer(const void* source, void* dest, int32_t dataSize) {
  CodeBlocks(source, dest, dataSize, false);
}

void TCipher::CodeBlocks(const void* source, void* dest, int32_t dataSize, bool encode) {
  CheckInitialized();
  if (dataSize <= 0) return;
  auto* src = static_cast<const uint8_t*>(source);
  auto* dst = static_cast<uint8_t*>(dest);
  const auto count = static_cast<size_t>(dataSize);
  // The modes work from src to dst a block at a time; a partial overlap would
  // let a written block change input not yet read, so it is moved first.
  if (Overlap(src, dst, count) && FMode < cmCTSMAC) {
    std::memmove(dst, src, count);
    src = dst;
  }
  if (encode) {
    Encode(src, dst, count);
  } else {
    Decode(src, dst, count);
  }
}

void TCipher::ShiftFeedback(uint8_t in) {
  std::memmove(FFeedback.data(), FFeedback.data() + 1, FFeedback.size() - 1);
  FFeedback.back() = in;
}

// out = in ^ E(F) on the partial bytes; F ^= E(F).
void TCipher::EncodePartialWithFeedback(const uint8_t* src, uint8_t* dst, size_t count) {
  FBuffer = FFeedback;
  EncodeBlock(FBuffer.data());
  for (size_t i = 0; i < count; ++i)
    dst[i] = src[i] ^ FBuffer[i];
  for (size_t i = 0; i < FBuffer.size(); ++i)
    FFeedback[i] ^= FBuffer[i];
}

// F ^= E(F): the partial bytes themselves do not enter the code.
void TCipher::MacPartial() {
  FBuffer = FFeedback;
  EncodeBlock(FBuffer.data());
  for (size_t i = 0; i < FBuffer.size(); ++i)
    FFeedback[i] ^= FBuffer[i];
}

void TCipher::Encode(const uint8_t* src, uint8_t* dst, size_t count) {
  const auto b = static_cast<size_t>(FBufSize);
  uint8_t* buf = FBuffer.data();
  uint8_t* f = FFeedback.data();
  switch (FMode) {
    case cmCTS:
    case cmCBC:
      for (; count >= b; count -= b, src += b, dst += b) {
        for (size_t i = 0; i < b; ++i)
          buf[i] = src[i] ^ f[i];
        EncodeBlock(buf);
        std::memcpy(dst, buf, b);
        if (FMode == cmCTS) {
          for (size_t i = 0; i < b; ++i)
            f[i] ^= buf[i];
        } else {
          std::memcpy(f, buf, b);
        }
      }
      if (count > 0) EncodePartialWithFeedback(src, dst, count);
      break;
    case cmCFB:
      for (size_t n = 0; n < count; ++n) {
        std::memcpy(buf, f, b);
        EncodeBlock(buf);
        dst[n] = src[n] ^ buf[0];
        ShiftFeedback(dst[n]);
      }
      break;
    case cmOFB:
      for (size_t n = 0; n < count; ++n) {
        std::memcpy(buf, f, b);
        EncodeBlock(buf);
        dst[n] = src[n] ^ buf[0];
        ShiftFeedback(buf[0]);
      }
      break;
    case cmCTR:
      CodeCTR(src, dst, count);
      break;
    case cmECB:
      for (; count >= b; count -= b, src += b, dst += b) {
        std::memcpy(buf, src, b);
        EncodeBlock(buf);
        std::memcpy(dst, buf, b);
      }
      if (count > 0) {
        std::memcpy(buf, src, count);
        EncodeBlock(buf);
        std::memcpy(dst, buf, count);
      }
      break;
    case cmCTSMAC:
    case cmCBCMAC:
      for (; count >= b; count -= b, src += b) {
        for (size_t i = 0; i < b; ++i)
          buf[i] = src[i] ^ f[i];
        EncodeBlock(buf);
        if (FMode == cmCTSMAC) {
          for (size_t i = 0; i < b; ++i)
            f[i] ^= buf[i];
        } else {
          std::memcpy(f, buf, b);
        }
      }
      if (count > 0) MacPartial();
      break;
    case cmCFBMAC:
      for (size_t n = 0; n < count; ++n) {
        std::memcpy(buf, f, b);
        EncodeBlock(buf);
        ShiftFeedback(src[n] ^ buf[0]);
      }
      break;
  }
}

void TCipher::Decode(const uint8_t* src, uint8_t* dst, size_t count) {
  const auto b = static_cast<size_t>(FBufSize);
  uint8_t* buf = FBuffer.data();
  uint8_t* f = FFeedback.data();
  switch (FMode) {
    case cmCTS:
    case cmCBC:
      for (; count >= b; count -= b, src += b, dst += b) {
        std::memcpy(buf, src, b);
        DecodeBlock(buf);
        for (size_t i = 0; i < b; ++i) {
          const uint8_t c = src[i];  // read before dst (maybe src) is written
          dst[i] = buf[i] ^ f[i];
          f[i] = FMode == cmCTS ? static_cast<uint8_t>(f[i] ^ c) : c;
        }
      }
      if (count > 0) EncodePartialWithFeedback(src, dst, count);
      break;
    case cmCFB:
      for (size_t n = 0; n < count; ++n) {
        std::memcpy(buf, f, b);
        EncodeBlock(buf);
        const uint8_t c = src[n];
        dst[n] = c ^ buf[0];
        ShiftFeedback(c);
      }
      break;
    case cmECB:
      for (; count >= b; count -= b, src += b, dst += b) {
        std::memcpy(buf, src, b);
        DecodeBlock(buf);
        std::memcpy(dst, buf, b);
      }
      if (count > 0) Encode(src, dst, count);  // a partial block is only encrypted
      break;
    case cmOFB:
    case cmCTR:
    case cmCTSMAC:
    case cmCBCMAC:
    case cmCFBMAC:
      Encode(src, dst, count);
      break;
  }
}

void TCipher::IncrementNonce() {
  for (size_t i = 0; i < 8 && i < ctrMode_Nonce.size(); ++i) {
    if (++ctrMode_Nonce[i] != 0) break;
  }
}

void TCipher::CodeCTR(const uint8_t* src, uint8_t* dst, size_t count) {
  const int32_t b = FBufSize;
  for (size_t n = 0; n < count; ++n) {
    if (ctrMode_Position >= b) {
      IncrementNonce();
      ctrMode_EncryptionBlock = ctrMode_Nonce;
      EncodeBlock(ctrMode_EncryptionBlock.data());
      ctrMode_Position = 0;
    }
    dst[n] = src[n] ^ ctrMode_EncryptionBlock[static_cast<size_t>(ctrMode_Position++)];
  }
}

}  // namespace kelvane
