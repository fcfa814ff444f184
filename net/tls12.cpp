// See net/tls12.h.
#include "net/tls12.h"

#include <cstring>
#include <vector>

#include "crypto/hmac.h"
#include "crypto/sha.h"
#include "net/tls13.h"

namespace {

void PutBe64(uint8_t* p, uint64_t v) {
  for (int i = 7; i >= 0; --i, v >>= 8) p[i] = static_cast<uint8_t>(v);
}

// All ones when a < b, else zero; no branch on the values.
uint32_t LessMask(uint32_t a, uint32_t b) {
  return 0u - static_cast<uint32_t>((static_cast<uint64_t>(a) - b) >> 63);
}

// All ones when a == b.
uint32_t EqualMask(uint32_t a, uint32_t b) {
  const uint32_t x = a ^ b;
  return 0u - (((x | (0u - x)) >> 31) ^ 1);
}

// The SHA-1 blocks an HMAC inner hash compresses for a message of n bytes
// (the 64-byte key block, the message and at least nine bytes of padding).
uint32_t InnerBlocks(uint32_t n) { return (64 + n + 9 + 63) / 64; }

}  // namespace

void Tls12Prf(const uint8_t* secret, size_t secretLength, const char* label, const uint8_t* seed, size_t seedLength,
              uint8_t* out, size_t outLength) {
  const size_t labelLength = std::strlen(label);
  // A(i) followed by label and seed; A(0) is label and seed.
  std::vector<uint8_t> buffer(32 + labelLength + seedLength);
  std::memcpy(buffer.data() + 32, label, labelLength);
  std::memcpy(buffer.data() + 32 + labelLength, seed, seedLength);
  uint8_t a[32], block[32];
  HmacSha256(secret, secretLength, buffer.data() + 32, labelLength + seedLength, a);
  for (size_t done = 0; done < outLength;) {
    std::memcpy(buffer.data(), a, 32);
    HmacSha256(secret, secretLength, buffer.data(), buffer.size(), block);
    const size_t n = outLength - done < 32 ? outLength - done : 32;
    std::memcpy(out + done, block, n);
    done += n;
    HmacSha256(secret, secretLength, a, 32, a);
  }
  volatile uint8_t* wipe = block;
  for (size_t i = 0; i < 32; ++i) wipe[i] = 0;
}

void Tls12RecordMac(const uint8_t key[20], uint64_t sequence, uint8_t type, const uint8_t* data, uint32_t length,
                    uint8_t out[20]) {
  std::vector<uint8_t> message(13 + length);
  PutBe64(message.data(), sequence);
  message[8] = type;
  message[9] = 3;
  message[10] = 3;
  message[11] = static_cast<uint8_t>(length >> 8);
  message[12] = static_cast<uint8_t>(length);
  if (length != 0) std::memcpy(message.data() + 13, data, length);
  HmacSha1(key, 20, message.data(), message.size(), out);
}

uint32_t Tls12RecordSize(uint32_t n) { return 5 + 16 + ((n + 21 + 15) & ~15u); }

bool Tls12SealRecord(cBlockCBC& cbc, const uint8_t macKey[20], uint64_t sequence, uint8_t type,
                     const uint8_t* plaintext, uint32_t n, const uint8_t iv[16], uint8_t* record) {
  if (n > 16384) return false;
  const uint32_t l = (n + 36) & ~15u;
  record[0] = type;
  record[1] = 3;
  record[2] = 3;
  record[3] = static_cast<uint8_t>((l + 16) >> 8);
  record[4] = static_cast<uint8_t>(l + 16);
  std::memcpy(record + 5, iv, 16);
  uint8_t* part = record + 21;
  if (n != 0) std::memcpy(part, plaintext, n);
  Tls12RecordMac(macKey, sequence, type, plaintext, n, part + n);
  std::memset(part + n + 20, static_cast<int>(l - n - 21), l - n - 20);
  cbc.SetIV(iv, 16);
  return cbc.Encrypt(part, part, l);
}

int32_t Tls12OpenRecord(cBlockCBC& cbc, const uint8_t macKey[20], uint64_t sequence, const uint8_t header[5],
                        uint8_t* body, uint32_t length) {
  if (length < 16 + 32 || length % 16 != 0 || length > kTls12MaxBody) return -1;
  cbc.SetIV(body, 16);
  uint8_t* part = body + 16;
  const uint32_t l = length - 16;
  if (!cbc.Decrypt(part, part, l)) return -1;
  // Padding: p bytes of value p, then p itself; p + 1 + 20 must fit. Each
  // check yields a mask rather than a branch.
  const uint32_t p = part[l - 1];
  uint32_t good = ~LessMask(l, p + 21);  // l >= p + 21
  const uint32_t scan = l - 1 < 255 ? l - 1 : 255;
  for (uint32_t i = 0; i < scan; ++i) {
    const uint32_t inPadding = LessMask(i, p);
    good &= ~inPadding | EqualMask(part[l - 2 - i], p);
  }
  // A bad padding is taken as none, so the MAC still runs over the record.
  const uint32_t pad = p & good;
  const uint32_t n = l - 21 - pad;
  uint8_t mac[20];
  Tls12RecordMac(macKey, sequence, header[0], part, n, mac);
  // As many further compressions as the longest plaintext this record
  // could hold would have cost.
  const uint32_t extra = InnerBlocks(13 + l - 21) - InnerBlocks(13 + n);
  if (extra != 0) {
    std::vector<uint8_t> dummy(64 * extra, 0);
    sSha1Ctx ctx;
    Sha1Init(&ctx);
    Sha1Update(&ctx, dummy.data(), dummy.size());
    uint8_t sink[20];
    Sha1Final(&ctx, sink);
  }
  const bool macOk = TlsSameBytes(mac, part + n, 20);
  if (!(macOk & (good != 0))) return -1;
  std::memmove(body, part, n);
  return static_cast<int32_t>(n);
}
