// Block ciphers: the abstract cBlockCipher and AES (FIPS 197), its only
// implementation. Blocks are untyped byte pointers; in and out may be the
// same block. Key-dependent state is zeroed by Wipe and by the destructor.
//
// AES runs on the processor's AES instructions where cpuid reports them
// (constant time), else on lookup tables indexed by key-dependent bytes:
// fast without processor support, but not hardened against cache-timing
// observers on the same machine. Both give the same bytes.
#pragma once

#include <cstdint>

#include "base/buffers.h"

// An AES key schedule: room for the longest one (AES-256, 15 round keys of
// four big-endian column words) and the round count (10, 12 or 14).
struct sAesRoundKeys {
  uint32_t words[60];
  int32_t rounds;
};

class cBlockCipher {
public:
  cBlockCipher() = default;
  cBlockCipher(const cBlockCipher&) = delete;
  cBlockCipher& operator=(const cBlockCipher&) = delete;
  virtual ~cBlockCipher();  // zeroes the stored key bytes, then frees them

  // An integer naming the algorithm (AES: 2).
  virtual int32_t GetKind() const = 0;
  virtual bool IsValidKeyBits(int32_t bits) const = 0;
  // Takes (bits + 7) / 8 key bytes; false (and the old key kept) for a null
  // key or a refused size.
  virtual bool SetKey(const void* key, int32_t bits) = 0;
  // Zeroes every key-dependent value; the base holds none beyond the key
  // bytes, which its destructor zeroes.
  virtual void Wipe();
  virtual int32_t BlockSize() const = 0;
  // One block; false (nothing written) for a null pointer or without a key
  // (none set yet, or wiped).
  virtual bool EncryptBlock(const void* in, void* out) = 0;
  virtual bool DecryptBlock(const void* in, void* out) = 0;
  // A new object of the same class without a key.
  virtual tOwned<cBlockCipher> CreateNew() const = 0;

  // The key bytes as given to SetKey.
  _typebuf<char> key;
};

class cAESCipher : public cBlockCipher {
public:
  ~cAESCipher() override;

  int32_t GetKind() const override;
  bool IsValidKeyBits(int32_t bits) const override;  // 128, 192, 256
  // Expands the encryption schedule and the equivalent-inverse decryption
  // schedule and keeps a copy of the key bytes.
  bool SetKey(const void* key, int32_t bits) override;
  void Wipe() override;  // both schedules and the key bytes
  int32_t BlockSize() const override;  // 16
  bool EncryptBlock(const void* in, void* out) override;
  bool DecryptBlock(const void* in, void* out) override;
  tOwned<cBlockCipher> CreateNew() const override;

  int32_t keyBits = 0;
  sAesRoundKeys decRoundKeys{};
  sAesRoundKeys encRoundKeys{};
};
