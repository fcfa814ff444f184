// The AES-NI / PCLMULQDQ path against the table path on random inputs: key
// schedules, single blocks, CBC runs, GHASH and whole GCM messages must be
// byte for byte the same. The known-vector tests in aes_test, cbc_test and
// gcm_test run on both paths as well.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>

#include "crypto/aes_internal.h"
#include "crypto/block_cipher.h"
#include "crypto/cbc.h"
#include "crypto/gcm.h"
#include "crypto/gcm_internal.h"
#include "tests/crypto/vectors.h"

namespace {

using twtest::Bytes;
using twtest::ToHex;
using namespace tw::crypto;

Bytes Random(std::mt19937& rng, size_t n) {
  Bytes b(n);
  for (auto& x : b) x = uint8_t(rng());
  return b;
}

// Forces the table path for its lifetime.
struct ForcePortable {
  ForcePortable() : before(AesForcePortable(true)) {}
  ~ForcePortable() { AesForcePortable(before); }
  bool before;
};

#define REQUIRE_HARDWARE() \
  if (!AesHardwareAvailable()) GTEST_SKIP() << "no AES-NI / PCLMULQDQ here: only the table path exists"

TEST(AesPaths, ChoiceFollowsCpuidAndTheSwitch) {
  const bool hw = AesHardwareAvailable();
  std::printf("AES-NI and PCLMULQDQ on this processor: %s\n", hw ? "yes" : "no");
  EXPECT_EQ(AesHardwareActive(), hw);
  {
    ForcePortable force;
    EXPECT_FALSE(AesHardwareActive());
    EXPECT_TRUE(AesForcePortable(false)) << "the switch reports the setting it replaces";
    EXPECT_EQ(AesHardwareActive(), hw);
    AesForcePortable(true);
  }
  EXPECT_EQ(AesHardwareActive(), hw);
}

// Rule a of crypto/aes_internal.h: a schedule made on one path is the same
// words as on the other, so contexts keyed before a switch stay valid.
TEST(AesPaths, KeySchedulesAgree) {
  REQUIRE_HARDWARE();
  std::mt19937 rng(11);
  for (int bits : {128, 192, 256}) {
    for (int round = 0; round < 200; ++round) {
      const Bytes key = Random(rng, size_t(bits / 8));
      sAesRoundKeys encHw, decHw, encTab, decTab;
      ASSERT_TRUE(AesExpandEncryptKey(key.data(), bits, &encHw));
      AesExpandDecryptKey(encHw, &decHw);
      {
        ForcePortable force;
        ASSERT_TRUE(AesExpandEncryptKey(key.data(), bits, &encTab));
        AesExpandDecryptKey(encTab, &decTab);
      }
      ASSERT_EQ(encHw.rounds, encTab.rounds);
      ASSERT_EQ(decHw.rounds, decTab.rounds);
      ASSERT_EQ(ToHex(encHw.words, sizeof encHw.words), ToHex(encTab.words, sizeof encTab.words))
          << bits << " " << ToHex(key);
      ASSERT_EQ(ToHex(decHw.words, sizeof decHw.words), ToHex(decTab.words, sizeof decTab.words))
          << bits << " " << ToHex(key);
    }
  }
}

TEST(AesPaths, BlocksAgree) {
  REQUIRE_HARDWARE();
  std::mt19937 rng(12);
  for (int bits : {128, 192, 256}) {
    for (int round = 0; round < 300; ++round) {
      const Bytes key = Random(rng, size_t(bits / 8)), block = Random(rng, 16);
      sAesRoundKeys enc, dec;
      ASSERT_TRUE(AesExpandEncryptKey(key.data(), bits, &enc));
      AesExpandDecryptKey(enc, &dec);
      uint8_t a[16], b[16], c[16], d[16];
      AesEncryptBlockHardware(enc, block.data(), a);
      AesEncryptBlockPortable(enc, block.data(), b);
      ASSERT_EQ(ToHex(a, 16), ToHex(b, 16)) << bits << " " << ToHex(key) << " " << ToHex(block);
      AesDecryptBlockHardware(dec, block.data(), c);
      AesDecryptBlockPortable(dec, block.data(), d);
      ASSERT_EQ(ToHex(c, 16), ToHex(d, 16)) << bits << " " << ToHex(key) << " " << ToHex(block);
      AesDecryptBlockHardware(dec, a, c);
      ASSERT_EQ(ToHex(c, 16), ToHex(block));
    }
  }
}

// Runs of every length up to past two bulk steps of eight blocks, in place
// and not, with a chaining block carried from one call into the next.
TEST(AesPaths, CbcRunsAgree) {
  REQUIRE_HARDWARE();
  std::mt19937 rng(13);
  for (int bits : {128, 192, 256}) {
    const Bytes key = Random(rng, size_t(bits / 8));
    sAesRoundKeys enc, dec;
    ASSERT_TRUE(AesExpandEncryptKey(key.data(), bits, &enc));
    AesExpandDecryptKey(enc, &dec);
    for (size_t blocks = 0; blocks <= 20; ++blocks) {
      for (bool inPlace : {false, true}) {
        const Bytes data = Random(rng, 16 * blocks), iv = Random(rng, 16);
        const std::string where = std::to_string(bits) + " bits, " + std::to_string(blocks) + " blocks" +
                                  (inPlace ? ", in place" : "");
        Bytes hw(data.size()), tab(data.size());
        uint8_t chainHw[16], chainTab[16];
        std::memcpy(chainHw, iv.data(), 16);
        std::memcpy(chainTab, iv.data(), 16);
        if (inPlace) hw = data;
        AesCbcEncryptHardware(enc, chainHw, inPlace ? hw.data() : data.data(), hw.data(), blocks);
        {
          ForcePortable force;
          AesCbcEncryptBlocks(enc, chainTab, data.data(), tab.data(), blocks);
        }
        ASSERT_EQ(ToHex(hw), ToHex(tab)) << where;
        ASSERT_EQ(ToHex(chainHw, 16), ToHex(chainTab, 16)) << where;

        std::memcpy(chainHw, iv.data(), 16);
        std::memcpy(chainTab, iv.data(), 16);
        Bytes backHw = inPlace ? hw : Bytes(data.size()), backTab(data.size());
        AesCbcDecryptHardware(dec, chainHw, inPlace ? backHw.data() : hw.data(), backHw.data(), blocks);
        {
          ForcePortable force;
          AesCbcDecryptBlocks(dec, chainTab, tab.data(), backTab.data(), blocks);
        }
        ASSERT_EQ(ToHex(backHw), ToHex(data)) << where;
        ASSERT_EQ(ToHex(backTab), ToHex(data)) << where;
        ASSERT_EQ(ToHex(chainHw, 16), ToHex(chainTab, 16)) << where;
      }
    }
  }
}

// Through cBlockCBC: IVs of 0, 16 and 40 bytes (the longer one reaches
// the third block), messages split at odd block counts across calls.
TEST(AesPaths, CbcObjectAgrees) {
  REQUIRE_HARDWARE();
  std::mt19937 rng(14);
  for (int32_t ivLength : {0, 16, 40}) {
    for (int round = 0; round < 30; ++round) {
      const Bytes key = Random(rng, 16), iv = Random(rng, size_t(ivLength));
      const uint32_t blocks = 1 + rng() % 40, split = rng() % blocks;
      const Bytes data = Random(rng, 16 * blocks);
      Bytes ct[2], pt[2];
      int32_t positions[2][2];
      for (int portable = 0; portable < 2; ++portable) {
        const bool before = AesForcePortable(portable == 1);
        cBlockCBC cbc;
        tOwned<cBlockCipher> aes(new cAESCipher());
        ASSERT_TRUE(aes->SetKey(key.data(), 128));
        ASSERT_TRUE(cbc.SetCipher(std::move(aes)));
        cbc.SetIV(iv.data(), ivLength);
        ct[portable].resize(data.size());
        pt[portable].resize(data.size());
        if (split != 0) {
          ASSERT_TRUE(cbc.Encrypt(data.data(), ct[portable].data(), 16 * split));
        }
        ASSERT_TRUE(cbc.Encrypt(data.data() + 16 * split, ct[portable].data() + 16 * split, 16 * (blocks - split)));
        if (split != 0) {
          ASSERT_TRUE(cbc.Decrypt(ct[portable].data(), pt[portable].data(), 16 * split));
        }
        ASSERT_TRUE(cbc.Decrypt(ct[portable].data() + 16 * split, pt[portable].data() + 16 * split,
                                16 * (blocks - split)));
        positions[portable][0] = cbc.ivPosEncrypt;
        positions[portable][1] = cbc.ivPosDecrypt;
        AesForcePortable(before);
      }
      ASSERT_EQ(ToHex(ct[0]), ToHex(ct[1])) << "IV " << ivLength << ", " << blocks << " blocks";
      ASSERT_EQ(ToHex(pt[0]), ToHex(data));
      ASSERT_EQ(ToHex(pt[1]), ToHex(data));
      EXPECT_EQ(positions[0][0], positions[1][0]);
      EXPECT_EQ(positions[0][1], positions[1][1]);
      EXPECT_EQ(positions[0][0], int32_t(16 * blocks));
    }
  }
}

TEST(AesPaths, GhashAgrees) {
  REQUIRE_HARDWARE();
  std::mt19937 rng(15);
  for (int round = 0; round < 400; ++round) {
    const Bytes key = Random(rng, 16);
    sGcmCtx ctx;
    ASSERT_TRUE(GcmSetKey(128, key.data(), &ctx));
    const size_t length = round < 300 ? size_t(round) : size_t(rng() % 5000);
    const Bytes data = Random(rng, length), start = Random(rng, 16);
    uint8_t hw[16], tab[16];
    std::memcpy(hw, start.data(), 16);
    std::memcpy(tab, start.data(), 16);
    GhashHardware(&ctx, hw, data.data(), length);
    GhashPortable(&ctx, tab, data.data(), length);
    ASSERT_EQ(ToHex(hw, 16), ToHex(tab, 16)) << "key " << ToHex(key) << ", " << length << " bytes";
  }
}

// Whole messages: nonce lengths that take J0 from GHASH, additional data
// and data lengths around the 16-byte pieces and the eight-block steps.
TEST(AesPaths, GcmAgrees) {
  REQUIRE_HARDWARE();
  std::mt19937 rng(16);
  const size_t lengths[] = {0, 1, 15, 16, 17, 112, 127, 128, 129, 143, 144, 255, 256, 257, 1000, 16384, 16389};
  const size_t nonceLengths[] = {12, 1, 8, 13, 16, 17, 60, 200};
  int round = 0;
  for (int bits : {128, 192, 256}) {
    for (size_t length : lengths) {
      for (size_t nonceLength : nonceLengths) {
        const size_t aadLength = (round++ * 7) % 150;
        const Bytes key = Random(rng, size_t(bits / 8)), nonce = Random(rng, nonceLength);
        const Bytes aad = Random(rng, aadLength), pt = Random(rng, length);
        const std::string where = std::to_string(bits) + " bits, nonce " + std::to_string(nonceLength) +
                                  ", aad " + std::to_string(aadLength) + ", data " + std::to_string(length);
        sGcmCtx ctx;
        ASSERT_TRUE(GcmSetKey(bits, key.data(), &ctx));
        Bytes ctHw(length), ctTab(length);
        uint8_t tagHw[16], tagTab[16];
        ASSERT_TRUE(GcmCrypt(&ctx, nonce.data(), nonceLength, aad.data(), aadLength, pt.data(), length, ctHw.data(),
                             tagHw, nullptr));
        {
          ForcePortable force;
          ASSERT_TRUE(GcmCrypt(&ctx, nonce.data(), nonceLength, aad.data(), aadLength, pt.data(), length,
                               ctTab.data(), tagTab, nullptr));
        }
        ASSERT_EQ(ToHex(ctHw), ToHex(ctTab)) << where;
        ASSERT_EQ(ToHex(tagHw, 16), ToHex(tagTab, 16)) << where;
        // Decrypted in place on the hardware path; a flipped ciphertext or
        // tag bit fails.
        Bytes buf = ctHw;
        ASSERT_TRUE(GcmCrypt(&ctx, nonce.data(), nonceLength, aad.data(), aadLength, buf.data(), length, buf.data(),
                             nullptr, tagTab))
            << where;
        ASSERT_EQ(ToHex(buf), ToHex(pt)) << where;
        if (length != 0) {
          buf = ctHw;
          buf[rng() % length] ^= uint8_t(1u << (rng() % 8));
          EXPECT_FALSE(GcmCrypt(&ctx, nonce.data(), nonceLength, aad.data(), aadLength, buf.data(), length,
                                buf.data(), nullptr, tagTab))
              << where;
        }
        tagHw[rng() % 16] ^= uint8_t(1u << (rng() % 8));
        EXPECT_FALSE(GcmCrypt(&ctx, nonce.data(), nonceLength, aad.data(), aadLength, ctHw.data(), length,
                              buf.data(), nullptr, tagHw))
            << where;
      }
    }
  }
}

}  // namespace
