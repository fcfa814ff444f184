// X25519 (RFC 7748 section 5): the Diffie-Hellman function on Curve25519
// used for every TLS key exchange. Runs in time independent of the scalar.
#pragma once

// out32 = X25519(scalar32, u32). The scalar is clamped on a copy and the
// top bit of u is ignored; both are read before out32 is written, so out32
// may be either input.
void X25519(const void* scalar32, void* out32, const void* u32);


// A fresh key pair: 32 private bytes drawn one by one from the random pool
// (DrawRandomByte), and the public key X25519(private, 9).
void X25519Base(void* private32, void* public32);
