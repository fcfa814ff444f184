// TLS 1.3 (RFC 8446) pieces that need no socket: the transcript hash, the
// key schedule of section 7.1 for the two AES-GCM suites, the Finished key
// and the sealing and opening of one record (section 5.2).
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/gcm.h"
#include "crypto/sha.h"

inline constexpr uint16_t kTlsAes128GcmSha256 = 0x1301;
inline constexpr uint16_t kTlsAes256GcmSha384 = 0x1302;
// The most plaintext one record may carry, and the most a TLS 1.3 record
// body may hold (plaintext, inner type, padding and tag: RFC 8446 5.2).
inline constexpr uint32_t kTlsMaxPlain = 16384;
inline constexpr uint32_t kTls13MaxBody = 16384 + 256;

// The running transcript hash; the suite chooses SHA-256 or SHA-384.
struct sTLSHashCtx {
  virtual ~sTLSHashCtx();  // zeroes both hash states and the id

  // False for any suite but 0x1301 and 0x1302.
  bool Init(uint16_t suite);
  void Update(const void* data, size_t length);
  // The digest of a copy of the running state: the transcript goes on.
  void Final(void* out) const;
  // N: 32 or 48 (0 before Init).
  int32_t HashLength() const;

  uint32_t hashId = 0;
  sSha256Ctx sha256{};
  sSha384Ctx sha384{};
};

// One key-schedule step's result. The caller zeroes it when done.
struct sTLSTrafficKeys {
  uint8_t clientKey[32];
  uint8_t serverKey[32];
  uint8_t clientIv[12];
  uint8_t serverIv[12];
  uint8_t serverSecret[48];
  uint8_t clientSecret[48];
  int32_t keyBits;
};

// HMAC-SHA256 or HMAC-SHA384 by the context's hash id; false for another.
bool HmacByHashId(void* out, size_t keyLength, const void* key, size_t messageLength, const sTLSHashCtx& hash,
                  const void* message);

// The handshake step over the transcript of ClientHello and ServerHello;
// the handshake secret (N bytes) is written for the application step.
bool Tls13DeriveHandshakeSecrets(sTLSTrafficKeys* keys, uint8_t* handshakeSecret, const uint8_t shared[32],
                                 const sTLSHashCtx& transcript);
// The application step over the transcript up to the server's Finished.
// The client's traffic secret is not kept (no key update exists).
bool Tls13DeriveApplicationSecrets(sTLSTrafficKeys* keys, const uint8_t* handshakeSecret,
                                   const sTLSHashCtx& transcript);
// HKDF-Expand-Label (base secret, "finished", empty, N).
bool Tls13FinishedKey(const sTLSHashCtx& transcript, const uint8_t* baseSecret, uint8_t* out);

// The per-record nonce: the static IV with the sequence number XORed into
// its last eight bytes.
void Tls13Nonce(const uint8_t staticIv[12], uint64_t sequence, uint8_t nonce[12]);

// Seals plaintext (inner type already appended) into record (five-byte
// header, ciphertext, tag: length + 21 bytes). False when length is 0 or
// above kTlsMaxPlain + 1.
bool Tls13SealRecord(const sGcmCtx& ctx, uint64_t sequence, const void* plaintext, uint32_t length,
                     uint8_t* record);
// Opens a record body of length bytes under its five-byte header into
// plaintext (length - 16 bytes, inner type and any padding included).
// False, with plaintext zeroed, when the tag does not verify or length is
// under 17.
bool Tls13OpenRecord(const sGcmCtx& ctx, uint64_t sequence, const uint8_t header[5], const uint8_t* body,
                     uint32_t length, uint8_t* plaintext);
// The length of the content of an opened plaintext of length bytes once
// the zero padding is stripped, with the inner type in *type; -1 when the
// plaintext is all zeros (no type at all).
int32_t Tls13StripPadding(const uint8_t* plaintext, uint32_t length, uint8_t* type);

// Compares in time that depends only on length.
bool TlsSameBytes(const void* a, const void* b, size_t length);
