// X.509 certificates (RFC 5280) as far as a TLS client checks a server:
// a strict DER reader, the fields a chain check needs, the host-name match
// and the chain check against a list of trust anchors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "crypto/rsa.h"

// One DER element: its tag, its contents and the whole encoding.
struct sDerItem {
  uint8_t tag = 0;
  const uint8_t* data = nullptr;
  size_t length = 0;
  const uint8_t* whole = nullptr;
  size_t wholeLength = 0;
};

// Reads elements in turn from a byte range. Only definite, minimal lengths
// and one-byte tags are DER; anything else is an error, never skipped.
class cDerReader {
public:
  cDerReader(const uint8_t* data, size_t length) : p_(data), end_(data + length) {}
  explicit cDerReader(const sDerItem& item) : p_(item.data), end_(item.data + item.length) {}
  // The next element; false at the end or on malformed input.
  bool Next(sDerItem* item);
  // The next element, which must have the given tag.
  bool Expect(uint8_t tag, sDerItem* item);
  bool AtEnd() const { return p_ == end_; }
  // The tag of the next element, 0 at the end.
  uint8_t PeekTag() const { return p_ < end_ ? *p_ : 0; }

private:
  const uint8_t* p_;
  const uint8_t* end_;
};

// The signature algorithms of certificates that can be checked.
enum eCertSignature : int32_t {
  kCertSigUnsupported = 0,
  kCertSigRsaSha256,
  kCertSigRsaSha384,
  kCertSigRsaSha512,
};

struct sX509Certificate {
  // The whole encoding and the signed part.
  const uint8_t* der = nullptr;
  size_t derLength = 0;
  const uint8_t* tbs = nullptr;
  size_t tbsLength = 0;
  int32_t signatureAlgorithm = kCertSigUnsupported;
  std::vector<uint8_t> signature;
  // The encoded Name elements, compared byte for byte.
  std::vector<uint8_t> issuer, subject;
  // Validity as seconds since 1970 (UTC).
  int64_t notBefore = 0, notAfter = 0;
  // The subject key when it is RSA (rsaEncryption); otherwise empty.
  sRsaPublicKey rsaKey;
  bool hasRsaKey = false;
  // basicConstraints: cA, and the path length limit (-1 none).
  bool isCa = false;
  int32_t pathLength = -1;
  // keyUsage bits (bit 0 digitalSignature ... bit 5 keyCertSign) when the
  // extension is present.
  bool hasKeyUsage = false;
  uint32_t keyUsage = 0;
  // extendedKeyUsage present, and whether it allows a TLS server.
  bool hasExtendedKeyUsage = false;
  bool serverAuth = false;
  // subjectAltName entries: dNSName texts and iPAddress bytes.
  std::vector<std::string> dnsNames;
  std::vector<std::vector<uint8_t>> ipAddresses;
  // A critical extension this reader does not know: the certificate cannot
  // be used.
  bool unknownCritical = false;
};

// Parses one certificate; the result points into data, which must outlive
// it. False on any malformed or non-DER encoding.
bool ParseX509(const uint8_t* data, size_t length, sX509Certificate* cert);

// UTCTime (YYMMDDHHMMSSZ) or GeneralizedTime (YYYYMMDDHHMMSSZ) as seconds
// since 1970; false for any other form.
bool ParseX509Time(const sDerItem& item, int64_t* seconds);

// True when the certificate names host: an IPv4 literal against its
// iPAddress entries, any other name against its dNSName entries without
// regard to ASCII case, a "*." entry standing for exactly one leftmost
// label. The subject's common name is not consulted.
bool X509MatchesHost(const sX509Certificate& cert, const char* host);

// True when signer's key made cert's signature.
bool X509SignedBy(const sX509Certificate& cert, const sX509Certificate& signer);

// Outcome of a chain check.
enum eChainResult : int32_t {
  kChainOk = 0,
  kChainMalformed,    // a certificate does not parse
  kChainUnsupported,  // an algorithm or key this client cannot check
  kChainUntrusted,    // no path to a trust anchor
  kChainExpired,      // outside its validity period
  kChainBadUsage,     // not allowed as a server or CA certificate
  kChainHostMismatch, // the leaf does not name the host
};

// Checks the server's certificates (leaf first, then the other
// certificates the server sent, in any order) at time now against the
// anchors (DER certificates): a path from the leaf through CA
// certificates to a certificate issued by, or equal to, an anchor, with
// every signature, validity period and usage checked, at most eight
// certificates long; then the leaf against host.
int32_t X509CheckChain(const std::vector<std::vector<uint8_t>>& certificates, const char* host, int64_t now,
                       const std::vector<std::vector<uint8_t>>& anchors);
