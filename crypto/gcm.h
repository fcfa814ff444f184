// AES-GCM (SP 800-38D) as plain functions over a context record, for the
// TLS 1.3 records: the additional data is the five-byte record header.
//
// With AES-NI and PCLMULQDQ (cpuid), AES and GHASH run on those
// instructions in constant time. Without them GHASH runs on a 4 KiB table
// of multiples of H indexed by data-dependent bytes, and AES on its lookup
// tables (see crypto/block_cipher.h): fast without processor support, but
// not hardened against cache-timing observers on the same machine. The
// table is filled either way, so a context works on both paths.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/block_cipher.h"

struct sGcmCtx {
  sAesRoundKeys roundKeys;    // AES encryption schedule with its round count
  uint64_t hTable[256][2];    // byte value b times H, GCM bit order: bytes 0-7, 8-15 big-endian
  uint8_t staticIv[12];       // kept here by the TLS layer; unused by these functions
};

// Expands the AES key, computes H = AES(0^128) and fills the table. False
// for a null key or ctx, or bits other than 128, 192 and 256.
bool GcmSetKey(int32_t bits, const void* key, sGcmCtx* ctx);

// Zeroes the whole context (key schedule, H table, static IV); it is then
// refused by the functions below until keyed again. Null is ignored.
void GcmWipe(sGcmCtx* ctx);

// Encrypts length bytes and writes the 16-byte tag. The nonce is usually
// 12 bytes; other non-zero lengths are hashed into the counter block as the
// standard prescribes. aad5 is exactly five bytes. out may equal in.
// False (nothing written) for a null ctx, nonce, aad5 or tag, a zero nonce
// length, null data pointers with a non-zero length, or a context that was
// never keyed (zero-initialised: sGcmCtx ctx{}) or was wiped.
bool GcmEncryptAndTag(const sGcmCtx* ctx, const void* nonce, size_t nonceLength, const void* aad5,
                      const void* plaintext, size_t length, void* ciphertext, void* tag16);

// Decrypts and checks the tag in constant time; false on any difference.
// The plaintext is written even when the tag is wrong: callers must discard
// it then. out may equal in. Argument checks as for GcmEncryptAndTag.
bool GcmDecryptAndVerify(const sGcmCtx* ctx, const void* nonce, size_t nonceLength, const void* aad5,
                         const void* ciphertext, size_t length, void* plaintext, const void* tag16);
