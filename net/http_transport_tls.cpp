// The TLS client of cHttpTransport: ClientHello, ServerHello and the choice
// of version, the TLS 1.3 handshake and records, and application data over
// a session. See net/http_transport.h.
#include <cstring>
#include <memory>

#include "crypto/random_pool.h"
#include "crypto/sha.h"
#include "crypto/x25519.h"
#include "net/http_transport.h"
#include "net/tls12.h"
#include "net/tls13.h"

namespace {

void Wipe(void* p, size_t n) {
  volatile uint8_t* v = static_cast<volatile uint8_t*>(p);
  while (n--) *v++ = 0;
}

}  // namespace

// One handshake's key material, zeroed when the handshake ends.
struct cHttpTransport::sKeyMaterial {
  uint8_t clientPublic[32];
  uint8_t clientPrivate[32];
  uint8_t clientRandom[32];
  uint8_t serverRandom[32];
  uint8_t serverPublic[32];
  uint8_t shared[32];
  uint8_t masterSecret[48];
  ~sKeyMaterial() { Wipe(this, sizeof *this); }
};

namespace {

uint32_t Be16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }
uint32_t Be24(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 16 | Be16(p + 1); }

void PutBe16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

bool AllZero(const uint8_t* p, size_t n) {
  uint8_t any = 0;
  for (size_t i = 0; i < n; ++i) any |= p[i];
  return any == 0;
}

// The fixed part of the ClientHello from the cipher suites to the key
// share's head (offsets 76 to 150).
const uint8_t kHelloMiddle[] = {
    0x00, 0x08, 0x13, 0x01, 0x13, 0x02, 0xc0, 0x13, 0xc0, 0x14,  // cipher suites
    0x01, 0x00,                                                  // compression: null
    0x00, 0x00,                                                  // extensions length (filled in)
    0x00, 0x0b, 0x00, 0x02, 0x01, 0x00,                          // ec_point_formats
    0x00, 0x0a, 0x00, 0x04, 0x00, 0x02, 0x00, 0x1d,              // supported_groups: x25519
    0x00, 0x23, 0x00, 0x00,                                      // session_ticket
    0x00, 0x0d, 0x00, 0x0e, 0x00, 0x0c, 0x04, 0x01, 0x05, 0x01, 0x06, 0x01,
    0x08, 0x04, 0x08, 0x05, 0x08, 0x06,                          // signature_algorithms
    0x00, 0x2d, 0x00, 0x02, 0x01, 0x01,                          // psk_key_exchange_modes
    0x00, 0x2b, 0x00, 0x05, 0x04, 0x03, 0x04, 0x03, 0x03,        // supported_versions
    0x00, 0x33, 0x00, 0x26, 0x00, 0x24, 0x00, 0x1d, 0x00, 0x20,  // key_share: x25519
};
static_assert(sizeof kHelloMiddle == 151 - 76);

const uint8_t kChangeCipherSpec[6] = {0x14, 0x03, 0x03, 0x00, 0x01, 0x01};

}  // namespace

bool cHttpTransport::Handshake() {
  if (hostName_.text == nullptr || hostName_.text[0] == '\0') return false;
  // Keys from a pool that never had the system's randomness are guessable.
  if (!RandomPoolHasOsEntropy()) return false;
  sKeyMaterial km;
  X25519Base(km.clientPrivate, km.clientPublic);
  std::vector<uint8_t> hello, serverHello;
  bool tls12 = false;
  if (!SendClientHello(hello, km.clientPublic, km.clientRandom)) return false;
  if (!ReadServerHello(km.serverRandom, km.serverPublic, serverHello, &tls12)) return false;
  std::memcpy(clientRandom_, km.clientRandom, 32);
  std::memcpy(serverRandom_, km.serverRandom, 32);
  serverKey_ = sRsaPublicKey{};
  if (tls12) return Handshake12(hello, serverHello, km);
  X25519(km.clientPrivate, km.shared, km.serverPublic);
  // A low-order server key gives an all-zero secret that anyone knows.
  if (AllZero(km.shared, 32)) return false;
  return Handshake13(hello, serverHello, km.shared);
}

bool cHttpTransport::SendClientHello(std::vector<uint8_t>& record, const uint8_t publicKey[32],
                                     uint8_t clientRandom[32]) {
  const size_t n = std::strlen(hostName_.text);
  const size_t total = 192 + n;
  if (total > 65540) return false;
  record.assign(total, 0);
  uint8_t* p = record.data();
  p[0] = 0x16;
  p[1] = 0x03;
  p[2] = 0x01;
  PutBe16(p + 3, static_cast<uint32_t>(total - 5));
  p[5] = 0x01;
  p[6] = 0x00;
  PutBe16(p + 7, static_cast<uint32_t>(total - 9));
  p[9] = 0x03;
  p[10] = 0x03;
  for (int i = 0; i < 32; ++i) {
    p[11 + i] = DrawRandomByte();
    p[44 + i] = DrawRandomByte();
  }
  std::memcpy(clientRandom, p + 11, 32);
  p[43] = 32;
  std::memcpy(p + 76, kHelloMiddle, sizeof kHelloMiddle);
  PutBe16(p + 88, static_cast<uint32_t>(total - 90));
  std::memcpy(p + 151, publicKey, 32);
  p[183] = 0x00;
  p[184] = 0x00;
  PutBe16(p + 185, static_cast<uint32_t>(n + 5));
  PutBe16(p + 187, static_cast<uint32_t>(n + 3));
  p[189] = 0;
  PutBe16(p + 190, static_cast<uint32_t>(n));
  std::memcpy(p + 192, hostName_.text, n);
  return SendAll(p, static_cast<uint32_t>(total)) == total;
}

bool cHttpTransport::ReadHeader(uint8_t header[5]) {
  if (headerPending_) {
    std::memcpy(header, pendingHeader_, 5);
    headerPending_ = false;
    return true;
  }
  return ReceiveRaw(header, 5) == 5;
}

bool cHttpTransport::ReadServerHello(uint8_t serverRandom[32], uint8_t serverKey[32], std::vector<uint8_t>& message,
                                     bool* tls12) {
  uint8_t h[5];
  if (!ReadHeader(h)) return false;
  const uint32_t length = Be16(h + 3);
  if (h[0] != 22 || h[1] != 3 || h[2] < 1 || h[2] > 4 || length <= 43) return false;
  message.assign(length, 0);
  if (ReadExact(message.data(), length) != length) return false;
  const uint8_t* b = message.data();
  if (b[4] != 3) return false;
  std::memcpy(serverRandom, b + 6, 32);
  const uint32_t e = b[38];
  // The session id's length decides where everything after it lies: the
  // fixed fields that follow must be inside the body.
  if (e > 32 || 44 + e > length) return false;
  cipherSuite_ = static_cast<uint16_t>(Be16(b + 39 + e));
  if (b[41 + e] != 0) return false;
  const uint32_t extLength = Be16(b + 42 + e);
  if (extLength == 0 || 44 + e + extLength > length) return false;
  const uint8_t* ext = b + 44 + e;
  const uint8_t* end = ext + extLength;
  bool versions = false, keyShare = false;
  while (ext < end) {
    if (end - ext < 4) return false;
    const uint32_t type = Be16(ext), size = Be16(ext + 2);
    const uint8_t* body = ext + 4;
    if (static_cast<size_t>(end - body) < size) return false;
    if (type == 0x002b) {
      bool has13 = false;
      for (uint32_t i = 0; i + 1 < size; i += 2)
        if (Be16(body + i) == 0x0304) has13 = true;
      if (!has13) return false;
      versions = true;
    } else if (type == 0x0033) {
      if (size != 36 || Be16(body) != 0x001d || Be16(body + 2) != 32) return false;
      std::memcpy(serverKey, body + 4, 32);
      keyShare = true;
    }
    ext = body + size;
  }
  *tls12 = !versions;
  if (!versions) return true;
  // A middlebox-compatibility ChangeCipherSpec may follow; it need not.
  uint8_t c[5];
  if (!ReadHeader(c)) return false;
  if (c[0] == 20) {
    if (c[1] != 3 || c[2] < 1 || c[2] > 4) return false;
    const uint32_t n = Be16(c + 3);
    std::vector<uint8_t> discard(n);
    if (n != 0 && ReadExact(discard.data(), n) != n) return false;
  } else {
    std::memcpy(pendingHeader_, c, 5);
    headerPending_ = true;
  }
  return keyShare;
}

bool cHttpTransport::ReadPlainRecord(uint8_t* type, std::vector<uint8_t>& body) {
  uint8_t h[5];
  if (!ReadHeader(h)) return false;
  if (h[1] != 3 || h[2] != 3) return false;
  *type = h[0];
  const uint32_t n = Be16(h + 3);
  body.assign(n, 0);
  return n == 0 || ReadExact(body.data(), n) == n;
}

bool cHttpTransport::ReadRecord13(std::vector<uint8_t>& plaintext, uint64_t sequence, const sGcmCtx& ctx) {
  uint8_t h[5];
  if (!ReadHeader(h)) return false;
  const uint32_t n = Be16(h + 3);
  // Past the header, every failure is a broken record, not an end.
  if (h[0] != 23 || h[1] != 3 || h[2] < 1 || h[2] > 4 || n < 17 || n > kTls13MaxBody) {
    SetLastError(kSocketCallFailed);
    return false;
  }
  std::vector<uint8_t> body(n);
  plaintext.assign(n - 16, 0);
  if (ReceiveRaw(body.data(), n) != n || !Tls13OpenRecord(ctx, sequence, h, body.data(), n, plaintext.data())) {
    SetLastError(kSocketCallFailed);
    return false;
  }
  return true;
}

bool cHttpTransport::SendRecord13(const uint8_t* plaintext, uint32_t length, uint64_t sequence, const sGcmCtx& ctx) {
  std::vector<uint8_t> record(length + 21);
  if (!Tls13SealRecord(ctx, sequence, plaintext, length, record.data())) return false;
  return SendAll(record.data(), static_cast<uint32_t>(record.size())) == record.size();
}

bool cHttpTransport::Handshake13(const std::vector<uint8_t>& hello, const std::vector<uint8_t>& serverHello,
                                 const uint8_t shared[32]) {
  sTLSHashCtx transcript;
  if (!transcript.Init(cipherSuite_)) return false;
  const int32_t n = transcript.HashLength();
  transcript.Update(hello.data() + 5, hello.size() - 5);
  transcript.Update(serverHello.data(), serverHello.size());

  struct sSecrets {
    sTLSTrafficKeys keys;
    uint8_t handshakeSecret[48];
    uint8_t finishedKey[48];
    uint8_t expected[48];
    uint8_t hash[48];
    sGcmCtx serverCtx, clientCtx;
    ~sSecrets() { Wipe(this, sizeof *this); }
  };
  auto s = std::make_unique<sSecrets>();
  if (!Tls13DeriveHandshakeSecrets(&s->keys, s->handshakeSecret, shared, transcript)) return false;
  if (!GcmSetKey(s->keys.keyBits, s->keys.serverKey, &s->serverCtx) ||
      !GcmSetKey(s->keys.keyBits, s->keys.clientKey, &s->clientCtx))
    return false;
  std::memcpy(s->serverCtx.staticIv, s->keys.serverIv, 12);
  std::memcpy(s->clientCtx.staticIv, s->keys.clientIv, 12);

  // The server's flight: EncryptedExtensions, Certificate,
  // CertificateVerify, Finished, each wholly inside one record.
  static const uint8_t kOrder[4] = {8, 11, 15, 20};
  std::vector<uint8_t> plain;
  size_t pos = 0, contentLength = 0;
  uint64_t sequence = 0;
  for (uint8_t expected : kOrder) {
    if (pos == contentLength) {
      if (!ReadRecord13(plain, sequence++, s->serverCtx)) return false;
      uint8_t type = 0;
      const int32_t content = Tls13StripPadding(plain.data(), static_cast<uint32_t>(plain.size()), &type);
      if (content <= 0 || type != 22) return false;
      contentLength = static_cast<size_t>(content);
      pos = 0;
    }
    if (contentLength - pos < 4) return false;
    const uint8_t* m = plain.data() + pos;
    const uint32_t length = Be24(m + 1);
    if (m[0] != expected || length > contentLength - pos - 4) return false;
    const uint8_t* body = m + 4;
    if (expected == 11 && !CheckCertificate(body, length)) return false;
    if (expected == 15) {
      transcript.Final(transcriptHash_);
      transcriptHashLength_ = n;
      if (!CheckCertificateVerify(body, length)) return false;
    }
    if (expected == 20) {
      if (length != static_cast<uint32_t>(n)) return false;
      transcript.Final(s->hash);
      if (!Tls13FinishedKey(transcript, s->keys.serverSecret, s->finishedKey)) return false;
      HmacByHashId(s->expected, n, s->finishedKey, n, transcript, s->hash);
      if (!TlsSameBytes(s->expected, body, n)) return false;
    }
    transcript.Update(m, 4 + length);
    pos += 4 + length;
  }
  // Nothing may follow the server's Finished in its record.
  if (pos != contentLength) return false;

  if (SendAll(kChangeCipherSpec, 6) != 6) return false;
  uint8_t finished[4 + 48 + 1];
  finished[0] = 20;
  finished[1] = 0;
  finished[2] = 0;
  finished[3] = static_cast<uint8_t>(n);
  transcript.Final(s->hash);
  if (!Tls13FinishedKey(transcript, s->keys.clientSecret, s->finishedKey)) return false;
  HmacByHashId(finished + 4, n, s->finishedKey, n, transcript, s->hash);
  finished[4 + n] = 22;
  const bool sent = SendRecord13(finished, 4 + n + 1, 0, s->clientCtx);
  Wipe(finished, sizeof finished);
  if (!sent) return false;

  if (!Tls13DeriveApplicationSecrets(&s->keys, s->handshakeSecret, transcript)) return false;
  if (!GcmSetKey(s->keys.keyBits, s->keys.serverKey, &readCtx_) ||
      !GcmSetKey(s->keys.keyBits, s->keys.clientKey, &writeCtx_))
    return false;
  std::memcpy(readCtx_.staticIv, s->keys.serverIv, 12);
  std::memcpy(writeCtx_.staticIv, s->keys.clientIv, 12);
  sendSequence_ = 0;
  receiveSequence_ = 0;
  leftover_.clear();
  leftoverPos_ = 0;
  tlsState_ = kTls13;
  return true;
}

uint32_t cHttpTransport::SendTls(const void* data, uint32_t length) {
  const auto* in = static_cast<const uint8_t*>(data);
  uint32_t done = 0;
  sendBuffer_.resize(kTlsMaxPlain + 1);
  while (done < length) {
    const uint32_t piece = length - done < kTlsMaxPlain ? length - done : kTlsMaxPlain;
    std::memcpy(sendBuffer_.data(), in + done, piece);
    sendBuffer_[piece] = 23;
    const bool sent = tlsState_ == kTls12 ? SendRecord12(piece, sendSequence_, sendBuffer_.data(), 23)
                                          : SendRecord13(sendBuffer_.data(), piece + 1, sendSequence_, writeCtx_);
    if (!sent) break;
    ++sendSequence_;
    done += piece;
  }
  return done;
}

uint32_t cHttpTransport::ReceiveTls(void* buffer, uint32_t length) {
  if (length == 0) return 0;
  while (leftoverPos_ >= leftover_.size()) {
    std::vector<uint8_t> plain;
    if (tlsState_ == kTls12) {
      // Only application data: an alert, a renegotiation request or
      // anything else ends the stream (close_notify as an orderly end).
      uint8_t recordType = 0;
      if (!ReadRecord12(&recordType, plain)) return 0;
      ++receiveSequence_;
      plain.pop_back();
      if (recordType != 23) {
        const bool closeNotify = recordType == 21 && plain.size() == 2 && plain[0] == 1 && plain[1] == 0;
        SetLastError(closeNotify ? kSocketClosed : kSocketCallFailed);
        return 0;
      }
      if (plain.empty()) continue;
      leftover_.swap(plain);
      leftoverPos_ = 0;
      break;
    }
    if (!ReadRecord13(plain, receiveSequence_, readCtx_)) return 0;
    ++receiveSequence_;
    uint8_t type = 0;
    const int32_t content = Tls13StripPadding(plain.data(), static_cast<uint32_t>(plain.size()), &type);
    if (content < 0) return 0;
    if (type == 22 && content > 0 && plain[0] == 4) continue;  // NewSessionTicket
    if (type != 23) {
      // close_notify is the peer's orderly end; any other record, another
      // alert included, ends the stream as a failure.
      const bool closeNotify = type == 21 && content == 2 && plain[0] == 1 && plain[1] == 0;
      SetLastError(closeNotify ? kSocketClosed : kSocketCallFailed);
      return 0;
    }
    plain.resize(static_cast<size_t>(content));
    leftover_.swap(plain);
    leftoverPos_ = 0;
  }
  const size_t unread = leftover_.size() - leftoverPos_;
  const uint32_t n = unread < length ? static_cast<uint32_t>(unread) : length;
  std::memcpy(buffer, leftover_.data() + leftoverPos_, n);
  leftoverPos_ += n;
  SetLastError(kSocketOk);
  return n;
}

bool cHttpTransport::SendRecord12(uint32_t length, uint64_t sequence, const uint8_t* plaintext, uint8_t type) {
  uint8_t iv[16];
  for (uint8_t& b : iv) b = DrawRandomByte();
  std::vector<uint8_t> record(Tls12RecordSize(length));
  if (!Tls12SealRecord(writeCbc_, clientMacKey_, sequence, type, plaintext, length, iv, record.data())) return false;
  return SendAll(record.data(), static_cast<uint32_t>(record.size())) == record.size();
}

bool cHttpTransport::ReadRecord12(uint8_t* type, std::vector<uint8_t>& plaintext) {
  uint8_t h[5];
  if (!ReadHeader(h)) return false;
  const uint32_t n = Be16(h + 3);
  if (h[1] != 3 || h[2] < 1 || h[2] > 3 || n <= 16 || n % 16 != 0 || n > kTls12MaxBody) {
    SetLastError(kSocketCallFailed);
    return false;
  }
  plaintext.assign(n, 0);
  if (ReceiveRaw(plaintext.data(), n) != n) {
    SetLastError(kSocketCallFailed);
    return false;
  }
  const int32_t length = Tls12OpenRecord(readCbc_, serverMacKey_, receiveSequence_, h, plaintext.data(), n);
  if (length < 0) {
    SetLastError(kSocketCallFailed);
    return false;
  }
  plaintext.resize(static_cast<size_t>(length));
  plaintext.push_back(h[0]);
  *type = h[0];
  return true;
}

bool cHttpTransport::Handshake12(const std::vector<uint8_t>& hello, const std::vector<uint8_t>& serverHello,
                                 sKeyMaterial& km) {
  sSha256Ctx transcript;
  Sha256Init(&transcript);
  Sha256Update(&transcript, hello.data() + 5, hello.size() - 5);
  Sha256Update(&transcript, serverHello.data(), serverHello.size());

  // The ServerHello is the first message of its record; walk on from it.
  std::vector<uint8_t> record = serverHello;
  if (record.size() < 4 || record[0] != 2 || Be24(record.data() + 1) > record.size() - 4) return false;
  size_t pos = 4 + Be24(record.data() + 1);
  static const uint8_t kOrder[3] = {11, 12, 14};
  for (uint8_t expected : kOrder) {
    if (pos == record.size()) {
      uint8_t type = 0;
      if (!ReadPlainRecord(&type, record) || type != 22 || record.empty()) return false;
      Sha256Update(&transcript, record.data(), record.size());
      pos = 0;
    }
    if (record.size() - pos < 4) return false;
    const uint8_t* m = record.data() + pos;
    const uint32_t length = Be24(m + 1);
    if (m[0] != expected || length > record.size() - pos - 4) return false;
    const uint8_t* body = m + 4;
    if (expected == 11 && (length == 0 || !CheckCertificate(body, length))) return false;
    if (expected == 12) {
      if (length <= 35 || body[0] != 3 || Be16(body + 1) != 0x001d || body[3] != 32) return false;
      if (!CheckServerKeyExchange(body, length)) return false;
      std::memcpy(km.serverPublic, body + 4, 32);
    }
    if (expected == 14 && length != 0) return false;
    pos += 4 + length;
  }
  // ServerHelloDone ends the server's flight and its record.
  if (pos != record.size()) return false;

  uint8_t keyExchange[42] = {0x16, 0x03, 0x03, 0x00, 0x25, 0x10, 0x00, 0x00, 0x21, 0x20};
  std::memcpy(keyExchange + 10, km.clientPublic, 32);
  if (SendAll(keyExchange, 42) != 42) return false;
  Sha256Update(&transcript, keyExchange + 5, 37);
  if (SendAll(kChangeCipherSpec, 6) != 6) return false;

  X25519(km.clientPrivate, km.shared, km.serverPublic);
  if (AllZero(km.shared, 32)) return false;
  uint8_t seed[64];
  std::memcpy(seed, km.clientRandom, 32);
  std::memcpy(seed + 32, km.serverRandom, 32);
  Tls12Prf(km.shared, 32, "master secret", seed, 64, km.masterSecret, 48);
  struct sSecrets {
    uint8_t keyBlock[128];
    uint8_t hash[32];
    uint8_t finished[16];
    uint8_t expected[12];
    ~sSecrets() { Wipe(this, sizeof *this); }
  } s;
  std::memcpy(seed, km.serverRandom, 32);
  std::memcpy(seed + 32, km.clientRandom, 32);
  Tls12Prf(km.masterSecret, 48, "key expansion", seed, 64, s.keyBlock, 128);
  int32_t keyBytes;
  if (cipherSuite_ == kTlsEcdheRsaAes128CbcSha)
    keyBytes = 16;
  else if (cipherSuite_ == kTlsEcdheRsaAes256CbcSha)
    keyBytes = 32;
  else
    return false;
  auto clientCipher = std::make_unique<cAESCipher>();
  auto serverCipher = std::make_unique<cAESCipher>();
  if (!clientCipher->SetKey(s.keyBlock + 40, keyBytes * 8) ||
      !serverCipher->SetKey(s.keyBlock + 40 + keyBytes, keyBytes * 8) || !writeCbc_.SetCipher(std::move(clientCipher)) ||
      !readCbc_.SetCipher(std::move(serverCipher)))
    return false;
  std::memcpy(clientMacKey_, s.keyBlock, 20);
  std::memcpy(serverMacKey_, s.keyBlock + 20, 20);

  sSha256Ctx copy = transcript;
  Sha256Final(&copy, s.hash);
  s.finished[0] = 20;
  s.finished[1] = 0;
  s.finished[2] = 0;
  s.finished[3] = 12;
  Tls12Prf(km.masterSecret, 48, "client finished", s.hash, 32, s.finished + 4, 12);
  sendSequence_ = 0;
  receiveSequence_ = 0;
  if (!SendRecord12(16, sendSequence_, s.finished, 22)) return false;
  sendSequence_ = 1;
  Sha256Update(&transcript, s.finished, 16);

  // Handshake records (a NewSessionTicket) until the server's
  // ChangeCipherSpec; then its Finished, encrypted.
  for (;;) {
    uint8_t type = 0;
    std::vector<uint8_t> body;
    if (!ReadPlainRecord(&type, body)) return false;
    if (type == 22) {
      Sha256Update(&transcript, body.data(), body.size());
      continue;
    }
    if (type != 20 || body.size() != 1 || body[0] != 1) return false;
    break;
  }
  uint8_t type = 0;
  std::vector<uint8_t> plain;
  if (!ReadRecord12(&type, plain)) return false;
  if (type != 22 || plain.size() != 17 || plain[0] != 20 || Be24(plain.data() + 1) != 12) return false;
  Sha256Final(&transcript, s.hash);
  Tls12Prf(km.masterSecret, 48, "server finished", s.hash, 32, s.expected, 12);
  const bool same = TlsSameBytes(s.expected, plain.data() + 4, 12);
  Wipe(plain.data(), plain.size());
  if (!same) return false;
  receiveSequence_ = 1;
  leftover_.clear();
  leftoverPos_ = 0;
  tlsState_ = kTls12;
  return true;
}
