#include "crypto/x25519.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "crypto/x25519_internal.h"

#include "tests/crypto/vectors.h"

namespace {

using twtest::Bytes;
using twtest::Field;
using twtest::Hex;
using twtest::ToHex;

// RFC 7748 section 5.2, the single-call vectors.
TEST(X25519, Rfc7748Vectors) {
  const auto records = twtest::ReadVectors("rfc7748-x25519.txt", "COUNT");
  ASSERT_EQ(records.size(), 3u);
  for (const auto& r : records) {
    const Bytes k = Hex(Field(r, "INPUT_SCALAR")), u = Hex(Field(r, "INPUT_U"));
    uint8_t out[32];
    X25519(k.data(), out, u.data());
    EXPECT_EQ(ToHex(out, 32), Field(r, "OUTPUT_U")) << "COUNT " << Field(r, "COUNT");
  }
}

// RFC 7748 section 5.2, iterated: k and u start as 9; each round sets
// u = old k and k = X25519(k, u).
TEST(X25519, Rfc7748IterationsToOneThousand) {
  uint8_t k[32] = {9}, u[32] = {9}, r[32];
  for (int i = 1; i <= 1000; ++i) {
    X25519(k, r, u);
    std::memcpy(u, k, 32);
    std::memcpy(k, r, 32);
    if (i == 1) {
      EXPECT_EQ(ToHex(k, 32), "422c8e7a6227d7bca1350b3e2bb7279f7897b87bb6854b783c60e80311ae3079");
    }
  }
  EXPECT_EQ(ToHex(k, 32), "684cf59ba83309552800ef566f2f4d3c1c3887c49360e3875f2eb94d99532c51");
}

// RFC 7748 section 6.1: both public keys and the shared secret.
TEST(X25519, Rfc7748KeyAgreement) {
  const Bytes alicePriv = Hex("77076d0a7318a57d3c16c17251b26645df4c2f87ebc0992ab177fba51db92c2a");
  const Bytes bobPriv = Hex("5dab087e624a8a4b79e17f8b83800ee66f3bb1292618b6fd1c2f8b27ff88e0eb");
  const uint8_t base[32] = {9};
  uint8_t alicePub[32], bobPub[32], k1[32], k2[32];
  X25519(alicePriv.data(), alicePub, base);
  X25519(bobPriv.data(), bobPub, base);
  EXPECT_EQ(ToHex(alicePub, 32), "8520f0098930a754748b7ddcb43ef75a0dbf3a0d26381af4eba4a98eaa9b4e6a");
  EXPECT_EQ(ToHex(bobPub, 32), "de9edb7d7b7dc1b4d35b61c2ece435373f8343c85b78674dadfc7e146f882b4f");
  X25519(alicePriv.data(), k1, bobPub);
  X25519(bobPriv.data(), k2, alicePub);
  EXPECT_EQ(ToHex(k1, 32), "4a5d9d5ba4ce2de1728e3bf480350f25e07e21c947d19e3376f09b3c1e161742");
  EXPECT_EQ(ToHex(k2, 32), ToHex(k1, 32));
}

// The top bit of u is masked; clamping makes the low three bits and the
// top two bits of the scalar irrelevant.
TEST(X25519, IgnoredBits) {
  const auto records = twtest::ReadVectors("rfc7748-x25519.txt", "COUNT");
  ASSERT_FALSE(records.empty());
  Bytes k = Hex(Field(records[0], "INPUT_SCALAR")), u = Hex(Field(records[0], "INPUT_U"));
  uint8_t expected[32], out[32];
  X25519(k.data(), expected, u.data());
  u[31] ^= 0x80;
  X25519(k.data(), out, u.data());
  EXPECT_EQ(ToHex(out, 32), ToHex(expected, 32)) << "top bit of u";
  k[0] ^= 0x07;
  k[31] ^= 0xc0;
  X25519(k.data(), out, u.data());
  EXPECT_EQ(ToHex(out, 32), ToHex(expected, 32)) << "clamped scalar bits";
}

// Results are fully reduced: a u-coordinate given as p + 9 (non-canonical)
// acts as 9, and the output may alias an input.
TEST(X25519, NonCanonicalInputAndAliasing) {
  const Bytes priv = Hex("77076d0a7318a57d3c16c17251b26645df4c2f87ebc0992ab177fba51db92c2a");
  uint8_t pPlus9[32];
  std::memset(pPlus9, 0xff, 32);
  pPlus9[0] = 0xed + 9;  // p = 2^255 - 19 is ed ff .. ff 7f little-endian
  pPlus9[31] = 0x7f;
  uint8_t out[32];
  X25519(priv.data(), out, pPlus9);
  EXPECT_EQ(ToHex(out, 32), "8520f0098930a754748b7ddcb43ef75a0dbf3a0d26381af4eba4a98eaa9b4e6a");
  uint8_t u[32] = {9};
  X25519(priv.data(), u, u);
  EXPECT_EQ(ToHex(u, 32), "8520f0098930a754748b7ddcb43ef75a0dbf3a0d26381af4eba4a98eaa9b4e6a");
}

// The ten-limb form against the sixteen-limb one it replaced: the same 32
// bytes for random scalars and u-coordinates, for coordinates at the edges
// of the field (0, 1, p - 1, p, p + 1, 2^255 - 1 and values just below p,
// where the final reduction decides), and for the points of small order,
// whose shared secret is zero.
TEST(X25519, TenLimbFormEqualsTheRadix16Form) {
  const auto littleEndian = [](const char* hex) {
    Bytes b = Hex(hex);
    std::reverse(b.begin(), b.end());
    return b;
  };
  std::vector<Bytes> edges = {
      Bytes(32, 0),
      littleEndian("0000000000000000000000000000000000000000000000000000000000000001"),
      littleEndian("7fffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffec"),  // p - 1
      littleEndian("7fffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffed"),  // p
      littleEndian("7fffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffee"),  // p + 1
      littleEndian("7fffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"),  // 2^255 - 1
      Bytes(32, 0xff),
      // The two points of order 8 (RFC 7748 section 7 lists the need to
      // check for them).
      Hex("e0eb7a7c3b41b8ae1656e3faf19fc46ada098deb9c32b1fd866205165f49b800"),
      Hex("5f9c95bca3508c24b1d0b1559c83ef5b04445cc4581c8e86d8224eddd09f1157"),
  };
  const size_t smallOrder = edges.size();
  std::mt19937 rng(25519);
  for (int i = 0; i < 40; ++i) {
    // p - n for small random n.
    Bytes u = littleEndian("7fffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffed");
    u[0] = uint8_t(u[0] - 1 - rng() % 200);
    edges.push_back(u);
  }
  for (int i = 0; i < 300; ++i) {
    Bytes u(32);
    for (auto& b : u) b = uint8_t(rng());
    edges.push_back(u);
  }
  int zeros = 0;
  for (size_t n = 0; n < edges.size(); ++n) {
    Bytes k(32);
    for (auto& b : k) b = uint8_t(rng());
    uint8_t ours[32], reference[32];
    X25519(k.data(), ours, edges[n].data());
    tw::crypto::X25519Radix16(k.data(), reference, edges[n].data());
    ASSERT_EQ(ToHex(ours, 32), ToHex(reference, 32)) << "scalar " << ToHex(k) << " u " << ToHex(edges[n]);
    if (n < smallOrder && ToHex(ours, 32) == std::string(64, '0')) ++zeros;
  }
  // 0, 1, p - 1, p, p + 1 and the two of order 8 all give zero.
  EXPECT_EQ(zeros, 7);
}

}  // namespace
