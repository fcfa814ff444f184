#include "crypto/cbc.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/crypto/vectors.h"

namespace {

using twtest::Bytes;
using twtest::Field;
using twtest::Hex;
using twtest::ToHex;

tOwned<cBlockCipher> Aes(const Bytes& key) {
  tOwned<cBlockCipher> aes(new cAESCipher());
  EXPECT_TRUE(aes->SetKey(key.data(), int32_t(key.size() * 8)));
  return aes;
}

// SP 800-38A F.2.1 / F.2.2: CBC-AES128.
const char kKey[] = "2b7e151628aed2a6abf7158809cf4f3c";
const char kIv[] = "000102030405060708090a0b0c0d0e0f";
const char kPlain[] =
    "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710";
const char kCipher[] =
    "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"
    "73bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7";

TEST(Cbc, Sp80038aInOneCallAndInTwo) {
  for (const twtest::AesPath& path : twtest::AesPaths()) {
    twtest::AesPathScope scope(path);
    const Bytes iv = Hex(kIv), pt = Hex(kPlain), ct = Hex(kCipher);
    for (int calls : {1, 2, 4}) {
      cBlockCBC cbc;
      EXPECT_EQ(cbc.GetKind(), 1);
      ASSERT_TRUE(cbc.SetCipher(Aes(Hex(kKey))));
      cbc.SetIV(iv.data(), 16);
      Bytes out(64), back(64);
      const uint32_t piece = 64 / calls;
      for (uint32_t off = 0; off < 64; off += piece) ASSERT_TRUE(cbc.Encrypt(pt.data() + off, out.data() + off, piece));
      EXPECT_EQ(ToHex(out), kCipher) << calls << " calls";
      for (uint32_t off = 0; off < 64; off += piece)
        ASSERT_TRUE(cbc.Decrypt(ct.data() + off, back.data() + off, piece));
      EXPECT_EQ(ToHex(back), kPlain) << calls << " calls";
    }
  }
}

// CAVP multi-block messages, every key size, both directions; a fresh IV
// per record as TLS sets one per record.
TEST(Cbc, CavpMmt) {
  for (const twtest::AesPath& path : twtest::AesPaths()) {
    twtest::AesPathScope scope(path);
    cBlockCBC cbc;
    for (int bits : {128, 192, 256}) {
      const std::string file = "CBCMMT" + std::to_string(bits) + ".rsp";
      const auto records = twtest::ReadVectors(file, "COUNT");
      ASSERT_EQ(records.size(), 20u) << file;
      for (const auto& r : records) {
        const bool encrypt = Field(r, "[]") == "ENCRYPT";
        const Bytes iv = Hex(Field(r, "IV")), pt = Hex(Field(r, "PLAINTEXT")), ct = Hex(Field(r, "CIPHERTEXT"));
        ASSERT_TRUE(cbc.SetCipher(Aes(Hex(Field(r, "KEY")))));
        cbc.SetIV(iv.data(), int32_t(iv.size()));
        Bytes out(pt.size());
        if (encrypt) {
          ASSERT_TRUE(cbc.Encrypt(pt.data(), out.data(), uint32_t(pt.size())));
          EXPECT_EQ(ToHex(out), ToHex(ct)) << file << " encrypt " << Field(r, "COUNT");
        } else {
          ASSERT_TRUE(cbc.Decrypt(ct.data(), out.data(), uint32_t(ct.size())));
          EXPECT_EQ(ToHex(out), ToHex(pt)) << file << " decrypt " << Field(r, "COUNT");
        }
      }
    }
    const auto gfsbox = twtest::ReadVectors("CBCGFSbox128.rsp", "COUNT");
    ASSERT_GE(gfsbox.size(), 7u);
    for (const auto& r : gfsbox) {
      const Bytes iv = Hex(Field(r, "IV")), pt = Hex(Field(r, "PLAINTEXT"));
      ASSERT_TRUE(cbc.SetCipher(Aes(Hex(Field(r, "KEY")))));
      cbc.SetIV(iv.data(), 16);
      uint8_t out[16];
      ASSERT_TRUE(cbc.Encrypt(pt.data(), out, 16));
      EXPECT_EQ(ToHex(out, 16), Field(r, "CIPHERTEXT")) << Field(r, "COUNT");
    }
  }
}

TEST(Cbc, NullIvCombinesTheFirstBlockWithZero) {
  for (const twtest::AesPath& path : twtest::AesPaths()) {
    twtest::AesPathScope scope(path);
    const Bytes pt = Hex(kPlain);
    cAESCipher ecb;
    ecb.SetKey(Hex(kKey).data(), 128);
    uint8_t expected[16];
    ecb.EncryptBlock(pt.data(), expected);

    cBlockCBC cbc;
    ASSERT_TRUE(cbc.SetCipher(Aes(Hex(kKey))));
    const Bytes iv = Hex(kIv);
    cbc.SetIV(iv.data(), 16);
    cbc.SetIV(nullptr, 16);  // clears the stored IV
    EXPECT_EQ(cbc.iv.count, 0);
    EXPECT_EQ(cbc.iv.data, nullptr);
    uint8_t out[16];
    ASSERT_TRUE(cbc.Encrypt(pt.data(), out, 16));
    EXPECT_EQ(ToHex(out, 16), ToHex(expected, 16));
  }
}

TEST(Cbc, SetIvResetsChainingAndPositions) {
  for (const twtest::AesPath& path : twtest::AesPaths()) {
    twtest::AesPathScope scope(path);
    const Bytes iv = Hex(kIv), pt = Hex(kPlain);
    cBlockCBC cbc;
    ASSERT_TRUE(cbc.SetCipher(Aes(Hex(kKey))));
    cbc.SetIV(iv.data(), 16);
    uint8_t out[64];
    ASSERT_TRUE(cbc.Encrypt(pt.data(), out, 32));
    EXPECT_EQ(cbc.ivPosEncrypt, 32);
    cbc.SetIV(iv.data(), 16);  // same length: stored in place
    EXPECT_EQ(cbc.ivPosEncrypt, 0);
    ASSERT_TRUE(cbc.Encrypt(pt.data(), out, 64));
    EXPECT_EQ(ToHex(out, 64), kCipher);
  }
}

// SetIV given bytes inside the stored IV: with another length the old IV
// used to be freed before the copy (ASan: heap-use-after-free); with the same
// length the copy overlapped. The new IV is the bytes as they were.
TEST(Cbc, SetIvFromInsideItsOwnIv) {
  for (const twtest::AesPath& path : twtest::AesPaths()) {
    twtest::AesPathScope scope(path);
    struct sCase {
      int offset, length;
    };
    for (const sCase c : {sCase{0, 16}, sCase{8, 16}, sCase{4, 8}, sCase{0, 32}, sCase{1, 31}}) {
      Bytes stored(32);
      for (int i = 0; i < 32; ++i) stored[i] = uint8_t(0x40 + i);
      cBlockCBC cbc;
      ASSERT_TRUE(cbc.SetCipher(Aes(Hex(kKey))));
      cbc.SetIV(stored.data(), 32);
      cbc.SetIV(cbc.iv.data + c.offset, c.length);
      ASSERT_EQ(cbc.iv.count, c.length);
      EXPECT_EQ(ToHex(reinterpret_cast<uint8_t*>(cbc.iv.data), size_t(c.length)),
                ToHex(stored.data() + c.offset, size_t(c.length)))
          << c.offset << "+" << c.length;
    }
  }
}

// The IV is a byte stream: a 32-byte IV also enters the second block.
TEST(Cbc, LongIvReachesTheSecondBlock) {
  for (const twtest::AesPath& path : twtest::AesPaths()) {
    twtest::AesPathScope scope(path);
    const Bytes pt = Hex(kPlain);
    Bytes iv(32);
    for (int i = 0; i < 32; ++i) iv[i] = uint8_t(i * 5);
    cAESCipher ecb;
    ecb.SetKey(Hex(kKey).data(), 128);
    uint8_t block[16], c1[16], c2[16];
    for (int i = 0; i < 16; ++i) block[i] = pt[i] ^ iv[i];
    ecb.EncryptBlock(block, c1);
    for (int i = 0; i < 16; ++i) block[i] = pt[16 + i] ^ c1[i] ^ iv[16 + i];
    ecb.EncryptBlock(block, c2);

    cBlockCBC cbc;
    ASSERT_TRUE(cbc.SetCipher(Aes(Hex(kKey))));
    cbc.SetIV(iv.data(), 32);
    uint8_t out[32], back[32];
    ASSERT_TRUE(cbc.Encrypt(pt.data(), out, 32));
    EXPECT_EQ(ToHex(out, 16), ToHex(c1, 16));
    EXPECT_EQ(ToHex(out + 16, 16), ToHex(c2, 16));
    ASSERT_TRUE(cbc.Decrypt(out, back, 32));
    EXPECT_EQ(ToHex(back, 32), ToHex(pt.data(), 32));
  }
}

TEST(Cbc, PartialLastBlockIsZeroPaddedAndWrittenWhole) {
  for (const twtest::AesPath& path : twtest::AesPaths()) {
    twtest::AesPathScope scope(path);
    const Bytes iv = Hex(kIv), pt = Hex(kPlain);
    cBlockCBC cbc;
    ASSERT_TRUE(cbc.SetCipher(Aes(Hex(kKey))));
    cbc.SetIV(iv.data(), 16);
    uint8_t out[48];
    std::memset(out, 0xcc, sizeof out);
    ASSERT_TRUE(cbc.Encrypt(pt.data(), out, 20));  // one block and four bytes
    EXPECT_EQ(ToHex(out, 16), std::string(kCipher).substr(0, 32));
    // The second block is E(padded plaintext XOR the first ciphertext block).
    cAESCipher ecb;
    ecb.SetKey(Hex(kKey).data(), 128);
    uint8_t block[16] = {}, expected[16];
    std::memcpy(block, pt.data() + 16, 4);
    for (int i = 0; i < 16; ++i) block[i] ^= out[i];
    ecb.EncryptBlock(block, expected);
    EXPECT_EQ(ToHex(out + 16, 16), ToHex(expected, 16));
    EXPECT_EQ(out[32], 0xcc) << "wrote past the padded block";

    // Decryption of whole blocks gives the padded plaintext back.
    cbc.SetIV(iv.data(), 16);
    uint8_t back[32];
    ASSERT_TRUE(cbc.Decrypt(out, back, 32));
    EXPECT_EQ(ToHex(back, 20), ToHex(pt.data(), 20));
    EXPECT_EQ(ToHex(back + 20, 12), std::string(24, '0'));
  }
}

TEST(Cbc, InPlaceDecryption) {
  for (const twtest::AesPath& path : twtest::AesPaths()) {
    twtest::AesPathScope scope(path);
    Bytes buf = Hex(kCipher);
    cBlockCBC cbc;
    ASSERT_TRUE(cbc.SetCipher(Aes(Hex(kKey))));
    const Bytes iv = Hex(kIv);
    cbc.SetIV(iv.data(), 16);
    ASSERT_TRUE(cbc.Decrypt(buf.data(), buf.data(), 64));
    EXPECT_EQ(ToHex(buf), kPlain);
  }
}

TEST(Cbc, RefusedCalls) {
  for (const twtest::AesPath& path : twtest::AesPaths()) {
    twtest::AesPathScope scope(path);
    uint8_t in[32] = {}, out[32];
    cBlockCBC cbc;
    EXPECT_FALSE(cbc.Encrypt(in, out, 16)) << "no cipher";
    EXPECT_FALSE(cbc.Decrypt(in, out, 16)) << "no cipher";
    EXPECT_FALSE(cbc.SetCipher(nullptr));
    EXPECT_FALSE(cbc.UseCipher(nullptr));
    ASSERT_TRUE(cbc.SetCipher(Aes(Hex(kKey))));
    EXPECT_FALSE(cbc.Encrypt(nullptr, out, 16));
    EXPECT_FALSE(cbc.Encrypt(in, nullptr, 16));
    EXPECT_FALSE(cbc.Encrypt(in, out, 0));
    EXPECT_FALSE(cbc.Decrypt(in, out, 0));
    std::memset(out, 0xcc, sizeof out);
    EXPECT_FALSE(cbc.Decrypt(in, out, 20)) << "not a whole number of blocks";
    EXPECT_EQ(out[0], 0xcc);
  }
}

// A borrowed cipher stays the caller's; an owned one is deleted by the
// mode (the sanitizer build reports a leak or a double free otherwise).
TEST(Cbc, OwnedAndBorrowedCiphers) {
  cAESCipher borrowed;
  borrowed.SetKey(Hex(kKey).data(), 128);
  {
    cBlockCBC cbc;
    ASSERT_TRUE(cbc.SetCipher(Aes(Hex(kKey))));
    ASSERT_TRUE(cbc.UseCipher(&borrowed));  // deletes the owned one
    EXPECT_EQ(cbc.owned, nullptr);
    EXPECT_EQ(cbc.cipher, &borrowed);
    const Bytes iv = Hex(kIv), pt = Hex(kPlain);
    cbc.SetIV(iv.data(), 16);
    uint8_t out[64];
    ASSERT_TRUE(cbc.Encrypt(pt.data(), out, 64));
    EXPECT_EQ(ToHex(out, 64), kCipher);
  }
  uint8_t block[16] = {}, out[16];
  EXPECT_TRUE(borrowed.EncryptBlock(block, out)) << "the borrowed cipher outlives the mode";
}

}  // namespace
