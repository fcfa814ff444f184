#include "crypto/hmac.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "crypto/sha.h"
#include "tests/crypto/vectors.h"

namespace {

using twtest::Bytes;
using twtest::Field;
using twtest::Hex;
using twtest::ToHex;

struct HmacAlgo {
  const char* file;
  void (*hmac)(const void*, size_t, const void*, size_t, void*);
  size_t size;
};

// RFC 2202 (HMAC-SHA1) and RFC 4231 (HMAC-SHA256/384), including the keys
// longer than the block that are hashed first.
TEST(Hmac, RfcVectors) {
  const HmacAlgo algos[] = {
      {"rfc-2202-sha1.txt", &HmacSha1, 20},
      {"rfc-4231-sha256.txt", &HmacSha256, 32},
      {"rfc-4231-sha384.txt", &HmacSha384, 48},
  };
  for (const auto& a : algos) {
    const auto records = twtest::ReadVectors(a.file, "Len");
    ASSERT_GE(records.size(), 6u) << a.file;
    for (size_t i = 0; i < records.size(); ++i) {
      const Bytes key = Hex(Field(records[i], "Key"));
      const Bytes msg = Hex(Field(records[i], "Msg"));
      Bytes out(a.size);
      a.hmac(key.data(), key.size(), msg.data(), msg.size(), out.data());
      EXPECT_EQ(ToHex(out), Field(records[i], "MD")) << a.file << " case " << i + 1;
    }
  }
}

// A key one byte longer than the block is replaced by its digest; a key
// of exactly the block size is used as it is.
TEST(Hmac, KeyLengthAroundTheBlockSize) {
  Bytes key(65);
  for (size_t i = 0; i < key.size(); ++i) key[i] = uint8_t(i * 7 + 1);
  const char msg[] = "message";
  uint8_t direct[32], viaDigest[32], keyDigest[32];
  HmacSha256(key.data(), 65, msg, 7, direct);
  Sha256(keyDigest, key.data(), 65);
  HmacSha256(keyDigest, 32, msg, 7, viaDigest);
  EXPECT_EQ(ToHex(direct, 32), ToHex(viaDigest, 32));

  // 64 bytes: not hashed, so it differs from HMAC under its digest.
  uint8_t block[32];
  HmacSha256(key.data(), 64, msg, 7, block);
  Sha256(keyDigest, key.data(), 64);
  HmacSha256(keyDigest, 32, msg, 7, viaDigest);
  EXPECT_NE(ToHex(block, 32), ToHex(viaDigest, 32));
  // Zero bytes after a short key are the key padding, so they change nothing.
  uint8_t padded[64] = {};
  std::memcpy(padded, key.data(), 20);
  uint8_t a[32], b[32];
  HmacSha256(key.data(), 20, msg, 7, a);
  HmacSha256(padded, 64, msg, 7, b);
  EXPECT_EQ(ToHex(a, 32), ToHex(b, 32));

  Bytes key384(129, 0x5a);
  uint8_t d384[48], k384[48], v384[48];
  HmacSha384(key384.data(), 129, msg, 7, d384);
  sSha384Ctx ctx;
  Sha384Init(&ctx);
  Sha384Update(&ctx, key384.data(), 129);
  Sha384Final(&ctx, k384);
  HmacSha384(k384, 48, msg, 7, v384);
  EXPECT_EQ(ToHex(d384, 48), ToHex(v384, 48));
}

// The output may be the key's or the message's own buffer (HKDF chains
// T(i) = HMAC(key, T(i-1) | ...) through one buffer).
TEST(Hmac, OutputMayAliasKeyOrMessage) {
  uint8_t key[48], msg[48], expected[48];
  for (int i = 0; i < 48; ++i) {
    key[i] = uint8_t(i + 1);
    msg[i] = uint8_t(0xf0 - i);
  }
  HmacSha384(key, 48, msg, 48, expected);
  uint8_t k[48], m[48];
  std::memcpy(k, key, 48);
  HmacSha384(k, 48, msg, 48, k);
  EXPECT_EQ(ToHex(k, 48), ToHex(expected, 48));
  std::memcpy(m, msg, 48);
  HmacSha384(key, 48, m, 48, m);
  EXPECT_EQ(ToHex(m, 48), ToHex(expected, 48));
  uint8_t e256[32], m256[32];
  std::memcpy(m256, msg, 32);
  HmacSha256(key, 20, msg, 32, e256);
  HmacSha256(key, 20, m256, 32, m256);
  EXPECT_EQ(ToHex(m256, 32), ToHex(e256, 32));
}

// RFC 5869 appendix A (SHA-256 cases): Extract through HMAC, then Expand.
TEST(Hkdf, Rfc5869Sha256) {
  const auto records = twtest::ReadVectors("rfc-5869-HKDF-SHA256.txt", "COUNT");
  ASSERT_EQ(records.size(), 3u);
  for (const auto& r : records) {
    const Bytes ikm = Hex(Field(r, "IKM")), salt = Hex(Field(r, "salt")), info = Hex(Field(r, "info"));
    uint8_t prk[32];
    HmacSha256(salt.data(), salt.size(), ikm.data(), ikm.size(), prk);
    EXPECT_EQ(ToHex(prk, 32), Field(r, "PRK")) << "COUNT " << Field(r, "COUNT");
    Bytes okm(std::stoul(Field(r, "L")));
    ASSERT_TRUE(HkdfExpandSha256(prk, info.data(), info.size(), okm.data(), okm.size()));
    EXPECT_EQ(ToHex(okm), Field(r, "OKM")) << "COUNT " << Field(r, "COUNT");
  }
}

// Output overlapping the key or the info: each later block used to be made
// from a key or info already overwritten by the blocks before it. Every
// overlap gives the bytes a separate output gets.
TEST(Hkdf, OutputMayOverlapKeyOrInfo) {
  struct sCase {
    bool sha384;
    int outAt;  // offset of out in the shared buffer
    int prkAt;
    int infoAt;  // -1: info elsewhere
    size_t infoLength, outLength;
  };
  const sCase cases[] = {
      {false, 0, 0, -1, 10, 100},     // out starts on the key
      {false, 16, 0, -1, 10, 100},    // out runs into the key's tail
      {false, 0, 40, -1, 10, 100},    // the key lies past out's first block
      {false, 0, 200, 0, 30, 100},    // out over the info
      {false, 10, 200, 0, 30, 100},   // out over the middle of the info
      {true, 0, 0, 48, 20, 150},      // both, SHA-384
      {true, 60, 0, 48, 20, 150},
  };
  for (const sCase& c : cases) {
    const size_t hashLength = c.sha384 ? 48 : 32;
    auto expand = c.sha384 ? &HkdfExpandSha384 : &HkdfExpandSha256;
    Bytes buffer(512);
    for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = uint8_t(i * 37 + 11);
    Bytes external(64);
    for (size_t i = 0; i < external.size(); ++i) external[i] = uint8_t(0x90 + i);
    const uint8_t* info = c.infoAt < 0 ? external.data() : buffer.data() + c.infoAt;
    const Bytes prk(buffer.begin() + c.prkAt, buffer.begin() + c.prkAt + hashLength);
    const Bytes infoCopy(info, info + c.infoLength);
    Bytes expected(c.outLength);
    ASSERT_TRUE(expand(prk.data(), infoCopy.data(), c.infoLength, expected.data(), c.outLength));
    ASSERT_TRUE(expand(buffer.data() + c.prkAt, info, c.infoLength, buffer.data() + c.outAt, c.outLength));
    EXPECT_EQ(ToHex(buffer.data() + c.outAt, c.outLength), ToHex(expected))
        << "out at " << c.outAt << ", key at " << c.prkAt << ", info at " << c.infoAt;
  }
}

// 1200 bytes: 38 rounds of the counter.
TEST(Hkdf, LongOutput) {
  const auto records = twtest::ReadVectors("hkdf-generated.txt", "COUNT");
  ASSERT_EQ(records.size(), 1u);
  const auto& r = records[0];
  const Bytes ikm = Hex(Field(r, "IKM"));
  uint8_t prk[32];
  HmacSha256(nullptr, 0, ikm.data(), ikm.size(), prk);
  Bytes okm(1200);
  ASSERT_TRUE(HkdfExpandSha256(prk, nullptr, 0, okm.data(), okm.size()));
  EXPECT_EQ(ToHex(okm), Field(r, "OKM"));
}

// No published SHA-384 Expand vectors: T(i) is built from the (vector-
// checked) HMAC as RFC 5869 defines it, over 2.5 blocks.
TEST(Hkdf, Sha384FollowsTheDefinition) {
  uint8_t prk[48];
  for (int i = 0; i < 48; ++i) prk[i] = uint8_t(200 - i);
  const uint8_t info[] = {1, 2, 3};
  Bytes expected;
  Bytes t;
  for (uint8_t i = 1; i <= 3; ++i) {
    Bytes input = t;
    input.insert(input.end(), info, info + 3);
    input.push_back(i);
    t.assign(48, 0);
    HmacSha384(prk, 48, input.data(), input.size(), t.data());
    expected.insert(expected.end(), t.begin(), t.end());
  }
  expected.resize(120);
  Bytes okm(120);
  ASSERT_TRUE(HkdfExpandSha384(prk, info, 3, okm.data(), okm.size()));
  EXPECT_EQ(ToHex(okm), ToHex(expected));
  // A shorter request is a prefix: 40 bytes = 32 of T(1) ... here 40 of T(1).
  Bytes shortOkm(40);
  ASSERT_TRUE(HkdfExpandSha384(prk, info, 3, shortOkm.data(), shortOkm.size()));
  EXPECT_EQ(ToHex(shortOkm), ToHex(expected).substr(0, 80));
}

TEST(Hkdf, RefusedArgumentsWriteNothing) {
  uint8_t prk[48] = {1};
  const uint8_t info[] = {9};
  struct Case {
    const char* what;
    const void* prk;
    const void* info;
    size_t infoLength;
    bool nullOut;
    size_t outLength;
    size_t hash;
  } cases[] = {
      {"zero output", prk, info, 1, false, 0, 32},
      {"null output", prk, info, 1, true, 16, 32},
      {"null key", nullptr, info, 1, false, 16, 32},
      {"null info with length", prk, nullptr, 1, false, 16, 32},
      {"more than 255 blocks (256)", prk, info, 1, false, 255 * 32 + 1, 32},
      {"more than 255 blocks (384)", prk, info, 1, false, 255 * 48 + 1, 48},
  };
  for (const auto& c : cases) {
    Bytes out(c.outLength + 1, 0xee);
    void* o = c.nullOut ? nullptr : out.data();
    const bool ok = c.hash == 32 ? HkdfExpandSha256(c.prk, c.info, c.infoLength, o, c.outLength)
                                 : HkdfExpandSha384(c.prk, c.info, c.infoLength, o, c.outLength);
    EXPECT_FALSE(ok) << c.what;
    EXPECT_EQ(out, Bytes(c.outLength + 1, 0xee)) << c.what;
  }
  // The largest length is allowed.
  Bytes most(255 * 32);
  EXPECT_TRUE(HkdfExpandSha256(prk, info, 1, most.data(), most.size()));
}

// The HkdfLabel for "key", empty context, 16 bytes is 00 10 09 "tls13 key" 00.
TEST(HkdfLabel, BuildsTheRfc8446Structure) {
  uint8_t secret[32];
  for (int i = 0; i < 32; ++i) secret[i] = uint8_t(i);
  const uint8_t info[] = {0x00, 0x10, 0x09, 't', 'l', 's', '1', '3', ' ', 'k', 'e', 'y', 0x00};
  uint8_t expected[16], got[16];
  ASSERT_TRUE(HkdfExpandSha256(secret, info, sizeof info, expected, 16));
  ASSERT_TRUE(HkdfExpandLabelSha256(secret, nullptr, 0, "key", got, 16));
  EXPECT_EQ(ToHex(got, 16), ToHex(expected, 16));

  uint8_t secret384[48] = {7};
  const uint8_t ctx[] = {0xaa, 0xbb};
  const uint8_t info384[] = {0x00, 0x30, 0x0d, 't', 'l', 's', '1', '3', ' ', 'd', 'e', 'r',
                             'i',  'v',  'e',  'd', 0x02, 0xaa, 0xbb};
  uint8_t e384[48], g384[48];
  ASSERT_TRUE(HkdfExpandSha384(secret384, info384, sizeof info384, e384, 48));
  ASSERT_TRUE(HkdfExpandLabelSha384(secret384, ctx, 2, "derived", g384, 48));
  EXPECT_EQ(ToHex(g384, 48), ToHex(e384, 48));
}

// RFC 8448 section 3 (TLS_AES_128_GCM_SHA256): the key schedule from the
// zero early secret to the server's handshake traffic key and IV.
TEST(HkdfLabel, Rfc8448SimpleHandshake) {
  uint8_t zeros[32] = {};
  uint8_t early[32];
  HmacSha256(zeros, 32, zeros, 32, early);
  EXPECT_EQ(ToHex(early, 32), "33ad0a1c607ec03b09e6cd9893680ce210adf300aa1f2660e1b22e10f170f92a");

  uint8_t emptyHash[32], derived[32];
  Sha256(emptyHash, "", 0);
  ASSERT_TRUE(HkdfExpandLabelSha256(early, emptyHash, 32, "derived", derived, 32));
  EXPECT_EQ(ToHex(derived, 32), "6f2615a108c702c5678f54fc9dbab69716c076189c48250cebeac3576c3611ba");

  const Bytes ecdhe = Hex("8bd4054fb55b9d63fdfbacf9f04b9f0d35e6d63f537563efd46272900f89492d");
  uint8_t handshake[32];
  HmacSha256(derived, 32, ecdhe.data(), ecdhe.size(), handshake);
  EXPECT_EQ(ToHex(handshake, 32), "1dc826e93606aa6fdc0aadc12f741b01046aa6b99f691ed221a9f0ca043fbeac");

  // Transcript hash of ClientHello..ServerHello as printed in the trace.
  const Bytes transcript = Hex("860c06edc07858ee8e78f0e7428c58edd6b43f2ca3e6e95f02ed063cf0e1cad8");
  uint8_t chs[32], shs[32];
  ASSERT_TRUE(HkdfExpandLabelSha256(handshake, transcript.data(), 32, "c hs traffic", chs, 32));
  ASSERT_TRUE(HkdfExpandLabelSha256(handshake, transcript.data(), 32, "s hs traffic", shs, 32));
  EXPECT_EQ(ToHex(chs, 32), "b3eddb126e067f35a780b3abf45e2d8f3b1a950738f52e9600746a0e27a55a21");
  EXPECT_EQ(ToHex(shs, 32), "b67b7d690cc16c4e75e54213cb2d37b4e9c912bcded9105d42befd59d391ad38");

  uint8_t key[16], iv[12];
  ASSERT_TRUE(HkdfExpandLabelSha256(shs, nullptr, 0, "key", key, 16));
  ASSERT_TRUE(HkdfExpandLabelSha256(shs, nullptr, 0, "iv", iv, 12));
  EXPECT_EQ(ToHex(key, 16), "3fce516009c21727d0f2e4e86ee403bc");
  EXPECT_EQ(ToHex(iv, 12), "5d313eb2671276ee13000b30");
}

TEST(HkdfLabel, RefusedArguments) {
  uint8_t secret[32] = {};
  uint8_t out[16];
  const std::string longLabel(250, 'x');
  const std::string maxLabel(249, 'x');
  Bytes bigContext(256, 1);
  EXPECT_FALSE(HkdfExpandLabelSha256(secret, nullptr, 0, nullptr, out, 16));
  EXPECT_FALSE(HkdfExpandLabelSha256(secret, nullptr, 4, "key", out, 16));
  EXPECT_FALSE(HkdfExpandLabelSha256(secret, nullptr, 0, longLabel.c_str(), out, 16));
  EXPECT_FALSE(HkdfExpandLabelSha256(secret, bigContext.data(), 256, "key", out, 16));
  EXPECT_FALSE(HkdfExpandLabelSha256(secret, nullptr, 0, "key", out, 0));
  EXPECT_TRUE(HkdfExpandLabelSha256(secret, nullptr, 0, maxLabel.c_str(), out, 16));
  EXPECT_TRUE(HkdfExpandLabelSha256(secret, bigContext.data(), 255, "key", out, 16));
}

}  // namespace
