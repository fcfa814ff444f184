// Internal to crypto/: GCM with additional data of any length (the public
// functions fix it at the five bytes TLS uses; tests use the full range),
// and its two cores: the table code and the AES-NI / PCLMULQDQ one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/gcm.h"

namespace tw::crypto {

// Encrypts when expectedTag is null (in is plaintext, the tag goes to
// tagOut); decrypts otherwise (in is ciphertext) and returns whether the
// computed tag equals expectedTag, compared in constant time. The core
// follows AesHardwareActive() (crypto/aes_internal.h).
bool GcmCrypt(const sGcmCtx* ctx, const uint8_t* nonce, size_t nonceLength, const uint8_t* aad, size_t aadLength,
              const uint8_t* in, size_t length, uint8_t* out, uint8_t* tagOut, const uint8_t* expectedTag);

// The cores, after GcmCrypt has checked the arguments: XOR the keystream
// into length bytes of in (out may equal in), GHASH the ciphertext (in
// when decrypt, else out) and write the computed tag.
void GcmCorePortable(const sGcmCtx* ctx, const uint8_t* nonce, size_t nonceLength, const uint8_t* aad,
                     size_t aadLength, const uint8_t* in, size_t length, uint8_t* out, bool decrypt,
                     uint8_t tag[16]);
// Call only when AesHardwareAvailable() is true.
void GcmCoreHardware(const sGcmCtx* ctx, const uint8_t* nonce, size_t nonceLength, const uint8_t* aad,
                     size_t aadLength, const uint8_t* in, size_t length, uint8_t* out, bool decrypt,
                     uint8_t tag[16]);

// GHASH alone, for the tests that hold the two paths against each other:
// acc (16 bytes, GCM byte order) absorbs length bytes, the last piece
// zero-filled to 16 bytes, with H = ctx's table entry for 0x80.
void GhashPortable(const sGcmCtx* ctx, uint8_t acc[16], const uint8_t* data, size_t length);
void GhashHardware(const sGcmCtx* ctx, uint8_t acc[16], const uint8_t* data, size_t length);

}  // namespace tw::crypto
