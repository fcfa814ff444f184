// SHA-1, SHA-256, SHA-384 and SHA-512 of FIPS 180-4.
//
// Contexts are plain records without interior pointers: copying one forks the
// hash. Byte buffers are passed as untyped pointers so that char and uint8_t
// buffers both fit; digests are the big-endian serialisation of the hash
// words (SHA-1 20 bytes, SHA-256 32 bytes, SHA-384 48 bytes). Nothing here
// keeps global state except SHA-256's choice of block function, made once.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int kSha1Size = 20;
inline constexpr int kSha256Size = 32;
inline constexpr int kSha384Size = 48;
inline constexpr int kSha512Size = 64;

struct sSha1Ctx {
  uint32_t state[5];
  uint64_t count;       // bytes hashed so far
  uint8_t buffer[64];
  uint32_t buffered;    // bytes waiting in buffer
};

struct sSha256Ctx {
  uint32_t count[2];    // bytes hashed: low word, then high word
  uint32_t state[8];
  uint8_t buffer[64];   // count[0] % 64 bytes wait here
};

struct sSha384Ctx {
  uint32_t count[4];    // 128-bit byte count, lowest word first
  uint64_t state[8];
  uint8_t buffer[128];  // count[0] % 128 bytes wait here
};

// Loads the initial hash value and a zero count. Every user of a SHA-1 or
// SHA-256 context calls this before the first update.
void Sha1Init(sSha1Ctx* ctx);
void Sha256Init(sSha256Ctx* ctx);

// Adds length bytes; data may be null only when length is 0.
void Sha1Update(sSha1Ctx* ctx, const void* data, size_t length);
void Sha256Update(sSha256Ctx* ctx, const void* data, size_t length);

// Pads and writes the digest; the context is spent (Init it again to reuse).
void Sha1Final(sSha1Ctx* ctx, void* out20);
void Sha256Final(sSha256Ctx* ctx, void* out32);

// One-shot SHA-256 of data. length -1 means data is zero-terminated text
// whose length is measured first; length 0 hashes nothing.
void Sha256(void* out32, const void* data, int64_t length);

// SHA-384 (SHA-512 compression, SHA-384 initial value and 48-byte output).
// Returns 0.
int Sha384Init(sSha384Ctx* ctx);
// 1 (and no change) when data is null, else 0; length 0 does nothing.
int Sha384Update(sSha384Ctx* ctx, const void* data, size_t length);
// 1 (and no change) when out48 is null, else 0 after writing the digest.
int Sha384Final(sSha384Ctx* ctx, void* out48);

// SHA-512: the same context and compression as SHA-384 with SHA-512's
// initial value and the whole 64-byte state as digest.
using sSha512Ctx = sSha384Ctx;
void Sha512Init(sSha512Ctx* ctx);
void Sha512Update(sSha512Ctx* ctx, const void* data, size_t length);
void Sha512Final(sSha512Ctx* ctx, void* out64);
