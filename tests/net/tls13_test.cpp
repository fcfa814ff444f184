// The TLS 1.3 key schedule and records against RFC 8448 section 3 (a
// simple 1-RTT handshake): every secret, key and IV, both Finished values,
// and records sealed and opened under the derived keys.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "net/tls13.h"

namespace {

std::vector<uint8_t> Unhex(const std::string& hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

std::string Hex(const uint8_t* p, size_t n) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    out += digits[p[i] >> 4];
    out += digits[p[i] & 15];
  }
  return out;
}

// RFC 8448 section 3: the handshake messages and the x25519 shared secret.
const char* kClientHello =
    "010000c00303cb34ecb1e78163ba1c38c6dacb196a6dffa21a8d9912ec18a2ef6283024dece7000006130113031302010000910000000b0009"
    "000006736572766572ff01000100000a00140012001d0017001800190100010101020103010400230000003300260024001d002099381de5"
    "60e4bd43d23d8e435a7dbafeb3c06e51c13cae4d5413691e529aaf2c002b0003020304000d0020001e040305030603020308040805080604"
    "010501060102010402050206020202002d00020101001c00024001";
const char* kServerHello =
    "020000560303a6af06a4121860dc5e6e60249cd34c95930c8ac5cb1434dac155772ed3e2692800130100002e00330024001d0020c9828876"
    "112095fe66762bdbf7c672e156d6cc253b833df1dd69b1b04e751f0f002b00020304";
const char* kShared = "8bd4054fb55b9d63fdfbacf9f04b9f0d35e6d63f537563efd46272900f89492d";
const char* kServerFlight =
    "080000240022000a00140012001d00170018001901000101010201030104001c0002400100000000"
    "0b0001b9000001b50001b0308201ac30820115a003020102020102300d06092a864886f70d01010b0500300e310c300a0603550403130372"
    "7361301e170d3136303733303031323335395a170d3236303733303031323335395a300e310c300a0603550403130372736130819f300d06"
    "092a864886f70d010101050003818d0030818902818100b4bb498f8279303d980836399b36c6988c0c68de55e1bdb826d3901a2461eafd2d"
    "e49a91d015abbc9a95137ace6c1af19eaa6af98c7ced43120998e187a80ee0ccb0524b1b018c3e0b63264d449a6d38e22a5fda4308467480"
    "30530ef0461c8ca9d9efbfae8ea6d1d03e2bd193eff0ab9a8002c47428a6d35a8d88d79f7f1e3f0203010001a31a301830090603551d1304"
    "023000300b0603551d0f0404030205a0300d06092a864886f70d01010b05000381810085aad2a0e5b9276b908c65f73a7267170618a54c5f"
    "8a7b337d2df7a594365417f2eae8f8a58c8f8172f9319cf36b7fd6c55b80f21a03015156726096fd335e5e67f2dbf102702e608ccae6bec1"
    "fc63a42a99be5c3eb7107c3c54e9b9eb2bd5203b1c3b84e0a8b2f759409ba3eac9d91d402dcc0cc8f8961229ac9187b42b4de10000"
    "0f000084080400805a747c5d88fa9bd2e55ab085a61015b7211f824cd484145ab3ff52f1fda8477b0b7abc90db78e2d33a5c141a078653fa"
    "6bef780c5ea248eeaaa785c4f394cab6d30bbe8d4859ee511f602957b15411ac027671459e46445c9ea58c181e818e95b8c3fb0bf3278409"
    "d3be152a3da5043e063dda65cdf5aea20d53dfacd42f74f3";
const char* kServerFinishedValue = "9b9b141d906337fbd2cbdce71df4deda4ab42c309572cb7fffee5454b78f0718";

void Feed(sTLSHashCtx& hash, const char* hex) {
  const auto bytes = Unhex(hex);
  hash.Update(bytes.data(), bytes.size());
}

TEST(Tls13, Rfc8448KeyScheduleMatchesEverySecret) {
  sTLSHashCtx transcript;
  ASSERT_TRUE(transcript.Init(kTlsAes128GcmSha256));
  Feed(transcript, kClientHello);
  Feed(transcript, kServerHello);
  uint8_t hash[48];
  transcript.Final(hash);
  EXPECT_EQ(Hex(hash, 32), "860c06edc07858ee8e78f0e7428c58edd6b43f2ca3e6e95f02ed063cf0e1cad8");

  sTLSTrafficKeys keys{};
  uint8_t handshakeSecret[48];
  ASSERT_TRUE(Tls13DeriveHandshakeSecrets(&keys, handshakeSecret, Unhex(kShared).data(), transcript));
  EXPECT_EQ(Hex(handshakeSecret, 32), "1dc826e93606aa6fdc0aadc12f741b01046aa6b99f691ed221a9f0ca043fbeac");
  EXPECT_EQ(Hex(keys.clientSecret, 32), "b3eddb126e067f35a780b3abf45e2d8f3b1a950738f52e9600746a0e27a55a21");
  EXPECT_EQ(Hex(keys.serverSecret, 32), "b67b7d690cc16c4e75e54213cb2d37b4e9c912bcded9105d42befd59d391ad38");
  EXPECT_EQ(Hex(keys.clientKey, 16), "dbfaa693d1762c5b666af5d950258d01");
  EXPECT_EQ(Hex(keys.clientIv, 12), "5bd3c71b836e0b76bb73265f");
  EXPECT_EQ(Hex(keys.serverKey, 16), "3fce516009c21727d0f2e4e86ee403bc");
  EXPECT_EQ(Hex(keys.serverIv, 12), "5d313eb2671276ee13000b30");
  EXPECT_EQ(keys.keyBits, 128);

  // The server's Finished over the transcript through CertificateVerify.
  uint8_t finishedKey[48], finished[48];
  ASSERT_TRUE(Tls13FinishedKey(transcript, keys.serverSecret, finishedKey));
  EXPECT_EQ(Hex(finishedKey, 32), "008d3b66f816ea559f96b537e885c31fc068bf492c652f01f288a1d8cdc19fc8");
  Feed(transcript, kServerFlight);
  transcript.Final(hash);
  ASSERT_TRUE(HmacByHashId(finished, 32, finishedKey, 32, transcript, hash));
  EXPECT_EQ(Hex(finished, 32), kServerFinishedValue);
  Feed(transcript, (std::string("14000020") + kServerFinishedValue).c_str());
  transcript.Final(hash);
  EXPECT_EQ(Hex(hash, 32), "9608102a0f1ccc6db6250b7b7e417b1a000eaada3daae4777a7686c9ff83df13");

  // The client's Finished over the same transcript.
  uint8_t clientFinishedKey[48];
  ASSERT_TRUE(Tls13FinishedKey(transcript, keys.clientSecret, clientFinishedKey));
  EXPECT_EQ(Hex(clientFinishedKey, 32), "b80ad01015fb2f0bd65ff7d4da5d6bf83f84821d1f87fdc7d3c75b5a7b42d9c4");
  ASSERT_TRUE(HmacByHashId(finished, 32, clientFinishedKey, 32, transcript, hash));
  EXPECT_EQ(Hex(finished, 32), "a8ec436d677634ae525ac1fcebe11a039ec17694fac6e98527b642f2edd5ce61");

  sTLSTrafficKeys app{};
  ASSERT_TRUE(Tls13DeriveApplicationSecrets(&app, handshakeSecret, transcript));
  EXPECT_EQ(Hex(app.serverSecret, 32), "a11af9f05531f856ad47116b45a950328204b4f44bfb6b3a4b4f1f3fcb631643");
  EXPECT_EQ(Hex(app.serverKey, 16), "9f02283b6c9c07efc26bb9f2ac92e356");
  EXPECT_EQ(Hex(app.serverIv, 12), "cf782b88dd83549aadf1e984");
  EXPECT_EQ(Hex(app.clientKey, 16), "17422dda596ed5d9acd890e3c63f5051");
  EXPECT_EQ(Hex(app.clientIv, 12), "5b78923dee08579033e523d9");
  EXPECT_EQ(Hex(app.clientSecret, 32), std::string(64, '0')) << "no key update: the client secret is dropped";
}

TEST(Tls13, OnlyTheTwoGcmSuitesSetUpATranscript) {
  const struct {
    uint16_t suite;
    bool ok;
    int32_t n;
  } cases[] = {{0x1301, true, 32}, {0x1302, true, 48}, {0x1303, false, 0}, {0xC013, false, 0}, {0, false, 0}};
  for (const auto& c : cases) {
    sTLSHashCtx t;
    EXPECT_EQ(t.Init(c.suite), c.ok) << c.suite;
    EXPECT_EQ(t.HashLength(), c.n) << c.suite;
  }
}

TEST(Tls13, Sha384SuiteGivesLongerSecretsAnd256BitKeys) {
  sTLSHashCtx t;
  ASSERT_TRUE(t.Init(kTlsAes256GcmSha384));
  Feed(t, kClientHello);
  sTLSTrafficKeys keys{};
  uint8_t secret[48];
  ASSERT_TRUE(Tls13DeriveHandshakeSecrets(&keys, secret, Unhex(kShared).data(), t));
  EXPECT_EQ(keys.keyBits, 256);
  // The 48-byte secret is used whole: its last 16 bytes are not zero.
  EXPECT_NE(Hex(keys.serverSecret + 32, 16), std::string(32, '0'));
  EXPECT_NE(Hex(keys.clientKey + 16, 16), std::string(32, '0'));
}

TEST(Tls13, RecordsSealAndOpenUnderTheSequenceNumber) {
  sGcmCtx ctx{};
  const auto key = Unhex("9f02283b6c9c07efc26bb9f2ac92e356");
  ASSERT_TRUE(GcmSetKey(128, key.data(), &ctx));
  const auto iv = Unhex("cf782b88dd83549aadf1e984");
  std::memcpy(ctx.staticIv, iv.data(), 12);

  uint8_t nonce[12];
  Tls13Nonce(ctx.staticIv, 0x0102, nonce);
  EXPECT_EQ(Hex(nonce, 12), "cf782b88dd83549aadf1e886");

  std::string plain = "hello over TLS";
  plain += '\x17';
  std::vector<uint8_t> record(plain.size() + 21);
  ASSERT_TRUE(Tls13SealRecord(ctx, 5, plain.data(), static_cast<uint32_t>(plain.size()), record.data()));
  EXPECT_EQ(Hex(record.data(), 5), "170303001f");
  std::vector<uint8_t> out(plain.size());
  const uint32_t bodyLength = static_cast<uint32_t>(record.size() - 5);
  EXPECT_TRUE(Tls13OpenRecord(ctx, 5, record.data(), record.data() + 5, bodyLength, out.data()));
  EXPECT_EQ(std::string(out.begin(), out.end()), plain);
  // Another sequence number, a flipped byte anywhere, a header changed, or
  // a body too short for a tag and a type: each refused.
  EXPECT_FALSE(Tls13OpenRecord(ctx, 6, record.data(), record.data() + 5, bodyLength, out.data()));
  for (size_t i = 0; i < record.size(); ++i) {
    auto bad = record;
    bad[i] ^= 0x40;
    EXPECT_FALSE(Tls13OpenRecord(ctx, 5, bad.data(), bad.data() + 5, bodyLength, out.data())) << i;
  }
  EXPECT_FALSE(Tls13OpenRecord(ctx, 5, record.data(), record.data() + 5, 16, out.data()));
  EXPECT_FALSE(Tls13SealRecord(ctx, 0, plain.data(), 0, record.data()));
}

TEST(Tls13, PaddingIsStrippedToFindTheInnerType) {
  const struct {
    std::string plain;
    int32_t length;
    uint8_t type;
  } cases[] = {
      {std::string("ab\x17", 3), 2, 23},
      {std::string("ab\x16\0\0\0", 6), 2, 22},
      {std::string("\x15", 1), 0, 21},
      {std::string("a\0\x17\0", 4), 2, 23},
      {std::string("\0\0\0", 3), -1, 0},
  };
  for (const auto& c : cases) {
    uint8_t type = 0;
    EXPECT_EQ(Tls13StripPadding(reinterpret_cast<const uint8_t*>(c.plain.data()),
                                static_cast<uint32_t>(c.plain.size()), &type),
              c.length);
    EXPECT_EQ(type, c.type);
  }
}

TEST(Tls13, SameBytesComparesEveryByte) {
  const uint8_t a[4] = {1, 2, 3, 4}, b[4] = {1, 2, 3, 5};
  EXPECT_TRUE(TlsSameBytes(a, a, 4));
  EXPECT_FALSE(TlsSameBytes(a, b, 4));
  EXPECT_TRUE(TlsSameBytes(a, b, 3));
}

}  // namespace
