// Internal to crypto/ and its tests: the random pool's state and the
// sources it reads, replaceable so tests can fix them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tw::crypto {

inline constexpr int kPoolSize = 1200;
inline constexpr int kPoolSlice = 20;

inline constexpr int kPoolKeySize = 32;

struct sRandomPoolState {
  uint8_t pool[kPoolSize];     // the bytes of the current stir; 20-1199 are handed out
  uint8_t seeded;
  uint32_t readPos;            // next pool byte to hand out
  uint8_t input[64];           // counter in bytes 0-7; OS bytes pass through 8-39 during a stir
  int32_t busy;                // set while a stir runs
  uint8_t key[kPoolKeySize];   // the secret chain; never handed out
  uint8_t osEntropy;           // the OS source answered at least once
};

struct sRandomPoolSources {
  uint64_t (*microseconds)();
  // Fills n bytes; false when the system source failed.
  bool (*osRandom)(void* out, size_t n);
  void (*sleepOneMillisecond)();
};

// Holds the pool's lock for as long as it lives, so a test can read the
// state consistently.
class cRandomPoolAccess {
public:
  cRandomPoolAccess();
  ~cRandomPoolAccess();
  cRandomPoolAccess(const cRandomPoolAccess&) = delete;
  cRandomPoolAccess& operator=(const cRandomPoolAccess&) = delete;
  sRandomPoolState& state();
};

// Installs other sources (null restores the system ones) and returns the
// pool to its unseeded, all-zero start.
void ResetRandomPool(const sRandomPoolSources* sources);

}  // namespace tw::crypto
