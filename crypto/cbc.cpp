// Chaining modes. See crypto/cbc.h.
#include "crypto/cbc.h"

#include <cstring>
#include <typeinfo>

#include "crypto/aes_internal.h"
#include "crypto/crypto_internal.h"

using tw::crypto::SecureZero;

namespace {

void WipeBlock(_typebuf<char>& b) {
  if (b.data != nullptr) SecureZero(b.data, static_cast<size_t>(b.count));
}

// The cipher as plain AES, or null. Whole blocks past the IV then go to the
// AES CBC functions (the processor's instructions where present) instead of
// a virtual call per block; a class derived from cAESCipher may change the
// blocks, so only the exact class qualifies.
const cAESCipher* PlainAes(const cBlockCipher* c) {
  return typeid(*c) == typeid(cAESCipher) ? static_cast<const cAESCipher*>(c) : nullptr;
}

// Advances an IV position by n bytes as NextIvByte would, one at a time.
void SkipIv(int32_t* pos, uint32_t n) {
  const int64_t next = int64_t(*pos) + n;
  *pos = next > INT32_MAX ? INT32_MAX : int32_t(next);
}

}  // namespace

cBlockCihperChaining::~cBlockCihperChaining() { WipeBlock(iv); }

bool cBlockCihperChaining::SetCipher(tOwned<cBlockCipher> c) {
  if (c == nullptr) return false;
  owned = std::move(c);
  cipher = owned.get();
  return true;
}

bool cBlockCihperChaining::UseCipher(cBlockCipher* c) {
  if (c == nullptr) return false;
  owned.reset();
  cipher = c;
  return true;
}

// The new bytes are copied before the old IV is wiped and freed: they may
// lie inside it.
void cBlockCihperChaining::SetIV(const void* bytes, int32_t length) {
  ivPosEncrypt = 0;
  ivPosDecrypt = 0;
  _typebuf<char> fresh;
  if (bytes != nullptr && length > 0) {
    fresh.Reallocate(length);
    std::memcpy(fresh.data, bytes, static_cast<size_t>(length));
  }
  WipeBlock(iv);
  iv = std::move(fresh);
}

uint8_t cBlockCihperChaining::NextIvByte(int32_t* pos) {
  uint8_t b = 0;
  if (*pos < iv.count) b = static_cast<uint8_t>(iv.data[*pos]);
  if (*pos < INT32_MAX) ++*pos;
  return b;
}

cBlockCBC::~cBlockCBC() {
  WipeBlock(work);
  WipeBlock(chainEncrypt);
  WipeBlock(chainDecrypt);
}

int32_t cBlockCBC::GetKind() const { return 1; }

bool cBlockCBC::SetCipher(tOwned<cBlockCipher> c) {
  if (!cBlockCihperChaining::SetCipher(std::move(c))) return false;
  ResetChaining();
  return true;
}

bool cBlockCBC::UseCipher(cBlockCipher* c) {
  if (!cBlockCihperChaining::UseCipher(c)) return false;
  ResetChaining();
  return true;
}

void cBlockCBC::SetIV(const void* bytes, int32_t length) {
  cBlockCihperChaining::SetIV(bytes, length);
  ResetChaining();
}

void cBlockCBC::ResetChaining() {
  if (cipher == nullptr) return;
  ivPosEncrypt = 0;
  ivPosDecrypt = 0;
  const int32_t n = cipher->BlockSize();
  for (_typebuf<char>* b : {&work, &chainEncrypt, &chainDecrypt}) {
    WipeBlock(*b);
    b->Reallocate(n);
    std::memset(b->data, 0, static_cast<size_t>(n));
  }
}

bool cBlockCBC::Encrypt(const void* in, void* out, uint32_t length) {
  if (cipher == nullptr || in == nullptr || out == nullptr || length == 0) return false;
  const uint32_t n = static_cast<uint32_t>(work.count);
  const uint8_t* src = static_cast<const uint8_t*>(in);
  uint8_t* dst = static_cast<uint8_t*>(out);
  uint8_t* w = reinterpret_cast<uint8_t*>(work.data);
  uint8_t* chain = reinterpret_cast<uint8_t*>(chainEncrypt.data);
  const cAESCipher* aes = n == 16 ? PlainAes(cipher) : nullptr;
  if (aes != nullptr && aes->keyBits == 0) return false;  // as EncryptBlock would refuse
  while (length != 0) {
    if (aes != nullptr && ivPosEncrypt >= iv.count && length >= n) {
      // The IV is spent: plain CBC from the chaining block.
      const uint32_t blocks = length / n;
      tw::crypto::AesCbcEncryptBlocks(aes->encRoundKeys, chain, src, dst, blocks);
      SkipIv(&ivPosEncrypt, blocks * n);
      src += blocks * n;
      dst += blocks * n;
      length -= blocks * n;
      continue;
    }
    // A short last block counts as zero-padded plaintext.
    const uint32_t take = length < n ? length : n;
    for (uint32_t j = 0; j < n; ++j) {
      const uint8_t p = j < take ? src[j] : 0;
      w[j] = static_cast<uint8_t>(p ^ chain[j] ^ NextIvByte(&ivPosEncrypt));
    }
    if (!cipher->EncryptBlock(w, dst)) {
      SecureZero(w, n);
      return false;
    }
    std::memcpy(chain, dst, n);
    src += take;
    dst += n;
    length -= take;
  }
  SecureZero(w, n);
  return true;
}

bool cBlockCBC::Decrypt(const void* in, void* out, uint32_t length) {
  if (cipher == nullptr || in == nullptr || out == nullptr || length == 0) return false;
  const uint32_t n = static_cast<uint32_t>(work.count);
  if (length % n != 0) return false;
  const uint8_t* src = static_cast<const uint8_t*>(in);
  uint8_t* dst = static_cast<uint8_t*>(out);
  uint8_t* w = reinterpret_cast<uint8_t*>(work.data);
  uint8_t* chain = reinterpret_cast<uint8_t*>(chainDecrypt.data);
  const cAESCipher* aes = n == 16 ? PlainAes(cipher) : nullptr;
  if (aes != nullptr && aes->keyBits == 0) return false;  // as DecryptBlock would refuse
  for (; length != 0; length -= n, src += n, dst += n) {
    if (aes != nullptr && ivPosDecrypt >= iv.count) {
      tw::crypto::AesCbcDecryptBlocks(aes->decRoundKeys, chain, src, dst, length / n);
      SkipIv(&ivPosDecrypt, length);
      break;
    }
    std::memcpy(w, src, n);  // the ciphertext survives an in-place call
    if (!cipher->DecryptBlock(w, dst)) {
      SecureZero(w, n);
      return false;
    }
    for (uint32_t j = 0; j < n; ++j) dst[j] = static_cast<uint8_t>(dst[j] ^ chain[j] ^ NextIvByte(&ivPosDecrypt));
    std::memcpy(chain, w, n);
  }
  SecureZero(w, n);
  return true;
}
