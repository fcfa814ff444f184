// X25519 (RFC 7748). See crypto/x25519.h.
//
// Field elements modulo p = 2^255 - 19 are ten signed 32-bit limbs, least
// significant first, alternately 26 and 25 bits wide: limb i stands for
// 2^e(i) with e = 0, 26, 51, 77, 102, 128, 153, 179, 204, 230. Products are
// 32 x 32 -> 64-bit multiplications, one instruction on the 32-bit product.
//
// Why the sums fit (B(i) = 2^(width of limb i)):
//  a. A carried element has |limb i| <= 1.001 * B(i) / 2 (Carry rounds to
//     the nearest multiple, so every remainder is centred on zero).
//  b. A sum or difference of two carried elements, |limb| <= 1.002 * B(i),
//     is the largest input a multiplication takes.
//  c. e(i) + e(j) is e(i + j) when i or j is even and one more when both
//     are odd: those products count twice. Past limb 9, 2^e(i + j) is
//     2^255 * 2^e(i + j - 10), and 2^255 = 19 mod p.
//  d. So 19 * limb and 38 * (odd limb) stay below 2^31, and a product sum
//     of ten terms below 10 * 2 * 2^26.1 * 2^30.3 < 2^61: int64 holds it.
//
// Nothing branches on or indexes by a secret; the swaps are masks.
#include "crypto/x25519.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "crypto/crypto_internal.h"
#include "crypto/random_pool.h"

namespace {

using tw::crypto::SecureZero;

constexpr int kLimbs = 10;
constexpr int kWidth[kLimbs] = {26, 25, 26, 25, 26, 25, 26, 25, 26, 25};
constexpr int kExponent[kLimbs] = {0, 26, 51, 77, 102, 128, 153, 179, 204, 230};

struct sFe {
  int32_t v[kLimbs];
};

// One rounding carry from limb i into limb i + 1 (limb 9's into limb 0,
// times 19).
template <int I>
inline void CarryOne(int64_t h[kLimbs]) {
  constexpr int w = kWidth[I];
  const int64_t c = (h[I] + (int64_t(1) << (w - 1))) >> w;  // arithmetic shift: floor
  h[I] -= c * (int64_t(1) << w);
  if constexpr (I == kLimbs - 1)
    h[0] += 19 * c;
  else
    h[I + 1] += c;
}

// Brings 64-bit sums back to a carried element (rule a). Two chains run
// side by side, from limbs 0 and 4, for the processor's sake.
inline void Carry(sFe& out, int64_t h[kLimbs]) {
  CarryOne<0>(h);
  CarryOne<4>(h);
  CarryOne<1>(h);
  CarryOne<5>(h);
  CarryOne<2>(h);
  CarryOne<6>(h);
  CarryOne<3>(h);
  CarryOne<7>(h);
  CarryOne<4>(h);
  CarryOne<8>(h);
  CarryOne<9>(h);
  CarryOne<0>(h);
  for (int i = 0; i < kLimbs; ++i) out.v[i] = int32_t(h[i]);
}

inline void Add(sFe& out, const sFe& a, const sFe& b) {
  for (int i = 0; i < kLimbs; ++i) out.v[i] = a.v[i] + b.v[i];
}

inline void Sub(sFe& out, const sFe& a, const sFe& b) {
  for (int i = 0; i < kLimbs; ++i) out.v[i] = a.v[i] - b.v[i];
}

constexpr bool Odd(int i) { return (i & 1) != 0; }

void Mul(sFe& out, const sFe& f, const sFe& g) {
  int32_t f2[kLimbs], g19[kLimbs];
  for (int i = 0; i < kLimbs; ++i) {
    f2[i] = Odd(i) ? 2 * f.v[i] : f.v[i];  // rule c: doubled where both are odd
    g19[i] = 19 * g.v[i];
  }
  int64_t h[kLimbs] = {};
#pragma GCC unroll 10
  for (int i = 0; i < kLimbs; ++i) {
#pragma GCC unroll 10
    for (int j = 0; j < kLimbs; ++j) {
      const int32_t a = Odd(i) && Odd(j) ? f2[i] : f.v[i];
      const int32_t b = i + j >= kLimbs ? g19[j] : g.v[j];
      h[(i + j) % kLimbs] += int64_t(a) * b;
    }
  }
  Carry(out, h);
}

// f * f with each cross product once, doubled.
void Square(sFe& out, const sFe& f) {
  int32_t f2[kLimbs], f19[kLimbs], f38[kLimbs];
  for (int i = 0; i < kLimbs; ++i) {
    f2[i] = 2 * f.v[i];
    f19[i] = 19 * f.v[i];
    f38[i] = Odd(i) ? 38 * f.v[i] : 0;  // only odd limbs are small enough
  }
  int64_t h[kLimbs] = {};
#pragma GCC unroll 10
  for (int i = 0; i < kLimbs; ++i) {
#pragma GCC unroll 10
    for (int j = i; j < kLimbs; ++j) {
      const bool wrap = i + j >= kLimbs, bothOdd = Odd(i) && Odd(j);
      int32_t a, b;
      if (i == j) {
        a = f.v[i];
        b = wrap ? (bothOdd ? f38[j] : f19[j]) : (bothOdd ? f2[j] : f.v[j]);
      } else {
        a = f2[i];
        b = wrap ? (bothOdd ? f38[j] : f19[j]) : (bothOdd ? f2[j] : f.v[j]);
      }
      h[(i + j) % kLimbs] += int64_t(a) * b;
    }
  }
  Carry(out, h);
}

// n squarings in a row.
void SquareTimes(sFe& out, const sFe& f, int n) {
  Square(out, f);
  for (int i = 1; i < n; ++i) Square(out, out);
}

void MulSmall(sFe& out, const sFe& f, int32_t k) {
  int64_t h[kLimbs];
  for (int i = 0; i < kLimbs; ++i) h[i] = int64_t(f.v[i]) * k;
  Carry(out, h);
}

// Exchanges a and b when bit is 1, with the same operations either way.
inline void CondSwap(sFe& a, sFe& b, int32_t bit) {
  const int32_t mask = -bit;
  for (int i = 0; i < kLimbs; ++i) {
    const int32_t t = mask & (a.v[i] ^ b.v[i]);
    a.v[i] ^= t;
    b.v[i] ^= t;
  }
}

// a^(p-2) = a^-1 (0 for 0). p - 2 = 2^255 - 21 = (2^250 - 1) * 2^5 + 11:
// a chain of 254 squarings and 11 multiplications through a^(2^k - 1).
void Invert(sFe& out, const sFe& a) {
  sFe a2, a9, a11, t, x5, x10, x20, x40, x50, x100;
  Square(a2, a);                // a^2
  SquareTimes(t, a2, 2);        // a^8
  Mul(a9, t, a);                // a^9
  Mul(a11, a9, a2);             // a^11
  Square(t, a11);               // a^22
  Mul(x5, t, a9);               // a^(2^5 - 1)
  SquareTimes(t, x5, 5);
  Mul(x10, t, x5);              // a^(2^10 - 1)
  SquareTimes(t, x10, 10);
  Mul(x20, t, x10);             // a^(2^20 - 1)
  SquareTimes(t, x20, 20);
  Mul(x40, t, x20);             // a^(2^40 - 1)
  SquareTimes(t, x40, 10);
  Mul(x50, t, x10);             // a^(2^50 - 1)
  SquareTimes(t, x50, 50);
  Mul(x100, t, x50);            // a^(2^100 - 1)
  SquareTimes(t, x100, 100);
  Mul(t, t, x100);              // a^(2^200 - 1)
  SquareTimes(t, t, 50);
  Mul(t, t, x50);               // a^(2^250 - 1)
  SquareTimes(t, t, 5);         // a^(2^255 - 32)
  Mul(out, t, a11);             // a^(2^255 - 21)
  for (sFe* f : {&a2, &a9, &a11, &t, &x5, &x10, &x20, &x40, &x50, &x100}) SecureZero(f, sizeof *f);
}

// Bits start .. start + width - 1 of the 32 little-endian bytes.
uint32_t Bits(const uint8_t in[32], int start, int width) {
  uint64_t v = 0;
  const int first = start / 8;
  for (int k = 0; k < 5 && first + k < 32; ++k) v |= uint64_t(in[first + k]) << (8 * k);
  return uint32_t((v >> (start % 8)) & ((uint64_t(1) << width) - 1));
}

// The 255 low bits (the top bit of u is not part of the coordinate),
// carried so that rule a holds from the start.
void Decode(sFe& out, const uint8_t in[32]) {
  int64_t h[kLimbs];
  for (int i = 0; i < kLimbs; ++i) h[i] = Bits(in, kExponent[i], kWidth[i]);
  Carry(out, h);
}

// Fully reduces a carried element and writes 32 little-endian bytes.
void Encode(uint8_t out[32], const sFe& a) {
  // By rule a the value lies strictly between -2^255 + 19 and 2^255 - 19,
  // so a floor carry pass leaves the limbs in range and a carry out of limb
  // 9 of 0 (value in 0..p-1 already) or -1 (negative: dropping the carry
  // added 2^255, and 19 less makes it value + p).
  int32_t h[kLimbs];
  std::memcpy(h, a.v, sizeof h);
  int32_t top = 0;
  for (int pass = 0; pass < 2; ++pass) {
    for (int i = 0; i < kLimbs; ++i) {
      const int32_t c = h[i] >> kWidth[i];
      h[i] -= c * (int32_t(1) << kWidth[i]);
      if (i + 1 < kLimbs) h[i + 1] += c;
      else top = c;
    }
    if (pass == 0) h[0] -= 19 & top;  // top is 0 or -1: a mask
  }
  // The second pass borrows at most through the chain: value + p >= 0, so
  // nothing leaves limb 9 and top is 0.
  uint64_t acc = 0;
  int bits = 0, pos = 0;
  for (int i = 0; i < kLimbs; ++i) {
    acc |= uint64_t(uint32_t(h[i])) << bits;
    bits += kWidth[i];
    while (bits >= 8) {
      out[pos++] = uint8_t(acc);
      acc >>= 8;
      bits -= 8;
    }
  }
  out[pos] = uint8_t(acc);  // the last 7 bits; the top bit is 0
  SecureZero(h, sizeof h);
}

}  // namespace

void X25519(const void* scalar32, void* out32, const void* u32) {
  uint8_t k[32];
  std::memcpy(k, scalar32, 32);
  k[0] &= 248;
  k[31] &= 127;
  k[31] |= 64;

  sFe x1;
  Decode(x1, static_cast<const uint8_t*>(u32));
  sFe x2{}, z2{}, x3 = x1, z3{};
  x2.v[0] = 1;
  z3.v[0] = 1;
  sFe a, aa, b, bb, e, c, d, da, cb, t;
  // RFC 7748's ladder with one swap per step: the pairs are exchanged when
  // this bit differs from the one before.
  int32_t swapped = 0;
  for (int bit = 254; bit >= 0; --bit) {
    const int32_t kt = (k[bit >> 3] >> (bit & 7)) & 1;
    CondSwap(x2, x3, swapped ^ kt);
    CondSwap(z2, z3, swapped ^ kt);
    swapped = kt;
    Add(a, x2, z2);
    Square(aa, a);
    Sub(b, x2, z2);
    Square(bb, b);
    Sub(e, aa, bb);
    Add(c, x3, z3);
    Sub(d, x3, z3);
    Mul(da, d, a);
    Mul(cb, c, b);
    Add(t, da, cb);
    Square(x3, t);
    Sub(t, da, cb);
    Square(t, t);
    Mul(z3, x1, t);
    Mul(x2, aa, bb);
    MulSmall(t, e, 121665);  // a24 = (486662 - 2) / 4
    Add(t, aa, t);
    Mul(z2, e, t);
  }
  CondSwap(x2, x3, swapped);
  CondSwap(z2, z3, swapped);
  Invert(z2, z2);
  Mul(x2, x2, z2);
  Encode(static_cast<uint8_t*>(out32), x2);

  SecureZero(k, sizeof k);
  for (sFe* f : {&x1, &x2, &z2, &x3, &z3, &a, &aa, &b, &bb, &e, &c, &d, &da, &cb, &t}) SecureZero(f, sizeof *f);
}

void X25519Base(void* private32, void* public32) {
  uint8_t* priv = static_cast<uint8_t*>(private32);
  for (int i = 0; i < 32; ++i) priv[i] = DrawRandomByte();
  static const uint8_t kBase[32] = {9};
  X25519(priv, public32, kBase);
}
