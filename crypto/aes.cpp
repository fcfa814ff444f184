// AES (FIPS 197) in the T-table form: four tables for the main encryption
// rounds and a fifth for the last, four for decryption and the inverse
// S-box. The tables are computed at compile time from the field arithmetic
// that defines them, so no hand-typed constant can be wrong. Also the
// switch between these tables and the processor's AES instructions
// (crypto/aes_x86.cpp); see crypto/aes_internal.h.
#include <atomic>
#include <cstring>

#include "crypto/aes_internal.h"
#include "crypto/block_cipher.h"
#include "crypto/crypto_internal.h"

namespace tw::crypto {
namespace {

constexpr uint8_t Xtime(uint8_t x) { return uint8_t((x << 1) ^ ((x & 0x80) ? 0x1b : 0)); }

constexpr uint8_t GfMul(uint8_t a, uint8_t b) {
  uint8_t r = 0;
  for (; b != 0; b >>= 1, a = Xtime(a))
    if (b & 1) r ^= a;
  return r;
}

constexpr uint32_t Word(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  return (uint32_t(a) << 24) | (uint32_t(b) << 16) | (uint32_t(c) << 8) | d;
}

constexpr uint32_t Ror8(uint32_t x, int n) { return (x >> (8 * n)) | (x << (32 - 8 * n)); }

struct sAesTables {
  uint8_t sbox[256];
  uint8_t invSbox[256];
  uint32_t te[4][256];  // MixColumns(SubBytes(x)) per column position
  uint32_t te4[256];    // S(x) in every byte, masked per position in the last round
  uint32_t td[4][256];  // InvMixColumns(InvSubBytes(x)) per column position
};

constexpr sAesTables MakeTables() {
  sAesTables t{};
  // Powers of the generator 3 give the multiplicative inverse through logs.
  uint8_t exp[255] = {}, log[256] = {};
  uint8_t p = 1;
  for (int i = 0; i < 255; ++i) {
    exp[i] = p;
    log[p] = uint8_t(i);
    p = uint8_t(p ^ Xtime(p));
  }
  for (int x = 0; x < 256; ++x) {
    // The inverse (0 maps to 0), then the affine transform.
    const uint8_t inv = x == 0 ? 0 : exp[(255 - log[x]) % 255];
    uint8_t s = inv;
    for (int r = 1; r <= 4; ++r) s ^= uint8_t((inv << r) | (inv >> (8 - r)));
    s ^= 0x63;
    t.sbox[x] = s;
    t.invSbox[s] = uint8_t(x);
  }
  for (int x = 0; x < 256; ++x) {
    const uint8_t s = t.sbox[x];
    const uint32_t e = Word(GfMul(s, 2), s, s, GfMul(s, 3));
    const uint8_t i = t.invSbox[x];
    const uint32_t d = Word(GfMul(i, 14), GfMul(i, 9), GfMul(i, 13), GfMul(i, 11));
    for (int r = 0; r < 4; ++r) {
      t.te[r][x] = r == 0 ? e : Ror8(e, r);
      t.td[r][x] = r == 0 ? d : Ror8(d, r);
    }
    t.te4[x] = Word(s, s, s, s);
  }
  return t;
}

constexpr sAesTables kT = MakeTables();

uint32_t SubWord(uint32_t w) {
  return Word(kT.sbox[w >> 24], kT.sbox[(w >> 16) & 0xff], kT.sbox[(w >> 8) & 0xff], kT.sbox[w & 0xff]);
}

}  // namespace

namespace {

// The expansion is written once; only SubWord differs between the paths.
template <uint32_t (*kSubWord)(uint32_t)>
void ExpandEncryptKey(const uint8_t* key, int nk, sAesRoundKeys* enc) {
  const int rounds = nk + 6;
  const int total = 4 * (rounds + 1);
  uint32_t* w = enc->words;
  for (int i = 0; i < nk; ++i) w[i] = LoadBe32(key + 4 * i);
  uint8_t rcon = 1;
  for (int i = nk; i < total; ++i) {
    uint32_t temp = w[i - 1];
    if (i % nk == 0) {
      temp = kSubWord((temp << 8) | (temp >> 24)) ^ (uint32_t(rcon) << 24);
      rcon = Xtime(rcon);
    } else if (nk > 6 && i % nk == 4) {
      temp = kSubWord(temp);
    }
    w[i] = w[i - nk] ^ temp;
  }
  for (int i = total; i < 60; ++i) w[i] = 0;
  enc->rounds = rounds;
}

// 0 automatic, 1 table path forced.
std::atomic<int> g_forcePortable{0};
// -1 until cpuid has been asked, then 0 or 1.
std::atomic<int> g_hardware{-1};

}  // namespace

bool AesHardwareActive() {
  if (g_forcePortable.load(std::memory_order_relaxed) != 0) return false;
  int hw = g_hardware.load(std::memory_order_relaxed);
  if (hw < 0) {
    hw = AesHardwareAvailable() ? 1 : 0;
    g_hardware.store(hw, std::memory_order_relaxed);
  }
  return hw != 0;
}

bool AesForcePortable(bool force) {
  return g_forcePortable.exchange(force ? 1 : 0) != 0;
}

bool AesExpandEncryptKey(const uint8_t* key, int32_t bits, sAesRoundKeys* enc) {
  if (key == nullptr || (bits != 128 && bits != 192 && bits != 256)) return false;
  if (AesHardwareActive())
    ExpandEncryptKey<&AesSubWordHardware>(key, bits / 32, enc);
  else
    ExpandEncryptKey<&SubWord>(key, bits / 32, enc);
  return true;
}

void AesExpandDecryptKey(const sAesRoundKeys& enc, sAesRoundKeys* dec) {
  const int rounds = enc.rounds;
  const bool hardware = AesHardwareActive();
  for (int r = 0; r <= rounds; ++r) {
    const uint32_t* from = enc.words + 4 * (rounds - r);
    uint32_t* to = dec->words + 4 * r;
    if (r == 0 || r == rounds) {
      for (int j = 0; j < 4; ++j) to[j] = from[j];
    } else if (hardware) {
      AesInvMixColumnsHardware(from, to);
    } else {
      for (int j = 0; j < 4; ++j) {
        const uint32_t w = from[j];
        // Td holds InvMixColumns of InvSubBytes: feeding it S(b) leaves
        // InvMixColumns alone.
        to[j] = kT.td[0][kT.sbox[w >> 24]] ^ kT.td[1][kT.sbox[(w >> 16) & 0xff]] ^
                kT.td[2][kT.sbox[(w >> 8) & 0xff]] ^ kT.td[3][kT.sbox[w & 0xff]];
      }
    }
  }
  for (int i = 4 * (rounds + 1); i < 60; ++i) dec->words[i] = 0;
  dec->rounds = rounds;
}

void AesEncryptBlock(const sAesRoundKeys& enc, const uint8_t in[16], uint8_t out[16]) {
  if (AesHardwareActive())
    AesEncryptBlockHardware(enc, in, out);
  else
    AesEncryptBlockPortable(enc, in, out);
}

void AesDecryptBlock(const sAesRoundKeys& dec, const uint8_t in[16], uint8_t out[16]) {
  if (AesHardwareActive())
    AesDecryptBlockHardware(dec, in, out);
  else
    AesDecryptBlockPortable(dec, in, out);
}

void AesCbcEncryptBlocks(const sAesRoundKeys& enc, uint8_t chain[16], const uint8_t* in, uint8_t* out,
                         size_t blocks) {
  if (AesHardwareActive()) {
    AesCbcEncryptHardware(enc, chain, in, out, blocks);
    return;
  }
  for (; blocks > 0; --blocks, in += 16, out += 16) {
    uint8_t w[16];
    for (int i = 0; i < 16; ++i) w[i] = uint8_t(in[i] ^ chain[i]);
    AesEncryptBlockPortable(enc, w, out);
    std::memcpy(chain, out, 16);
  }
}

void AesCbcDecryptBlocks(const sAesRoundKeys& dec, uint8_t chain[16], const uint8_t* in, uint8_t* out,
                         size_t blocks) {
  if (AesHardwareActive()) {
    AesCbcDecryptHardware(dec, chain, in, out, blocks);
    return;
  }
  for (; blocks > 0; --blocks, in += 16, out += 16) {
    uint8_t c[16];
    std::memcpy(c, in, 16);  // the ciphertext survives an in-place call
    AesDecryptBlockPortable(dec, c, out);
    for (int i = 0; i < 16; ++i) out[i] = uint8_t(out[i] ^ chain[i]);
    std::memcpy(chain, c, 16);
  }
}

void AesEncryptBlockPortable(const sAesRoundKeys& enc, const uint8_t in[16], uint8_t out[16]) {
  const uint32_t* rk = enc.words;
  uint32_t s0 = LoadBe32(in) ^ rk[0], s1 = LoadBe32(in + 4) ^ rk[1];
  uint32_t s2 = LoadBe32(in + 8) ^ rk[2], s3 = LoadBe32(in + 12) ^ rk[3];
  for (int r = 1; r < enc.rounds; ++r) {
    rk += 4;
    const uint32_t t0 = kT.te[0][s0 >> 24] ^ kT.te[1][(s1 >> 16) & 0xff] ^ kT.te[2][(s2 >> 8) & 0xff] ^
                        kT.te[3][s3 & 0xff] ^ rk[0];
    const uint32_t t1 = kT.te[0][s1 >> 24] ^ kT.te[1][(s2 >> 16) & 0xff] ^ kT.te[2][(s3 >> 8) & 0xff] ^
                        kT.te[3][s0 & 0xff] ^ rk[1];
    const uint32_t t2 = kT.te[0][s2 >> 24] ^ kT.te[1][(s3 >> 16) & 0xff] ^ kT.te[2][(s0 >> 8) & 0xff] ^
                        kT.te[3][s1 & 0xff] ^ rk[2];
    const uint32_t t3 = kT.te[0][s3 >> 24] ^ kT.te[1][(s0 >> 16) & 0xff] ^ kT.te[2][(s1 >> 8) & 0xff] ^
                        kT.te[3][s2 & 0xff] ^ rk[3];
    s0 = t0;
    s1 = t1;
    s2 = t2;
    s3 = t3;
  }
  rk += 4;
  const uint32_t* f = kT.te4;
  StoreBe32(out, (f[s0 >> 24] & 0xff000000) ^ (f[(s1 >> 16) & 0xff] & 0x00ff0000) ^
                     (f[(s2 >> 8) & 0xff] & 0x0000ff00) ^ (f[s3 & 0xff] & 0xff) ^ rk[0]);
  StoreBe32(out + 4, (f[s1 >> 24] & 0xff000000) ^ (f[(s2 >> 16) & 0xff] & 0x00ff0000) ^
                         (f[(s3 >> 8) & 0xff] & 0x0000ff00) ^ (f[s0 & 0xff] & 0xff) ^ rk[1]);
  StoreBe32(out + 8, (f[s2 >> 24] & 0xff000000) ^ (f[(s3 >> 16) & 0xff] & 0x00ff0000) ^
                         (f[(s0 >> 8) & 0xff] & 0x0000ff00) ^ (f[s1 & 0xff] & 0xff) ^ rk[2]);
  StoreBe32(out + 12, (f[s3 >> 24] & 0xff000000) ^ (f[(s0 >> 16) & 0xff] & 0x00ff0000) ^
                          (f[(s1 >> 8) & 0xff] & 0x0000ff00) ^ (f[s2 & 0xff] & 0xff) ^ rk[3]);
}

void AesDecryptBlockPortable(const sAesRoundKeys& dec, const uint8_t in[16], uint8_t out[16]) {
  const uint32_t* rk = dec.words;
  uint32_t s0 = LoadBe32(in) ^ rk[0], s1 = LoadBe32(in + 4) ^ rk[1];
  uint32_t s2 = LoadBe32(in + 8) ^ rk[2], s3 = LoadBe32(in + 12) ^ rk[3];
  for (int r = 1; r < dec.rounds; ++r) {
    rk += 4;
    const uint32_t t0 = kT.td[0][s0 >> 24] ^ kT.td[1][(s3 >> 16) & 0xff] ^ kT.td[2][(s2 >> 8) & 0xff] ^
                        kT.td[3][s1 & 0xff] ^ rk[0];
    const uint32_t t1 = kT.td[0][s1 >> 24] ^ kT.td[1][(s0 >> 16) & 0xff] ^ kT.td[2][(s3 >> 8) & 0xff] ^
                        kT.td[3][s2 & 0xff] ^ rk[1];
    const uint32_t t2 = kT.td[0][s2 >> 24] ^ kT.td[1][(s1 >> 16) & 0xff] ^ kT.td[2][(s0 >> 8) & 0xff] ^
                        kT.td[3][s3 & 0xff] ^ rk[2];
    const uint32_t t3 = kT.td[0][s3 >> 24] ^ kT.td[1][(s2 >> 16) & 0xff] ^ kT.td[2][(s1 >> 8) & 0xff] ^
                        kT.td[3][s0 & 0xff] ^ rk[3];
    s0 = t0;
    s1 = t1;
    s2 = t2;
    s3 = t3;
  }
  rk += 4;
  const uint8_t* is = kT.invSbox;
  StoreBe32(out, Word(is[s0 >> 24], is[(s3 >> 16) & 0xff], is[(s2 >> 8) & 0xff], is[s1 & 0xff]) ^ rk[0]);
  StoreBe32(out + 4, Word(is[s1 >> 24], is[(s0 >> 16) & 0xff], is[(s3 >> 8) & 0xff], is[s2 & 0xff]) ^ rk[1]);
  StoreBe32(out + 8, Word(is[s2 >> 24], is[(s1 >> 16) & 0xff], is[(s0 >> 8) & 0xff], is[s3 & 0xff]) ^ rk[2]);
  StoreBe32(out + 12, Word(is[s3 >> 24], is[(s2 >> 16) & 0xff], is[(s1 >> 8) & 0xff], is[s0 & 0xff]) ^ rk[3]);
}

}  // namespace tw::crypto

using namespace tw::crypto;

// ---- cBlockCipher / cAESCipher (see crypto/block_cipher.h) ----

cBlockCipher::~cBlockCipher() {
  if (key.data != nullptr) SecureZero(key.data, static_cast<size_t>(key.count));
}

void cBlockCipher::Wipe() {}

cAESCipher::~cAESCipher() { cAESCipher::Wipe(); }

int32_t cAESCipher::GetKind() const { return 2; }

bool cAESCipher::IsValidKeyBits(int32_t bits) const { return bits == 128 || bits == 192 || bits == 256; }

bool cAESCipher::SetKey(const void* keyBytes, int32_t bits) {
  if (keyBytes == nullptr || !IsValidKeyBits(bits)) return false;
  sAesRoundKeys enc;
  AesExpandEncryptKey(static_cast<const uint8_t*>(keyBytes), bits, &enc);
  Wipe();
  encRoundKeys = enc;
  AesExpandDecryptKey(encRoundKeys, &decRoundKeys);
  SecureZero(&enc, sizeof enc);
  const int32_t n = (bits + 7) / 8;
  key.Reallocate(n);
  std::memcpy(key.data, keyBytes, static_cast<size_t>(n));
  keyBits = bits;
  return true;
}

void cAESCipher::Wipe() {
  SecureZero(&encRoundKeys, sizeof encRoundKeys);
  SecureZero(&decRoundKeys, sizeof decRoundKeys);
  if (key.data != nullptr) SecureZero(key.data, static_cast<size_t>(key.count));
  keyBits = 0;
}

int32_t cAESCipher::BlockSize() const { return 16; }

// Without a key schedule the rounds would still run, as a public and
// reversible permutation that looks like ciphertext: refuse instead.
bool cAESCipher::EncryptBlock(const void* in, void* out) {
  if (in == nullptr || out == nullptr || keyBits == 0) return false;
  AesEncryptBlock(encRoundKeys, static_cast<const uint8_t*>(in), static_cast<uint8_t*>(out));
  return true;
}

bool cAESCipher::DecryptBlock(const void* in, void* out) {
  if (in == nullptr || out == nullptr || keyBits == 0) return false;
  AesDecryptBlock(decRoundKeys, static_cast<const uint8_t*>(in), static_cast<uint8_t*>(out));
  return true;
}

tOwned<cBlockCipher> cAESCipher::CreateNew() const { return tOwned<cBlockCipher>(new cAESCipher()); }
