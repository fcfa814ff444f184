// AES and GCM on the x86 AES instructions (AESENC, AESDEC, AESIMC) and the
// carry-less multiply (PCLMULQDQ), built with per-function target
// attributes so the rest of the program keeps the baseline instruction set
// (the 32-bit product is built for SSE2 only). crypto/aes.cpp and
// crypto/gcm.cpp call these only after cpuid has confirmed the instructions.
//
// Nothing here branches on or indexes by a key or data byte.
//
// GHASH in registers: a 16-byte block read as a big-endian 128-bit number
// holds GCM's coefficient of x^0 in its top bit and x^127 in its bottom
// bit, the reflection of the polynomial. The carry-less product of two
// reflected 128-bit values is the reflected 255-bit product one bit too
// low, so it is shifted left once; the low 128 bits then hold x^128 ..
// x^255, which fold back through x^128 = x^7 + x^2 + x + 1: a multiplication
// by x^k is a right shift by k in this order, and the bits shifted out (x^128
// .. x^134) fold once more, added in beforehand (Reduce).
#include <cstdlib>
#include <cstring>

#include "crypto/aes_internal.h"
#include "crypto/crypto_internal.h"
#include "crypto/gcm_internal.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
// 32-bit Windows promises only 4-byte stack alignment on entry; the vector
// spills here want 16.
#if defined(__i386__)
#define TW_AES_ENTRY __attribute__((target("aes,pclmul,ssse3,sse4.1"), force_align_arg_pointer))
#else
#define TW_AES_ENTRY __attribute__((target("aes,pclmul,ssse3,sse4.1")))
#endif
#define TW_AES_INLINE static inline __attribute__((target("aes,pclmul,ssse3,sse4.1"), always_inline))
#endif

namespace tw::crypto {

#if defined(__i386__) || defined(__x86_64__)

bool AesHardwareAvailable() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  const bool pclmul = (c & (1u << 1)) != 0;
  const bool ssse3 = (c & (1u << 9)) != 0;
  const bool sse41 = (c & (1u << 19)) != 0;
  const bool aes = (c & (1u << 25)) != 0;
  return pclmul && ssse3 && sse41 && aes;
}

namespace {

// ---- loading round keys: big-endian words to the instructions' byte order ----

TW_AES_INLINE __m128i WordSwap() { return _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3); }
TW_AES_INLINE __m128i ByteReverse() { return _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15); }

TW_AES_INLINE void LoadKeys(const sAesRoundKeys& k, __m128i rk[15]) {
  // All fifteen slots: the unused ones of shorter keys are zero.
  const __m128i swap = WordSwap();
  for (int r = 0; r < 15; ++r)
    rk[r] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(k.words + 4 * r)), swap);
}

TW_AES_INLINE __m128i Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
TW_AES_INLINE void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

TW_AES_INLINE __m128i Encrypt(const __m128i rk[15], int rounds, __m128i x) {
  x = _mm_xor_si128(x, rk[0]);
  for (int r = 1; r < rounds; ++r) x = _mm_aesenc_si128(x, rk[r]);
  return _mm_aesenclast_si128(x, rk[rounds]);
}

TW_AES_INLINE __m128i Decrypt(const __m128i rk[15], int rounds, __m128i x) {
  x = _mm_xor_si128(x, rk[0]);
  for (int r = 1; r < rounds; ++r) x = _mm_aesdec_si128(x, rk[r]);
  return _mm_aesdeclast_si128(x, rk[rounds]);
}

// N blocks side by side: the instructions' latency hides behind each other.
template <int N>
TW_AES_INLINE void EncryptN(const __m128i rk[15], int rounds, __m128i x[N]) {
#pragma GCC unroll 16
  for (int i = 0; i < N; ++i) x[i] = _mm_xor_si128(x[i], rk[0]);
  for (int r = 1; r < rounds; ++r) {
    const __m128i k = rk[r];
#pragma GCC unroll 16
    for (int i = 0; i < N; ++i) x[i] = _mm_aesenc_si128(x[i], k);
  }
  const __m128i k = rk[rounds];
#pragma GCC unroll 16
  for (int i = 0; i < N; ++i) x[i] = _mm_aesenclast_si128(x[i], k);
}

template <int N>
TW_AES_INLINE void DecryptN(const __m128i rk[15], int rounds, __m128i x[N]) {
#pragma GCC unroll 16
  for (int i = 0; i < N; ++i) x[i] = _mm_xor_si128(x[i], rk[0]);
  for (int r = 1; r < rounds; ++r) {
    const __m128i k = rk[r];
#pragma GCC unroll 16
    for (int i = 0; i < N; ++i) x[i] = _mm_aesdec_si128(x[i], k);
  }
  const __m128i k = rk[rounds];
#pragma GCC unroll 16
  for (int i = 0; i < N; ++i) x[i] = _mm_aesdeclast_si128(x[i], k);
}

void WipeKeys(__m128i rk[15]) { SecureZero(rk, 15 * sizeof(__m128i)); }

// ---- GHASH ----

// The 128-bit value shifted right by k bits (0 < k < 64) across its halves.
TW_AES_INLINE __m128i ShiftRight128(__m128i v, int k) {
  return _mm_or_si128(_mm_srli_epi64(v, k), _mm_srli_si128(_mm_slli_epi64(v, 64 - k), 8));
}

// lo, hi: a carry-less 255-bit product of reflected values; returns the
// reflected product reduced modulo the GCM polynomial.
TW_AES_INLINE __m128i Reduce(__m128i lo, __m128i hi) {
  // Shift [hi:lo] left by one bit.
  const __m128i carryLo = _mm_srli_epi64(lo, 63), carryHi = _mm_srli_epi64(hi, 63);
  lo = _mm_or_si128(_mm_slli_epi64(lo, 1), _mm_slli_si128(carryLo, 8));
  hi = _mm_or_si128(_mm_or_si128(_mm_slli_epi64(hi, 1), _mm_slli_si128(carryHi, 8)), _mm_srli_si128(carryLo, 8));
  // lo = [X1:X0] stands for x^128..x^255. The low bits of X0 leave the
  // bottom when multiplied by x, x^2 and x^7; their fold lands at the top of
  // X1 first (shifts left by 63, 62 and 57).
  const __m128i spill =
      _mm_xor_si128(_mm_xor_si128(_mm_slli_epi64(lo, 63), _mm_slli_epi64(lo, 62)), _mm_slli_epi64(lo, 57));
  const __m128i d = _mm_xor_si128(lo, _mm_slli_si128(spill, 8));
  const __m128i folded =
      _mm_xor_si128(_mm_xor_si128(d, ShiftRight128(d, 1)), _mm_xor_si128(ShiftRight128(d, 2), ShiftRight128(d, 7)));
  return _mm_xor_si128(hi, folded);
}

// Karatsuba's middle factor: lane 0 holds the XOR of both 64-bit halves.
TW_AES_INLINE __m128i Halves(__m128i v) { return _mm_xor_si128(v, _mm_shuffle_epi32(v, 0x4E)); }

// The three partial products of a Karatsuba multiplication, summed over
// several blocks before the one reduction they share.
struct sProduct {
  __m128i lo, hi, mid;
};

TW_AES_INLINE void MulAdd(sProduct& p, __m128i a, __m128i b, __m128i bHalves) {
  p.lo = _mm_xor_si128(p.lo, _mm_clmulepi64_si128(a, b, 0x00));
  p.hi = _mm_xor_si128(p.hi, _mm_clmulepi64_si128(a, b, 0x11));
  p.mid = _mm_xor_si128(p.mid, _mm_clmulepi64_si128(Halves(a), bHalves, 0x00));
}

TW_AES_INLINE __m128i Finish(const sProduct& p) {
  const __m128i mid = _mm_xor_si128(p.mid, _mm_xor_si128(p.lo, p.hi));
  return Reduce(_mm_xor_si128(p.lo, _mm_slli_si128(mid, 8)), _mm_xor_si128(p.hi, _mm_srli_si128(mid, 8)));
}

TW_AES_INLINE __m128i Mul(__m128i a, __m128i b) {
  sProduct p{_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128()};
  MulAdd(p, a, b, Halves(b));
  return Finish(p);
}

constexpr int kWide = 8;  // blocks per step of the bulk loops

// H^1 .. H^8 (power[i] = H^(i+1)) with their Karatsuba halves.
struct sHPowers {
  __m128i power[kWide];
  __m128i halves[kWide];
};

// count is 1 (short messages only ever multiply by H) or kWide.
TW_AES_INLINE void MakePowers(const sGcmCtx* ctx, sHPowers* h, int count) {
  // The table's entry for 0x80 (the polynomial 1) is H itself.
  const __m128i h1 = _mm_set_epi64x(int64_t(ctx->hTable[0x80][0]), int64_t(ctx->hTable[0x80][1]));
  h->power[0] = h1;
  for (int i = 1; i < count; ++i) h->power[i] = Mul(h->power[i - 1], h1);
  for (int i = 0; i < count; ++i) h->halves[i] = Halves(h->power[i]);
}

// The powers a message needs: all of them once any input fills a bulk step.
inline int PowersFor(size_t a, size_t b, size_t c) {
  return a >= 16 * kWide || b >= 16 * kWide || c >= 16 * kWide ? kWide : 1;
}

// acc = (acc + b[0]) H^n + b[1] H^(n-1) + ... + b[n-1] H, b already reflected.
template <int N>
TW_AES_INLINE __m128i HashN(const sHPowers& h, __m128i acc, const __m128i b[N]) {
  sProduct p{_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128()};
#pragma GCC unroll 16
  for (int i = 0; i < N; ++i) {
    const __m128i x = i == 0 ? _mm_xor_si128(acc, b[0]) : b[i];
    MulAdd(p, x, h.power[N - 1 - i], h.halves[N - 1 - i]);
  }
  return Finish(p);
}

// Absorbs length bytes, the last piece zero-filled.
TW_AES_INLINE __m128i HashBytes(const sHPowers& h, __m128i acc, const uint8_t* data, size_t length) {
  const __m128i rev = ByteReverse();
  for (; length >= 16 * kWide; length -= 16 * kWide, data += 16 * kWide) {
    __m128i b[kWide];
    #pragma GCC unroll 16
    for (int i = 0; i < kWide; ++i) b[i] = _mm_shuffle_epi8(Load(data + 16 * i), rev);
    acc = HashN<kWide>(h, acc, b);
  }
  for (; length >= 16; length -= 16, data += 16) {
    const __m128i b[1] = {_mm_shuffle_epi8(Load(data), rev)};
    acc = HashN<1>(h, acc, b);
  }
  if (length != 0) {
    uint8_t piece[16] = {};
    std::memcpy(piece, data, length);
    const __m128i b[1] = {_mm_shuffle_epi8(Load(piece), rev)};
    acc = HashN<1>(h, acc, b);
  }
  return acc;
}

// Counter blocks keep their last four bytes as a little-endian lane so that
// one 32-bit addition is GCM's increment modulo 2^32.
TW_AES_INLINE __m128i CounterSwap() { return _mm_set_epi8(12, 13, 14, 15, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0); }

}  // namespace

TW_AES_ENTRY uint32_t AesSubWordHardware(uint32_t w) {
  // With the same word in every column ShiftRows moves nothing, so the last
  // round with a zero key is SubBytes alone.
  const __m128i x = _mm_aesenclast_si128(_mm_set1_epi32(int32_t(w)), _mm_setzero_si128());
  return uint32_t(_mm_cvtsi128_si32(x));
}

TW_AES_ENTRY void AesInvMixColumnsHardware(const uint32_t in[4], uint32_t out[4]) {
  const __m128i swap = WordSwap();
  const __m128i x = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), swap);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(_mm_aesimc_si128(x), swap));
}

TW_AES_ENTRY void AesEncryptBlockHardware(const sAesRoundKeys& enc, const uint8_t in[16], uint8_t out[16]) {
  __m128i rk[15];
  LoadKeys(enc, rk);
  Store(out, Encrypt(rk, enc.rounds, Load(in)));
  WipeKeys(rk);
}

TW_AES_ENTRY void AesDecryptBlockHardware(const sAesRoundKeys& dec, const uint8_t in[16], uint8_t out[16]) {
  __m128i rk[15];
  LoadKeys(dec, rk);
  Store(out, Decrypt(rk, dec.rounds, Load(in)));
  WipeKeys(rk);
}

TW_AES_ENTRY void AesCbcEncryptHardware(const sAesRoundKeys& enc, uint8_t chain[16], const uint8_t* in,
                                        uint8_t* out, size_t blocks) {
  if (blocks == 0) return;
  __m128i rk[15];
  LoadKeys(enc, rk);
  __m128i c = Load(chain);
  // Each block needs the one before: no blocks side by side here.
  for (; blocks > 0; --blocks, in += 16, out += 16) {
    c = Encrypt(rk, enc.rounds, _mm_xor_si128(Load(in), c));
    Store(out, c);
  }
  Store(chain, c);
  WipeKeys(rk);
}

TW_AES_ENTRY void AesCbcDecryptHardware(const sAesRoundKeys& dec, uint8_t chain[16], const uint8_t* in,
                                        uint8_t* out, size_t blocks) {
  if (blocks == 0) return;
  __m128i rk[15];
  LoadKeys(dec, rk);
  __m128i prev = Load(chain);
  for (; blocks >= kWide; blocks -= kWide, in += 16 * kWide, out += 16 * kWide) {
    __m128i c[kWide], x[kWide];
    // All loads before any store: in and out may be the same buffer.
    #pragma GCC unroll 16
    for (int i = 0; i < kWide; ++i) x[i] = c[i] = Load(in + 16 * i);
    DecryptN<kWide>(rk, dec.rounds, x);
    Store(out, _mm_xor_si128(x[0], prev));
    #pragma GCC unroll 16
    for (int i = 1; i < kWide; ++i) Store(out + 16 * i, _mm_xor_si128(x[i], c[i - 1]));
    prev = c[kWide - 1];
  }
  for (; blocks > 0; --blocks, in += 16, out += 16) {
    const __m128i c = Load(in);
    Store(out, _mm_xor_si128(Decrypt(rk, dec.rounds, c), prev));
    prev = c;
  }
  Store(chain, prev);
  WipeKeys(rk);
}

TW_AES_ENTRY void GhashHardware(const sGcmCtx* ctx, uint8_t acc[16], const uint8_t* data, size_t length) {
  sHPowers h;
  MakePowers(ctx, &h, PowersFor(length, 0, 0));
  const __m128i rev = ByteReverse();
  const __m128i a = HashBytes(h, _mm_shuffle_epi8(Load(acc), rev), data, length);
  Store(acc, _mm_shuffle_epi8(a, rev));
  SecureZero(&h, sizeof h);
}

TW_AES_ENTRY void GcmCoreHardware(const sGcmCtx* ctx, const uint8_t* nonce, size_t nonceLength, const uint8_t* aad,
                                  size_t aadLength, const uint8_t* in, size_t length, uint8_t* out, bool decrypt,
                                  uint8_t tag[16]) {
  const int rounds = ctx->roundKeys.rounds;
  __m128i rk[15];
  LoadKeys(ctx->roundKeys, rk);
  sHPowers h;
  MakePowers(ctx, &h, PowersFor(nonceLength, aadLength, length));
  const __m128i rev = ByteReverse();

  __m128i j0;
  if (nonceLength == 12) {
    uint8_t block[16] = {};
    std::memcpy(block, nonce, 12);
    block[15] = 1;
    j0 = Load(block);
  } else {
    __m128i acc = HashBytes(h, _mm_setzero_si128(), nonce, nonceLength);
    const __m128i lengths[1] = {_mm_set_epi64x(0, int64_t(uint64_t(nonceLength) * 8))};
    acc = HashN<1>(h, acc, lengths);
    j0 = _mm_shuffle_epi8(acc, rev);
  }
  const __m128i mask = Encrypt(rk, rounds, j0);
  __m128i acc = HashBytes(h, _mm_setzero_si128(), aad, aadLength);

  const __m128i swap = CounterSwap();
  __m128i counter = _mm_shuffle_epi8(j0, swap);
  const __m128i one = _mm_set_epi32(1, 0, 0, 0);
  size_t done = 0;
  for (; length - done >= 16 * kWide; done += 16 * kWide) {
    __m128i x[kWide], data[kWide], hashed[kWide];
    #pragma GCC unroll 16
    for (int i = 0; i < kWide; ++i) {
      counter = _mm_add_epi32(counter, one);
      x[i] = _mm_shuffle_epi8(counter, swap);
    }
    EncryptN<kWide>(rk, rounds, x);
    #pragma GCC unroll 16
    for (int i = 0; i < kWide; ++i) data[i] = Load(in + done + 16 * i);
    #pragma GCC unroll 16
    for (int i = 0; i < kWide; ++i) {
      const __m128i result = _mm_xor_si128(data[i], x[i]);
      Store(out + done + 16 * i, result);
      hashed[i] = _mm_shuffle_epi8(decrypt ? data[i] : result, rev);
    }
    acc = HashN<kWide>(h, acc, hashed);
  }
  for (; done < length; done += 16) {
    counter = _mm_add_epi32(counter, one);
    const __m128i stream = Encrypt(rk, rounds, _mm_shuffle_epi8(counter, swap));
    const size_t n = length - done < 16 ? length - done : 16;
    uint8_t piece[16] = {};
    std::memcpy(piece, in + done, n);
    const __m128i data = Load(piece);
    // Beyond n the piece is zero, and so must the hashed ciphertext be.
    Store(piece, _mm_xor_si128(data, stream));
    std::memset(piece + n, 0, 16 - n);
    std::memcpy(out + done, piece, n);
    const __m128i hashed[1] = {_mm_shuffle_epi8(decrypt ? data : Load(piece), rev)};
    acc = HashN<1>(h, acc, hashed);
    SecureZero(piece, sizeof piece);
  }
  const __m128i lengths[1] = {
      _mm_set_epi64x(int64_t(uint64_t(aadLength) * 8), int64_t(uint64_t(length) * 8))};
  acc = HashN<1>(h, acc, lengths);
  Store(tag, _mm_xor_si128(_mm_shuffle_epi8(acc, rev), mask));
  WipeKeys(rk);
  SecureZero(&h, sizeof h);
}

#else

// Other processors have none of these instructions: the choice in
// crypto/aes.cpp never reaches the functions below.
bool AesHardwareAvailable() { return false; }
uint32_t AesSubWordHardware(uint32_t) { std::abort(); }
void AesInvMixColumnsHardware(const uint32_t*, uint32_t*) { std::abort(); }
void AesEncryptBlockHardware(const sAesRoundKeys&, const uint8_t*, uint8_t*) { std::abort(); }
void AesDecryptBlockHardware(const sAesRoundKeys&, const uint8_t*, uint8_t*) { std::abort(); }
void AesCbcEncryptHardware(const sAesRoundKeys&, uint8_t*, const uint8_t*, uint8_t*, size_t) { std::abort(); }
void AesCbcDecryptHardware(const sAesRoundKeys&, uint8_t*, const uint8_t*, uint8_t*, size_t) { std::abort(); }
void GhashHardware(const sGcmCtx*, uint8_t*, const uint8_t*, size_t) { std::abort(); }
void GcmCoreHardware(const sGcmCtx*, const uint8_t*, size_t, const uint8_t*, size_t, const uint8_t*, size_t,
                     uint8_t*, bool, uint8_t*) {
  std::abort();
}

#endif

}  // namespace tw::crypto
