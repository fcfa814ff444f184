// TLS 1.2 (RFC 5246) pieces that need no socket: the PRF on SHA-256 and
// the records of the ECDHE_RSA AES-CBC suites (HMAC-SHA1, explicit IV).
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/cbc.h"

inline constexpr uint16_t kTlsEcdheRsaAes128CbcSha = 0xC013;
inline constexpr uint16_t kTlsEcdheRsaAes256CbcSha = 0xC014;
// The largest record body a TLS 1.2 peer may send (RFC 5246 6.2.3).
inline constexpr uint32_t kTls12MaxBody = 16384 + 2048;

// P_SHA256 with the label and seed: outLength bytes into out.
void Tls12Prf(const uint8_t* secret, size_t secretLength, const char* label, const uint8_t* seed, size_t seedLength,
              uint8_t* out, size_t outLength);

// HMAC-SHA1 (key, sequence, type, 03 03, length, data).
void Tls12RecordMac(const uint8_t key[20], uint64_t sequence, uint8_t type, const uint8_t* data, uint32_t length,
                    uint8_t out[20]);

// The length of the record that carries n plaintext bytes (header
// included): 5 + 16 + (n + 21 rounded up to 16).
uint32_t Tls12RecordSize(uint32_t n);
// Builds the record (Tls12RecordSize(n) bytes) for n plaintext bytes with
// the given explicit IV. False when n is above 16384 or encryption fails.
bool Tls12SealRecord(cBlockCBC& cbc, const uint8_t macKey[20], uint64_t sequence, uint8_t type,
                     const uint8_t* plaintext, uint32_t n, const uint8_t iv[16], uint8_t* record);
// Opens a record body of length bytes (explicit IV and ciphertext) under
// its five-byte header; the plaintext is decrypted into body in place and
// its length returned, or -1 when anything is wrong. Padding of up to 255
// bytes is accepted. A bad padding and a bad MAC take one path and the MAC
// is computed over the same number of hash blocks either way, so the time
// taken tells nothing about the padding.
int32_t Tls12OpenRecord(cBlockCBC& cbc, const uint8_t macKey[20], uint64_t sequence, const uint8_t header[5],
                        uint8_t* body, uint32_t length);
