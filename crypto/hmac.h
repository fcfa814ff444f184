// HMAC (RFC 2104) over SHA-1, SHA-256 and SHA-384, and HKDF-Expand
// (RFC 5869 section 2.3) with the TLS 1.3 HKDF-Expand-Label of RFC 8446
// section 7.1. Stateless; byte buffers are untyped pointers.
//
// HKDF-Extract has no function of its own: it is HmacSha256 / HmacSha384
// with the salt as the key and the input keying material as the message.
#pragma once

#include <cstddef>
#include <cstdint>

// out receives the full MAC (20, 32 or 48 bytes); key and message are read
// completely before out is written, so out may be either of them. A key
// longer than the hash's block (64 bytes, or 128 for SHA-384) is replaced
// by its digest first. Pointers may be null only with a length of 0.
void HmacSha1(const void* key, size_t keyLength, const void* message, size_t messageLength, void* out20);
void HmacSha256(const void* key, size_t keyLength, const void* message, size_t messageLength, void* out32);
void HmacSha384(const void* key, size_t keyLength, const void* message, size_t messageLength, void* out48);

// HKDF-Expand with the 32- or 48-byte pseudo-random key prk. False, with
// nothing written, when out or prk is null, outLength is 0 or above 255
// times the hash length, or info is null with a non-zero infoLength. prk and
// info are read completely before out is written, so out may overlap them.
bool HkdfExpandSha256(const void* prk, const void* info, size_t infoLength, void* out, size_t outLength);
bool HkdfExpandSha384(const void* prk, const void* info, size_t infoLength, void* out, size_t outLength);

// HKDF-Expand-Label(secret, label, context, outLength): label is the
// zero-terminated name without the "tls13 " prefix ("key", "derived").
// False when label is null or longer than 249 characters, context is null
// with a non-zero contextLength, contextLength is above 255 or outLength
// above 65535; otherwise HKDF-Expand's result.
bool HkdfExpandLabelSha256(const void* secret, const void* context, size_t contextLength, const char* label,
                           void* out, size_t outLength);
bool HkdfExpandLabelSha384(const void* secret, const void* context, size_t contextLength, const char* label,
                           void* out, size_t outLength);
