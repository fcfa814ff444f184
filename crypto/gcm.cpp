// AES-GCM. See crypto/gcm.h. The argument checks, the tag comparison and
// the table core; the hardware core is in crypto/aes_x86.cpp.
//
// GHASH multiplies by H with the 8-bit table method: the accumulator is
// taken byte by byte from the last to the first; each step shifts it by
// eight bits (a multiplication by x^8), folds the byte shifted out back in
// through kReduce, and adds the per-key product of H with the next byte.
#include "crypto/gcm.h"

#include <cstring>

#include "crypto/aes_internal.h"
#include "crypto/crypto_internal.h"
#include "crypto/gcm_internal.h"

namespace tw::crypto {
namespace {

// In GCM's reflected order the byte shifted out holds x^120 (bit 0x80) to
// x^127 (bit 0x01); times x^8 they become x^128..x^135, and x^128 equals
// x^7 + x^2 + x + 1, which is 0xE1 in the top byte. kReduce[b] is the
// resulting top 16 bits.
constexpr struct sReduce {
  uint16_t v[256];
  constexpr sReduce() : v() {
    for (int b = 0; b < 256; ++b) {
      uint16_t r = 0;
      for (int k = 0; k < 8; ++k)
        if (b & (0x80 >> k)) r ^= uint16_t(0xE100 >> k);
      v[b] = r;
    }
  }
} kReduce;

struct sBlock {
  uint64_t hi, lo;  // bytes 0-7 and 8-15, big-endian
};

inline sBlock Load(const uint8_t* p) { return {LoadBe64(p), LoadBe64(p + 8)}; }
inline void Store(uint8_t* p, sBlock b) {
  StoreBe64(p, b.hi);
  StoreBe64(p + 8, b.lo);
}

// x := x * H
void GhashMul(const sGcmCtx* ctx, sBlock* x) {
  uint8_t bytes[16];
  Store(bytes, *x);
  uint64_t zh = 0, zl = 0;
  for (int i = 15; i >= 0; --i) {
    const uint8_t out = uint8_t(zl);
    zl = (zl >> 8) | (zh << 56);
    zh = (zh >> 8) ^ (uint64_t(kReduce.v[out]) << 48);
    zh ^= ctx->hTable[bytes[i]][0];
    zl ^= ctx->hTable[bytes[i]][1];
  }
  x->hi = zh;
  x->lo = zl;
}

// Absorbs data, zero-filling its last piece to 16 bytes.
void GhashUpdate(const sGcmCtx* ctx, sBlock* acc, const uint8_t* data, size_t length) {
  while (length != 0) {
    uint8_t piece[16] = {};
    const size_t n = length < 16 ? length : 16;
    std::memcpy(piece, data, n);
    const sBlock b = Load(piece);
    acc->hi ^= b.hi;
    acc->lo ^= b.lo;
    GhashMul(ctx, acc);
    data += n;
    length -= n;
  }
}

void Increment32(uint8_t counter[16]) {
  StoreBe32(counter + 12, LoadBe32(counter + 12) + 1);
}

}  // namespace

void GhashPortable(const sGcmCtx* ctx, uint8_t acc[16], const uint8_t* data, size_t length) {
  sBlock a = Load(acc);
  GhashUpdate(ctx, &a, data, length);
  Store(acc, a);
}

void GcmCorePortable(const sGcmCtx* ctx, const uint8_t* nonce, size_t nonceLength, const uint8_t* aad,
                     size_t aadLength, const uint8_t* in, size_t length, uint8_t* out, bool decrypt,
                     uint8_t tag[16]) {
  uint8_t j0[16];
  if (nonceLength == 12) {
    std::memcpy(j0, nonce, 12);
    j0[12] = j0[13] = j0[14] = 0;
    j0[15] = 1;
  } else {
    sBlock acc{0, 0};
    GhashUpdate(ctx, &acc, nonce, nonceLength);
    acc.lo ^= uint64_t(nonceLength) * 8;
    GhashMul(ctx, &acc);
    Store(j0, acc);
  }
  uint8_t mask[16];
  AesEncryptBlockPortable(ctx->roundKeys, j0, mask);

  sBlock acc{0, 0};
  GhashUpdate(ctx, &acc, aad, aadLength);

  uint8_t counter[16], stream[16];
  std::memcpy(counter, j0, 16);
  for (size_t done = 0; done < length;) {
    const size_t n = length - done < 16 ? length - done : 16;
    Increment32(counter);
    AesEncryptBlockPortable(ctx->roundKeys, counter, stream);
    // GHASH runs over the ciphertext: before decrypting, after encrypting,
    // so that in == out works both ways.
    if (decrypt) GhashUpdate(ctx, &acc, in + done, n);
    for (size_t i = 0; i < n; ++i) out[done + i] = uint8_t(in[done + i] ^ stream[i]);
    if (!decrypt) GhashUpdate(ctx, &acc, out + done, n);
    done += n;
  }
  acc.hi ^= uint64_t(aadLength) * 8;
  acc.lo ^= uint64_t(length) * 8;
  GhashMul(ctx, &acc);
  Store(tag, acc);
  for (int i = 0; i < 16; ++i) tag[i] ^= mask[i];
  SecureZero(stream, sizeof stream);
  SecureZero(mask, sizeof mask);
}

bool GcmCrypt(const sGcmCtx* ctx, const uint8_t* nonce, size_t nonceLength, const uint8_t* aad, size_t aadLength,
              const uint8_t* in, size_t length, uint8_t* out, uint8_t* tagOut, const uint8_t* expectedTag) {
  const bool decrypt = expectedTag != nullptr;
  if (ctx == nullptr || nonce == nullptr || nonceLength == 0 || (!decrypt && tagOut == nullptr)) return false;
  // A context never keyed (or wiped) has no round count: the rounds would
  // otherwise make a keystream anyone can compute.
  const int32_t rounds = ctx->roundKeys.rounds;
  if (rounds != 10 && rounds != 12 && rounds != 14) return false;
  if (aadLength != 0 && aad == nullptr) return false;
  if (length != 0 && (in == nullptr || out == nullptr)) return false;
  // The 32-bit counter allows 2^32 - 2 blocks per nonce.
  if (uint64_t(length) > (uint64_t(0xFFFFFFFEu) * 16)) return false;

  uint8_t computed[16];
  if (AesHardwareActive())
    GcmCoreHardware(ctx, nonce, nonceLength, aad, aadLength, in, length, out, decrypt, computed);
  else
    GcmCorePortable(ctx, nonce, nonceLength, aad, aadLength, in, length, out, decrypt, computed);

  bool ok = true;
  if (decrypt) {
    uint8_t diff = 0;
    for (int i = 0; i < 16; ++i) diff |= uint8_t(computed[i] ^ expectedTag[i]);
    ok = diff == 0;
  } else {
    std::memcpy(tagOut, computed, 16);
  }
  SecureZero(computed, sizeof computed);
  return ok;
}

}  // namespace tw::crypto

using namespace tw::crypto;

bool GcmSetKey(int32_t bits, const void* key, sGcmCtx* ctx) {
  if (ctx == nullptr || key == nullptr || bits == 0) return false;
  if (!AesExpandEncryptKey(static_cast<const uint8_t*>(key), bits, &ctx->roundKeys)) return false;
  uint8_t h[16] = {};
  AesEncryptBlock(ctx->roundKeys, h, h);
  // The byte 0x80 is the polynomial 1, so its entry is H; each lower bit is
  // one more factor x: a right shift, reduced when x^127 falls off.
  uint64_t vh = LoadBe64(h), vl = LoadBe64(h + 8);
  std::memset(ctx->hTable, 0, sizeof ctx->hTable);
  for (int bit = 0x80; bit != 0; bit >>= 1) {
    ctx->hTable[bit][0] = vh;
    ctx->hTable[bit][1] = vl;
    // The reduction is masked in rather than branched on: H is secret.
    const uint64_t carry = 0 - (vl & 1);
    vl = (vl >> 1) | (vh << 63);
    vh = (vh >> 1) ^ (carry & 0xE100000000000000ull);
  }
  for (int b = 2; b < 256; b <<= 1)
    for (int low = 1; low < b; ++low) {
      ctx->hTable[b + low][0] = ctx->hTable[b][0] ^ ctx->hTable[low][0];
      ctx->hTable[b + low][1] = ctx->hTable[b][1] ^ ctx->hTable[low][1];
    }
  SecureZero(h, sizeof h);
  return true;
}

bool GcmEncryptAndTag(const sGcmCtx* ctx, const void* nonce, size_t nonceLength, const void* aad5,
                      const void* plaintext, size_t length, void* ciphertext, void* tag16) {
  if (aad5 == nullptr) return false;
  return GcmCrypt(ctx, static_cast<const uint8_t*>(nonce), nonceLength, static_cast<const uint8_t*>(aad5), 5,
                  static_cast<const uint8_t*>(plaintext), length, static_cast<uint8_t*>(ciphertext),
                  static_cast<uint8_t*>(tag16), nullptr);
}

bool GcmDecryptAndVerify(const sGcmCtx* ctx, const void* nonce, size_t nonceLength, const void* aad5,
                         const void* ciphertext, size_t length, void* plaintext, const void* tag16) {
  if (aad5 == nullptr || tag16 == nullptr) return false;
  return GcmCrypt(ctx, static_cast<const uint8_t*>(nonce), nonceLength, static_cast<const uint8_t*>(aad5), 5,
                  static_cast<const uint8_t*>(ciphertext), length, static_cast<uint8_t*>(plaintext), nullptr,
                  static_cast<const uint8_t*>(tag16));
}

void GcmWipe(sGcmCtx* ctx) {
  if (ctx != nullptr) SecureZero(ctx, sizeof *ctx);
}
