#include "crypto/random_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <initializer_list>
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
using tw::crypto::kPoolKeySize;
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

Bytes Sha256Of(std::initializer_list<Bytes> parts) {
  sSha256Ctx ctx;
  Sha256Init(&ctx);
  for (const Bytes& p : parts) Sha256Update(&ctx, p.data(), p.size());
  Bytes out(32);
  Sha256Final(&ctx, out.data());
  return out;
}

// A stir from a known pool and key, with the clock and the OS bytes fixed,
// follows the documented derivation exactly and leaves no OS bytes behind.
TEST_F(RandomPool, StirFollowsTheConstruction) {
  ResetRandomPool(&kScripted);
  StirRandomPool();
  Bytes pool(kPoolSize), key(kPoolKeySize);
  for (int i = 0; i < kPoolSize; ++i) pool[i] = uint8_t(i * 7);
  for (int i = 0; i < kPoolKeySize; ++i) key[i] = uint8_t(0xa0 + i);
  {
    cRandomPoolAccess access;
    std::memcpy(access.state().pool, pool.data(), kPoolSize);
    std::memcpy(access.state().key, key.data(), kPoolKeySize);
  }
  g_osPattern = 0x11;
  StirRandomPool();

  Bytes input(64, 0);
  for (int i = 0; i < 8; ++i) input[i] = uint8_t(g_clock >> (8 * i));
  for (int i = 0; i < 32; ++i) input[8 + i] = uint8_t(0x11 + i * 13);
  const Bytes newKey = Sha256Of({Bytes{0x00}, key, input, pool});
  Bytes expected;
  for (uint8_t i = 0; expected.size() < size_t(kPoolSize); ++i) {
    const Bytes block = Sha256Of({Bytes{0x01}, newKey, Bytes{i, 0, 0, 0}});
    expected.insert(expected.end(), block.begin(), block.end());
  }
  expected.resize(kPoolSize);
  EXPECT_EQ(ToHex(PoolBytes()), ToHex(expected));
  cRandomPoolAccess access;
  EXPECT_EQ(ToHex(access.state().key, kPoolKeySize), ToHex(newKey));
  EXPECT_EQ(access.state().readPos, uint32_t(kPoolSlice));
  EXPECT_EQ(ToHex(access.state().input, 8), ToHex(input.data(), 8));
  EXPECT_EQ(ToHex(access.state().input + 8, 56), std::string(112, '0')) << "OS bytes left in the input block";
}

// The bytes of n stirs in the order DrawRandomByte hands them out.
Bytes DrawStirs(int stirs) {
  Bytes out;
  for (int i = 0; i < stirs * (kPoolSize - kPoolSlice); ++i) out.push_back(DrawRandomByte());
  return out;
}

// How often X[p] == X[p + a] ^ X[p + b] holds; about 1/256 for independent
// bytes.
double RelationRate(const Bytes& x, int a, int b) {
  int hits = 0, total = 0;
  for (size_t p = 0; p + size_t(b) < x.size(); ++p, ++total) hits += x[p] == (x[p + a] ^ x[p + b]);
  return double(hits) / total;
}

// The stir made of XORs alone gave X[p] = X[p + 1180] ^ X[p + 1220] at
// nearly every position, with the OS bytes cancelling out of it; no
// relation of that shape may survive, neither with the real sources nor with
// a clock and OS source that never change. Chance is 0.4%; the old stir
// gave 97%.
TEST_F(RandomPool, HandedOutBytesHaveNoXorRelation) {
  for (const sRandomPoolSources* sources : {static_cast<const sRandomPoolSources*>(nullptr), &kScripted}) {
    ResetRandomPool(sources);
    const Bytes x = DrawStirs(12);
    struct sShape {
      int a, b;
    };
    for (const sShape shape : {sShape{1180, 1220}, sShape{1180, 1200}, sShape{1180, 1240}, sShape{1180, 2360},
                               sShape{20, 1180}, sShape{40, 1220}})
      EXPECT_LT(RelationRate(x, shape.a, shape.b), 0.02)
          << (sources ? "scripted" : "system") << " sources, +" << shape.a << " +" << shape.b;
  }
}

// One stir as a function of the pool, with the key, clock and OS bytes
// held fixed: the handed-out bytes it makes from the given pool.
Bytes StirOf(const Bytes& pool) {
  ResetRandomPool(&kScripted);
  StirRandomPool();
  {
    cRandomPoolAccess access;
    std::memcpy(access.state().pool, pool.data(), kPoolSize);
    std::memset(access.state().key, 0x5c, kPoolKeySize);
  }
  StirRandomPool();
  const Bytes after = PoolBytes();
  return Bytes(after.begin() + kPoolSlice, after.end());
}

// No relation between the blocks a stir apart: were one block an affine
// function of the one before (as with any XOR-only stir, whatever the OS
// bytes), stir(a) ^ stir(b) ^ stir(c) would equal stir(a ^ b ^ c) byte for
// byte. A one-way stir matches at chance only.
TEST_F(RandomPool, NoAffineRelationBetweenBlocksAStirApart) {
  Bytes a(kPoolSize), b(kPoolSize), c(kPoolSize), abc(kPoolSize);
  for (int i = 0; i < kPoolSize; ++i) {
    a[i] = uint8_t(i * 31 + 7);
    b[i] = uint8_t(i * i + 3);
    c[i] = uint8_t((i >> 3) ^ 0xa5);
    abc[i] = a[i] ^ b[i] ^ c[i];
  }
  const Bytes fa = StirOf(a), fb = StirOf(b), fc = StirOf(c), fabc = StirOf(abc);
  int same = 0;
  for (size_t i = 0; i < fa.size(); ++i) same += (fa[i] ^ fb[i] ^ fc[i]) == fabc[i];
  EXPECT_LT(same, 40) << "of " << fa.size() << " bytes";
  // A change of one pool bit changes about half the bits of the next block.
  Bytes flipped = a;
  flipped[600] ^= 0x01;
  const Bytes fflipped = StirOf(flipped);
  int bits = 0;
  for (size_t i = 0; i < fa.size(); ++i) bits += __builtin_popcount(unsigned(fa[i] ^ fflipped[i]));
  EXPECT_GT(bits, int(fa.size()) * 8 * 2 / 5);
  EXPECT_LT(bits, int(fa.size()) * 8 * 3 / 5);
}

// A memory image of the pool taken right after a stir (the pool, its key,
// the input block) gives back none of the output handed out before that
// stir: no run of it is stored, the old inversion (old slice s = new slice s
// ^ new slice s + 2) finds nothing, and the key that made it is gone.
TEST_F(RandomPool, MemoryImageAfterAStirHidesEarlierOutput) {
  ResetRandomPool(&kScripted);
  DrawRandomByte();
  Bytes earlierKey;
  {
    cRandomPoolAccess access;
    earlierKey.assign(access.state().key, access.state().key + kPoolKeySize);
  }
  Bytes earlier{PoolBytes()[kPoolSlice]};
  for (int i = 1; i < kPoolSize - kPoolSlice; ++i) earlier.push_back(DrawRandomByte());
  DrawRandomByte();  // stirs
  Bytes image;
  {
    cRandomPoolAccess access;
    const auto& st = access.state();
    image.assign(st.pool, st.pool + kPoolSize);
    image.insert(image.end(), st.key, st.key + kPoolKeySize);
    image.insert(image.end(), st.input, st.input + sizeof st.input);
  }
  for (size_t p = 0; p + 4 <= earlier.size(); p += 4)
    ASSERT_EQ(std::search(image.begin(), image.end(), earlier.begin() + p, earlier.begin() + p + 4), image.end())
        << "earlier output at " << p << " is in the image";
  EXPECT_EQ(std::search(image.begin(), image.end(), earlierKey.begin(), earlierKey.end()), image.end());

  int recovered = 0;
  for (int i = kPoolSlice; i + 2 * kPoolSlice < kPoolSize; ++i)
    recovered += (image[i] ^ image[i + 2 * kPoolSlice]) == earlier[i - kPoolSlice];
  EXPECT_LT(recovered, 40) << "of " << kPoolSize - 3 * kPoolSlice;
}

// The attack that worked on the linear stir, tried again: 64 bytes, then an
// X25519 private key, then 150 explicit IVs of 16 bytes; the private key must
// not come back out of the later public values by the relation.
TEST_F(RandomPool, PrivateKeyDoesNotComeBackFromLaterIvs) {
  ResetRandomPool(nullptr);
  Bytes stream;
  for (int i = 0; i < 64; ++i) stream.push_back(DrawRandomByte());
  uint8_t priv[32], pub[32];
  X25519Base(priv, pub);
  const size_t keyAt = stream.size();
  for (int i = 0; i < 32; ++i) stream.push_back(0);  // unseen by the attacker
  for (int i = 0; i < 150 * 16; ++i) stream.push_back(DrawRandomByte());
  int same = 0;
  for (int i = 0; i < 32; ++i)
    same += priv[i] == (stream[keyAt + i + 1180] ^ stream[keyAt + i + 1220]);
  EXPECT_LT(same, 6) << "private key bytes recovered from later output";
}

// The pool records whether the OS source ever answered: a pool seeded and
// stirred without it says so, one stir with it is enough, and the record
// stays once made.
TEST_F(RandomPool, RecordsWhetherItEverHadOsEntropy) {
  ResetRandomPool(&kScripted);
  g_osWorks = false;
  EXPECT_FALSE(RandomPoolHasOsEntropy());
  EXPECT_EQ(g_osCalls, 2) << "asking seeds the pool (seed and first stir)";
  for (int i = 0; i < 3 * kPoolSize; ++i) DrawRandomByte();
  EXPECT_FALSE(RandomPoolHasOsEntropy());
  g_osWorks = true;
  StirRandomPool();
  EXPECT_TRUE(RandomPoolHasOsEntropy());
  g_osWorks = false;
  StirRandomPool();
  EXPECT_TRUE(RandomPoolHasOsEntropy());

  // Working from the start: the seed alone counts.
  g_osWorks = true;
  ResetRandomPool(&kScripted);
  EXPECT_TRUE(RandomPoolHasOsEntropy());
  ResetRandomPool(nullptr);
  EXPECT_TRUE(RandomPoolHasOsEntropy()) << "the system source failed on this target";
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
  EXPECT_FALSE(RandomPoolHasOsEntropy());
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
