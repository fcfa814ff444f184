// The random pool. See crypto/random_pool.h.
//
// Seeding (first stir only): slice 0 = HMAC-SHA1(key = a stack address,
// SHA-1(counter)); after a 1 ms pause each slice i takes the counter XORed
// into its first eight bytes and slice i + 1 = SHA-1(slice i); then 1200
// bytes of the operating system's source are XORed over the whole pool.
// Every stir: the 64-byte input block gets the counter in bytes 0-7 and 32
// fresh OS bytes in 8-39; then
//   key  = SHA-256(0x00 || key || input block || pool)
//   pool = SHA-256(0x01 || key || LE32(0)) || SHA-256(0x01 || key || LE32(1)) || ...
// (the last block cut to fit 1200 bytes). Reading resumes at byte 20, so
// slice 0 is never handed out directly.
//
// Why hashes and not XOR passes: everything a caller sees must be a one-way
// image of the secret key. A stir made of XORs alone is linear, so the bytes
// handed out betray each other (an explicit IV sent in clear would give back
// a private key drawn before it), and fresh input cancels out of those
// relations. The key moves forward through a hash, so a memory image taken
// after a stir gives back neither the key nor the output before it.
//
// The counter and the stack address alone are guessable: the OS bytes are
// what make the keys drawn from here secret, and the pool records whether
// it ever had any (RandomPoolHasOsEntropy).
#include "crypto/random_pool.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "base/sync.h"
#include "base/time.h"
#include "crypto/crypto_internal.h"
#include "crypto/hmac.h"
#include "crypto/os_random.h"
#include "crypto/random_pool_internal.h"
#include "crypto/sha.h"

namespace tw::crypto {
namespace {

void SleepOneMillisecond() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

uint64_t SystemMicroseconds() { return ::GetMicroseconds(); }

constexpr sRandomPoolSources kSystemSources = {&SystemMicroseconds, &GetOsRandom, &SleepOneMillisecond};

sRandomPoolState g_state;  // zero at start
sRandomPoolSources g_sources = kSystemSources;

// Never destroyed: a draw from a static destructor late at exit still finds
// a working lock.
cCriticalSection& PoolLock() {
  static cCriticalSection* lock = new cCriticalSection();
  return *lock;
}

void Sha1Of(const uint8_t* data, size_t n, uint8_t out[20]) {
  sSha1Ctx ctx;
  Sha1Init(&ctx);
  Sha1Update(&ctx, data, n);
  Sha1Final(&ctx, out);
}

// Lock held.
void SeedLocked() {
  uint8_t* pool = g_state.pool;
  uint8_t counter[8];
  StoreLe64(counter, g_sources.microseconds());
  Sha1Of(counter, 8, pool);

  // The address of a local, as a sign-extended 64-bit little-endian key.
  volatile int local = 0;
  uint8_t address[8];
  StoreLe64(address, static_cast<uint64_t>(static_cast<int64_t>(reinterpret_cast<intptr_t>(&local))));
  uint8_t keyed[kPoolSlice];
  HmacSha1(address, 8, pool, kPoolSlice, keyed);
  std::memcpy(pool, keyed, kPoolSlice);

  g_sources.sleepOneMillisecond();
  for (int i = 0; i < kPoolSize / kPoolSlice - 1; ++i) {
    uint8_t* slice = pool + i * kPoolSlice;
    StoreLe64(counter, g_sources.microseconds());
    for (int j = 0; j < 8; ++j) slice[j] ^= counter[j];
    Sha1Of(slice, kPoolSlice, slice + kPoolSlice);
  }

  uint8_t os[kPoolSize];
  if (g_sources.osRandom(os, sizeof os)) {
    for (int i = 0; i < kPoolSize; ++i) pool[i] ^= os[i];
    g_state.osEntropy = 1;
  }
  SecureZero(os, sizeof os);
  SecureZero(keyed, sizeof keyed);
  g_state.seeded = 1;
}

// Lock held.
void StirLocked() {
  if (!g_state.seeded) SeedLocked();
  if (g_state.busy) return;
  g_state.busy = 1;

  StoreLe64(g_state.input, g_sources.microseconds());
  if (g_sources.osRandom(g_state.input + 8, 32))
    g_state.osEntropy = 1;
  else
    std::memset(g_state.input + 8, 0, 32);

  sSha256Ctx ctx;
  const uint8_t keyTag = 0x00;
  Sha256Init(&ctx);
  Sha256Update(&ctx, &keyTag, 1);
  Sha256Update(&ctx, g_state.key, kPoolKeySize);
  Sha256Update(&ctx, g_state.input, sizeof g_state.input);
  Sha256Update(&ctx, g_state.pool, kPoolSize);
  Sha256Final(&ctx, g_state.key);
  SecureZero(g_state.input + 8, sizeof g_state.input - 8);

  uint8_t block[kSha256Size];
  for (uint32_t i = 0; i * kSha256Size < uint32_t(kPoolSize); ++i) {
    uint8_t head[1 + 4] = {0x01, uint8_t(i), uint8_t(i >> 8), uint8_t(i >> 16), uint8_t(i >> 24)};
    Sha256Init(&ctx);
    Sha256Update(&ctx, head, 1);
    Sha256Update(&ctx, g_state.key, kPoolKeySize);
    Sha256Update(&ctx, head + 1, 4);
    Sha256Final(&ctx, block);
    const uint32_t at = i * kSha256Size;
    const uint32_t n = std::min<uint32_t>(kSha256Size, kPoolSize - at);
    std::memcpy(g_state.pool + at, block, n);
  }
  SecureZero(block, sizeof block);
  SecureZero(&ctx, sizeof ctx);
  g_state.readPos = kPoolSlice;
  g_state.busy = 0;
}

}  // namespace

cRandomPoolAccess::cRandomPoolAccess() { PoolLock().Enter(); }
cRandomPoolAccess::~cRandomPoolAccess() { PoolLock().Leave(); }
sRandomPoolState& cRandomPoolAccess::state() { return g_state; }

void ResetRandomPool(const sRandomPoolSources* sources) {
  cSafeCriticalSectionAccess guard(&PoolLock());
  SecureZero(&g_state, sizeof g_state);
  g_sources = sources != nullptr ? *sources : kSystemSources;
}

}  // namespace tw::crypto

using namespace tw::crypto;

void StirRandomPool() {
  cSafeCriticalSectionAccess guard(&PoolLock());
  StirLocked();
}

uint8_t DrawRandomByte() {
  cSafeCriticalSectionAccess guard(&PoolLock());
  if (!g_state.seeded || g_state.readPos >= kPoolSize) StirLocked();
  // Under the lock no stir can be in progress on another thread, so the
  // stir above always ran and the position is inside the pool again.
  if (g_state.readPos >= kPoolSize) g_state.readPos = kPoolSlice;
  return g_state.pool[g_state.readPos++];
}

bool RandomPoolHasOsEntropy() {
  cSafeCriticalSectionAccess guard(&PoolLock());
  if (!g_state.seeded) StirLocked();
  return g_state.osEntropy != 0;
}
