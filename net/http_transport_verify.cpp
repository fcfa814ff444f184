// The server authentication of cHttpTransport: the certificate chain and
// host name, and the handshake signature made with the leaf's key. See
// net/http_transport.h.
#include <cstring>

#include "net/http_transport.h"
#include "net/tls13.h"
#include "net/tls_trust.h"
#include "net/x509.h"

namespace {

uint32_t Be16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }
uint32_t Be24(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 16 | Be16(p + 1); }

// The leaf's RSA key checks one signature of a TLS SignatureScheme over
// message.
bool VerifyScheme(const sRsaPublicKey& key, uint32_t scheme, bool pkcs1Allowed, const uint8_t* message,
                  size_t messageLength, const uint8_t* signature, size_t signatureLength) {
  int32_t hash = 0;
  bool pss = false;
  switch (scheme) {
    case 0x0401: hash = kRsaSha256; break;
    case 0x0501: hash = kRsaSha384; break;
    case 0x0601: hash = kRsaSha512; break;
    case 0x0804: hash = kRsaSha256; pss = true; break;
    case 0x0805: hash = kRsaSha384; pss = true; break;
    case 0x0806: hash = kRsaSha512; pss = true; break;
    default: return false;
  }
  if (!pss && !pkcs1Allowed) return false;
  uint8_t digest[64];
  RsaHashBytes(hash, message, messageLength, digest);
  return pss ? RsaVerifyPss(key, hash, digest, signature, signatureLength)
             : RsaVerifyPkcs1(key, hash, digest, signature, signatureLength);
}

}  // namespace

bool ParseTlsCertificateList(const uint8_t* body, uint32_t length, bool tls13,
                             std::vector<std::vector<uint8_t>>* certificates) {
  certificates->clear();
  const uint8_t* p = body;
  const uint8_t* end = body + length;
  if (tls13) {
    // The request context is empty: this client never asks again.
    if (length < 1 || p[0] != 0) return false;
    ++p;
  }
  if (end - p < 3 || Be24(p) != static_cast<uint32_t>(end - p - 3)) return false;
  p += 3;
  while (p < end) {
    if (end - p < 3) return false;
    const uint32_t n = Be24(p);
    p += 3;
    if (n == 0 || static_cast<uint32_t>(end - p) < n) return false;
    certificates->emplace_back(p, p + n);
    p += n;
    if (tls13) {
      if (end - p < 2 || static_cast<uint32_t>(end - p - 2) < Be16(p)) return false;
      p += 2 + Be16(p);
    }
  }
  return !certificates->empty();
}

bool cHttpTransport::Refuse(int32_t code) {
  tlsError_ = code;
  return false;
}

bool cHttpTransport::CheckCertificate(const uint8_t* body, uint32_t length) {
  serverKey_ = sRsaPublicKey{};
  std::vector<std::vector<uint8_t>> certificates;
  if (!ParseTlsCertificateList(body, length, tlsState_ == kTlsNone && (cipherSuite_ >> 8) == 0x13, &certificates))
    return Refuse(kTlsCertificateMalformed);
  sX509Certificate leaf;
  if (!ParseX509(certificates[0].data(), certificates[0].size(), &leaf)) return Refuse(kTlsCertificateMalformed);
  // Only an RSA key can sign what this client asked for.
  if (!leaf.hasRsaKey || !leaf.rsaKey.Usable()) return Refuse(kTlsCertificateUnsupported);
  switch (TlsCheckServerChain(certificates, hostName_.text)) {
    case kChainOk: break;
    case kChainMalformed: return Refuse(kTlsCertificateMalformed);
    case kChainUnsupported: return Refuse(kTlsCertificateUnsupported);
    case kChainExpired: return Refuse(kTlsCertificateExpired);
    case kChainBadUsage: return Refuse(kTlsCertificateBadUsage);
    case kChainHostMismatch: return Refuse(kTlsHostMismatch);
    default: return Refuse(kTlsCertificateUntrusted);
  }
  // The name once more by this program's own rule, whatever the store's
  // engine allows (no common-name fallback).
  if (!X509MatchesHost(leaf, hostName_.text)) return Refuse(kTlsHostMismatch);
  serverKey_ = leaf.rsaKey;
  return true;
}

bool cHttpTransport::CheckCertificateVerify(const uint8_t* body, uint32_t length) {
  if (serverKey_.modulus.empty()) return Refuse(kTlsCertificateUntrusted);
  if (length < 4 || Be16(body + 2) != length - 4) return Refuse(kTlsBadSignature);
  // RFC 8446 4.4.3: 64 spaces, the context string, a zero, the hash.
  static const char kContext[] = "TLS 1.3, server CertificateVerify";
  uint8_t content[64 + sizeof kContext + 48];
  std::memset(content, 0x20, 64);
  std::memcpy(content + 64, kContext, sizeof kContext);
  std::memcpy(content + 64 + sizeof kContext, transcriptHash_, static_cast<size_t>(transcriptHashLength_));
  const size_t contentLength = 64 + sizeof kContext + static_cast<size_t>(transcriptHashLength_);
  if (!VerifyScheme(serverKey_, Be16(body), false, content, contentLength, body + 4, length - 4))
    return Refuse(kTlsBadSignature);
  return true;
}

bool cHttpTransport::CheckServerKeyExchange(const uint8_t* body, uint32_t length) {
  if (serverKey_.modulus.empty()) return Refuse(kTlsCertificateUntrusted);
  // ECParameters (named_curve), the 32-byte point, then the signature.
  const uint32_t params = 4 + 32;
  if (length < params + 4 || Be16(body + params + 2) != length - params - 4) return Refuse(kTlsBadSignature);
  std::vector<uint8_t> signed_(64 + params);
  std::memcpy(signed_.data(), clientRandom_, 32);
  std::memcpy(signed_.data() + 32, serverRandom_, 32);
  std::memcpy(signed_.data() + 64, body, params);
  if (!VerifyScheme(serverKey_, Be16(body + params), true, signed_.data(), signed_.size(), body + params + 4,
                    length - params - 4))
    return Refuse(kTlsBadSignature);
  return true;
}
