// The process-wide random pool: client randoms, session ids, private keys
// and explicit IVs come from here, one byte at a time.
//
// The pool (1200 bytes, 60 slices of 20) is seeded on first use from the
// operating system's random source, the microsecond counter and a stack
// address, and re-mixed every time its 1180 handed-out bytes run dry; each
// re-mix draws fresh operating-system bytes as well and derives the new
// bytes with SHA-256 from a secret key, so no handed-out byte reveals
// another, the key or earlier output. One lock guards draw and stir, so any
// thread may draw.
#pragma once

#include <cstdint>

// The next pool byte; stirs first when the pool is unseeded or used up.
uint8_t DrawRandomByte();

// Seeds the pool on the first call, then re-mixes it; the next byte handed
// out is pool byte 20.
void StirRandomPool();

// True once the operating system's random source has answered for the pool
// (seeds the pool first if needed). Without it the pool rests on the clock
// and a stack address alone: nothing secret may be made from it.
bool RandomPoolHasOsEntropy();
