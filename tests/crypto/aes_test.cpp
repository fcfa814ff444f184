#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "crypto/block_cipher.h"
#include "crypto/cbc.h"
#include "tests/crypto/vectors.h"

namespace {

using twtest::Bytes;
using twtest::Field;
using twtest::Hex;
using twtest::ToHex;

// FIPS 197 appendix C: one plaintext under 128-, 192- and 256-bit keys.
TEST(Aes, Fips197AppendixC) {
  for (const twtest::AesPath& path : twtest::AesPaths()) {
    twtest::AesPathScope scope(path);
    struct Case {
      int bits;
      const char* key;
      const char* ct;
    } cases[] = {
        {128, "000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a"},
        {192, "000102030405060708090a0b0c0d0e0f1011121314151617", "dda97ca4864cdfe06eaf70a0ec0d7191"},
        {256, "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
         "8ea2b7ca516745bfeafc49904b496089"},
    };
    const Bytes pt = Hex("00112233445566778899aabbccddeeff");
    for (const auto& c : cases) {
      cAESCipher aes;
      const Bytes key = Hex(c.key);
      ASSERT_TRUE(aes.SetKey(key.data(), c.bits)) << c.bits;
      EXPECT_EQ(aes.keyBits, c.bits);
      EXPECT_EQ(aes.encRoundKeys.rounds, c.bits / 32 + 6);
      uint8_t out[16], back[16];
      ASSERT_TRUE(aes.EncryptBlock(pt.data(), out));
      EXPECT_EQ(ToHex(out, 16), c.ct) << c.bits;
      ASSERT_TRUE(aes.DecryptBlock(out, back));
      EXPECT_EQ(ToHex(back, 16), ToHex(pt)) << c.bits;
      // In place.
      ASSERT_TRUE(aes.EncryptBlock(back, back));
      EXPECT_EQ(ToHex(back, 16), c.ct) << c.bits;
    }
  }
}

// CAVP ECB known answers (GFSbox, KeySbox) and multi-block messages (MMT),
// both directions, all key sizes.
TEST(Aes, CavpEcb) {
  for (const twtest::AesPath& path : twtest::AesPaths()) {
    twtest::AesPathScope scope(path);
    for (const char* kind : {"GFSbox", "KeySbox", "MMT"}) {
      for (int bits : {128, 192, 256}) {
        const std::string file = std::string("ECB") + kind + std::to_string(bits) + ".rsp";
        const auto records = twtest::ReadVectors(file, "COUNT");
        ASSERT_GE(records.size(), 10u) << file;
        for (const auto& r : records) {
          const bool encrypt = Field(r, "[]") == "ENCRYPT";
          const Bytes key = Hex(Field(r, "KEY")), pt = Hex(Field(r, "PLAINTEXT")), ct = Hex(Field(r, "CIPHERTEXT"));
          cAESCipher aes;
          ASSERT_TRUE(aes.SetKey(key.data(), bits));
          const Bytes& in = encrypt ? pt : ct;
          Bytes out(in.size());
          for (size_t off = 0; off < in.size(); off += 16)
            ASSERT_TRUE(encrypt ? aes.EncryptBlock(in.data() + off, out.data() + off)
                                : aes.DecryptBlock(in.data() + off, out.data() + off));
          EXPECT_EQ(ToHex(out), ToHex(encrypt ? ct : pt)) << file << " " << Field(r, "[]") << " " << Field(r, "COUNT");
        }
      }
    }
  }
}

TEST(Aes, RefusedKeysKeepTheOldOne) {
  for (const twtest::AesPath& path : twtest::AesPaths()) {
    twtest::AesPathScope scope(path);
    cAESCipher aes;
    EXPECT_EQ(aes.GetKind(), 2);
    EXPECT_EQ(aes.BlockSize(), 16);
    for (int bits : {0, 64, 127, 160, 224, 255, 257, 512}) EXPECT_FALSE(aes.IsValidKeyBits(bits)) << bits;
    const Bytes key = Hex("000102030405060708090a0b0c0d0e0f");
    ASSERT_TRUE(aes.SetKey(key.data(), 128));
    EXPECT_FALSE(aes.SetKey(key.data(), 160));
    EXPECT_FALSE(aes.SetKey(nullptr, 128));
    const Bytes pt = Hex("00112233445566778899aabbccddeeff");
    uint8_t out[16];
    ASSERT_TRUE(aes.EncryptBlock(pt.data(), out));
    EXPECT_EQ(ToHex(out, 16), "69c4e0d86a7b0430d8cdb78070b4c55a");
    EXPECT_FALSE(aes.EncryptBlock(nullptr, out));
    EXPECT_FALSE(aes.DecryptBlock(pt.data(), nullptr));
    EXPECT_EQ(ToHex(key), ToHex(aes.key.data, size_t(aes.key.count)));

    tOwned<cBlockCipher> fresh = aes.CreateNew();
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->GetKind(), 2);
    EXPECT_EQ(fresh->key.count, 0);
    EXPECT_NE(dynamic_cast<cAESCipher*>(fresh.get()), nullptr);
  }
}

bool AllZero(const void* p, size_t n) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  for (size_t i = 0; i < n; ++i)
    if (b[i] != 0) return false;
  return true;
}

TEST(Aes, WipeZeroesEveryKeyDependentValue) {
  cAESCipher aes;
  const Bytes key = Hex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
  ASSERT_TRUE(aes.SetKey(key.data(), 256));
  ASSERT_FALSE(AllZero(&aes.encRoundKeys, sizeof aes.encRoundKeys));
  ASSERT_FALSE(AllZero(&aes.decRoundKeys, sizeof aes.decRoundKeys));
  aes.Wipe();
  EXPECT_TRUE(AllZero(&aes.encRoundKeys, sizeof aes.encRoundKeys));
  EXPECT_TRUE(AllZero(&aes.decRoundKeys, sizeof aes.decRoundKeys));
  ASSERT_EQ(aes.key.count, 32);
  EXPECT_TRUE(AllZero(aes.key.data, 32));
}

// Without a key (never set, or wiped) the rounds would still run as a
// public, reversible permutation: both directions refuse and write nothing.
TEST(Aes, RefusesToRunWithoutAKey) {
  for (const twtest::AesPath& path : twtest::AesPaths()) {
    twtest::AesPathScope scope(path);
    cAESCipher fresh, wiped;
    const Bytes key = Hex("2b7e151628aed2a6abf7158809cf4f3c");
    ASSERT_TRUE(wiped.SetKey(key.data(), 128));
    wiped.Wipe();
    for (cAESCipher* aes : {&fresh, &wiped}) {
      uint8_t in[16] = {1, 2, 3}, out[16];
      std::memset(out, 0xcc, sizeof out);
      EXPECT_FALSE(aes->EncryptBlock(in, out));
      EXPECT_FALSE(aes->DecryptBlock(in, out));
      EXPECT_EQ(ToHex(out, 16), std::string(32, 'c'));
    }
    // A key set again after the wipe works as before.
    ASSERT_TRUE(wiped.SetKey(key.data(), 128));
    uint8_t in[16] = {}, out[16];
    EXPECT_TRUE(wiped.EncryptBlock(in, out));
    EXPECT_EQ(ToHex(out, 16), "7df76b0c1ab899b33e42f047b91b546f");

    // CBC over a keyless cipher refuses as well.
    cBlockCBC cbc;
    ASSERT_TRUE(cbc.SetCipher(tOwned<cBlockCipher>(new cAESCipher())));
    uint8_t data[32] = {}, sink[32];
    std::memset(sink, 0xcc, sizeof sink);
    EXPECT_FALSE(cbc.Encrypt(data, sink, 32));
    EXPECT_FALSE(cbc.Decrypt(data, sink, 32));
    EXPECT_EQ(ToHex(sink, 32), std::string(64, 'c'));
  }
}

// The destructor wipes too: the object is built in storage that outlives
// it, and the key bytes are seen through the allocator on their way out.
const void* g_watched = nullptr;
bool g_watchedFreedZero = false;
size_t g_watchedSize = 0;

TEST(Aes, DestructorWipes) {
  alignas(cAESCipher) unsigned char storage[sizeof(cAESCipher)];
  cAESCipher* aes = new (storage) cAESCipher();
  const Bytes key = Hex("000102030405060708090a0b0c0d0e0f1011121314151617");
  ASSERT_TRUE(aes->SetKey(key.data(), 192));
  g_watched = aes->key.data;
  g_watchedSize = 24;
  g_watchedFreedZero = false;
  const size_t encOffset = reinterpret_cast<unsigned char*>(&aes->encRoundKeys) - storage;
  const size_t decOffset = reinterpret_cast<unsigned char*>(&aes->decRoundKeys) - storage;
  aes->~cAESCipher();
  EXPECT_TRUE(AllZero(storage + encOffset, sizeof(sAesRoundKeys)));
  EXPECT_TRUE(AllZero(storage + decOffset, sizeof(sAesRoundKeys)));
  EXPECT_TRUE(g_watchedFreedZero) << "key bytes were freed without being zeroed";
  g_watched = nullptr;
}

}  // namespace

// Replaced for this test program: notes whether the watched block is zero
// when it is freed.
namespace {
void Release(void* p) noexcept {
  if (p != nullptr && p == g_watched) g_watchedFreedZero = AllZero(p, g_watchedSize);
  std::free(p);
}
}  // namespace
void operator delete(void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void* operator new(std::size_t n) {
  void* p = std::malloc(n == 0 ? 1 : n);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
