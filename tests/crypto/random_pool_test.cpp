#include "crypto/random_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "crypto/os_random.h"
#include "crypto/random_pool_internal.h"
#include "crypto/sha.h"
#include "crypto/x25519.h"
#include "tests/crypto/vectors.h"

namespace {

using tw::crypto::cRandomPoolAccess;
using tw::crypto::kPoolSize;
using tw::crypto::kPoolSlice;
using tw::crypto::ResetRandomPool;
using tw::crypto::sRandomPoolSources;
using twtest::Bytes;
using twtest::ToHex;

// Scripted sources: a counter that always reads the same, and OS bytes
// that follow a pattern chosen by the test.
uint64_t g_clock = 0x0102030405060708ull;
uint8_t g_osPattern = 0;
bool g_osWorks = true;
int g_osCalls = 0;

uint64_t FixedClock() { return g_clock; }
bool PatternOs(void* out, size_t n) {
  ++g_osCalls;
  uint8_t* p = static_cast<uint8_t*>(out);
  for (size_t i = 0; i < n; ++i) p[i] = uint8_t(g_osPattern + i * 13);
  return g_osWorks;
}
void NoSleep() {}

const sRandomPoolSources kScripted = {&FixedClock, &PatternOs, &NoSleep};

Bytes PoolBytes() {
  cRandomPoolAccess access;
  return Bytes(access.state().pool, access.state().pool + kPoolSize);
}
uint32_t ReadPos() {
  cRandomPoolAccess access;
  return access.state().readPos;
}

class RandomPool : public ::testing::Test {
protected:
  void SetUp() override {
    g_osPattern = 0;
    g_osWorks = true;
    g_osCalls = 0;
  }
  void TearDown() override { ResetRandomPool(nullptr); }
};

// The first draw seeds and stirs; the first byte handed out is pool byte
// 20; 1180 bytes later exactly one more stir happens.
TEST_F(RandomPool, StirScheduleAndReadPosition) {
  ResetRandomPool(nullptr);
  EXPECT_EQ(PoolBytes(), Bytes(kPoolSize, 0));
  const uint8_t first = DrawRandomByte();
  {
    cRandomPoolAccess access;
    EXPECT_EQ(access.state().seeded, 1);
    EXPECT_EQ(access.state().readPos, uint32_t(kPoolSlice + 1));
    EXPECT_EQ(first, access.state().pool[kPoolSlice]);
    EXPECT_EQ(access.state().busy, 0);
  }
  const Bytes afterFirstStir = PoolBytes();
  std::vector<uint8_t> drawn{first};
  for (int i = 1; i < kPoolSize - kPoolSlice; ++i) drawn.push_back(DrawRandomByte());
  EXPECT_EQ(ReadPos(), uint32_t(kPoolSize));
  EXPECT_EQ(PoolBytes(), afterFirstStir) << "no stir within the first 1180 bytes";
  EXPECT_EQ(ToHex(drawn.data(), drawn.size()), ToHex(afterFirstStir.data() + kPoolSlice, kPoolSize - kPoolSlice))
      << "bytes 20..1199 in order";

  const uint8_t next = DrawRandomByte();
  const Bytes afterSecondStir = PoolBytes();
  EXPECT_NE(afterSecondStir, afterFirstStir);
  EXPECT_EQ(next, afterSecondStir[kPoolSlice]);
  EXPECT_EQ(ReadPos(), uint32_t(kPoolSlice + 1));
}

Bytes Sha1(const uint8_t* p, size_t n) {
  sSha1Ctx ctx;
  Sha1Init(&ctx);
  Sha1Update(&ctx, p, n);
  Bytes out(20);
  Sha1Final(&ctx, out.data());
  return out;
}

// Seeding alone (the busy flag makes the stir after it return at once):
// under the OS bytes lies the SHA-1 chain, slice i + 1 = SHA-1(slice i).
TEST_F(RandomPool, SeedIsAChainUnderTheOsBytes) {
  ResetRandomPool(&kScripted);
  g_osPattern = 0x40;
  {
    cRandomPoolAccess access;
    access.state().busy = 1;
  }
  StirRandomPool();
  Bytes pool = PoolBytes();
  {
    cRandomPoolAccess access;
    EXPECT_EQ(access.state().seeded, 1);
    EXPECT_EQ(access.state().readPos, 0u) << "the skipped stir must not move the position";
    access.state().busy = 0;
  }
  Bytes os(kPoolSize);
  PatternOs(os.data(), os.size());
  for (int i = 0; i < kPoolSize; ++i) pool[i] ^= os[i];
  // Slices 0 to 58 keep the counter XORed into their first eight bytes
  // after the next slice was hashed from them; the last slice does not.
  for (int i = 0; i + 1 < kPoolSize / kPoolSlice; ++i) {
    Bytes next(pool.begin() + (i + 1) * kPoolSlice, pool.begin() + (i + 2) * kPoolSlice);
    if (i + 1 < kPoolSize / kPoolSlice - 1)
      for (int j = 0; j < 8; ++j) next[j] ^= uint8_t(g_clock >> (8 * j));
    EXPECT_EQ(ToHex(Sha1(&pool[i * kPoolSlice], kPoolSlice)), ToHex(next)) << "slice " << i + 1;
  }
}

// A stir from a known pool, with the clock and the OS bytes fixed, follows
// the documented two passes exactly and leaves no OS bytes behind.
TEST_F(RandomPool, StirFollowsTheConstruction) {
  ResetRandomPool(&kScripted);
  StirRandomPool();
  {
    cRandomPoolAccess access;
    for (int i = 0; i < kPoolSize; ++i) access.state().pool[i] = uint8_t(i * 7);
  }
  g_osPattern = 0x11;
  StirRandomPool();

  Bytes expected(kPoolSize);
  for (int i = 0; i < kPoolSize; ++i) expected[i] = uint8_t(i * 7);
  uint8_t input[64] = {};
  for (int i = 0; i < 8; ++i) input[i] = uint8_t(g_clock >> (8 * i));
  for (int i = 0; i < 32; ++i) input[8 + i] = uint8_t(0x11 + i * 13);
  Bytes r = Sha1(input, 64);
  for (int pass = 0; pass < 2; ++pass)
    for (int s = kPoolSize / kPoolSlice - 1; s >= 0; --s) {
      for (int j = 0; j < kPoolSlice; ++j) expected[s * kPoolSlice + j] ^= r[j];
      r.assign(expected.begin() + s * kPoolSlice, expected.begin() + (s + 1) * kPoolSlice);
    }
  EXPECT_EQ(ToHex(PoolBytes()), ToHex(expected));
  cRandomPoolAccess access;
  EXPECT_EQ(access.state().readPos, uint32_t(kPoolSlice));
  EXPECT_EQ(ToHex(access.state().input, 8), ToHex(input, 8));
  EXPECT_EQ(ToHex(access.state().input + 8, 56), std::string(112, '0')) << "OS bytes left in the input block";
}

// The mended fault: with the counter and everything else the same, the OS
// bytes change the seed and every stir.
TEST_F(RandomPool, OperatingSystemBytesReachSeedAndEveryStir) {
  auto run = [](uint8_t pattern, int draws) {
    ResetRandomPool(&kScripted);
    g_osPattern = pattern;
    Bytes out;
    for (int i = 0; i < draws; ++i) out.push_back(DrawRandomByte());
    return out;
  };
  const Bytes a = run(1, 10), b = run(2, 10);
  EXPECT_NE(a, b) << "seed ignores the OS bytes";
  EXPECT_GE(g_osCalls, 2);

  // Same seed, then a stir with different OS bytes.
  auto seedThenStir = [](uint8_t stirPattern) {
    ResetRandomPool(&kScripted);
    g_osPattern = 5;
    StirRandomPool();
    g_osPattern = stirPattern;
    StirRandomPool();
    return PoolBytes();
  };
  EXPECT_NE(seedThenStir(7), seedThenStir(8)) << "stir ignores the OS bytes";

  // A failed source is not fatal: the pool still seeds from the counter.
  ResetRandomPool(&kScripted);
  g_osWorks = false;
  DrawRandomByte();
  EXPECT_NE(PoolBytes(), Bytes(kPoolSize, 0));
}

// Many threads drawing at once, across many stirs: the position stays
// inside the pool and the bytes stay random-looking.
TEST_F(RandomPool, ConcurrentDraws) {
  ResetRandomPool(nullptr);
  std::atomic<int> nonZero{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&nonZero] {
      int local = 0;
      for (int i = 0; i < 6000; ++i) local += DrawRandomByte() != 0;
      nonZero += local;
    });
  for (auto& th : threads) th.join();
  const uint32_t pos = ReadPos();
  EXPECT_GE(pos, uint32_t(kPoolSlice));
  EXPECT_LE(pos, uint32_t(kPoolSize));
  // 24000 bytes: fewer than 23000 non-zero would be far outside chance.
  EXPECT_GT(nonZero.load(), 23000);
}

// The system source itself (BCryptGenRandom, getrandom) answers on this
// target: a silent failure there would leave the pool as guessable as
// before the OS bytes were added.
TEST(OsRandom, FillsFreshBytesOfAnyLength) {
  for (size_t n : {size_t{1}, size_t{32}, size_t{257}, size_t{1200}, size_t{70000}}) {
    Bytes a(n + 1, 0), b(n + 1, 0);
    a[n] = b[n] = 0x5a;
    ASSERT_TRUE(tw::crypto::GetOsRandom(a.data(), n)) << n;
    ASSERT_TRUE(tw::crypto::GetOsRandom(b.data(), n)) << n;
    EXPECT_EQ(a[n], 0x5a) << "wrote past " << n << " bytes";
    if (n >= 32) {
      EXPECT_NE(a, b) << n;
      // Both halves of a long request are filled (a short read not resumed
      // would leave the zero start behind): 16 zero bytes in a row are
      // beyond chance.
      const Bytes zeros(16, 0);
      EXPECT_EQ(std::search(a.begin(), a.begin() + n, zeros.begin(), zeros.end()), a.begin() + n) << n;
    }
  }
}

TEST_F(RandomPool, X25519BaseMakesMatchingDistinctPairs) {
  ResetRandomPool(nullptr);
  uint8_t priv1[32], pub1[32], priv2[32], pub2[32], check[32];
  X25519Base(priv1, pub1);
  X25519Base(priv2, pub2);
  const uint8_t nine[32] = {9};
  X25519(priv1, check, nine);
  EXPECT_EQ(ToHex(check, 32), ToHex(pub1, 32));
  EXPECT_NE(ToHex(priv1, 32), ToHex(priv2, 32));
  EXPECT_NE(ToHex(pub1, 32), ToHex(pub2, 32));
  // Both sides of an exchange agree.
  uint8_t k1[32], k2[32];
  X25519(priv1, k1, pub2);
  X25519(priv2, k2, pub1);
  EXPECT_EQ(ToHex(k1, 32), ToHex(k2, 32));
}

}  // namespace
