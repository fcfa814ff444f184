// Internal to crypto/: GCM with additional data of any length (the public
// functions fix it at the five bytes TLS uses; tests use the full range).
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/gcm.h"

namespace tw::crypto {

// Encrypts when expectedTag is null (in is plaintext, the tag goes to
// tagOut); decrypts otherwise (in is ciphertext) and returns whether the
// computed tag equals expectedTag, compared in constant time.
bool GcmCrypt(const sGcmCtx* ctx, const uint8_t* nonce, size_t nonceLength, const uint8_t* aad, size_t aadLength,
              const uint8_t* in, size_t length, uint8_t* out, uint8_t* tagOut, const uint8_t* expectedTag);

}  // namespace tw::crypto
