// Internal to crypto/: the AES key schedules and block functions shared by
// cAESCipher and the GCM functions. Round keys are big-endian column words.
#pragma once

#include <cstdint>

#include "crypto/block_cipher.h"

namespace tw::crypto {

// FIPS 197 key expansion for bits 128, 192 or 256; false for other sizes.
bool AesExpandEncryptKey(const uint8_t* key, int32_t bits, sAesRoundKeys* enc);
// The equivalent inverse cipher's schedule (FIPS 197 section 5.3.5): round
// keys in reverse order, InvMixColumns applied to all but the outer two.
void AesExpandDecryptKey(const sAesRoundKeys& enc, sAesRoundKeys* dec);

void AesEncryptBlock(const sAesRoundKeys& enc, const uint8_t in[16], uint8_t out[16]);
void AesDecryptBlock(const sAesRoundKeys& dec, const uint8_t in[16], uint8_t out[16]);

}  // namespace tw::crypto
