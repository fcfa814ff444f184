// Chaining modes over a cBlockCipher: the abstract cBlockCihperChaining and
// CBC (SP 800-38A), its only mode.
//
// The IV is consumed as a byte stream, one byte per data byte, from the
// start of each direction's run; past its end it contributes zero. With a
// one-block IV this is plain CBC. Chaining state persists across calls
// until the next SetIV or cipher change, so a message may come in pieces.
#pragma once

#include <cstdint>

#include "base/buffers.h"
#include "crypto/block_cipher.h"

class cBlockCihperChaining {
public:
  cBlockCihperChaining() = default;
  cBlockCihperChaining(const cBlockCihperChaining&) = delete;
  cBlockCihperChaining& operator=(const cBlockCihperChaining&) = delete;
  virtual ~cBlockCihperChaining();  // zeroes and frees the IV, deletes an owned cipher

  virtual int32_t GetKind() const = 0;
  // Deletes any owned cipher, then owns and uses this one. False (and no
  // change) for null.
  virtual bool SetCipher(tOwned<cBlockCipher> cipher);
  // Deletes any owned cipher, then uses this one, which the caller keeps
  // alive. False (and no change) for null.
  virtual bool UseCipher(cBlockCipher* cipher);
  // Both IV positions become 0. The given bytes (any length; null or empty
  // for none) replace the stored IV, which is zeroed and freed; they may
  // point into the stored IV itself.
  virtual void SetIV(const void* bytes, int32_t length);
  virtual bool Encrypt(const void* in, void* out, uint32_t length) = 0;
  virtual bool Decrypt(const void* in, void* out, uint32_t length) = 0;

  cBlockCipher* cipher = nullptr;  // in use; owned or borrowed
  tOwned<cBlockCipher> owned;      // null when the cipher is borrowed
  _typebuf<char> iv;
  int32_t ivPosEncrypt = 0;
  int32_t ivPosDecrypt = 0;

protected:
  // The IV byte at *pos (0 past the end); advances *pos.
  uint8_t NextIvByte(int32_t* pos);
};

class cBlockCBC : public cBlockCihperChaining {
public:
  ~cBlockCBC() override;  // zeroes and frees the three blocks

  int32_t GetKind() const override;  // 1
  bool SetCipher(tOwned<cBlockCipher> cipher) override;
  bool UseCipher(cBlockCipher* cipher) override;
  void SetIV(const void* bytes, int32_t length) override;
  // Encrypts length bytes. False without a cipher, with a null pointer,
  // with length 0 or when the cipher refuses a block (it has no key). A last partial block is zero-padded and written whole:
  // out needs room for length rounded up to the block size.
  bool Encrypt(const void* in, void* out, uint32_t length) override;
  // Decrypts whole blocks; in and out may be the same buffer. False
  // without a cipher, with a null pointer, with length 0, with a length
  // that is not a multiple of the block size (nothing is written then) or
  // when the cipher refuses a block (it has no key).
  bool Decrypt(const void* in, void* out, uint32_t length) override;

  _typebuf<char> work;
  _typebuf<char> chainEncrypt;
  _typebuf<char> chainDecrypt;

private:
  // With a cipher set: both IV positions 0, the blocks sized to the
  // cipher's block and the chaining blocks zeroed.
  void ResetChaining();
};
