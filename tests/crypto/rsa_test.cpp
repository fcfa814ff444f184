// RSA verification against signatures made by the openssl tool: keys of
// 2048, 2049 (the PSS case where the encoded message is a byte shorter than
// the modulus), 3072 (exponent 3) and 4096 bits, each hash with both
// schemes; and the refusals: any changed byte, the other scheme, the other
// hash, a signature not below the modulus, keys outside the accepted sizes.
#include <gtest/gtest.h>

#include <string>

#include "crypto/rsa.h"
#include "tests/crypto/vectors.h"

namespace {

using twtest::Bytes;
using twtest::Field;

struct sCase {
  sRsaPublicKey key;
  int32_t hash;
  bool pss;
  Bytes digest, sig;
  std::string name;
};

int32_t HashOf(const std::string& name) {
  if (name == "sha256") return kRsaSha256;
  if (name == "sha384") return kRsaSha384;
  return kRsaSha512;
}

std::vector<sCase> Cases() {
  std::vector<sCase> out;
  for (const auto& r : twtest::ReadVectors("rsa-signatures.txt", "Bits")) {
    sCase c;
    c.key.modulus = twtest::Hex(Field(r, "N"));
    std::string e = Field(r, "E");
    if (e.size() % 2) e = "0" + e;
    c.key.exponent = twtest::Hex(e);
    c.hash = HashOf(Field(r, "Hash"));
    c.pss = Field(r, "Scheme") == "pss";
    const Bytes msg = twtest::Hex(Field(r, "Msg"));
    c.digest.resize(RsaHashLength(c.hash));
    EXPECT_TRUE(RsaHashBytes(c.hash, msg.data(), msg.size(), c.digest.data()));
    c.sig = twtest::Hex(Field(r, "Sig"));
    c.name = Field(r, "Bits") + " " + Field(r, "Hash") + " " + Field(r, "Scheme");
    out.push_back(c);
  }
  EXPECT_EQ(out.size(), 24u);
  return out;
}

bool Verify(const sCase& c, bool pss, int32_t hash, const Bytes& digest, const Bytes& sig) {
  return pss ? RsaVerifyPss(c.key, hash, digest.data(), sig.data(), sig.size())
             : RsaVerifyPkcs1(c.key, hash, digest.data(), sig.data(), sig.size());
}

TEST(Rsa, OpensslSignaturesVerify) {
  for (const sCase& c : Cases()) {
    EXPECT_TRUE(c.key.Usable()) << c.name;
    EXPECT_TRUE(Verify(c, c.pss, c.hash, c.digest, c.sig)) << c.name;
  }
}

TEST(Rsa, AnyChangedByteOrOtherSchemeOrHashFails) {
  for (const sCase& c : Cases()) {
    EXPECT_FALSE(Verify(c, !c.pss, c.hash, c.digest, c.sig)) << c.name;
    const int32_t other = c.hash == kRsaSha256 ? kRsaSha384 : kRsaSha256;
    Bytes otherDigest(RsaHashLength(other), 0);
    std::copy(c.digest.begin(), c.digest.begin() + std::min(c.digest.size(), otherDigest.size()),
              otherDigest.begin());
    EXPECT_FALSE(Verify(c, c.pss, other, otherDigest, c.sig)) << c.name;
    for (size_t i : {size_t(0), c.sig.size() / 2, c.sig.size() - 1}) {
      Bytes sig = c.sig;
      sig[i] ^= 0x01;
      EXPECT_FALSE(Verify(c, c.pss, c.hash, c.digest, sig)) << c.name << " signature byte " << i;
    }
    for (size_t i = 0; i < c.digest.size(); i += 7) {
      Bytes digest = c.digest;
      digest[i] ^= 0x80;
      EXPECT_FALSE(Verify(c, c.pss, c.hash, digest, c.sig)) << c.name << " digest byte " << i;
    }
    Bytes shorter(c.sig.begin() + 1, c.sig.end());
    EXPECT_FALSE(Verify(c, c.pss, c.hash, c.digest, shorter)) << c.name;
  }
}

TEST(Rsa, SignatureNotBelowTheModulusIsRefused) {
  const sCase c = Cases()[0];
  uint8_t out[256];
  EXPECT_FALSE(RsaPublicOp(c.key, c.key.modulus.data(), c.key.modulus.size(), out));
  Bytes above = c.key.modulus;
  above.back() ^= 0x02;  // n with bit 1 flipped: n + 2 or n - 2
  if (above.back() > c.key.modulus.back()) {
    EXPECT_FALSE(RsaPublicOp(c.key, above.data(), above.size(), out));
  }
  Bytes below = c.key.modulus;
  below.back() -= 1;
  EXPECT_TRUE(RsaPublicOp(c.key, below.data(), below.size(), out));
  // (n - 1)^e = (-1)^e = -1 = n - 1 for an odd e.
  EXPECT_EQ(Bytes(out, out + 256), below);
}

TEST(Rsa, KeysOutsideTheAcceptedSizesAreUnusable) {
  const sCase c = Cases()[0];
  struct {
    const char* what;
    Bytes modulus, exponent;
  } cases[] = {
      {"1024-bit modulus", Bytes(c.key.modulus.begin(), c.key.modulus.begin() + 128), c.key.exponent},
      {"even modulus", [&] { Bytes m = c.key.modulus; m.back() &= 0xfe; return m; }(), c.key.exponent},
      {"modulus with a leading zero", [&] { Bytes m = c.key.modulus; m.insert(m.begin(), 0); return m; }(),
       c.key.exponent},
      {"exponent 1", c.key.modulus, {1}},
      {"even exponent", c.key.modulus, {1, 0, 0}},
      {"exponent over 32 bits", c.key.modulus, {1, 0, 0, 0, 1}},
      {"no exponent", c.key.modulus, {}},
  };
  for (const auto& k : cases) {
    sRsaPublicKey key{k.modulus, k.exponent};
    EXPECT_FALSE(key.Usable()) << k.what;
    Bytes out(k.modulus.size());
    Bytes sig(k.modulus.size(), 1);
    EXPECT_FALSE(RsaPublicOp(key, sig.data(), sig.size(), out.data())) << k.what;
  }
}

}  // namespace
