#include "crypto/sha.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "crypto/sha_internal.h"
#include "tests/crypto/vectors.h"

namespace {

using twtest::Bytes;
using twtest::Field;
using twtest::Hex;
using twtest::ToHex;

// A message cut into pieces: {offset, length} pairs fed in order.
using Pieces = std::vector<std::pair<size_t, size_t>>;

Bytes Sha1Pieces(const Bytes& m, const Pieces& pieces) {
  sSha1Ctx ctx;
  Sha1Init(&ctx);
  for (auto [off, n] : pieces) Sha1Update(&ctx, m.data() + off, n);
  Bytes out(kSha1Size);
  Sha1Final(&ctx, out.data());
  return out;
}

Bytes Sha256Pieces(const Bytes& m, const Pieces& pieces) {
  sSha256Ctx ctx;
  Sha256Init(&ctx);
  for (auto [off, n] : pieces) Sha256Update(&ctx, m.data() + off, n);
  Bytes out(kSha256Size);
  Sha256Final(&ctx, out.data());
  return out;
}

Bytes Sha384Pieces(const Bytes& m, const Pieces& pieces) {
  sSha384Ctx ctx;
  EXPECT_EQ(Sha384Init(&ctx), 0);
  for (auto [off, n] : pieces) EXPECT_EQ(Sha384Update(&ctx, m.data() + off, n), 0);
  Bytes out(kSha384Size);
  EXPECT_EQ(Sha384Final(&ctx, out.data()), 0);
  return out;
}

Bytes Sha512Pieces(const Bytes& m, const Pieces& pieces) {
  sSha512Ctx ctx;
  Sha512Init(&ctx);
  for (auto [off, n] : pieces) Sha512Update(&ctx, m.data() + off, n);
  Bytes out(kSha512Size);
  Sha512Final(&ctx, out.data());
  return out;
}

struct Algo {
  const char* name;
  Bytes (*hash)(const Bytes&, const Pieces&);
  size_t block;
};
const Algo kAlgos[] = {
    {"SHA1", &Sha1Pieces, 64},
    {"SHA256", &Sha256Pieces, 64},
    {"SHA384", &Sha384Pieces, 128},
    {"SHA512", &Sha512Pieces, 128},
};

Bytes Whole(const Algo& a, const Bytes& m) { return a.hash(m, {{0, m.size()}}); }

// The message of a CAVP record: Len counts bits, and "Msg = 00" stands for
// the empty message.
Bytes RecordMessage(const twtest::Record& r) {
  Bytes m = Hex(Field(r, "Msg"));
  m.resize(std::stoul(Field(r, "Len")) / 8);
  return m;
}

void CheckCavpFile(const Algo& a, const std::string& file) {
  const auto records = twtest::ReadVectors(file, "Len");
  ASSERT_GE(records.size(), 4u) << file;
  for (const auto& r : records) {
    const Bytes m = RecordMessage(r);
    EXPECT_EQ(ToHex(Whole(a, m)), Field(r, "MD")) << file << " Len=" << Field(r, "Len");
  }
}

TEST(Sha, CavpShortAndLongMessages) {
  for (const Algo& a : kAlgos) {
    CheckCavpFile(a, std::string(a.name) + "ShortMsg.rsp");
    CheckCavpFile(a, std::string(a.name) + "LongMsg.rsp");
  }
}

// CAVP Monte Carlo: each of 100 checkpoints is 1000 chained digests of the
// last three, so every length and padding path is crossed many times.
TEST(Sha, CavpMonteCarlo) {
  for (const Algo& a : kAlgos) {
    const std::string file = std::string(a.name) + "Monte.rsp";
    const auto seedRecords = twtest::ReadVectors(file, "Seed");
    ASSERT_EQ(seedRecords.size(), 1u);
    Bytes seed = Hex(Field(seedRecords[0], "Seed"));
    const auto checkpoints = twtest::ReadVectors(file, "COUNT");
    ASSERT_EQ(checkpoints.size(), 100u) << file;
    for (const auto& cp : checkpoints) {
      Bytes md[3] = {seed, seed, seed};
      for (int i = 0; i < 1000; ++i) {
        Bytes m = md[0];
        m.insert(m.end(), md[1].begin(), md[1].end());
        m.insert(m.end(), md[2].begin(), md[2].end());
        md[0] = md[1];
        md[1] = md[2];
        md[2] = Whole(a, m);
      }
      seed = md[2];
      ASSERT_EQ(ToHex(seed), Field(cp, "MD")) << file << " COUNT=" << Field(cp, "COUNT");
    }
  }
}

Bytes TestMessage(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes m(n);
  for (auto& b : m) b = uint8_t(rng());
  return m;
}

// Two updates split at every point of a message that spans several blocks
// give the digest of one update.
TEST(Sha, EverySplitPointMatchesOneCall) {
  const Bytes m = TestMessage(300, 1);
  for (const Algo& a : kAlgos) {
    const Bytes whole = Whole(a, m);
    for (size_t k = 0; k <= m.size(); ++k)
      ASSERT_EQ(a.hash(m, {{0, k}, {k, m.size() - k}}), whole) << a.name << " split at " << k;
  }
}

TEST(Sha, FixedPieceSizesMatchOneCall) {
  const Bytes m = TestMessage(1000, 2);
  for (const Algo& a : kAlgos) {
    const Bytes whole = Whole(a, m);
    for (size_t piece : {size_t(1), size_t(63), size_t(64), size_t(65), a.block - 1, a.block + 1}) {
      Pieces pieces;
      for (size_t off = 0; off < m.size(); off += piece) pieces.push_back({off, std::min(piece, m.size() - off)});
      EXPECT_EQ(a.hash(m, pieces), whole) << a.name << " pieces of " << piece;
    }
  }
}

// A context is a plain record: a copy taken mid-stream finishes on its own.
TEST(Sha, CopiedContextForksTheHash) {
  const Bytes m = TestMessage(200, 3);
  sSha256Ctx a;
  Sha256Init(&a);
  Sha256Update(&a, m.data(), 100);
  sSha256Ctx b = a;
  Sha256Update(&a, m.data() + 100, 100);
  Sha256Update(&b, m.data() + 100, 50);
  Bytes da(32), db(32);
  Sha256Final(&a, da.data());
  Sha256Final(&b, db.data());
  EXPECT_EQ(da, Whole(kAlgos[1], m));
  EXPECT_EQ(db, Whole(kAlgos[1], Bytes(m.begin(), m.begin() + 150)));
}

TEST(Sha256, OneShotLengthConventions) {
  uint8_t out[32];
  Sha256(out, "abc", -1);
  EXPECT_EQ(ToHex(out, 32), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  Sha256(out, "abc", 0);
  EXPECT_EQ(ToHex(out, 32), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  Sha256(out, "abcdef", 3);
  EXPECT_EQ(ToHex(out, 32), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(Sha384, NullPointersAreRefused) {
  sSha384Ctx ctx;
  Sha384Init(&ctx);
  const uint8_t abc[] = {'a', 'b', 'c'};
  ASSERT_EQ(Sha384Update(&ctx, abc, 3), 0);
  EXPECT_EQ(Sha384Update(&ctx, nullptr, 5), 1);
  EXPECT_EQ(Sha384Final(&ctx, nullptr), 1);
  uint8_t out[48];
  ASSERT_EQ(Sha384Final(&ctx, out), 0);  // the refused calls changed nothing
  EXPECT_EQ(ToHex(out, 48),
            "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed"
            "8086072ba1e7cc2358baeca134c825a7");
}

// Restores the automatic block function when a test ends.
struct BlocksOverride {
  explicit BlocksOverride(tw::crypto::tSha256Blocks f) { tw::crypto::Sha256OverrideBlocks(f); }
  ~BlocksOverride() { tw::crypto::Sha256OverrideBlocks(nullptr); }
};

TEST(Sha256, PortablePathPassesTheVectors) {
  BlocksOverride force(&tw::crypto::Sha256BlocksPortable);
  ASSERT_EQ(tw::crypto::Sha256ActiveBlocks(), &tw::crypto::Sha256BlocksPortable);
  CheckCavpFile(kAlgos[1], "SHA256ShortMsg.rsp");
  CheckCavpFile(kAlgos[1], "SHA256LongMsg.rsp");
}

TEST(Sha256, HardwareAndPortableBlocksAgree) {
  const bool hw = tw::crypto::Sha256HardwareAvailable();
  std::printf("SHA extensions on this processor: %s\n", hw ? "yes" : "no");
  EXPECT_EQ(tw::crypto::Sha256ActiveBlocks(),
            hw ? &tw::crypto::Sha256BlocksHardware : &tw::crypto::Sha256BlocksPortable);
  if (!hw) GTEST_SKIP() << "no SHA extensions: only the portable path exists here";
  std::mt19937 rng(4);
  for (size_t blocks : {1u, 2u, 3u, 17u}) {
    for (int round = 0; round < 50; ++round) {
      const Bytes data = TestMessage(64 * blocks, rng());
      uint32_t s1[8], s2[8];
      for (auto& w : s1) w = rng();
      std::memcpy(s2, s1, sizeof s1);
      tw::crypto::Sha256BlocksPortable(s1, data.data(), blocks);
      tw::crypto::Sha256BlocksHardware(s2, data.data(), blocks);
      ASSERT_EQ(ToHex(s1, sizeof s1), ToHex(s2, sizeof s2)) << blocks << " blocks, round " << round;
    }
  }
  // And through the public interface, from an odd address.
  const Bytes m = TestMessage(4097, 5);
  uint8_t viaHw[32], viaPortable[32];
  Sha256(viaHw, m.data() + 1, int64_t(m.size() - 1));
  BlocksOverride force(&tw::crypto::Sha256BlocksPortable);
  Sha256(viaPortable, m.data() + 1, int64_t(m.size() - 1));
  EXPECT_EQ(ToHex(viaHw, 32), ToHex(viaPortable, 32));
}

struct Sha1BlocksOverride {
  explicit Sha1BlocksOverride(tw::crypto::tSha1Blocks f) { tw::crypto::Sha1OverrideBlocks(f); }
  ~Sha1BlocksOverride() { tw::crypto::Sha1OverrideBlocks(nullptr); }
};

TEST(Sha1, PortablePathPassesTheVectors) {
  Sha1BlocksOverride force(&tw::crypto::Sha1BlocksPortable);
  ASSERT_EQ(tw::crypto::Sha1ActiveBlocks(), &tw::crypto::Sha1BlocksPortable);
  CheckCavpFile(kAlgos[0], "SHA1ShortMsg.rsp");
  CheckCavpFile(kAlgos[0], "SHA1LongMsg.rsp");
}

// The hardware path passes the vectors through Sha.Cavp* (it is the one
// chosen on a processor with the extensions); here it meets the portable
// one on random states and messages, block by block and through the
// streaming interface at lengths around the padding boundaries.
TEST(Sha1, HardwareAndPortableBlocksAgree) {
  const bool hw = tw::crypto::Sha1HardwareAvailable();
  std::printf("SHA extensions on this processor: %s\n", hw ? "yes" : "no");
  EXPECT_EQ(tw::crypto::Sha1ActiveBlocks(), hw ? &tw::crypto::Sha1BlocksHardware : &tw::crypto::Sha1BlocksPortable);
  if (!hw) GTEST_SKIP() << "no SHA extensions: only the portable path exists here";
  std::mt19937 rng(6);
  for (size_t blocks : {1u, 2u, 3u, 17u}) {
    for (int round = 0; round < 200; ++round) {
      const Bytes data = TestMessage(64 * blocks, rng());
      uint32_t s1[5], s2[5];
      for (auto& w : s1) w = rng();
      std::memcpy(s2, s1, sizeof s1);
      tw::crypto::Sha1BlocksPortable(s1, data.data(), blocks);
      tw::crypto::Sha1BlocksHardware(s2, data.data(), blocks);
      ASSERT_EQ(ToHex(s1, sizeof s1), ToHex(s2, sizeof s2)) << blocks << " blocks, round " << round;
    }
  }
  const Bytes m = TestMessage(4097, 7);
  for (size_t length : {0u, 1u, 55u, 56u, 63u, 64u, 65u, 119u, 120u, 1000u, 4096u}) {
    Bytes viaHw, viaPortable;
    viaHw = Whole(kAlgos[0], Bytes(m.begin() + 1, m.begin() + 1 + length));
    Sha1BlocksOverride force(&tw::crypto::Sha1BlocksPortable);
    viaPortable = Whole(kAlgos[0], Bytes(m.begin() + 1, m.begin() + 1 + length));
    EXPECT_EQ(ToHex(viaHw), ToHex(viaPortable)) << length << " bytes";
  }
}

}  // namespace
