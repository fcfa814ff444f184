// SHA-384: the SHA-512 compression of FIPS 180-4 with SHA-384's initial
// value, truncated to 48 bytes. See crypto/sha.h.
#include <cstring>

#include "crypto/crypto_internal.h"
#include "crypto/sha.h"
#include "crypto/sha2_compress.h"

using namespace tw::crypto;

namespace {

constexpr uint64_t kK512[80] = {
    0x428a2f98d728ae22, 0x7137449123ef65cd, 0xb5c0fbcfec4d3b2f, 0xe9b5dba58189dbbc, 0x3956c25bf348b538,
    0x59f111f1b605d019, 0x923f82a4af194f9b, 0xab1c5ed5da6d8118, 0xd807aa98a3030242, 0x12835b0145706fbe,
    0x243185be4ee4b28c, 0x550c7dc3d5ffb4e2, 0x72be5d74f27b896f, 0x80deb1fe3b1696b1, 0x9bdc06a725c71235,
    0xc19bf174cf692694, 0xe49b69c19ef14ad2, 0xefbe4786384f25e3, 0x0fc19dc68b8cd5b5, 0x240ca1cc77ac9c65,
    0x2de92c6f592b0275, 0x4a7484aa6ea6e483, 0x5cb0a9dcbd41fbd4, 0x76f988da831153b5, 0x983e5152ee66dfab,
    0xa831c66d2db43210, 0xb00327c898fb213f, 0xbf597fc7beef0ee4, 0xc6e00bf33da88fc2, 0xd5a79147930aa725,
    0x06ca6351e003826f, 0x142929670a0e6e70, 0x27b70a8546d22ffc, 0x2e1b21385c26c926, 0x4d2c6dfc5ac42aed,
    0x53380d139d95b3df, 0x650a73548baf63de, 0x766a0abb3c77b2a8, 0x81c2c92e47edaee6, 0x92722c851482353b,
    0xa2bfe8a14cf10364, 0xa81a664bbc423001, 0xc24b8b70d0f89791, 0xc76c51a30654be30, 0xd192e819d6ef5218,
    0xd69906245565a910, 0xf40e35855771202a, 0x106aa07032bbd1b8, 0x19a4c116b8d2d0c8, 0x1e376c085141ab53,
    0x2748774cdf8eeb99, 0x34b0bcb5e19b48a8, 0x391c0cb3c5c95a63, 0x4ed8aa4ae3418acb, 0x5b9cca4f7763e373,
    0x682e6ff3d6b2b8a3, 0x748f82ee5defb2fc, 0x78a5636f43172f60, 0x84c87814a1f0ab72, 0x8cc702081a6439ec,
    0x90befffa23631e28, 0xa4506cebde82bde9, 0xbef9a3f7b2c67915, 0xc67178f2e372532b, 0xca273eceea26619c,
    0xd186b8c721c0c207, 0xeada7dd6cde0eb1e, 0xf57d4f7fee6ed178, 0x06f067aa72176fba, 0x0a637dc5a2c898a6,
    0x113f9804bef90dae, 0x1b710b35131c471b, 0x28db77f523047d84, 0x32caab7b40c72493, 0x3c9ebe0a15c9bebc,
    0x431d67c49c100d4c, 0x4cc5d4becb3e42b6, 0x597f299cfc657e2a, 0x5fcb6fab3ad6faec, 0x6c44198c4a475817};

struct sSha512Params {
  using tWord = uint64_t;
  static constexpr int kRounds = 80;
  static constexpr const uint64_t* kK = kK512;
  static uint64_t Bsig0(uint64_t x) { return Rotr64(x, 28) ^ Rotr64(x, 34) ^ Rotr64(x, 39); }
  static uint64_t Bsig1(uint64_t x) { return Rotr64(x, 14) ^ Rotr64(x, 18) ^ Rotr64(x, 41); }
  static uint64_t Ssig0(uint64_t x) { return Rotr64(x, 1) ^ Rotr64(x, 8) ^ (x >> 7); }
  static uint64_t Ssig1(uint64_t x) { return Rotr64(x, 19) ^ Rotr64(x, 61) ^ (x >> 6); }
  static uint64_t Load(const uint8_t* p) { return LoadBe64(p); }
};

void Sha512Block(uint64_t state[8], const uint8_t* p) { sSha2Rounds<sSha512Params>::Block(state, p); }

// Adds n to the 128-bit count held as four 32-bit words, lowest first.
void AddCount(uint32_t count[4], uint64_t n) {
  uint64_t carry = n;
  for (int i = 0; i < 4 && carry != 0; ++i) {
    const uint64_t sum = uint64_t(count[i]) + (carry & 0xffffffffu);
    count[i] = uint32_t(sum);
    carry = (carry >> 32) + (sum >> 32);
  }
}

}  // namespace

int Sha384Init(sSha384Ctx* ctx) {
  static constexpr uint64_t kInit[8] = {0xcbbb9d5dc1059ed8, 0x629a292a367cd507, 0x9159015a3070dd17,
                                        0x152fecd8f70e5939, 0x67332667ffc00b31, 0x8eb44a8768581511,
                                        0xdb0c2e0d64f98fa7, 0x47b5481dbefa4fa4};
  std::memset(ctx->count, 0, sizeof ctx->count);
  std::memcpy(ctx->state, kInit, sizeof kInit);
  return 0;
}

int Sha384Update(sSha384Ctx* ctx, const void* data, size_t length) {
  if (data == nullptr) return 1;
  if (length == 0) return 0;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  const uint32_t have = ctx->count[0] & 127;
  AddCount(ctx->count, length);
  if (have != 0) {
    const size_t need = 128 - have;
    if (length < need) {
      std::memcpy(ctx->buffer + have, p, length);
      return 0;
    }
    std::memcpy(ctx->buffer + have, p, need);
    Sha512Block(ctx->state, ctx->buffer);
    p += need;
    length -= need;
  }
  for (; length >= 128; p += 128, length -= 128) Sha512Block(ctx->state, p);
  if (length != 0) std::memcpy(ctx->buffer, p, length);
  return 0;
}

namespace {

// Pads the last block and compresses it; the state then holds the digest.
void Sha512FamilyFinish(sSha384Ctx* ctx) {
  const uint32_t have = ctx->count[0] & 127;
  ctx->buffer[have] = 0x80;
  if (have >= 112) {
    std::memset(ctx->buffer + have + 1, 0, 127 - have);
    Sha512Block(ctx->state, ctx->buffer);
    std::memset(ctx->buffer, 0, 112);
  } else {
    std::memset(ctx->buffer + have + 1, 0, 111 - have);
  }
  // The bit length: the 128-bit byte count shifted left by three.
  for (int i = 0; i < 4; ++i) {
    const uint32_t lower = i > 0 ? ctx->count[i - 1] >> 29 : 0;
    StoreBe32(ctx->buffer + 124 - 4 * i, (ctx->count[i] << 3) | lower);
  }
  Sha512Block(ctx->state, ctx->buffer);
}

}  // namespace

int Sha384Final(sSha384Ctx* ctx, void* out48) {
  if (out48 == nullptr) return 1;
  Sha512FamilyFinish(ctx);
  uint8_t* out = static_cast<uint8_t*>(out48);
  for (int i = 0; i < 6; ++i) StoreBe64(out + 8 * i, ctx->state[i]);
  SecureZero(ctx, sizeof *ctx);
  return 0;
}

void Sha512Init(sSha512Ctx* ctx) {
  static constexpr uint64_t kInit[8] = {0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b,
                                        0xa54ff53a5f1d36f1, 0x510e527fade682d1, 0x9b05688c2b3e6c1f,
                                        0x1f83d9abfb41bd6b, 0x5be0cd19137e2179};
  std::memset(ctx->count, 0, sizeof ctx->count);
  std::memcpy(ctx->state, kInit, sizeof kInit);
}

void Sha512Update(sSha512Ctx* ctx, const void* data, size_t length) {
  if (length != 0) Sha384Update(ctx, data, length);
}

void Sha512Final(sSha512Ctx* ctx, void* out64) {
  Sha512FamilyFinish(ctx);
  uint8_t* out = static_cast<uint8_t*>(out64);
  for (int i = 0; i < 8; ++i) StoreBe64(out + 8 * i, ctx->state[i]);
  SecureZero(ctx, sizeof *ctx);
}
