// SHA-256 (FIPS 180-4): the portable block function, the choice between it
// and the hardware one, and the streaming interface. See crypto/sha.h.
#include <atomic>
#include <cstring>

#include "crypto/sha.h"
#include "crypto/sha_internal.h"

namespace tw::crypto {

#define TW_CH(x, y, z) (((x) & (y)) ^ (~(x) & (z)))
#define TW_MAJ(x, y, z) (((x) & (y)) ^ ((x) & (z)) ^ ((y) & (z)))
#define TW_BSIG0(x) (Rotr32(x, 2) ^ Rotr32(x, 13) ^ Rotr32(x, 22))
#define TW_BSIG1(x) (Rotr32(x, 6) ^ Rotr32(x, 11) ^ Rotr32(x, 25))
#define TW_SSIG0(x) (Rotr32(x, 7) ^ Rotr32(x, 18) ^ ((x) >> 3))
#define TW_SSIG1(x) (Rotr32(x, 17) ^ Rotr32(x, 19) ^ ((x) >> 10))

// The message schedule lives in a 16-word window; word i of the block comes
// straight from the caller's bytes, later words replace the oldest slot.
#define TW_WLOAD(i) (w[i] = LoadBe32(data + 4 * (i)))
#define TW_WNEXT(i)                                                                        \
  (w[(i) & 15] += TW_SSIG1(w[((i) - 2) & 15]) + w[((i) - 7) & 15] + TW_SSIG0(w[((i) - 15) & 15]))

// One round; the caller rotates the variable names instead of the values.
#define TW_RND(a, b, c, d, e, f, g, h, i, W)                                  \
  {                                                                           \
    const uint32_t t1 = h + TW_BSIG1(e) + TW_CH(e, f, g) + kSha256K[i] + W;   \
    const uint32_t t2 = TW_BSIG0(a) + TW_MAJ(a, b, c);                        \
    d += t1;                                                                  \
    h = t1 + t2;                                                              \
  }
#define TW_R8(i, WF)                              \
  TW_RND(a, b, c, d, e, f, g, h, (i) + 0, WF((i) + 0)) \
  TW_RND(h, a, b, c, d, e, f, g, (i) + 1, WF((i) + 1)) \
  TW_RND(g, h, a, b, c, d, e, f, (i) + 2, WF((i) + 2)) \
  TW_RND(f, g, h, a, b, c, d, e, (i) + 3, WF((i) + 3)) \
  TW_RND(e, f, g, h, a, b, c, d, (i) + 4, WF((i) + 4)) \
  TW_RND(d, e, f, g, h, a, b, c, (i) + 5, WF((i) + 5)) \
  TW_RND(c, d, e, f, g, h, a, b, (i) + 6, WF((i) + 6)) \
  TW_RND(b, c, d, e, f, g, h, a, (i) + 7, WF((i) + 7))

void Sha256BlocksPortable(uint32_t state[8], const uint8_t* data, size_t blocks) {
  for (; blocks > 0; --blocks, data += 64) {
    uint32_t w[16];
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    TW_R8(0, TW_WLOAD)
    TW_R8(8, TW_WLOAD)
    TW_R8(16, TW_WNEXT)
    TW_R8(24, TW_WNEXT)
    TW_R8(32, TW_WNEXT)
    TW_R8(40, TW_WNEXT)
    TW_R8(48, TW_WNEXT)
    TW_R8(56, TW_WNEXT)
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
  }
}

#undef TW_R8
#undef TW_RND
#undef TW_WNEXT
#undef TW_WLOAD
#undef TW_SSIG1
#undef TW_SSIG0
#undef TW_BSIG1
#undef TW_BSIG0
#undef TW_MAJ
#undef TW_CH

namespace {

// Null until the first use decides; a race only stores the same value twice.
std::atomic<tSha256Blocks> g_blocks{nullptr};

tSha256Blocks AutomaticBlocks() {
  return Sha256HardwareAvailable() ? &Sha256BlocksHardware : &Sha256BlocksPortable;
}

}  // namespace

tSha256Blocks Sha256ActiveBlocks() {
  tSha256Blocks f = g_blocks.load(std::memory_order_acquire);
  if (f == nullptr) {
    f = AutomaticBlocks();
    g_blocks.store(f, std::memory_order_release);
  }
  return f;
}

tSha256Blocks Sha256OverrideBlocks(tSha256Blocks blocks) {
  const tSha256Blocks before = Sha256ActiveBlocks();
  g_blocks.store(blocks != nullptr ? blocks : AutomaticBlocks(), std::memory_order_release);
  return before;
}

}  // namespace tw::crypto

using namespace tw::crypto;

void Sha256Init(sSha256Ctx* ctx) {
  static constexpr uint32_t kInit[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  ctx->count[0] = 0;
  ctx->count[1] = 0;
  std::memcpy(ctx->state, kInit, sizeof kInit);
}

void Sha256Update(sSha256Ctx* ctx, const void* data, size_t length) {
  if (length == 0) return;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  const uint32_t have = ctx->count[0] & 63;
  const uint64_t total = ((uint64_t(ctx->count[1]) << 32) | ctx->count[0]) + uint64_t(length);
  ctx->count[0] = uint32_t(total);
  ctx->count[1] = uint32_t(total >> 32);

  const tSha256Blocks blocksFn = Sha256ActiveBlocks();
  if (have != 0) {
    const size_t need = 64 - have;
    if (length < need) {
      std::memcpy(ctx->buffer + have, p, length);
      return;
    }
    std::memcpy(ctx->buffer + have, p, need);
    blocksFn(ctx->state, ctx->buffer, 1);
    p += need;
    length -= need;
  }
  // Whole blocks straight from the caller's memory.
  const size_t whole = length / 64;
  if (whole != 0) {
    blocksFn(ctx->state, p, whole);
    p += whole * 64;
    length -= whole * 64;
  }
  if (length != 0) std::memcpy(ctx->buffer, p, length);
}

void Sha256Final(sSha256Ctx* ctx, void* out32) {
  const uint32_t have = ctx->count[0] & 63;
  const uint64_t bits = ((uint64_t(ctx->count[1]) << 32) | ctx->count[0]) << 3;
  const tSha256Blocks blocksFn = Sha256ActiveBlocks();
  ctx->buffer[have] = 0x80;
  if (have >= 56) {
    // No room for the length: it goes into a second padding block.
    std::memset(ctx->buffer + have + 1, 0, 63 - have);
    blocksFn(ctx->state, ctx->buffer, 1);
    std::memset(ctx->buffer, 0, 56);
  } else {
    std::memset(ctx->buffer + have + 1, 0, 55 - have);
  }
  StoreBe64(ctx->buffer + 56, bits);
  blocksFn(ctx->state, ctx->buffer, 1);
  uint8_t* out = static_cast<uint8_t*>(out32);
  for (int i = 0; i < 8; ++i) StoreBe32(out + 4 * i, ctx->state[i]);
  SecureZero(ctx, sizeof *ctx);
}

void Sha256(void* out32, const void* data, int64_t length) {
  if (length == -1) length = static_cast<int64_t>(std::strlen(static_cast<const char*>(data)));
  sSha256Ctx ctx;
  Sha256Init(&ctx);
  if (length > 0) Sha256Update(&ctx, data, static_cast<size_t>(length));
  Sha256Final(&ctx, out32);
}
