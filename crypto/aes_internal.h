// Internal to crypto/: the AES key schedules and block functions shared by
// cAESCipher, the CBC mode and the GCM functions, and the choice between
// the table code and the processor's AES instructions.
//
// Round keys are big-endian column words whichever path runs, so a schedule
// made by one path works with the other and sAesRoundKeys keeps its layout.
//
// Rules the callers rely on:
//  a. Every path gives the same bytes for the same input.
//  b. The hardware functions are called only after AesHardwareAvailable()
//     said yes; the dispatching functions below see to that.
//  c. The hardware path has no branch and no table index that depends on a
//     key or data byte; the table path has both (see crypto/block_cipher.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/block_cipher.h"

namespace tw::crypto {

// FIPS 197 key expansion for bits 128, 192 or 256; false for other sizes.
bool AesExpandEncryptKey(const uint8_t* key, int32_t bits, sAesRoundKeys* enc);
// The equivalent inverse cipher's schedule (FIPS 197 section 5.3.5): round
// keys in reverse order, InvMixColumns applied to all but the outer two.
void AesExpandDecryptKey(const sAesRoundKeys& enc, sAesRoundKeys* dec);

// One block with the path in use.
void AesEncryptBlock(const sAesRoundKeys& enc, const uint8_t in[16], uint8_t out[16]);
void AesDecryptBlock(const sAesRoundKeys& dec, const uint8_t in[16], uint8_t out[16]);

// CBC over whole blocks with the path in use: chain holds the previous
// ciphertext block (the IV at the start) and is updated. in and out may be
// the same buffer; blocks may be 0.
void AesCbcEncryptBlocks(const sAesRoundKeys& enc, uint8_t chain[16], const uint8_t* in, uint8_t* out,
                         size_t blocks);
void AesCbcDecryptBlocks(const sAesRoundKeys& dec, uint8_t chain[16], const uint8_t* in, uint8_t* out,
                         size_t blocks);

// ---- the two paths and the switch between them ----

// cpuid: AES-NI, PCLMULQDQ, SSSE3 and SSE4.1 all present (GCM's hardware
// path needs the four together, so they are one choice).
bool AesHardwareAvailable();

// True when the hardware path runs: available and not forced off.
bool AesHardwareActive();

// Forces the table path (true) or restores the automatic choice (false);
// returns the previous setting. For tests and benchmarks that compare the
// paths; not for use while another thread encrypts.
bool AesForcePortable(bool force);

// The table code; runs everywhere.
void AesEncryptBlockPortable(const sAesRoundKeys& enc, const uint8_t in[16], uint8_t out[16]);
void AesDecryptBlockPortable(const sAesRoundKeys& dec, const uint8_t in[16], uint8_t out[16]);

// The AES instructions. Call only when AesHardwareAvailable() is true.
void AesEncryptBlockHardware(const sAesRoundKeys& enc, const uint8_t in[16], uint8_t out[16]);
void AesDecryptBlockHardware(const sAesRoundKeys& dec, const uint8_t in[16], uint8_t out[16]);
void AesCbcEncryptHardware(const sAesRoundKeys& enc, uint8_t chain[16], const uint8_t* in, uint8_t* out,
                           size_t blocks);
void AesCbcDecryptHardware(const sAesRoundKeys& dec, uint8_t chain[16], const uint8_t* in, uint8_t* out,
                           size_t blocks);
// S-box of each byte of w (SubWord of FIPS 197), through AESENCLAST.
uint32_t AesSubWordHardware(uint32_t w);
// InvMixColumns of one round key (four big-endian words), through AESIMC.
void AesInvMixColumnsHardware(const uint32_t in[4], uint32_t out[4]);

}  // namespace tw::crypto
