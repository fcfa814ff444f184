// See crypto/rsa.h. Numbers are little-endian arrays of 32-bit limbs; the
// exponentiation runs in Montgomery form.
#include "crypto/rsa.h"

#include <cstring>

#include "crypto/sha.h"

namespace {

using tLimbs = std::vector<uint32_t>;

tLimbs FromBytes(const uint8_t* p, size_t n, size_t limbs) {
  tLimbs out(limbs, 0);
  for (size_t i = 0; i < n; ++i) {
    const size_t bit = (n - 1 - i) * 8;
    out[bit / 32] |= static_cast<uint32_t>(p[i]) << (bit % 32);
  }
  return out;
}

void ToBytes(const tLimbs& x, uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const size_t bit = (n - 1 - i) * 8;
    p[i] = static_cast<uint8_t>(x[bit / 32] >> (bit % 32));
  }
}

// a >= b, both k limbs.
bool NotBelow(const uint32_t* a, const uint32_t* b, size_t k) {
  for (size_t i = k; i-- > 0;)
    if (a[i] != b[i]) return a[i] > b[i];
  return true;
}

// a -= b over k limbs; the borrow out.
uint32_t SubInPlace(uint32_t* a, const uint32_t* b, size_t k) {
  uint64_t borrow = 0;
  for (size_t i = 0; i < k; ++i) {
    const uint64_t d = static_cast<uint64_t>(a[i]) - b[i] - borrow;
    a[i] = static_cast<uint32_t>(d);
    borrow = (d >> 32) & 1;
  }
  return static_cast<uint32_t>(borrow);
}

struct sMontgomery {
  tLimbs n;
  uint32_t n0inv = 0;  // -n^-1 mod 2^32
  size_t k = 0;

  explicit sMontgomery(const tLimbs& modulus) : n(modulus), k(modulus.size()) {
    uint32_t inv = 1;  // Newton's iteration doubles the correct low bits
    for (int i = 0; i < 5; ++i) inv *= 2 - n[0] * inv;
    n0inv = 0u - inv;
  }

  // a * b * R^-1 mod n (CIOS).
  tLimbs Mul(const tLimbs& a, const tLimbs& b) const {
    std::vector<uint32_t> t(k + 2, 0);
    for (size_t i = 0; i < k; ++i) {
      uint64_t c = 0;
      for (size_t j = 0; j < k; ++j) {
        const uint64_t s = static_cast<uint64_t>(a[j]) * b[i] + t[j] + c;
        t[j] = static_cast<uint32_t>(s);
        c = s >> 32;
      }
      uint64_t s = static_cast<uint64_t>(t[k]) + c;
      t[k] = static_cast<uint32_t>(s);
      t[k + 1] = static_cast<uint32_t>(s >> 32);
      const uint32_t m = t[0] * n0inv;
      c = (static_cast<uint64_t>(m) * n[0] + t[0]) >> 32;
      for (size_t j = 1; j < k; ++j) {
        const uint64_t u = static_cast<uint64_t>(m) * n[j] + t[j] + c;
        t[j - 1] = static_cast<uint32_t>(u);
        c = u >> 32;
      }
      s = static_cast<uint64_t>(t[k]) + c;
      t[k - 1] = static_cast<uint32_t>(s);
      t[k] = t[k + 1] + static_cast<uint32_t>(s >> 32);
    }
    if (t[k] != 0 || NotBelow(t.data(), n.data(), k)) SubInPlace(t.data(), n.data(), k);
    return tLimbs(t.begin(), t.begin() + static_cast<std::ptrdiff_t>(k));
  }

  // R^2 mod n by doubling 1 (64 k times), reducing after each step.
  tLimbs RSquared() const {
    tLimbs x(k, 0);
    x[0] = 1;
    for (size_t i = 0; i < 64 * k; ++i) {
      uint32_t carry = 0;
      for (size_t j = 0; j < k; ++j) {
        const uint32_t next = x[j] >> 31;
        x[j] = x[j] << 1 | carry;
        carry = next;
      }
      if (carry != 0 || NotBelow(x.data(), n.data(), k)) SubInPlace(x.data(), n.data(), k);
    }
    return x;
  }
};

const uint8_t* DigestInfoPrefix(int32_t hash) {
  // DER DigestInfo heads (RFC 8017 section 9.2, note 1), 19 bytes each.
  static const uint8_t kSha256[19] = {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                      0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};
  static const uint8_t kSha384[19] = {0x30, 0x41, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                      0x65, 0x03, 0x04, 0x02, 0x02, 0x05, 0x00, 0x04, 0x30};
  static const uint8_t kSha512[19] = {0x30, 0x51, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                      0x65, 0x03, 0x04, 0x02, 0x03, 0x05, 0x00, 0x04, 0x40};
  switch (hash) {
    case kRsaSha256: return kSha256;
    case kRsaSha384: return kSha384;
    case kRsaSha512: return kSha512;
    default: return nullptr;
  }
}

}  // namespace

int32_t RsaHashLength(int32_t hash) {
  switch (hash) {
    case kRsaSha256: return 32;
    case kRsaSha384: return 48;
    case kRsaSha512: return 64;
    default: return 0;
  }
}

bool RsaHashBytes(int32_t hash, const void* data, size_t length, uint8_t* out) {
  switch (hash) {
    case kRsaSha256: {
      sSha256Ctx c;
      Sha256Init(&c);
      Sha256Update(&c, data, length);
      Sha256Final(&c, out);
      return true;
    }
    case kRsaSha384: {
      sSha384Ctx c;
      Sha384Init(&c);
      if (length != 0) Sha384Update(&c, data, length);
      Sha384Final(&c, out);
      return true;
    }
    case kRsaSha512: {
      sSha512Ctx c;
      Sha512Init(&c);
      Sha512Update(&c, data, length);
      Sha512Final(&c, out);
      return true;
    }
    default: return false;
  }
}

int32_t sRsaPublicKey::Bits() const {
  if (modulus.empty()) return 0;
  int32_t bits = static_cast<int32_t>(modulus.size()) * 8;
  for (uint8_t top = modulus[0]; (top & 0x80) == 0 && bits > 0; top = static_cast<uint8_t>(top << 1)) --bits;
  return bits;
}

bool sRsaPublicKey::Usable() const {
  const int32_t bits = Bits();
  if (bits < 2048 || bits > 8192 || (modulus.back() & 1) == 0 || modulus[0] == 0) return false;
  if (exponent.empty() || exponent.size() > 4 || exponent[0] == 0 || (exponent.back() & 1) == 0) return false;
  return exponent.size() > 1 || exponent[0] >= 3;
}

bool RsaPublicOp(const sRsaPublicKey& key, const uint8_t* signature, size_t length, uint8_t* out) {
  if (!key.Usable() || length != key.modulus.size()) return false;
  const size_t k = (length + 3) / 4;
  const tLimbs n = FromBytes(key.modulus.data(), length, k);
  const tLimbs s = FromBytes(signature, length, k);
  if (NotBelow(s.data(), n.data(), k)) return false;
  uint32_t e = 0;
  for (uint8_t b : key.exponent) e = e << 8 | b;
  const sMontgomery mont(n);
  const tLimbs base = mont.Mul(s, mont.RSquared());
  tLimbs x = base;
  int top = 31;
  while (((e >> top) & 1) == 0) --top;
  for (int bit = top - 1; bit >= 0; --bit) {
    x = mont.Mul(x, x);
    if ((e >> bit) & 1) x = mont.Mul(x, base);
  }
  tLimbs one(k, 0);
  one[0] = 1;
  ToBytes(mont.Mul(x, one), out, length);
  return true;
}

bool RsaVerifyPkcs1(const sRsaPublicKey& key, int32_t hash, const uint8_t* digest, const uint8_t* signature,
                    size_t length) {
  const uint8_t* prefix = DigestInfoPrefix(hash);
  const size_t hLen = static_cast<size_t>(RsaHashLength(hash));
  if (prefix == nullptr || length < 19 + hLen + 11) return false;
  std::vector<uint8_t> em(length), expected(length, 0xff);
  if (!RsaPublicOp(key, signature, length, em.data())) return false;
  expected[0] = 0x00;
  expected[1] = 0x01;
  expected[length - hLen - 20] = 0x00;
  std::memcpy(&expected[length - hLen - 19], prefix, 19);
  std::memcpy(&expected[length - hLen], digest, hLen);
  return em == expected;
}

bool RsaVerifyPss(const sRsaPublicKey& key, int32_t hash, const uint8_t* digest, const uint8_t* signature,
                  size_t length) {
  const size_t hLen = static_cast<size_t>(RsaHashLength(hash));
  if (hLen == 0) return false;
  std::vector<uint8_t> m(length);
  if (!RsaPublicOp(key, signature, length, m.data())) return false;
  // emBits = modBits - 1: when that is a whole number of bytes the first
  // byte of the public operation's result lies outside EM and must be 0.
  const size_t emBits = static_cast<size_t>(key.Bits()) - 1;
  const size_t emLen = (emBits + 7) / 8;
  const uint8_t* em = m.data() + (length - emLen);
  if (emLen < length && m[0] != 0) return false;
  if (emLen < 2 * hLen + 2 || em[emLen - 1] != 0xbc) return false;
  const size_t dbLen = emLen - hLen - 1;
  const uint8_t* h = em + dbLen;
  const uint32_t spare = static_cast<uint32_t>(8 * emLen - emBits);
  const uint8_t topMask = static_cast<uint8_t>(0xff >> spare);
  if ((em[0] & ~topMask) != 0) return false;
  // MGF1: hash (H, counter) blocks XORed over the masked DB.
  std::vector<uint8_t> db(em, em + dbLen);
  std::vector<uint8_t> seed(hLen + 4), block(hLen);
  std::memcpy(seed.data(), h, hLen);
  for (uint32_t counter = 0, done = 0; done < dbLen; ++counter) {
    seed[hLen] = static_cast<uint8_t>(counter >> 24);
    seed[hLen + 1] = static_cast<uint8_t>(counter >> 16);
    seed[hLen + 2] = static_cast<uint8_t>(counter >> 8);
    seed[hLen + 3] = static_cast<uint8_t>(counter);
    RsaHashBytes(hash, seed.data(), seed.size(), block.data());
    for (size_t i = 0; i < hLen && done < dbLen; ++i) db[done++] ^= block[i];
  }
  db[0] &= topMask;
  const size_t zeros = dbLen - hLen - 1;
  for (size_t i = 0; i < zeros; ++i)
    if (db[i] != 0) return false;
  if (db[zeros] != 0x01) return false;
  std::vector<uint8_t> mPrime(8 + 2 * hLen, 0);
  std::memcpy(&mPrime[8], digest, hLen);
  std::memcpy(&mPrime[8 + hLen], &db[zeros + 1], hLen);
  RsaHashBytes(hash, mPrime.data(), mPrime.size(), block.data());
  return std::memcmp(block.data(), h, hLen) == 0;
}
