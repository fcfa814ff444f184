// X25519 (RFC 7748) on sixteen limbs of 16 bits: the first form of the
// function, kept as the reference the faster crypto/x25519.cpp is checked
// against (tests and benchmark only; the program links crypto/x25519.cpp's).
// See crypto/x25519_internal.h.
//
// Field elements modulo p = 2^255 - 19 are sixteen signed 64-bit limbs of
// 16 bits each, least significant first. Limbs may run outside 0..2^16-1
// between operations; Carry brings them back, folding the carry out of the
// top limb (a multiple of 2^256 = 38 mod p) into the bottom one times 38.
#include "crypto/x25519_internal.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "crypto/crypto_internal.h"

namespace {

using tw::crypto::SecureZero;

struct sFe {
  int64_t v[16];
};

void Carry(sFe& a) {
  for (int i = 0; i < 16; ++i) {
    const int64_t c = a.v[i] >> 16;  // floor division: limbs may be negative
    a.v[i] &= 0xffff;
    if (i < 15)
      a.v[i + 1] += c;
    else
      a.v[0] += 38 * c;
  }
}

void Add(sFe& out, const sFe& a, const sFe& b) {
  for (int i = 0; i < 16; ++i) out.v[i] = a.v[i] + b.v[i];
}

void Sub(sFe& out, const sFe& a, const sFe& b) {
  for (int i = 0; i < 16; ++i) out.v[i] = a.v[i] - b.v[i];
}

// Inputs with limbs below 2^18 in magnitude keep every sum below 2^45.
void Mul(sFe& out, const sFe& a, const sFe& b) {
  int64_t t[31] = {};
  for (int i = 0; i < 16; ++i)
    for (int j = 0; j < 16; ++j) t[i + j] += a.v[i] * b.v[j];
  // Limb 16 + i stands for 2^256 * 2^(16 i) = 38 * 2^(16 i).
  for (int i = 0; i < 15; ++i) t[i] += 38 * t[i + 16];
  for (int i = 0; i < 16; ++i) out.v[i] = t[i];
  Carry(out);
  Carry(out);
}

void MulSmall(sFe& out, const sFe& a, int64_t k) {
  for (int i = 0; i < 16; ++i) out.v[i] = a.v[i] * k;
  Carry(out);
  Carry(out);
}

// Exchanges a and b when bit is 1, with the same operations either way.
void CondSwap(sFe& a, sFe& b, int64_t bit) {
  const int64_t mask = -bit;
  for (int i = 0; i < 16; ++i) {
    const int64_t t = mask & (a.v[i] ^ b.v[i]);
    a.v[i] ^= t;
    b.v[i] ^= t;
  }
}

// a^(p-2) = a^-1. p - 2 = 2^255 - 21: bits 254..0 all set except 4 and 2.
void Invert(sFe& out, const sFe& a) {
  sFe c = a;  // bit 254
  for (int bit = 253; bit >= 0; --bit) {
    Mul(c, c, c);
    if (bit != 4 && bit != 2) Mul(c, c, a);
  }
  out = c;
}

void Decode(sFe& out, const uint8_t in[32]) {
  for (int i = 0; i < 16; ++i) out.v[i] = int64_t(in[2 * i]) | (int64_t(in[2 * i + 1]) << 8);
  out.v[15] &= 0x7fff;  // the top bit of u is not part of the coordinate
}

// Fully reduces and writes 32 little-endian bytes.
void Encode(uint8_t out[32], const sFe& a) {
  sFe t = a;
  Carry(t);
  Carry(t);
  Carry(t);
  // Now 0 <= t < 2^256 < 3p, every limb within 16 bits: twice, t becomes
  // t - p unless that subtraction borrows, which lands in 0..p-1.
  for (int pass = 0; pass < 2; ++pass) {
    sFe m;
    int64_t borrow = 0;
    for (int i = 0; i < 16; ++i) {
      // p = 2^255 - 19 in limbs: 0xffed, fourteen times 0xffff, 0x7fff.
      const int64_t limbOfP = i == 0 ? 0xffed : (i == 15 ? 0x7fff : 0xffff);
      const int64_t d = t.v[i] - limbOfP - borrow;
      // d lies in -2^16..2^16 - 1, so its shifted sign is the borrow.
      borrow = -(d >> 16);
      m.v[i] = d & 0xffff;
    }
    CondSwap(t, m, 1 - borrow);
    SecureZero(&m, sizeof m);
  }
  for (int i = 0; i < 16; ++i) {
    out[2 * i] = uint8_t(t.v[i]);
    out[2 * i + 1] = uint8_t(t.v[i] >> 8);
  }
  SecureZero(&t, sizeof t);
}

}  // namespace

void tw::crypto::X25519Radix16(const void* scalar32, void* out32, const void* u32) {
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
  for (int bit = 254; bit >= 0; --bit) {
    const int64_t kt = (k[bit >> 3] >> (bit & 7)) & 1;
    CondSwap(x2, x3, kt);
    CondSwap(z2, z3, kt);
    Add(a, x2, z2);
    Mul(aa, a, a);
    Sub(b, x2, z2);
    Mul(bb, b, b);
    Sub(e, aa, bb);
    Add(c, x3, z3);
    Sub(d, x3, z3);
    Mul(da, d, a);
    Mul(cb, c, b);
    Add(t, da, cb);
    Mul(x3, t, t);
    Sub(t, da, cb);
    Mul(t, t, t);
    Mul(z3, x1, t);
    Mul(x2, aa, bb);
    MulSmall(t, e, 121665);  // a24 = (486662 - 2) / 4
    Add(t, aa, t);
    Mul(z2, e, t);
    CondSwap(x2, x3, kt);
    CondSwap(z2, z3, kt);
  }
  Invert(z2, z2);
  Mul(x2, x2, z2);
  Encode(static_cast<uint8_t*>(out32), x2);

  SecureZero(k, sizeof k);
  for (sFe* f : {&x1, &x2, &z2, &x3, &z3, &a, &aa, &b, &bb, &e, &c, &d, &da, &cb, &t}) SecureZero(f, sizeof *f);
}
