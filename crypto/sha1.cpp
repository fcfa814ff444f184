// SHA-1 (FIPS 180-4): the portable block function, the choice between it
// and the hardware one (crypto/sha1_x86.cpp), and the streaming interface.
// See crypto/sha.h.
#include <atomic>
#include <cstring>

#include "crypto/crypto_internal.h"
#include "crypto/sha.h"
#include "crypto/sha_internal.h"

using namespace tw::crypto;

namespace {

#define TW_F0(b, c, d) (((b) & (c)) | (~(b) & (d)))
#define TW_F1(b, c, d) ((b) ^ (c) ^ (d))
#define TW_F2(b, c, d) (((b) & (c)) | ((b) & (d)) | ((c) & (d)))
#define TW_WLOAD(i) (w[i] = LoadBe32(p + 4 * (i)))
#define TW_WNEXT(i) \
  (w[(i) & 15] = Rotl32(w[((i) - 3) & 15] ^ w[((i) - 8) & 15] ^ w[((i) - 14) & 15] ^ w[(i) & 15], 1))
// One round; names rotate instead of values (b is rotated in place).
#define TW_RND(a, b, c, d, e, F, K, W)                  \
  {                                                   \
    e += Rotl32(a, 5) + F(b, c, d) + (K) + W;           \
    b = Rotl32(b, 30);                                \
  }
#define TW_R5(i, F, K, WF)                   \
  TW_RND(a, b, c, d, e, F, K, WF((i) + 0)) \
  TW_RND(e, a, b, c, d, F, K, WF((i) + 1)) \
  TW_RND(d, e, a, b, c, F, K, WF((i) + 2)) \
  TW_RND(c, d, e, a, b, F, K, WF((i) + 3)) \
  TW_RND(b, c, d, e, a, F, K, WF((i) + 4))

void Sha1Block(uint32_t state[5], const uint8_t* p) {
  uint32_t w[16];
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
  constexpr uint32_t k0 = 0x5a827999, k1 = 0x6ed9eba1, k2 = 0x8f1bbcdc, k3 = 0xca62c1d6;
  TW_R5(0, TW_F0, k0, TW_WLOAD)
  TW_R5(5, TW_F0, k0, TW_WLOAD)
  TW_R5(10, TW_F0, k0, TW_WLOAD)
  TW_RND(a, b, c, d, e, TW_F0, k0, TW_WLOAD(15))
  TW_RND(e, a, b, c, d, TW_F0, k0, TW_WNEXT(16))
  TW_RND(d, e, a, b, c, TW_F0, k0, TW_WNEXT(17))
  TW_RND(c, d, e, a, b, TW_F0, k0, TW_WNEXT(18))
  TW_RND(b, c, d, e, a, TW_F0, k0, TW_WNEXT(19))
  TW_R5(20, TW_F1, k1, TW_WNEXT)
  TW_R5(25, TW_F1, k1, TW_WNEXT)
  TW_R5(30, TW_F1, k1, TW_WNEXT)
  TW_R5(35, TW_F1, k1, TW_WNEXT)
  TW_R5(40, TW_F2, k2, TW_WNEXT)
  TW_R5(45, TW_F2, k2, TW_WNEXT)
  TW_R5(50, TW_F2, k2, TW_WNEXT)
  TW_R5(55, TW_F2, k2, TW_WNEXT)
  TW_R5(60, TW_F1, k3, TW_WNEXT)
  TW_R5(65, TW_F1, k3, TW_WNEXT)
  TW_R5(70, TW_F1, k3, TW_WNEXT)
  TW_R5(75, TW_F1, k3, TW_WNEXT)
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  state[4] += e;
}

}  // namespace

namespace tw::crypto {

void Sha1BlocksPortable(uint32_t state[5], const uint8_t* data, size_t blocks) {
  for (; blocks > 0; --blocks, data += 64) Sha1Block(state, data);
}

namespace {

// Null until the first use decides; a race only stores the same value twice.
std::atomic<tSha1Blocks> g_blocks{nullptr};

tSha1Blocks AutomaticBlocks() { return Sha1HardwareAvailable() ? &Sha1BlocksHardware : &Sha1BlocksPortable; }

}  // namespace

tSha1Blocks Sha1ActiveBlocks() {
  tSha1Blocks f = g_blocks.load(std::memory_order_acquire);
  if (f == nullptr) {
    f = AutomaticBlocks();
    g_blocks.store(f, std::memory_order_release);
  }
  return f;
}

tSha1Blocks Sha1OverrideBlocks(tSha1Blocks blocks) {
  const tSha1Blocks before = Sha1ActiveBlocks();
  g_blocks.store(blocks != nullptr ? blocks : AutomaticBlocks(), std::memory_order_release);
  return before;
}

}  // namespace tw::crypto

void Sha1Init(sSha1Ctx* ctx) {
  ctx->state[0] = 0x67452301;
  ctx->state[1] = 0xefcdab89;
  ctx->state[2] = 0x98badcfe;
  ctx->state[3] = 0x10325476;
  ctx->state[4] = 0xc3d2e1f0;
  ctx->count = 0;
  ctx->buffered = 0;
}

void Sha1Update(sSha1Ctx* ctx, const void* data, size_t length) {
  if (length == 0) return;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  ctx->count += length;
  const tSha1Blocks blocksFn = Sha1ActiveBlocks();
  if (ctx->buffered != 0) {
    const size_t need = 64 - ctx->buffered;
    if (length < need) {
      std::memcpy(ctx->buffer + ctx->buffered, p, length);
      ctx->buffered += uint32_t(length);
      return;
    }
    std::memcpy(ctx->buffer + ctx->buffered, p, need);
    blocksFn(ctx->state, ctx->buffer, 1);
    p += need;
    length -= need;
    ctx->buffered = 0;
  }
  // Whole blocks straight from the caller's memory.
  const size_t whole = length / 64;
  if (whole != 0) {
    blocksFn(ctx->state, p, whole);
    p += whole * 64;
    length -= whole * 64;
  }
  if (length != 0) std::memcpy(ctx->buffer, p, length);
  ctx->buffered = uint32_t(length);
}

void Sha1Final(sSha1Ctx* ctx, void* out20) {
  const uint32_t have = ctx->buffered;
  const tSha1Blocks blocksFn = Sha1ActiveBlocks();
  ctx->buffer[have] = 0x80;
  if (have >= 56) {
    std::memset(ctx->buffer + have + 1, 0, 63 - have);
    blocksFn(ctx->state, ctx->buffer, 1);
    std::memset(ctx->buffer, 0, 56);
  } else {
    std::memset(ctx->buffer + have + 1, 0, 55 - have);
  }
  StoreBe64(ctx->buffer + 56, ctx->count << 3);
  blocksFn(ctx->state, ctx->buffer, 1);
  uint8_t* out = static_cast<uint8_t*>(out20);
  for (int i = 0; i < 5; ++i) StoreBe32(out + 4 * i, ctx->state[i]);
  SecureZero(ctx, sizeof *ctx);
}
