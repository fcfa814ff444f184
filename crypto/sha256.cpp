// SHA-256 (FIPS 180-4): the portable block function, the choice between it
// and the hardware one, and the streaming interface. See crypto/sha.h.
#include <atomic>
#include <cstring>

#include "crypto/sha.h"
#include "crypto/sha2_compress.h"
#include "crypto/sha_internal.h"

namespace tw::crypto {

namespace {

struct sSha256Params {
  using tWord = uint32_t;
  static constexpr int kRounds = 64;
  static constexpr const uint32_t* kK = kSha256K;
  static uint32_t Bsig0(uint32_t x) { return Rotr32(x, 2) ^ Rotr32(x, 13) ^ Rotr32(x, 22); }
  static uint32_t Bsig1(uint32_t x) { return Rotr32(x, 6) ^ Rotr32(x, 11) ^ Rotr32(x, 25); }
  static uint32_t Ssig0(uint32_t x) { return Rotr32(x, 7) ^ Rotr32(x, 18) ^ (x >> 3); }
  static uint32_t Ssig1(uint32_t x) { return Rotr32(x, 17) ^ Rotr32(x, 19) ^ (x >> 10); }
  static uint32_t Load(const uint8_t* p) { return LoadBe32(p); }
};

}  // namespace

void Sha256BlocksPortable(uint32_t state[8], const uint8_t* data, size_t blocks) {
  for (; blocks > 0; --blocks, data += 64) sSha2Rounds<sSha256Params>::Block(state, data);
}

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
