// See net/x509.h.
#include "net/x509.h"

#include <cstring>

namespace {

const uint8_t kOidRsaEncryption[] = {0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x01, 0x01};
const uint8_t kOidSha256Rsa[] = {0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x01, 0x0b};
const uint8_t kOidSha384Rsa[] = {0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x01, 0x0c};
const uint8_t kOidSha512Rsa[] = {0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x01, 0x0d};
const uint8_t kOidBasicConstraints[] = {0x55, 0x1d, 0x13};
const uint8_t kOidKeyUsage[] = {0x55, 0x1d, 0x0f};
const uint8_t kOidExtKeyUsage[] = {0x55, 0x1d, 0x25};
const uint8_t kOidSubjectAltName[] = {0x55, 0x1d, 0x11};
const uint8_t kOidServerAuth[] = {0x2b, 0x06, 0x01, 0x05, 0x05, 0x07, 0x03, 0x01};
const uint8_t kOidAnyExtendedKeyUsage[] = {0x55, 0x1d, 0x25, 0x00};

enum : uint8_t {
  kTagBoolean = 0x01,
  kTagInteger = 0x02,
  kTagBitString = 0x03,
  kTagOctetString = 0x04,
  kTagNull = 0x05,
  kTagOid = 0x06,
  kTagUtcTime = 0x17,
  kTagGeneralizedTime = 0x18,
  kTagSequence = 0x30,
};

template <size_t N>
bool IsOid(const sDerItem& item, const uint8_t (&oid)[N]) {
  return item.tag == kTagOid && item.length == N && std::memcmp(item.data, oid, N) == 0;
}

// AlgorithmIdentifier of a certificate signature: the OID, then NULL or
// nothing.
int32_t SignatureAlgorithm(const sDerItem& algorithm) {
  cDerReader r(algorithm);
  sDerItem oid, params;
  if (!r.Expect(kTagOid, &oid)) return kCertSigUnsupported;
  if (!r.AtEnd() && (!r.Expect(kTagNull, &params) || params.length != 0 || !r.AtEnd())) return kCertSigUnsupported;
  if (IsOid(oid, kOidSha256Rsa)) return kCertSigRsaSha256;
  if (IsOid(oid, kOidSha384Rsa)) return kCertSigRsaSha384;
  if (IsOid(oid, kOidSha512Rsa)) return kCertSigRsaSha512;
  return kCertSigUnsupported;
}

// A non-negative INTEGER as big-endian bytes without leading zeros.
bool UnsignedInteger(const sDerItem& item, std::vector<uint8_t>* out) {
  if (item.tag != kTagInteger || item.length == 0 || (item.data[0] & 0x80) != 0) return false;
  // DER: a leading zero only before a byte with its top bit set.
  if (item.length > 1 && item.data[0] == 0 && (item.data[1] & 0x80) == 0) return false;
  size_t skip = item.data[0] == 0 ? 1 : 0;
  out->assign(item.data + skip, item.data + item.length);
  return true;
}

// The contents of a BIT STRING without unused bits.
bool WholeBytes(const sDerItem& item, const uint8_t** data, size_t* length) {
  if (item.tag != kTagBitString || item.length < 1 || item.data[0] != 0) return false;
  *data = item.data + 1;
  *length = item.length - 1;
  return true;
}

bool ParseKey(const sDerItem& spki, sX509Certificate* cert) {
  cDerReader r(spki);
  sDerItem algorithm, key;
  if (!r.Expect(kTagSequence, &algorithm) || !r.Expect(kTagBitString, &key) || !r.AtEnd()) return false;
  cDerReader a(algorithm);
  sDerItem oid, params;
  if (!a.Expect(kTagOid, &oid)) return false;
  if (!IsOid(oid, kOidRsaEncryption)) return true;  // another kind of key: parsed, not usable
  if (!a.Expect(kTagNull, &params) || params.length != 0 || !a.AtEnd()) return false;
  const uint8_t* bits;
  size_t n;
  if (!WholeBytes(key, &bits, &n)) return false;
  cDerReader outer(bits, n);
  sDerItem seq, modulus, exponent;
  if (!outer.Expect(kTagSequence, &seq) || !outer.AtEnd()) return false;
  cDerReader k(seq);
  if (!k.Expect(kTagInteger, &modulus) || !k.Expect(kTagInteger, &exponent) || !k.AtEnd()) return false;
  if (!UnsignedInteger(modulus, &cert->rsaKey.modulus) || !UnsignedInteger(exponent, &cert->rsaKey.exponent))
    return false;
  cert->hasRsaKey = true;
  return true;
}

bool ParseExtension(const sDerItem& ext, sX509Certificate* cert) {
  cDerReader r(ext);
  sDerItem oid, critical, value;
  if (!r.Expect(kTagOid, &oid)) return false;
  bool isCritical = false;
  if (r.PeekTag() == kTagBoolean) {
    // DER leaves a FALSE default out, so a present value must be TRUE.
    if (!r.Next(&critical) || critical.length != 1 || critical.data[0] != 0xff) return false;
    isCritical = true;
  }
  if (!r.Expect(kTagOctetString, &value) || !r.AtEnd()) return false;
  cDerReader v(value);
  sDerItem inner;
  if (IsOid(oid, kOidBasicConstraints)) {
    if (!v.Expect(kTagSequence, &inner) || !v.AtEnd()) return false;
    cDerReader b(inner);
    sDerItem item;
    if (b.PeekTag() == kTagBoolean) {
      if (!b.Next(&item) || item.length != 1 || item.data[0] != 0xff) return false;
      cert->isCa = true;
    }
    if (b.PeekTag() == kTagInteger) {
      std::vector<uint8_t> limit;
      if (!b.Next(&item) || !UnsignedInteger(item, &limit) || limit.size() > 1) return false;
      cert->pathLength = limit.empty() ? 0 : limit[0];
    }
    return b.AtEnd();
  }
  if (IsOid(oid, kOidKeyUsage)) {
    const uint8_t* bits;
    if (!v.Expect(kTagBitString, &inner) || !v.AtEnd() || inner.length < 2 || inner.data[0] > 7) return false;
    bits = inner.data + 1;
    cert->hasKeyUsage = true;
    for (uint32_t i = 0; i < 16 && i / 8 < inner.length - 1; ++i)
      if (bits[i / 8] & (0x80 >> (i % 8))) cert->keyUsage |= 1u << i;
    return true;
  }
  if (IsOid(oid, kOidExtKeyUsage)) {
    if (!v.Expect(kTagSequence, &inner) || !v.AtEnd()) return false;
    cert->hasExtendedKeyUsage = true;
    cDerReader e(inner);
    sDerItem purpose;
    while (!e.AtEnd()) {
      if (!e.Expect(kTagOid, &purpose)) return false;
      if (IsOid(purpose, kOidServerAuth) || IsOid(purpose, kOidAnyExtendedKeyUsage)) cert->serverAuth = true;
    }
    return true;
  }
  if (IsOid(oid, kOidSubjectAltName)) {
    if (!v.Expect(kTagSequence, &inner) || !v.AtEnd()) return false;
    cDerReader names(inner);
    sDerItem name;
    while (!names.AtEnd()) {
      if (!names.Next(&name)) return false;
      if (name.tag == 0x82) cert->dnsNames.emplace_back(reinterpret_cast<const char*>(name.data), name.length);
      if (name.tag == 0x87) cert->ipAddresses.emplace_back(name.data, name.data + name.length);
    }
    return true;
  }
  if (isCritical) cert->unknownCritical = true;
  return true;
}

int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

bool Digits(const uint8_t* p, int n, int64_t* value) {
  *value = 0;
  for (int i = 0; i < n; ++i) {
    if (p[i] < '0' || p[i] > '9') return false;
    *value = *value * 10 + (p[i] - '0');
  }
  return true;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameNoCase(const char* a, size_t an, const char* b, size_t bn) {
  if (an != bn) return false;
  for (size_t i = 0; i < an; ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

// "a.b.c.d" with each part 0..255 and no other characters.
bool ParseIpv4(const char* host, uint8_t out[4]) {
  int part = 0;
  int value = -1;
  for (const char* p = host;; ++p) {
    if (*p >= '0' && *p <= '9') {
      value = (value < 0 ? 0 : value * 10) + (*p - '0');
      if (value > 255) return false;
    } else if (*p == '.' || *p == '\0') {
      if (value < 0 || part > 3) return false;
      out[part++] = static_cast<uint8_t>(value);
      value = -1;
      if (*p == '\0') return part == 4;
    } else {
      return false;
    }
  }
}

}  // namespace

bool cDerReader::Next(sDerItem* item) {
  if (end_ - p_ < 2) return false;
  const uint8_t* start = p_;
  const uint8_t tag = p_[0];
  if ((tag & 0x1f) == 0x1f) return false;  // multi-byte tags: none in what is read here
  size_t length = p_[1];
  const uint8_t* q = p_ + 2;
  if (length & 0x80) {
    const size_t bytes = length & 0x7f;
    if (bytes == 0 || bytes > 4 || static_cast<size_t>(end_ - q) < bytes || q[0] == 0) return false;
    length = 0;
    for (size_t i = 0; i < bytes; ++i) length = length << 8 | q[i];
    q += bytes;
    if (length < 0x80) return false;  // the short form was required
  }
  if (static_cast<size_t>(end_ - q) < length) return false;
  item->tag = tag;
  item->data = q;
  item->length = length;
  item->whole = start;
  item->wholeLength = static_cast<size_t>(q + length - start);
  p_ = q + length;
  return true;
}

bool cDerReader::Expect(uint8_t tag, sDerItem* item) { return PeekTag() == tag && Next(item); }

bool ParseX509Time(const sDerItem& item, int64_t* seconds) {
  const uint8_t* p = item.data;
  int64_t year, month, day, hour, minute, second;
  if (item.tag == kTagUtcTime && item.length == 13) {
    if (!Digits(p, 2, &year)) return false;
    year += year < 50 ? 2000 : 1900;
    p += 2;
  } else if (item.tag == kTagGeneralizedTime && item.length == 15) {
    if (!Digits(p, 4, &year)) return false;
    p += 4;
  } else {
    return false;
  }
  if (!Digits(p, 2, &month) || !Digits(p + 2, 2, &day) || !Digits(p + 4, 2, &hour) || !Digits(p + 6, 2, &minute) ||
      !Digits(p + 8, 2, &second) || p[10] != 'Z')
    return false;
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) return false;
  *seconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
  return true;
}

bool ParseX509(const uint8_t* data, size_t length, sX509Certificate* cert) {
  *cert = sX509Certificate{};
  cDerReader top(data, length);
  sDerItem certificate, tbs, algorithm, signature;
  if (!top.Expect(kTagSequence, &certificate) || !top.AtEnd()) return false;
  cDerReader c(certificate);
  if (!c.Expect(kTagSequence, &tbs) || !c.Expect(kTagSequence, &algorithm) || !c.Expect(kTagBitString, &signature) ||
      !c.AtEnd())
    return false;
  cert->der = data;
  cert->derLength = length;
  cert->tbs = tbs.whole;
  cert->tbsLength = tbs.wholeLength;
  const uint8_t* sig;
  size_t sigLength;
  if (!WholeBytes(signature, &sig, &sigLength)) return false;
  cert->signature.assign(sig, sig + sigLength);

  cDerReader t(tbs);
  sDerItem item, innerAlgorithm, issuer, validity, subject, spki;
  if (t.PeekTag() == 0xa0) {
    // Only version 3 (value 2) carries extensions; 1 and 2 are refused.
    sDerItem version;
    if (!t.Next(&item)) return false;
    cDerReader v(item);
    if (!v.Expect(kTagInteger, &version) || !v.AtEnd() || version.length != 1 || version.data[0] != 2) return false;
  } else {
    return false;
  }
  if (!t.Expect(kTagInteger, &item) || !t.Expect(kTagSequence, &innerAlgorithm) || !t.Expect(kTagSequence, &issuer) ||
      !t.Expect(kTagSequence, &validity) || !t.Expect(kTagSequence, &subject) || !t.Expect(kTagSequence, &spki))
    return false;
  // The signed algorithm must be the one the signature claims.
  if (innerAlgorithm.wholeLength != algorithm.wholeLength ||
      std::memcmp(innerAlgorithm.whole, algorithm.whole, algorithm.wholeLength) != 0)
    return false;
  cert->signatureAlgorithm = SignatureAlgorithm(algorithm);
  cert->issuer.assign(issuer.whole, issuer.whole + issuer.wholeLength);
  cert->subject.assign(subject.whole, subject.whole + subject.wholeLength);
  cDerReader v(validity);
  sDerItem from, to;
  if (!v.Next(&from) || !v.Next(&to) || !v.AtEnd() || !ParseX509Time(from, &cert->notBefore) ||
      !ParseX509Time(to, &cert->notAfter))
    return false;
  if (!ParseKey(spki, cert)) return false;
  if (t.PeekTag() == 0x81 && !t.Next(&item)) return false;  // issuerUniqueID
  if (t.PeekTag() == 0x82 && !t.Next(&item)) return false;  // subjectUniqueID
  if (t.PeekTag() == 0xa3) {
    sDerItem wrapper, list, ext;
    if (!t.Next(&wrapper)) return false;
    cDerReader w(wrapper);
    if (!w.Expect(kTagSequence, &list) || !w.AtEnd() || list.length == 0) return false;
    cDerReader l(list);
    while (!l.AtEnd())
      if (!l.Expect(kTagSequence, &ext) || !ParseExtension(ext, cert)) return false;
  }
  return t.AtEnd();
}

bool X509MatchesHost(const sX509Certificate& cert, const char* host) {
  if (host == nullptr || host[0] == '\0') return false;
  uint8_t ip[4];
  if (ParseIpv4(host, ip)) {
    for (const auto& a : cert.ipAddresses)
      if (a.size() == 4 && std::memcmp(a.data(), ip, 4) == 0) return true;
    return false;
  }
  size_t n = std::strlen(host);
  if (host[n - 1] == '.') --n;  // an absolute name
  for (const std::string& name : cert.dnsNames) {
    if (name.empty() || name.find('\0') != std::string::npos) continue;
    if (name.size() > 2 && name[0] == '*' && name[1] == '.') {
      // The wildcard takes exactly the host's first label, never a dot,
      // and the rest must itself have two labels at least ("*.com" names
      // no one).
      const std::string rest = name.substr(1);  // ".example.com"
      if (rest.find('.', 1) == std::string::npos) continue;
      const char* dot = static_cast<const char*>(std::memchr(host, '.', n));
      if (dot == nullptr || dot == host) continue;
      if (SameNoCase(dot, n - static_cast<size_t>(dot - host), rest.data(), rest.size())) return true;
    } else if (SameNoCase(host, n, name.data(), name.size())) {
      return true;
    }
  }
  return false;
}

bool X509SignedBy(const sX509Certificate& cert, const sX509Certificate& signer) {
  if (!signer.hasRsaKey) return false;
  int32_t hash;
  switch (cert.signatureAlgorithm) {
    case kCertSigRsaSha256: hash = kRsaSha256; break;
    case kCertSigRsaSha384: hash = kRsaSha384; break;
    case kCertSigRsaSha512: hash = kRsaSha512; break;
    default: return false;
  }
  uint8_t digest[64];
  RsaHashBytes(hash, cert.tbs, cert.tbsLength, digest);
  return RsaVerifyPkcs1(signer.rsaKey, hash, digest, cert.signature.data(), cert.signature.size());
}

int32_t X509CheckChain(const std::vector<std::vector<uint8_t>>& certificates, const char* host, int64_t now,
                       const std::vector<std::vector<uint8_t>>& anchors) {
  if (certificates.empty()) return kChainMalformed;
  std::vector<sX509Certificate> sent(certificates.size());
  for (size_t i = 0; i < certificates.size(); ++i)
    if (!ParseX509(certificates[i].data(), certificates[i].size(), &sent[i])) return kChainMalformed;
  std::vector<sX509Certificate> roots;
  for (const auto& a : anchors) {
    sX509Certificate root;
    if (ParseX509(a.data(), a.size(), &root) && root.hasRsaKey && root.rsaKey.Usable()) roots.push_back(root);
  }

  const sX509Certificate& leaf = sent[0];
  if (leaf.unknownCritical) return kChainUnsupported;
  if (!leaf.hasRsaKey || !leaf.rsaKey.Usable()) return kChainUnsupported;
  if (now < leaf.notBefore || now > leaf.notAfter) return kChainExpired;
  if (leaf.hasExtendedKeyUsage && !leaf.serverAuth) return kChainBadUsage;
  if (leaf.hasKeyUsage && (leaf.keyUsage & 1) == 0) return kChainBadUsage;  // digitalSignature

  // Walk up from the leaf; each step must be signed by the next.
  const sX509Certificate* current = &leaf;
  std::vector<bool> used(sent.size(), false);
  used[0] = true;
  for (int depth = 0; depth < 8; ++depth) {
    for (const sX509Certificate& root : roots) {
      const bool same = root.derLength == current->derLength &&
                        std::memcmp(root.der, current->der, root.derLength) == 0;
      if (same || (root.subject == current->issuer && X509SignedBy(*current, root))) {
        if (now < root.notBefore || now > root.notAfter) return kChainExpired;
        return X509MatchesHost(leaf, host) ? kChainOk : kChainHostMismatch;
      }
    }
    if (current->signatureAlgorithm == kCertSigUnsupported) return kChainUnsupported;
    const sX509Certificate* next = nullptr;
    for (size_t i = 0; i < sent.size() && next == nullptr; ++i) {
      if (used[i] || sent[i].subject != current->issuer) continue;
      const sX509Certificate& ca = sent[i];
      if (!ca.isCa || (ca.hasKeyUsage && (ca.keyUsage & (1u << 5)) == 0) || ca.unknownCritical) continue;
      if (ca.pathLength >= 0 && ca.pathLength < depth) continue;  // depth CA certificates lie below it
      if (!ca.hasRsaKey || !ca.rsaKey.Usable() || !X509SignedBy(*current, ca)) continue;
      if (now < ca.notBefore || now > ca.notAfter) return kChainExpired;
      used[i] = true;
      next = &ca;
    }
    if (next == nullptr) return kChainUntrusted;
    current = next;
  }
  return kChainUntrusted;
}
