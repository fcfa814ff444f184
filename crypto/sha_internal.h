// Internal to crypto/: the SHA-1 and SHA-256 block functions and the
// switches between them. The public header sha.h never includes this one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/crypto_internal.h"

namespace tw::crypto {

// The SHA-256 round constants of FIPS 180-4 section 4.2.2.
inline constexpr uint32_t kSha256K[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

// Compresses `blocks` consecutive 64-byte blocks of data into state.
using tSha256Blocks = void (*)(uint32_t state[8], const uint8_t* data, size_t blocks);

// FIPS 180-4 in plain C++; runs everywhere.
void Sha256BlocksPortable(uint32_t state[8], const uint8_t* data, size_t blocks);

// The x86 SHA extensions. Call only when Sha256HardwareAvailable() is true.
void Sha256BlocksHardware(uint32_t state[8], const uint8_t* data, size_t blocks);

// cpuid: SHA, SSSE3 and SSE4.1 present (the hardware path needs all three).
bool Sha256HardwareAvailable();

// The block function in use: the hardware one where available, else the
// portable one, chosen at first use.
tSha256Blocks Sha256ActiveBlocks();

// Replaces the choice (null restores the automatic one); returns the
// function in use before. For tests and benchmarks that compare the paths.
tSha256Blocks Sha256OverrideBlocks(tSha256Blocks blocks);

// SHA-1 the same way: the portable rounds of FIPS 180-4 and the x86 SHA
// extensions (the same cpuid bits as SHA-256's).
using tSha1Blocks = void (*)(uint32_t state[5], const uint8_t* data, size_t blocks);
void Sha1BlocksPortable(uint32_t state[5], const uint8_t* data, size_t blocks);
// Call only when Sha1HardwareAvailable() is true.
void Sha1BlocksHardware(uint32_t state[5], const uint8_t* data, size_t blocks);
bool Sha1HardwareAvailable();
tSha1Blocks Sha1ActiveBlocks();
tSha1Blocks Sha1OverrideBlocks(tSha1Blocks blocks);

}  // namespace tw::crypto
