// HKDF-Expand and HKDF-Expand-Label. See crypto/hmac.h.
#include <cstring>

#include "base/buffers.h"
#include "crypto/crypto_internal.h"
#include "crypto/hmac.h"

using namespace tw::crypto;

namespace {

using tHmac = void (*)(const void*, size_t, const void*, size_t, void*);

// The working buffer holds T(i-1) | info | i; T(1) has no predecessor. The
// output is gathered apart and written at the end, so out may overlap prk
// or info (as HMAC allows its out to overlap key and message).
bool Expand(tHmac hmac, size_t hashLength, const void* prk, const void* info, size_t infoLength, void* out,
            size_t outLength) {
  if (out == nullptr || outLength == 0 || prk == nullptr) return false;
  if (infoLength != 0 && info == nullptr) return false;
  // One-byte counter: at most 255 blocks.
  if (outLength > 255 * hashLength) return false;
  // The buffer is sized in 32 bits, like every owned array.
  if (infoLength > 0x7fffffff - hashLength - 1) return false;

  _typebuf<uint8_t> work(static_cast<int32_t>(hashLength + infoLength + 1));
  _typebuf<uint8_t> result(static_cast<int32_t>(outLength));
  uint8_t t[64];
  uint8_t* dst = result.data;
  size_t done = 0;
  for (uint32_t i = 1; done < outLength; ++i) {
    size_t used = 0;
    if (i > 1) {
      std::memcpy(work.data, t, hashLength);
      used = hashLength;
    }
    if (infoLength != 0) std::memcpy(work.data + used, info, infoLength);
    used += infoLength;
    work.data[used++] = static_cast<uint8_t>(i);
    hmac(prk, hashLength, work.data, used, t);
    SecureZero(work.data, static_cast<size_t>(work.count));
    const size_t take = outLength - done < hashLength ? outLength - done : hashLength;
    std::memcpy(dst + done, t, take);
    done += take;
  }
  std::memcpy(out, result.data, outLength);
  SecureZero(result.data, outLength);
  SecureZero(t, sizeof t);
  return true;
}

bool ExpandLabel(tHmac hmac, size_t hashLength, const void* secret, const void* context, size_t contextLength,
                 const char* label, void* out, size_t outLength) {
  if (label == nullptr) return false;
  if (contextLength != 0 && context == nullptr) return false;
  const size_t labelLength = std::strlen(label);
  // HkdfLabel fields: uint16 length, opaque label<7..255>, opaque context<0..255>.
  if (labelLength > 255 - 6 || contextLength > 255 || outLength > 0xffff) return false;

  _typebuf<uint8_t> info(static_cast<int32_t>(labelLength + contextLength + 10));
  uint8_t* p = info.data;
  *p++ = static_cast<uint8_t>(outLength >> 8);
  *p++ = static_cast<uint8_t>(outLength);
  *p++ = static_cast<uint8_t>(6 + labelLength);
  std::memcpy(p, "tls13 ", 6);
  p += 6;
  std::memcpy(p, label, labelLength);
  p += labelLength;
  *p++ = static_cast<uint8_t>(contextLength);
  if (contextLength != 0) std::memcpy(p, context, contextLength);
  const bool ok = Expand(hmac, hashLength, secret, info.data, static_cast<size_t>(info.count), out, outLength);
  SecureZero(info.data, static_cast<size_t>(info.count));
  return ok;
}

}  // namespace

bool HkdfExpandSha256(const void* prk, const void* info, size_t infoLength, void* out, size_t outLength) {
  return Expand(&HmacSha256, 32, prk, info, infoLength, out, outLength);
}

bool HkdfExpandSha384(const void* prk, const void* info, size_t infoLength, void* out, size_t outLength) {
  return Expand(&HmacSha384, 48, prk, info, infoLength, out, outLength);
}

bool HkdfExpandLabelSha256(const void* secret, const void* context, size_t contextLength, const char* label,
                           void* out, size_t outLength) {
  return ExpandLabel(&HmacSha256, 32, secret, context, contextLength, label, out, outLength);
}

bool HkdfExpandLabelSha384(const void* secret, const void* context, size_t contextLength, const char* label,
                           void* out, size_t outLength) {
  return ExpandLabel(&HmacSha384, 48, secret, context, contextLength, label, out, outLength);
}
