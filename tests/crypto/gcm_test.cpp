#include "crypto/gcm.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "crypto/gcm_internal.h"
#include "tests/crypto/vectors.h"

namespace {

using twtest::Bytes;
using twtest::Field;
using twtest::Hex;
using twtest::ToHex;

// CAVP GCM encryption: nonces of 1, 12 and 128 bytes, additional data of
// 0 to 90 bytes, data of 0 to 51 bytes, all key sizes.
TEST(Gcm, CavpEncrypt) {
  for (const twtest::AesPath& path : twtest::AesPaths()) {
    twtest::AesPathScope scope(path);
    for (const char* file : {"gcmEncryptExtIV128.rsp", "gcmEncryptExtIV192.rsp", "gcmEncryptExtIV256.rsp"}) {
      const auto records = twtest::ReadVectors(file, "Count");
      ASSERT_GE(records.size(), 25u) << file;
      for (const auto& r : records) {
        const Bytes key = Hex(Field(r, "Key")), iv = Hex(Field(r, "IV")), pt = Hex(Field(r, "PT"));
        const Bytes aad = Hex(Field(r, "AAD"));
        sGcmCtx ctx;
        ASSERT_TRUE(GcmSetKey(int32_t(key.size() * 8), key.data(), &ctx));
        Bytes ct(pt.size());
        uint8_t tag[16];
        ASSERT_TRUE(tw::crypto::GcmCrypt(&ctx, iv.data(), iv.size(), aad.data(), aad.size(), pt.data(), pt.size(),
                                         ct.data(), tag, nullptr));
        const std::string where = std::string(file) + " IVlen=" + Field(r, "[IVlen]") + " PTlen=" +
                                  Field(r, "[PTlen]") + " AADlen=" + Field(r, "[AADlen]");
        EXPECT_EQ(ToHex(ct), Field(r, "CT")) << where;
        EXPECT_EQ(ToHex(tag, 16), Field(r, "Tag")) << where;
      }
    }
  }
}

// CAVP GCM decryption, including the records marked FAIL.
TEST(Gcm, CavpDecrypt) {
  for (const twtest::AesPath& path : twtest::AesPaths()) {
    twtest::AesPathScope scope(path);
    const auto records = twtest::ReadVectors("gcmDecrypt128.rsp", "Count");
    ASSERT_GE(records.size(), 100u);
    int failures = 0;
    for (const auto& r : records) {
      const Bytes key = Hex(Field(r, "Key")), iv = Hex(Field(r, "IV")), ct = Hex(Field(r, "CT"));
      const Bytes aad = Hex(Field(r, "AAD")), tag = Hex(Field(r, "Tag"));
      const bool shouldFail = r.count("FAIL") != 0;
      failures += shouldFail;
      sGcmCtx ctx;
      ASSERT_TRUE(GcmSetKey(128, key.data(), &ctx));
      Bytes pt(ct.size());
      const bool ok = tw::crypto::GcmCrypt(&ctx, iv.data(), iv.size(), aad.data(), aad.size(), ct.data(), ct.size(),
                                           pt.data(), nullptr, tag.data());
      const std::string where = "IVlen=" + Field(r, "[IVlen]") + " PTlen=" + Field(r, "[PTlen]") + " AADlen=" +
                                Field(r, "[AADlen]") + " Count=" + Field(r, "Count");
      EXPECT_EQ(ok, !shouldFail) << where;
      if (!shouldFail) {
        EXPECT_EQ(ToHex(pt), Field(r, "PT")) << where;
      }
    }
    EXPECT_GT(failures, 10);
  }
}

// The TLS shape (12-byte nonce, five bytes of additional data) against
// another implementation's output, through the public functions.
TEST(Gcm, FiveByteAdditionalDataMatchesPeer) {
  for (const twtest::AesPath& path : twtest::AesPaths()) {
    twtest::AesPathScope scope(path);
    const auto records = twtest::ReadVectors("gcm-aad5-python-cryptography.txt", "COUNT");
    ASSERT_EQ(records.size(), 12u);
    for (const auto& r : records) {
      const Bytes key = Hex(Field(r, "Key")), iv = Hex(Field(r, "IV")), aad = Hex(Field(r, "AAD"));
      const Bytes pt = Hex(Field(r, "PT")), expectedCt = Hex(Field(r, "CT")), expectedTag = Hex(Field(r, "Tag"));
      ASSERT_EQ(aad.size(), 5u);
      sGcmCtx ctx;
      ASSERT_TRUE(GcmSetKey(int32_t(key.size() * 8), key.data(), &ctx));
      Bytes ct(pt.size() + 1, 0xcc);
      uint8_t tag[16];
      ASSERT_TRUE(GcmEncryptAndTag(&ctx, iv.data(), 12, aad.data(), pt.data(), pt.size(), ct.data(), tag));
      EXPECT_EQ(ct.back(), 0xcc) << "wrote past the data";
      ct.pop_back();
      EXPECT_EQ(ToHex(ct), ToHex(expectedCt)) << "COUNT " << Field(r, "COUNT");
      EXPECT_EQ(ToHex(tag, 16), ToHex(expectedTag)) << "COUNT " << Field(r, "COUNT");

      Bytes back(pt.size());
      EXPECT_TRUE(GcmDecryptAndVerify(&ctx, iv.data(), 12, aad.data(), ct.data(), ct.size(), back.data(), tag));
      EXPECT_EQ(back, pt);
      // In place, as the record layer decrypts.
      Bytes buf = ct;
      EXPECT_TRUE(GcmDecryptAndVerify(&ctx, iv.data(), 12, aad.data(), buf.data(), buf.size(), buf.data(), tag));
      EXPECT_EQ(buf, pt);
      ASSERT_TRUE(GcmEncryptAndTag(&ctx, iv.data(), 12, aad.data(), buf.data(), buf.size(), buf.data(), tag));
      EXPECT_EQ(buf, ct);
    }
  }
}

// Any single flipped bit of tag, ciphertext or additional data fails.
TEST(Gcm, EveryFlippedBitFailsVerification) {
  for (const twtest::AesPath& path : twtest::AesPaths()) {
    twtest::AesPathScope scope(path);
    const Bytes key = Hex("feffe9928665731c6d6a8f9467308308"), iv = Hex("cafebabefacedbaddecaf888");
    uint8_t aad[5] = {0x17, 0x03, 0x03, 0x00, 0x24};
    Bytes pt(20);
    for (size_t i = 0; i < pt.size(); ++i) pt[i] = uint8_t(i);
    sGcmCtx ctx;
    ASSERT_TRUE(GcmSetKey(128, key.data(), &ctx));
    Bytes ct(pt.size()), out(pt.size());
    uint8_t tag[16];
    ASSERT_TRUE(GcmEncryptAndTag(&ctx, iv.data(), 12, aad, pt.data(), pt.size(), ct.data(), tag));
    ASSERT_TRUE(GcmDecryptAndVerify(&ctx, iv.data(), 12, aad, ct.data(), ct.size(), out.data(), tag));
    for (int bit = 0; bit < 128; ++bit) {
      tag[bit / 8] ^= uint8_t(1 << (bit % 8));
      EXPECT_FALSE(GcmDecryptAndVerify(&ctx, iv.data(), 12, aad, ct.data(), ct.size(), out.data(), tag))
          << "tag bit " << bit;
      tag[bit / 8] ^= uint8_t(1 << (bit % 8));
    }
    for (size_t bit = 0; bit < ct.size() * 8; ++bit) {
      ct[bit / 8] ^= uint8_t(1 << (bit % 8));
      EXPECT_FALSE(GcmDecryptAndVerify(&ctx, iv.data(), 12, aad, ct.data(), ct.size(), out.data(), tag))
          << "ciphertext bit " << bit;
      ct[bit / 8] ^= uint8_t(1 << (bit % 8));
    }
    for (int bit = 0; bit < 40; ++bit) {
      aad[bit / 8] ^= uint8_t(1 << (bit % 8));
      EXPECT_FALSE(GcmDecryptAndVerify(&ctx, iv.data(), 12, aad, ct.data(), ct.size(), out.data(), tag))
          << "additional data bit " << bit;
      aad[bit / 8] ^= uint8_t(1 << (bit % 8));
    }
  }
}

// A context never keyed, or wiped, would still "encrypt" with an all-zero
// schedule anyone can compute: both directions refuse and write nothing.
TEST(Gcm, RefusesAnUnkeyedOrWipedContext) {
  for (const twtest::AesPath& path : twtest::AesPaths()) {
    twtest::AesPathScope scope(path);
    sGcmCtx fresh{}, wiped{};
    const Bytes key = Hex("feffe9928665731c6d6a8f9467308308");
    ASSERT_TRUE(GcmSetKey(128, key.data(), &wiped));
    wiped.staticIv[3] = 7;
    GcmWipe(&wiped);
    const Bytes zero(sizeof(sGcmCtx), 0);
    EXPECT_EQ(ToHex(reinterpret_cast<const uint8_t*>(&wiped), sizeof wiped), ToHex(zero)) << "wipe left key material";
    GcmWipe(nullptr);
    for (sGcmCtx* ctx : {&fresh, &wiped}) {
      uint8_t nonce[12] = {}, aad[5] = {}, data[20] = {1, 2, 3}, out[20], tag[16];
      std::memset(out, 0xcc, sizeof out);
      std::memset(tag, 0xcc, sizeof tag);
      EXPECT_FALSE(GcmEncryptAndTag(ctx, nonce, 12, aad, data, 20, out, tag));
      EXPECT_FALSE(GcmDecryptAndVerify(ctx, nonce, 12, aad, data, 20, out, tag));
      EXPECT_FALSE(GcmEncryptAndTag(ctx, nonce, 12, aad, nullptr, 0, nullptr, tag));
      EXPECT_EQ(ToHex(out, 20), std::string(40, 'c'));
      EXPECT_EQ(ToHex(tag, 16), std::string(32, 'c'));
    }
    // Keyed again after the wipe: SP 800-38D test case 2's tag.
    ASSERT_TRUE(GcmSetKey(128, Hex("00000000000000000000000000000000").data(), &wiped));
    uint8_t nonce[12] = {}, block[16] = {}, out[16], tag[16];
    ASSERT_TRUE(tw::crypto::GcmCrypt(&wiped, nonce, 12, nullptr, 0, block, 16, out, tag, nullptr));
    EXPECT_EQ(ToHex(out, 16), "0388dace60b6a392f328c2b971b2fe78");
    EXPECT_EQ(ToHex(tag, 16), "ab6e47d42cec13bdf53a67b21257bddf");
  }
}

TEST(Gcm, RefusedArguments) {
  sGcmCtx ctx;
  const Bytes key = Hex("feffe9928665731c6d6a8f9467308308");
  EXPECT_FALSE(GcmSetKey(0, key.data(), &ctx));
  EXPECT_FALSE(GcmSetKey(160, key.data(), &ctx));
  EXPECT_FALSE(GcmSetKey(128, nullptr, &ctx));
  EXPECT_FALSE(GcmSetKey(128, key.data(), nullptr));
  ASSERT_TRUE(GcmSetKey(128, key.data(), &ctx));
  uint8_t nonce[12] = {}, aad[5] = {}, data[4] = {}, out[4], tag[16];
  EXPECT_FALSE(GcmEncryptAndTag(nullptr, nonce, 12, aad, data, 4, out, tag));
  EXPECT_FALSE(GcmEncryptAndTag(&ctx, nullptr, 12, aad, data, 4, out, tag));
  EXPECT_FALSE(GcmEncryptAndTag(&ctx, nonce, 0, aad, data, 4, out, tag));
  EXPECT_FALSE(GcmEncryptAndTag(&ctx, nonce, 12, nullptr, data, 4, out, tag));
  EXPECT_FALSE(GcmEncryptAndTag(&ctx, nonce, 12, aad, nullptr, 4, out, tag));
  EXPECT_FALSE(GcmEncryptAndTag(&ctx, nonce, 12, aad, data, 4, nullptr, tag));
  EXPECT_FALSE(GcmEncryptAndTag(&ctx, nonce, 12, aad, data, 4, out, nullptr));
  EXPECT_FALSE(GcmDecryptAndVerify(&ctx, nonce, 12, aad, data, 4, out, nullptr));
  EXPECT_TRUE(GcmEncryptAndTag(&ctx, nonce, 12, aad, nullptr, 0, nullptr, tag)) << "empty data needs no buffers";
}

}  // namespace
