// HMAC over the three hashes. See crypto/hmac.h.
#include "crypto/hmac.h"

#include <cstring>

#include "crypto/crypto_internal.h"
#include "crypto/sha.h"

using namespace tw::crypto;

namespace {

// The three hashes behind one interface so that HMAC is written once.
struct tSha1 {
  using Ctx = sSha1Ctx;
  static constexpr size_t kBlock = 64, kSize = kSha1Size;
  static void Init(Ctx* c) { Sha1Init(c); }
  static void Update(Ctx* c, const void* p, size_t n) { Sha1Update(c, p, n); }
  static void Final(Ctx* c, void* out) { Sha1Final(c, out); }
};
struct tSha256 {
  using Ctx = sSha256Ctx;
  static constexpr size_t kBlock = 64, kSize = kSha256Size;
  static void Init(Ctx* c) { Sha256Init(c); }
  static void Update(Ctx* c, const void* p, size_t n) { Sha256Update(c, p, n); }
  static void Final(Ctx* c, void* out) { Sha256Final(c, out); }
};
struct tSha384 {
  using Ctx = sSha384Ctx;
  static constexpr size_t kBlock = 128, kSize = kSha384Size;
  static void Init(Ctx* c) { Sha384Init(c); }
  static void Update(Ctx* c, const void* p, size_t n) {
    if (n != 0) Sha384Update(c, p, n);
  }
  static void Final(Ctx* c, void* out) { Sha384Final(c, out); }
};

template <class H>
void Hmac(const void* key, size_t keyLength, const void* message, size_t messageLength, void* out) {
  uint8_t pad[H::kBlock];
  uint8_t inner[H::kSize];
  typename H::Ctx ctx;
  std::memset(pad, 0, sizeof pad);
  if (keyLength > H::kBlock) {
    H::Init(&ctx);
    H::Update(&ctx, key, keyLength);
    H::Final(&ctx, pad);
  } else if (keyLength != 0) {
    std::memcpy(pad, key, keyLength);
  }

  for (uint8_t& b : pad) b ^= 0x36;
  H::Init(&ctx);
  H::Update(&ctx, pad, sizeof pad);
  H::Update(&ctx, message, messageLength);
  H::Final(&ctx, inner);

  for (uint8_t& b : pad) b ^= 0x36 ^ 0x5c;
  H::Init(&ctx);
  H::Update(&ctx, pad, sizeof pad);
  H::Update(&ctx, inner, sizeof inner);
  H::Final(&ctx, out);

  SecureZero(pad, sizeof pad);
  SecureZero(inner, sizeof inner);
}

}  // namespace

void HmacSha1(const void* key, size_t keyLength, const void* message, size_t messageLength, void* out20) {
  Hmac<tSha1>(key, keyLength, message, messageLength, out20);
}

void HmacSha256(const void* key, size_t keyLength, const void* message, size_t messageLength, void* out32) {
  Hmac<tSha256>(key, keyLength, message, messageLength, out32);
}

void HmacSha384(const void* key, size_t keyLength, const void* message, size_t messageLength, void* out48) {
  Hmac<tSha384>(key, keyLength, message, messageLength, out48);
}
