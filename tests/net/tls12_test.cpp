// TLS 1.2 pieces: the PRF against the published P_SHA256 vector, the CBC
// record layout, and opening records: what is accepted (padding of any
// length up to 255) and what is refused, each through the one failure
// result.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "net/tls12.h"

namespace {

using tBytes = std::vector<uint8_t>;

tBytes Unhex(const std::string& hex) {
  tBytes out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

const uint8_t kMacKey[20] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
const uint8_t kIv[16] = {0xa0, 0xa1, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xab, 0xac, 0xad, 0xae, 0xaf};

std::unique_ptr<cBlockCBC> Cbc(int bits) {
  auto aes = std::make_unique<cAESCipher>();
  uint8_t key[32];
  for (int i = 0; i < 32; ++i) key[i] = static_cast<uint8_t>(0x40 + i);
  EXPECT_TRUE(aes->SetKey(key, bits));
  auto cbc = std::make_unique<cBlockCBC>();
  EXPECT_TRUE(cbc->SetCipher(std::move(aes)));
  return cbc;
}

tBytes Plain(uint32_t n) {
  tBytes p(n);
  for (uint32_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(i * 7 + 1);
  return p;
}

tBytes Seal(uint32_t n, uint64_t sequence, uint8_t type = 23, int bits = 128) {
  const tBytes p = Plain(n);
  tBytes record(Tls12RecordSize(n));
  EXPECT_TRUE(Tls12SealRecord(*Cbc(bits), kMacKey, sequence, type, p.data(), n, kIv, record.data()));
  return record;
}

// Opens a whole record (header and body); -1 when refused.
int32_t Open(tBytes record, uint64_t sequence, tBytes* plain = nullptr, int bits = 128) {
  const int32_t n = Tls12OpenRecord(*Cbc(bits), kMacKey, sequence, record.data(), record.data() + 5,
                                    static_cast<uint32_t>(record.size() - 5));
  if (plain != nullptr && n >= 0) plain->assign(record.begin() + 5, record.begin() + 5 + n);
  return n;
}

// A record built by hand: plaintext, MAC, then pad + 1 bytes of value pad
// (badAt >= 0 changes one of them), encrypted under kIv.
tBytes HandRecord(uint32_t n, uint32_t pad, int badAt = -1, int lastByte = -1) {
  const tBytes p = Plain(n);
  tBytes part(p);
  uint8_t mac[20];
  Tls12RecordMac(kMacKey, 0, 23, p.data(), n, mac);
  part.insert(part.end(), mac, mac + 20);
  part.insert(part.end(), pad + 1, static_cast<uint8_t>(pad));
  if (badAt >= 0) part[n + 20 + static_cast<uint32_t>(badAt)] ^= 1;
  if (lastByte >= 0) part.back() = static_cast<uint8_t>(lastByte);
  EXPECT_EQ(part.size() % 16, 0u);
  auto cbc = Cbc(128);
  cbc->SetIV(kIv, 16);
  EXPECT_TRUE(cbc->Encrypt(part.data(), part.data(), static_cast<uint32_t>(part.size())));
  const uint32_t body = 16 + static_cast<uint32_t>(part.size());
  tBytes record(5 + body);
  record[0] = 23;
  record[1] = 3;
  record[2] = 3;
  record[3] = static_cast<uint8_t>(body >> 8);
  record[4] = static_cast<uint8_t>(body);
  std::memcpy(record.data() + 5, kIv, 16);
  std::memcpy(record.data() + 21, part.data(), part.size());
  return record;
}

TEST(Tls12, PrfMatchesThePublishedSha256Vector) {
  const tBytes secret = Unhex("9bbe436ba940f017b17652849a71db35");
  const tBytes seed = Unhex("a0ba9f936cda311827a6f796ffd5198c");
  tBytes out(100);
  Tls12Prf(secret.data(), secret.size(), "test label", seed.data(), seed.size(), out.data(), out.size());
  EXPECT_EQ(out, Unhex("e3f229ba727be17b8d122620557cd453c2aab21d07c3d495329b52d4e61edb5a6b301791e90d35c9c9a46b4e14baf9"
                       "af0fa022f7077def17abfd3797c0564bab4fbc91666e9def9b97fce34f796789baa48082d122ee42c5a72e5a5110fff7"
                       "0187347b66"));
  // A shorter output is a prefix of the longer one.
  tBytes shorter(48);
  Tls12Prf(secret.data(), secret.size(), "test label", seed.data(), seed.size(), shorter.data(), shorter.size());
  EXPECT_EQ(shorter, tBytes(out.begin(), out.begin() + 48));
}

TEST(Tls12, RecordLayout) {
  const struct {
    uint32_t n, encrypted;
    uint8_t padding;
  } cases[] = {{100, 128, 7}, {12, 48, 15}, {0, 32, 11}, {11, 32, 0}, {16384, 16416, 11}};
  for (const auto& c : cases) {
    const tBytes record = Seal(c.n, 5);
    ASSERT_EQ(record.size(), 5 + 16 + c.encrypted) << c.n;
    EXPECT_EQ(record[0], 23);
    EXPECT_EQ(record[1], 3);
    EXPECT_EQ(record[2], 3);
    EXPECT_EQ(record[3] << 8 | record[4], static_cast<int>(16 + c.encrypted)) << c.n;
    EXPECT_EQ(0, std::memcmp(record.data() + 5, kIv, 16));
    tBytes part(record.begin() + 21, record.end());
    auto cbc = Cbc(128);
    cbc->SetIV(kIv, 16);
    ASSERT_TRUE(cbc->Decrypt(part.data(), part.data(), static_cast<uint32_t>(part.size())));
    EXPECT_EQ(tBytes(part.begin(), part.begin() + c.n), Plain(c.n));
    uint8_t mac[20];
    const tBytes p = Plain(c.n);
    Tls12RecordMac(kMacKey, 5, 23, p.data(), c.n, mac);
    EXPECT_EQ(0, std::memcmp(part.data() + c.n, mac, 20)) << c.n;
    for (size_t i = c.n + 20; i < part.size(); ++i) EXPECT_EQ(part[i], c.padding) << c.n << " at " << i;
  }
  tBytes big(Tls12RecordSize(16385));
  const tBytes p = Plain(16385);
  EXPECT_FALSE(Tls12SealRecord(*Cbc(128), kMacKey, 0, 23, p.data(), 16385, kIv, big.data()));
}

TEST(Tls12, SealedRecordsOpen) {
  for (int bits : {128, 256}) {
    for (uint32_t n : {0u, 1u, 11u, 12u, 100u, 4096u, 16384u}) {
      tBytes record(Tls12RecordSize(n));
      const tBytes p = Plain(n);
      ASSERT_TRUE(Tls12SealRecord(*Cbc(bits), kMacKey, 9, 22, p.data(), n, kIv, record.data()));
      tBytes out;
      EXPECT_EQ(Open(record, 9, &out, bits), static_cast<int32_t>(n)) << bits << " " << n;
      EXPECT_EQ(out, p);
    }
  }
}

TEST(Tls12, LongPaddingIsAccepted) {
  for (uint32_t pad : {15u, 31u, 143u, 255u}) {
    // n + 20 + pad + 1 a multiple of 16.
    const uint32_t n = (16 - (21 + pad) % 16) % 16 + 16;
    tBytes out;
    EXPECT_EQ(Open(HandRecord(n, pad), 0, &out), static_cast<int32_t>(n)) << pad;
    EXPECT_EQ(out, Plain(n));
  }
}

TEST(Tls12, BrokenRecordsAreRefused) {
  const tBytes good = Seal(100, 3);
  ASSERT_EQ(Open(good, 3), 100);
  EXPECT_EQ(Open(good, 4), -1) << "another sequence number";
  tBytes type = good;
  type[0] = 22;
  EXPECT_EQ(Open(type, 3), -1) << "another record type";
  for (size_t i = 5; i < good.size(); i += 9) {
    tBytes bad = good;
    bad[i] ^= 0x20;
    EXPECT_EQ(Open(bad, 3), -1) << "byte " << i;
  }
  tBytes shortened(good.begin(), good.end() - 16);
  EXPECT_EQ(Open(shortened, 3), -1) << "a block less";
  tBytes odd(good.begin(), good.end() - 1);
  EXPECT_EQ(Open(odd, 3), -1) << "not whole blocks";
  tBytes tiny(good.begin(), good.begin() + 5 + 32);
  EXPECT_EQ(Open(tiny, 3), -1) << "no room for a MAC";
  // Every padding byte counts, the length byte too.
  ASSERT_EQ(Open(HandRecord(27, 32), 0), 27);
  for (int at : {0, 5, 31, 32}) EXPECT_EQ(Open(HandRecord(27, 32, at), 0), -1) << "padding byte " << at;
  // A padding length that leaves no room for the MAC, or reaches past the
  // record.
  ASSERT_EQ(Open(HandRecord(11, 0), 0), 11);
  EXPECT_EQ(Open(HandRecord(11, 0, -1, 12), 0), -1);
  EXPECT_EQ(Open(HandRecord(11, 0, -1, 255), 0), -1);
}

}  // namespace
