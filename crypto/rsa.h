// RSA signature verification (RFC 8017): the public-key operation and the
// two signature encodings TLS uses, RSASSA-PKCS1-v1_5 and RSASSA-PSS with
// MGF1. Only public keys exist here; nothing is secret, so the arithmetic
// need not run in constant time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The hash under a signature. Values are the TLS HashAlgorithm codes.
enum eRsaHash : int32_t { kRsaSha256 = 4, kRsaSha384 = 5, kRsaSha512 = 6 };

// Digest length of the hash (32, 48 or 64), 0 for another value.
int32_t RsaHashLength(int32_t hash);
// The digest of data; false for an unknown hash.
bool RsaHashBytes(int32_t hash, const void* data, size_t length, uint8_t* out);

// Big-endian modulus and public exponent, leading zero bytes stripped.
struct sRsaPublicKey {
  std::vector<uint8_t> modulus;
  std::vector<uint8_t> exponent;
  // The modulus size in bits.
  int32_t Bits() const;
  // The key sizes this program accepts: an odd modulus of 2048 to 8192
  // bits, an odd exponent of at least 3 and at most 32 bits.
  bool Usable() const;
};

// s^e mod n into out (the modulus length in bytes). False for an unusable
// key, a signature whose length is not the modulus length, or s >= n.
bool RsaPublicOp(const sRsaPublicKey& key, const uint8_t* signature, size_t length, uint8_t* out);

// RSASSA-PKCS1-v1_5 over a digest: the whole encoded message is rebuilt and
// compared, never parsed.
bool RsaVerifyPkcs1(const sRsaPublicKey& key, int32_t hash, const uint8_t* digest, const uint8_t* signature,
                    size_t length);
// RSASSA-PSS over a digest with MGF1 on the same hash and a salt as long as
// the digest (the only form TLS allows).
bool RsaVerifyPss(const sRsaPublicKey& key, int32_t hash, const uint8_t* digest, const uint8_t* signature,
                  size_t length);
