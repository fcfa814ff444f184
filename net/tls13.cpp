// See net/tls13.h.
#include "net/tls13.h"

#include <cstring>

#include "crypto/hmac.h"

namespace {

void Zero(void* p, size_t n) {
  volatile uint8_t* v = static_cast<volatile uint8_t*>(p);
  while (n--) *v++ = 0;
}

bool ExpandLabel(const sTLSHashCtx& hash, const uint8_t* secret, const char* label, const void* context,
                 size_t contextLength, void* out, size_t outLength) {
  if (hash.hashId == kTlsAes128GcmSha256)
    return HkdfExpandLabelSha256(secret, context, contextLength, label, out, outLength);
  if (hash.hashId == kTlsAes256GcmSha384)
    return HkdfExpandLabelSha384(secret, context, contextLength, label, out, outLength);
  return false;
}

// Secret -> write key and IV, as section 7.3.
bool KeyAndIv(const sTLSHashCtx& hash, const uint8_t* secret, int32_t keyLength, uint8_t* key, uint8_t* iv) {
  return ExpandLabel(hash, secret, "key", nullptr, 0, key, keyLength) &&
         ExpandLabel(hash, secret, "iv", nullptr, 0, iv, 12);
}

// The hash of empty input under the transcript's hash.
void EmptyHash(const sTLSHashCtx& like, uint8_t* out) {
  sTLSHashCtx empty;
  empty.Init(static_cast<uint16_t>(like.hashId));
  empty.Final(out);
}

}  // namespace

sTLSHashCtx::~sTLSHashCtx() {
  Zero(&sha256, sizeof sha256);
  Zero(&sha384, sizeof sha384);
  Zero(&hashId, sizeof hashId);
}

bool sTLSHashCtx::Init(uint16_t suite) {
  if (suite != kTlsAes128GcmSha256 && suite != kTlsAes256GcmSha384) return false;
  hashId = suite;
  Sha256Init(&sha256);
  Sha384Init(&sha384);
  return true;
}

void sTLSHashCtx::Update(const void* data, size_t length) {
  if (length == 0) return;
  if (hashId == kTlsAes128GcmSha256) Sha256Update(&sha256, data, length);
  else if (hashId == kTlsAes256GcmSha384) Sha384Update(&sha384, data, length);
}

void sTLSHashCtx::Final(void* out) const {
  if (hashId == kTlsAes128GcmSha256) {
    sSha256Ctx copy = sha256;
    Sha256Final(&copy, out);
    Zero(&copy, sizeof copy);
  } else if (hashId == kTlsAes256GcmSha384) {
    sSha384Ctx copy = sha384;
    Sha384Final(&copy, out);
    Zero(&copy, sizeof copy);
  }
}

int32_t sTLSHashCtx::HashLength() const {
  if (hashId == kTlsAes128GcmSha256) return kSha256Size;
  if (hashId == kTlsAes256GcmSha384) return kSha384Size;
  return 0;
}

bool HmacByHashId(void* out, size_t keyLength, const void* key, size_t messageLength, const sTLSHashCtx& hash,
                  const void* message) {
  if (hash.hashId == kTlsAes128GcmSha256) HmacSha256(key, keyLength, message, messageLength, out);
  else if (hash.hashId == kTlsAes256GcmSha384) HmacSha384(key, keyLength, message, messageLength, out);
  else return false;
  return true;
}

bool Tls13DeriveHandshakeSecrets(sTLSTrafficKeys* keys, uint8_t* handshakeSecret, const uint8_t shared[32],
                                 const sTLSHashCtx& transcript) {
  const int32_t n = transcript.HashLength();
  if (n == 0 || keys == nullptr) return false;
  uint8_t zeros[48] = {}, empty[48], early[48], derived[48], hash[48];
  EmptyHash(transcript, empty);
  transcript.Final(hash);
  const int32_t keyLength = n == kSha256Size ? 16 : 32;
  HmacByHashId(early, n, zeros, n, transcript, zeros);
  bool ok = ExpandLabel(transcript, early, "derived", empty, n, derived, n);
  if (ok) {
    HmacByHashId(handshakeSecret, n, derived, 32, transcript, shared);
    ok = ExpandLabel(transcript, handshakeSecret, "c hs traffic", hash, n, keys->clientSecret, n) &&
         KeyAndIv(transcript, keys->clientSecret, keyLength, keys->clientKey, keys->clientIv) &&
         ExpandLabel(transcript, handshakeSecret, "s hs traffic", hash, n, keys->serverSecret, n) &&
         KeyAndIv(transcript, keys->serverSecret, keyLength, keys->serverKey, keys->serverIv);
  }
  keys->keyBits = keyLength * 8;
  Zero(early, sizeof early);
  Zero(derived, sizeof derived);
  return ok;
}

bool Tls13DeriveApplicationSecrets(sTLSTrafficKeys* keys, const uint8_t* handshakeSecret,
                                   const sTLSHashCtx& transcript) {
  const int32_t n = transcript.HashLength();
  if (n == 0 || keys == nullptr) return false;
  uint8_t zeros[48] = {}, empty[48], derived[48], master[48], hash[48];
  EmptyHash(transcript, empty);
  transcript.Final(hash);
  const int32_t keyLength = n == kSha256Size ? 16 : 32;
  bool ok = ExpandLabel(transcript, handshakeSecret, "derived", empty, n, derived, n);
  if (ok) {
    HmacByHashId(master, n, derived, n, transcript, zeros);
    ok = ExpandLabel(transcript, master, "c ap traffic", hash, n, keys->clientSecret, n) &&
         KeyAndIv(transcript, keys->clientSecret, keyLength, keys->clientKey, keys->clientIv) &&
         ExpandLabel(transcript, master, "s ap traffic", hash, n, keys->serverSecret, n) &&
         KeyAndIv(transcript, keys->serverSecret, keyLength, keys->serverKey, keys->serverIv);
  }
  Zero(keys->clientSecret, sizeof keys->clientSecret);
  keys->keyBits = keyLength * 8;
  Zero(derived, sizeof derived);
  Zero(master, sizeof master);
  return ok;
}

bool Tls13FinishedKey(const sTLSHashCtx& transcript, const uint8_t* baseSecret, uint8_t* out) {
  const int32_t n = transcript.HashLength();
  return n != 0 && ExpandLabel(transcript, baseSecret, "finished", nullptr, 0, out, n);
}

void Tls13Nonce(const uint8_t staticIv[12], uint64_t sequence, uint8_t nonce[12]) {
  std::memcpy(nonce, staticIv, 12);
  for (int i = 0; i < 8; ++i) nonce[11 - i] ^= static_cast<uint8_t>(sequence >> (8 * i));
}

bool Tls13SealRecord(const sGcmCtx& ctx, uint64_t sequence, const void* plaintext, uint32_t length,
                     uint8_t* record) {
  if (length == 0 || length > kTlsMaxPlain + 1) return false;
  const uint32_t bodyLength = length + 16;
  record[0] = 23;
  record[1] = 3;
  record[2] = 3;
  record[3] = static_cast<uint8_t>(bodyLength >> 8);
  record[4] = static_cast<uint8_t>(bodyLength);
  uint8_t nonce[12];
  Tls13Nonce(ctx.staticIv, sequence, nonce);
  return GcmEncryptAndTag(&ctx, nonce, 12, record, plaintext, length, record + 5, record + 5 + length);
}

bool Tls13OpenRecord(const sGcmCtx& ctx, uint64_t sequence, const uint8_t header[5], const uint8_t* body,
                     uint32_t length, uint8_t* plaintext) {
  if (length < 17) return false;
  uint8_t nonce[12];
  Tls13Nonce(ctx.staticIv, sequence, nonce);
  const uint32_t n = length - 16;
  if (GcmDecryptAndVerify(&ctx, nonce, 12, header, body, n, plaintext, body + n)) return true;
  Zero(plaintext, n);
  return false;
}

int32_t Tls13StripPadding(const uint8_t* plaintext, uint32_t length, uint8_t* type) {
  int64_t i = static_cast<int64_t>(length) - 1;
  while (i >= 0 && plaintext[i] == 0) --i;
  if (i < 0) return -1;
  *type = plaintext[i];
  return static_cast<int32_t>(i);
}

bool TlsSameBytes(const void* a, const void* b, size_t length) {
  const auto* x = static_cast<const volatile uint8_t*>(a);
  const auto* y = static_cast<const volatile uint8_t*>(b);
  uint8_t diff = 0;
  for (size_t i = 0; i < length; ++i) diff |= x[i] ^ y[i];
  return diff == 0;
}
