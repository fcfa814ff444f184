// The TLS client over a scripted connection: a server of the test's own
// (the record and key-schedule pieces of net/tls12.h and net/tls13.h on the
// server's side) answers the ClientHello the client really sent, and can
// misbehave on purpose: records packed or split, padded, truncated,
// oversized, of the wrong version, a wrong Finished, alerts, tickets, a
// renegotiation request. The certificate hooks accept here (the chain and
// signature checks have their own tests), so every case is about the
// protocol.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "crypto/hmac.h"
#include "crypto/sha.h"
#include "crypto/x25519.h"
#include "net/http_transport.h"
#include "net/tls12.h"
#include "net/tls13.h"

namespace {

using tBytes = std::string;

uint32_t Be16(const tBytes& s, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(s[at])) << 8 | static_cast<uint8_t>(s[at + 1]);
}
void Put16(tBytes& s, uint32_t v) {
  s += static_cast<char>(v >> 8);
  s += static_cast<char>(v);
}
void Put24(tBytes& s, uint32_t v) {
  s += static_cast<char>(v >> 16);
  Put16(s, v);
}
tBytes Message(uint8_t type, const tBytes& body) {
  tBytes m(1, static_cast<char>(type));
  Put24(m, static_cast<uint32_t>(body.size()));
  return m + body;
}
tBytes PlainRecord(uint8_t type, const tBytes& body, uint8_t minor = 3) {
  tBytes r{static_cast<char>(type), 3, static_cast<char>(minor)};
  Put16(r, static_cast<uint32_t>(body.size()));
  return r + body;
}
const uint8_t* U(const tBytes& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

// The connection as the client sees it: what the client sends is kept;
// what it receives comes from respond, asked once with the ClientHello.
class cPeerWire : public cTCPSocket {
public:
  uint32_t Send(const void* data, uint32_t length) override {
    sent.append(static_cast<const char*>(data), length);
    SetLastError(kSocketOk);
    return length;
  }
  uint32_t Receive(void* buffer, uint32_t length, const sSocketTimeout*) override {
    if (!answered) {
      answered = true;
      script = respond(sent);
    }
    size_t n = script.size() - pos;
    if (n > length) n = length;
    if (n == 0) {
      SetLastError(kSocketClosed);
      return 0;
    }
    std::memcpy(buffer, script.data() + pos, n);
    pos += n;
    SetLastError(kSocketOk);
    return static_cast<uint32_t>(n);
  }
  bool IsOpen() const override { return true; }

  std::function<tBytes(const tBytes&)> respond;
  tBytes sent, script;
  size_t pos = 0;
  bool answered = false;
};

// A transport whose hooks accept and count.
class cTestTransport : public cHttpTransport {
public:
  bool CheckCertificate(const uint8_t*, uint32_t) override { return ++certificates, true; }
  bool CheckCertificateVerify(const uint8_t*, uint32_t) override { return ++verifies, true; }
  bool CheckServerKeyExchange(const uint8_t*, uint32_t) override { return ++keyExchanges, true; }
  int certificates = 0, verifies = 0, keyExchanges = 0;
};

// What the server does; the defaults make a correct handshake.
struct sServerPlan {
  bool tls12 = false;
  uint16_t suite = kTlsAes128GcmSha256;
  bool middleboxCcs = true;
  bool separateRecords = false;  // each handshake message in its own record
  uint32_t padding = 0;          // TLS 1.3: zeros after the inner type
  bool badFinished = false;
  int finishedLength = -1;       // -1: the right one
  uint16_t group = 0x001d;       // TLS 1.2 ServerKeyExchange curve
  bool ticketBeforeCcs = false;  // TLS 1.2: a NewSessionTicket first
  bool keyExchangeFirst = false; // TLS 1.2: ServerKeyExchange before Certificate
  // Records after the handshake: content type and plaintext, or raw bytes
  // (type 0) sent as they are.
  std::vector<std::pair<uint8_t, tBytes>> after;
  uint32_t tls12Padding = 0;     // extra padding blocks' worth (0..15) on TLS 1.2 records
};

const uint8_t kServerPrivate[32] = {0x77, 0x07, 0x6d, 0x0a, 0x73, 0x18, 0xa5, 0x7d, 0x3c, 0x16, 0xc1,
                                    0x72, 0x51, 0xb2, 0x66, 0x45, 0xdf, 0x4c, 0x2f, 0x87, 0xeb, 0xc0,
                                    0x99, 0x2a, 0xb1, 0x77, 0xfb, 0xa5, 0x1d, 0xb9, 0x2c, 0x2a};

// The server's side of one connection, made from the ClientHello.
class cTestServer {
public:
  explicit cTestServer(sServerPlan plan) : plan_(std::move(plan)) {}

  tBytes Respond(const tBytes& sent) {
    const uint32_t helloLength = 5 + Be16(sent, 3);
    hello_ = sent.substr(0, helloLength);
    std::memcpy(clientPublic_, hello_.data() + 151, 32);
    std::memcpy(clientRandom_, hello_.data() + 11, 32);
    X25519(kServerPrivate, shared_, clientPublic_);
    uint8_t serverPublic[32];
    uint8_t nine[32] = {9};
    X25519(kServerPrivate, serverPublic, nine);
    for (int i = 0; i < 32; ++i) serverRandom_[i] = static_cast<uint8_t>(0xa0 + i);
    return plan_.tls12 ? Flight12(serverPublic) : Flight13(serverPublic);
  }

  // The client's application records after the handshake, opened.
  std::vector<tBytes> ClientRecords(const tBytes& sent) const {
    std::vector<tBytes> out;
    size_t at = 0;
    int skip = plan_.tls12 ? 3 : 2;  // 1.2: key exchange, CCS, Finished; 1.3: CCS, Finished
    at = hello_.size();
    uint64_t seq = plan_.tls12 ? 1 : 0;
    while (at + 5 <= sent.size()) {
      const uint32_t n = Be16(sent, at + 3);
      tBytes body = sent.substr(at + 5, n);
      const tBytes header = sent.substr(at, 5);
      at += 5 + n;
      if (skip > 0) {
        --skip;
        continue;
      }
      if (plan_.tls12) {
        cBlockCBC cbc;
        auto aes = std::make_unique<cAESCipher>();
        aes->SetKey(keyBlock_ + 40, keyBytes_ * 8);
        cbc.SetCipher(std::move(aes));
        const int32_t got = Tls12OpenRecord(cbc, keyBlock_, seq++, U(header), reinterpret_cast<uint8_t*>(&body[0]), n);
        out.push_back(got < 0 ? "<bad>" : body.substr(0, static_cast<size_t>(got)));
      } else {
        tBytes plain(n - 16, '\0');
        const bool ok = Tls13OpenRecord(clientApp_, seq++, U(header), U(body), n, reinterpret_cast<uint8_t*>(&plain[0]));
        out.push_back(ok ? plain.substr(0, plain.size() - 1) : "<bad>");
      }
    }
    return out;
  }

private:
  tBytes ServerHello(const uint8_t serverPublic[32]) {
    tBytes b{3, 3};
    b.append(reinterpret_cast<const char*>(serverRandom_), 32);
    b += static_cast<char>(32);
    b += hello_.substr(44, 32);
    Put16(b, plan_.suite);
    b += '\0';
    tBytes ext;
    if (!plan_.tls12) {
      ext += tBytes{0x00, 0x2b, 0x00, 0x02, 0x03, 0x04};
      ext += tBytes{0x00, 0x33, 0x00, 0x24, 0x00, 0x1d, 0x00, 0x20};
      ext.append(reinterpret_cast<const char*>(serverPublic), 32);
    } else {
      ext += tBytes{static_cast<char>(0xff), 0x01, 0x00, 0x01, 0x00};  // renegotiation_info, empty
    }
    Put16(b, static_cast<uint32_t>(ext.size()));
    return Message(2, b + ext);
  }

  tBytes Flight13(const uint8_t serverPublic[32]) {
    const tBytes sh = ServerHello(serverPublic);
    tBytes out = PlainRecord(22, sh);
    if (plan_.middleboxCcs) out += PlainRecord(20, tBytes(1, 1));
    sTLSHashCtx transcript;
    transcript.Init(plan_.suite);
    const int n = transcript.HashLength();
    transcript.Update(hello_.data() + 5, hello_.size() - 5);
    transcript.Update(sh.data(), sh.size());
    sTLSTrafficKeys keys{};
    uint8_t hs[48];
    Tls13DeriveHandshakeSecrets(&keys, hs, shared_, transcript);
    sGcmCtx server{};
    GcmSetKey(keys.keyBits, keys.serverKey, &server);
    std::memcpy(server.staticIv, keys.serverIv, 12);
    uint64_t seq = 0;
    const auto seal = [&](const tBytes& content, uint8_t type, sGcmCtx& ctx, uint64_t s) {
      tBytes plain = content + static_cast<char>(type) + tBytes(plan_.padding, '\0');
      tBytes record(plain.size() + 21, '\0');
      Tls13SealRecord(ctx, s, plain.data(), static_cast<uint32_t>(plain.size()), reinterpret_cast<uint8_t*>(&record[0]));
      return record;
    };
    tBytes certificateBody{0, 0, 0, 10, 0, 0, 5, 'c', 'e', 'r', 't', '!', 0, 0};
    const tBytes messages[3] = {Message(8, tBytes{0, 0}), Message(11, certificateBody),
                                Message(15, tBytes{0x08, 0x04, 0x00, 0x02, 0x01, 0x02})};
    tBytes packed;
    for (const tBytes& m : messages) {
      transcript.Update(m.data(), m.size());
      if (plan_.separateRecords)
        out += seal(m, 22, server, seq++);
      else
        packed += m;
    }
    uint8_t hash[48], key[48], verify[48];
    transcript.Final(hash);
    Tls13FinishedKey(transcript, keys.serverSecret, key);
    HmacByHashId(verify, n, key, n, transcript, hash);
    if (plan_.badFinished) verify[n - 1] ^= 1;
    const int length = plan_.finishedLength >= 0 ? plan_.finishedLength : n;
    tBytes finished = Message(20, tBytes(reinterpret_cast<char*>(verify), static_cast<size_t>(std::min(length, n))) +
                                      tBytes(static_cast<size_t>(std::max(0, length - n)), '\0'));
    transcript.Update(finished.data(), finished.size());
    if (plan_.separateRecords)
      out += seal(finished, 22, server, seq++);
    else
      out += seal(packed + finished, 22, server, seq++);
    sTLSTrafficKeys app{};
    Tls13DeriveApplicationSecrets(&app, hs, transcript);
    sGcmCtx serverApp{};
    GcmSetKey(app.keyBits, app.serverKey, &serverApp);
    std::memcpy(serverApp.staticIv, app.serverIv, 12);
    GcmSetKey(app.keyBits, app.clientKey, &clientApp_);
    std::memcpy(clientApp_.staticIv, app.clientIv, 12);
    uint64_t appSeq = 0;
    for (const auto& [type, content] : plan_.after)
      out += type == 0 ? content : seal(content, type, serverApp, appSeq++);
    return out;
  }

  tBytes Flight12(const uint8_t serverPublic[32]) {
    keyBytes_ = plan_.suite == kTlsEcdheRsaAes256CbcSha ? 32 : 16;
    const tBytes sh = ServerHello(serverPublic);
    tBytes ske{3};
    Put16(ske, plan_.group);
    ske += static_cast<char>(32);
    ske.append(reinterpret_cast<const char*>(serverPublic), 32);
    ske += tBytes{0x04, 0x01, 0x00, 0x02, 0x01, 0x02};  // a signature the hook does not read here
    tBytes messages[4] = {sh, Message(11, tBytes{0, 0, 8, 0, 0, 5, 'c', 'e', 'r', 't', '!'}), Message(12, ske),
                          Message(14, "")};
    if (plan_.keyExchangeFirst) std::swap(messages[1], messages[2]);
    tBytes out, all;
    for (const tBytes& m : messages) {
      all += m;
      if (plan_.separateRecords) out += PlainRecord(22, m);
    }
    if (!plan_.separateRecords) out = PlainRecord(22, all);
    sSha256Ctx transcript;
    Sha256Init(&transcript);
    Sha256Update(&transcript, hello_.data() + 5, hello_.size() - 5);
    Sha256Update(&transcript, all.data(), all.size());
    tBytes cke = Message(16, tBytes(1, 32) + tBytes(reinterpret_cast<char*>(clientPublic_), 32));
    Sha256Update(&transcript, cke.data(), cke.size());
    uint8_t seed[64], master[48];
    std::memcpy(seed, clientRandom_, 32);
    std::memcpy(seed + 32, serverRandom_, 32);
    Tls12Prf(shared_, 32, "master secret", seed, 64, master, 48);
    std::memcpy(seed, serverRandom_, 32);
    std::memcpy(seed + 32, clientRandom_, 32);
    Tls12Prf(master, 48, "key expansion", seed, 64, keyBlock_, 128);
    uint8_t hash[32];
    sSha256Ctx copy = transcript;
    Sha256Final(&copy, hash);
    tBytes clientFinished = Message(20, tBytes(12, '\0'));
    Tls12Prf(master, 48, "client finished", hash, 32, reinterpret_cast<uint8_t*>(&clientFinished[4]), 12);
    Sha256Update(&transcript, clientFinished.data(), clientFinished.size());
    if (plan_.ticketBeforeCcs) {
      const tBytes ticket = Message(4, tBytes{0, 0, 0, 60, 0, 3, 't', 'i', 'k'});
      out += PlainRecord(22, ticket);
      Sha256Update(&transcript, ticket.data(), ticket.size());
    }
    out += PlainRecord(20, tBytes(1, 1));
    Sha256Final(&transcript, hash);
    tBytes finished = Message(20, tBytes(12, '\0'));
    Tls12Prf(master, 48, "server finished", hash, 32, reinterpret_cast<uint8_t*>(&finished[4]), 12);
    if (plan_.badFinished) finished[15] ^= 1;
    uint64_t seq = 0;
    const auto seal = [&](uint8_t type, const tBytes& content) {
      cBlockCBC cbc;
      auto aes = std::make_unique<cAESCipher>();
      aes->SetKey(keyBlock_ + 40 + keyBytes_, keyBytes_ * 8);
      cbc.SetCipher(std::move(aes));
      const uint8_t iv[16] = {1, 2, 3};
      tBytes record(Tls12RecordSize(static_cast<uint32_t>(content.size())), '\0');
      Tls12SealRecord(cbc, keyBlock_ + 20, seq++, type, U(content), static_cast<uint32_t>(content.size()), iv,
                      reinterpret_cast<uint8_t*>(&record[0]));
      return record;
    };
    out += seal(22, finished);
    for (const auto& [type, content] : plan_.after) out += type == 0 ? content : seal(type, content);
    return out;
  }

  sServerPlan plan_;
  tBytes hello_;
  uint8_t clientPublic_[32], clientRandom_[32], serverRandom_[32], shared_[32];
  uint8_t keyBlock_[128] = {};
  int keyBytes_ = 16;
  sGcmCtx clientApp_{};
};

// One connection: the handshake's result, and the server to look back at.
struct sSession {
  explicit sSession(sServerPlan plan) : server(std::move(plan)) {
    wire.respond = [this](const tBytes& sent) { return server.Respond(sent); };
    transport.UseWire(&wire, "www.example.test");
    ok = transport.Handshake();
  }
  // Receive in requests of the given size until 0; the pieces.
  std::vector<tBytes> ReadAll(uint32_t request) {
    std::vector<tBytes> pieces;
    std::vector<char> buffer(request);
    for (;;) {
      const uint32_t n = transport.Receive(buffer.data(), request, nullptr);
      if (n == 0) break;
      pieces.emplace_back(buffer.data(), n);
    }
    return pieces;
  }
  cTestServer server;
  cPeerWire wire;
  cTestTransport transport;
  bool ok = false;
};

sServerPlan Plan13(uint16_t suite = kTlsAes128GcmSha256) {
  sServerPlan p;
  p.suite = suite;
  return p;
}
sServerPlan Plan12(uint16_t suite = kTlsEcdheRsaAes128CbcSha) {
  sServerPlan p;
  p.tls12 = true;
  p.suite = suite;
  return p;
}

TEST(TlsScripted, ClientHelloLayout) {
  cPeerWire wire;
  wire.respond = [](const tBytes&) { return tBytes(); };
  cTestTransport t;
  t.UseWire(&wire, "twenty.bytes.example");  // 20 bytes
  EXPECT_FALSE(t.Handshake());
  ASSERT_EQ(wire.sent.size(), 212u);
  EXPECT_EQ(Be16(wire.sent, 3), 207u);
  EXPECT_EQ(Be16(wire.sent, 7), 203u);
  EXPECT_EQ(Be16(wire.sent, 88), 122u);
  EXPECT_EQ(wire.sent.substr(192), "twenty.bytes.example");
}

TEST(TlsScripted, HandshakesThatComplete) {
  const struct {
    const char* what;
    sServerPlan plan;
  } cases[] = {
      {"1.3 AES-128", Plan13()},
      {"1.3 AES-256", Plan13(kTlsAes256GcmSha384)},
      {"1.3 without the middlebox CCS", [] { auto p = Plan13(); p.middleboxCcs = false; return p; }()},
      {"1.3 one record per message", [] { auto p = Plan13(); p.separateRecords = true; return p; }()},
      {"1.3 padded records", [] { auto p = Plan13(); p.padding = 200; p.separateRecords = true; return p; }()},
      {"1.2 AES-128", Plan12()},
      {"1.2 AES-256", Plan12(kTlsEcdheRsaAes256CbcSha)},
      {"1.2 one record per message", [] { auto p = Plan12(); p.separateRecords = true; return p; }()},
      {"1.2 ticket before the CCS", [] { auto p = Plan12(); p.ticketBeforeCcs = true; return p; }()},
  };
  for (const auto& c : cases) {
    sServerPlan plan = c.plan;
    plan.after = {{23, "first"}, {23, "second"}};
    sSession s(plan);
    EXPECT_TRUE(s.ok) << c.what;
    EXPECT_EQ(s.transport.TlsState(), plan.tls12 ? cHttpTransport::kTls12 : cHttpTransport::kTls13) << c.what;
    EXPECT_EQ(s.transport.CipherSuite(), plan.suite) << c.what;
    EXPECT_EQ(s.transport.certificates, 1) << c.what;
    EXPECT_EQ(plan.tls12 ? s.transport.keyExchanges : s.transport.verifies, 1) << c.what;
    EXPECT_EQ(s.ReadAll(100), (std::vector<tBytes>{"first", "second"})) << c.what;
    EXPECT_EQ(s.transport.LastError(), kSocketClosed) << c.what;
  }
}

TEST(TlsScripted, HandshakesThatFail) {
  const struct {
    const char* what;
    sServerPlan plan;
  } cases[] = {
      {"1.3 wrong Finished", [] { auto p = Plan13(); p.badFinished = true; return p; }()},
      {"1.3 short Finished", [] { auto p = Plan13(); p.finishedLength = 31; return p; }()},
      {"1.3 long Finished", [] { auto p = Plan13(); p.finishedLength = 33; return p; }()},
      {"1.3 suite of 1.2", Plan13(kTlsEcdheRsaAes128CbcSha)},
      {"1.2 wrong Finished", [] { auto p = Plan12(); p.badFinished = true; return p; }()},
      {"1.2 secp256r1", [] { auto p = Plan12(); p.group = 0x0017; return p; }()},
      {"1.2 key exchange first", [] { auto p = Plan12(); p.keyExchangeFirst = true; return p; }()},
      {"1.2 suite of 1.3", Plan12(kTlsAes128GcmSha256)},
  };
  for (const auto& c : cases) {
    sServerPlan plan = c.plan;
    plan.after = {{23, "never"}};
    sSession s(plan);
    EXPECT_FALSE(s.ok) << c.what;
    EXPECT_EQ(s.transport.TlsState(), cHttpTransport::kTlsNone) << c.what;
  }
  // The curve is checked before the signature hook is asked.
  sServerPlan p256 = Plan12();
  p256.group = 0x0017;
  EXPECT_EQ(sSession(p256).transport.keyExchanges, 0);
}

// A ServerHello body with the given extensions; session id of sid bytes.
tBytes HelloRecord(const tBytes& extensions, int sid = 32, uint8_t minor = 3, bool withLength = true) {
  tBytes b{3, 3};
  b += tBytes(32, 'r');
  b += static_cast<char>(sid);
  b += tBytes(static_cast<size_t>(std::min(sid, 32)), 's');
  b += tBytes{0x13, 0x01, 0x00};
  if (withLength) Put16(b, static_cast<uint32_t>(extensions.size()));
  return PlainRecord(22, Message(2, b + extensions), minor);
}

TEST(TlsScripted, ServerHelloChecks) {
  const tBytes versions13{0x00, 0x2b, 0x00, 0x02, 0x03, 0x04};
  const tBytes share = tBytes{0x00, 0x33, 0x00, 0x24, 0x00, 0x1d, 0x00, 0x20} + tBytes(32, 'k');
  const tBytes ccs = PlainRecord(20, tBytes(1, 1));
  const struct {
    const char* what;
    tBytes script;
    int result;  // 0 fails, 1 TLS 1.3, 2 TLS 1.2
  } cases[] = {
      {"1.3", HelloRecord(versions13 + share) + ccs, 1},
      {"1.3 without CCS", HelloRecord(versions13 + share) + PlainRecord(23, "x"), 1},
      {"1.2", HelloRecord(tBytes{0x00, 0x0b, 0x00, 0x02, 0x01, 0x00}), 2},
      {"1.2 in a 3.1 record", HelloRecord(tBytes{0x00, 0x0b, 0x00, 0x02, 0x01, 0x00}, 32, 1), 2},
      {"empty extensions", HelloRecord(""), 0},
      {"versions without 1.3", HelloRecord(tBytes{0x00, 0x2b, 0x00, 0x02, 0x03, 0x03} + share) + ccs, 0},
      {"no key share", HelloRecord(versions13) + ccs, 0},
      {"key share of another group",
       HelloRecord(versions13 + tBytes{0x00, 0x33, 0x00, 0x24, 0x00, 0x17, 0x00, 0x20} + tBytes(32, 'k')) + ccs, 0},
      {"session id of 33", HelloRecord(versions13 + share, 33) + ccs, 0},
      {"extension past the block", HelloRecord(tBytes{0x00, 0x2b, 0x00, 0x09, 0x03, 0x04}), 0},
      {"record version 3.5", HelloRecord(versions13 + share, 32, 5) + ccs, 0},
      {"an alert instead", PlainRecord(21, tBytes{2, 40}), 0},
      {"truncated", HelloRecord(versions13 + share).substr(0, 60), 0},
      {"body ends at the session id",
       PlainRecord(22, tBytes{2, 0, 0, 40, 3, 3} + tBytes(32, 'r') + static_cast<char>(32) + tBytes(5, 's')), 0},
      {"CCS of another version", HelloRecord(versions13 + share) + PlainRecord(20, tBytes(1, 1), 7), 0},
  };
  for (const auto& c : cases) {
    cPeerWire wire;
    const tBytes script = c.script;
    wire.respond = [script](const tBytes&) { return script; };
    cTestTransport t;
    t.UseWire(&wire, "www.example.test");
    uint8_t random[32], key[32];
    std::vector<uint8_t> message;
    bool tls12 = false;
    const bool ok = t.ReadServerHello(random, key, message, &tls12);
    EXPECT_EQ(ok ? (tls12 ? 2 : 1) : 0, c.result) << c.what;
  }
}

TEST(TlsScripted, RecordsAfterTheHandshake) {
  const tBytes big(10000, 'b');
  const struct {
    const char* what;
    std::vector<std::pair<uint8_t, tBytes>> after;
    std::vector<tBytes> pieces;  // in 4096-byte requests
    int32_t end;                 // LastError at the end
  } cases13[] = {
      {"a big record in pieces", {{23, big}}, {big.substr(0, 4096), big.substr(4096, 4096), big.substr(8192)},
       kSocketClosed},
      {"tickets are skipped", {{22, Message(4, "t1")}, {22, Message(4, "t2")}, {23, "data"}}, {"data"}, kSocketClosed},
      {"close_notify", {{23, "a"}, {21, tBytes{1, 0}}, {23, "lost"}}, {"a"}, kSocketClosed},
      {"another alert", {{23, "a"}, {21, tBytes{2, 20}}, {23, "lost"}}, {"a"}, kSocketCallFailed},
      {"a handshake message other than a ticket", {{22, Message(24, tBytes{0})}, {23, "lost"}}, {}, kSocketCallFailed},
      {"a record of the wrong version", {{23, "a"}, {0, PlainRecord(23, tBytes(40, 'x'), 5)}}, {"a"}, kSocketCallFailed},
      {"an oversized record", {{0, PlainRecord(23, tBytes(16384 + 257, 'x'))}}, {}, kSocketCallFailed},
      {"a truncated record", {{23, "a"}, {0, PlainRecord(23, tBytes(40, 'x')).substr(0, 30)}}, {"a"}, kSocketCallFailed},
      {"a record too short for a tag", {{0, PlainRecord(23, tBytes(16, 'x'))}}, {}, kSocketCallFailed},
  };
  for (const auto& c : cases13) {
    sServerPlan plan = Plan13();
    plan.after = c.after;
    sSession s(plan);
    ASSERT_TRUE(s.ok) << c.what;
    EXPECT_EQ(s.ReadAll(4096), c.pieces) << c.what;
    EXPECT_EQ(s.transport.LastError(), c.end) << c.what;
  }
  const struct {
    const char* what;
    std::vector<std::pair<uint8_t, tBytes>> after;
    std::vector<tBytes> pieces;
    int32_t end;
  } cases12[] = {
      {"a big record in pieces", {{23, big}}, {big.substr(0, 4096), big.substr(4096, 4096), big.substr(8192)},
       kSocketClosed},
      {"close_notify", {{23, "a"}, {21, tBytes{1, 0}}, {23, "lost"}}, {"a"}, kSocketClosed},
      {"a renegotiation request", {{23, "a"}, {22, Message(0, "")}, {23, "lost"}}, {"a"}, kSocketCallFailed},
      {"an oversized record", {{0, PlainRecord(23, tBytes(16384 + 2048 + 16, 'x'))}}, {}, kSocketCallFailed},
      {"not whole blocks", {{0, PlainRecord(23, tBytes(60, 'x'))}}, {}, kSocketCallFailed},
      {"a forged record", {{0, PlainRecord(23, tBytes(64, 'x'))}}, {}, kSocketCallFailed},
  };
  for (const auto& c : cases12) {
    sServerPlan plan = Plan12();
    plan.after = c.after;
    sSession s(plan);
    ASSERT_TRUE(s.ok) << c.what;
    EXPECT_EQ(s.ReadAll(4096), c.pieces) << c.what;
    EXPECT_EQ(s.transport.LastError(), c.end) << c.what;
  }
}

TEST(TlsScripted, SendCutsIntoRecords) {
  tBytes data(40000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 31 + (i >> 9));
  for (bool tls12 : {false, true}) {
    sSession s(tls12 ? Plan12() : Plan13());
    ASSERT_TRUE(s.ok) << tls12;
    EXPECT_EQ(s.transport.Send(data.data(), 40000), 40000u);
    EXPECT_EQ(s.transport.Send(data.data(), 0), 0u);
    const std::vector<tBytes> records = s.server.ClientRecords(s.wire.sent);
    ASSERT_EQ(records.size(), 3u) << tls12;
    EXPECT_EQ(records[0], data.substr(0, 16384));
    EXPECT_EQ(records[1], data.substr(16384, 16384));
    EXPECT_EQ(records[2], data.substr(32768));
  }
}

}  // namespace
