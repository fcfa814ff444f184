// Internal to crypto/: the first form of X25519, on sixteen 16-bit limbs,
// kept as a reference for the tests and the benchmark that hold the
// ten-limb form of crypto/x25519.cpp against it.
#pragma once

namespace tw::crypto {

// The same contract as X25519 in crypto/x25519.h.
void X25519Radix16(const void* scalar32, void* out32, const void* u32);

}  // namespace tw::crypto
