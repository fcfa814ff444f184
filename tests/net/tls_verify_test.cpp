// The handshake-signature hooks of cHttpTransport with signatures made by
// the openssl tool: TLS 1.3 CertificateVerify (rsa_pss_rsae only) and the
// TLS 1.2 ServerKeyExchange (PKCS#1 v1.5 or PSS) accept the right signature
// and refuse any changed byte, another scheme, a wrong length, and any
// signature before a certificate was accepted. And the Certificate message
// list in both versions' forms.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "net/http_transport.h"
#include "net/tls_trust.h"

namespace {

using tBytes = std::vector<uint8_t>;

tBytes Unhex(const std::string& hex) {
  tBytes out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

// Made with the openssl tool and the 2048-bit key of tests/crypto/data/rsa-signatures.txt.
const char* kModulus =
    "baba77a10e77d6e8816137d26d404abe6323d3bb680278fe379f46132f205136117a157d4db00b6dc87799361bc6120d661be4bf597e94a5"
    "0c1822fab3dfcfca03e108ad8c284740473e17fbbffe73cb5b539a1eb9b0fadac0137109d00f7bdc00d709515de1dcdd342d36d52ddfc4c5"
    "f6ca9d14f230ba6cfdd77fdc9ec55c71010c67154203ca62acb9895d587bd646e07a3d350f05476d6a1f55a7f3cd280cbce7d24d6ee78913"
    "4f4e1255a6d44d6f1dc5622487e51c770fc6b8de99594798ddcf5f49ced503b7e419d30f89add0657c5a959245d142914586582a76e0b05e"
    "5b4a8d8e946ec0de90da4fbb6bb63fc8c4423e2e02ebdb47bcdc36f3bddcd3f1";
const char* kCertificateVerifyPss256 =
    "b809677813f74c1880126f43436e108c3099eadd5e41a0b18bdeb2a1d787b88670fff1dc5475e3a31ea1f7af0778a4fe036c0c17083e30a3"
    "f87a0aef605b1044dc98259a20f4fb6ef87cfc6abf51de807a94491d21ab360612aa12a57ac55051768a0d0ae9a961f5a4055e3f143fdf0c"
    "54c46134415ef6d4d0d4254055e6406a4fdf652263e9dba35a13d0bb5544fe74b0ffda2cbad91cb2ef8a657c0e6ea6d20ce7f96f8c0d87be"
    "ea17064adb395d1db6388c35bc6c34bce71fa1f186daccd05027e02f71b32e92bfe891a38889f72158e40f63907fbbea9989ea3d95a567a3"
    "0cf9a042be5096a9d80c518165978d45d05586786650027df262b4f1f7c31daf";
const char* kKeyExchangePkcs1Sha256 =
    "4dd865643ec3a4b3cc9f0f0bbd1123522733ee57f0ad7630702433af056235d52981af138cd72b11d32cf9b6674e6001015d87adabac945b"
    "93c32c386b9579b15d4c5e0ac3a2a291d1074a198c375c525b3981fa7036241f7a8c35998cd128eac7e7e0e80187571b66d8c2314054e975"
    "33b9ce8ea70bfb3509748d4a4565a2d26832ec8f6a91fa1654266679c7a7dbf3d3e99049aa2330542453b56281f1693bfb616cdaf21a0b28"
    "1afa8a7bb8595edb49d47fae388ed0d142a723caa89d54f9e6035d8b9d2fadb3e9d9f4b4fe2f6e593a81b87f8238f710b678a684b8c066f0"
    "abd07efdd03f85100731466d392f5f8071af2e6b859d2c5f0b8d048ff5677e50";
const char* kKeyExchangePss384 =
    "05075d2b49d50335daa1b78ac092fbe00620e59c5e5e5c33e7124f745b324823e74d0a64b2b7747d6610ef03c197b8968b5d347a30818799"
    "a6707ff5abbbbae41902ab2fc02a1ea075bdbfefdd6981bccc0bb6977b63c2106e36ac0d21e019a45d4d79c4b0f0e7894a6058a06f8f5d60"
    "36a9a5d740ae778dca5714478e136c82c8ab03c8670be79039425fe32b1a90653f68763f4739a4cf5467cd69f581900cda405b83455647c4"
    "dd0795c425a065ebafb5707a8198b244fe5dc02dbaff10f655e0848a62ef5c9da02359ad01a4094034451981561111185de2a93b9d0e240b"
    "7374f45b0fd84098f742f9d33e5760cdb3b67591dee8a17972907c7bb837f22e";

// The hooks with the state a handshake would have left: the leaf's key,
// the transcript hash 00 01 .. 1f, client random 11.., server random 22...
class cPrimedTransport : public cHttpTransport {
public:
  explicit cPrimedTransport(bool withKey) {
    if (withKey) {
      serverKey_.modulus = Unhex(kModulus);
      serverKey_.exponent = {1, 0, 1};
    }
    for (int i = 0; i < 32; ++i) transcriptHash_[i] = static_cast<uint8_t>(i);
    transcriptHashLength_ = 32;
    std::memset(clientRandom_, 0x11, 32);
    std::memset(serverRandom_, 0x22, 32);
  }
  void ChangeTranscript() { transcriptHash_[31] ^= 1; }
};

tBytes SignedMessage(uint16_t scheme, const tBytes& signature, const tBytes& before = {}) {
  tBytes m = before;
  m.push_back(static_cast<uint8_t>(scheme >> 8));
  m.push_back(static_cast<uint8_t>(scheme));
  m.push_back(static_cast<uint8_t>(signature.size() >> 8));
  m.push_back(static_cast<uint8_t>(signature.size()));
  m.insert(m.end(), signature.begin(), signature.end());
  return m;
}

tBytes KeyExchangeParams() {
  tBytes p = {3, 0x00, 0x1d, 32};
  p.insert(p.end(), 32, 0x33);
  return p;
}

TEST(TlsVerify, CertificateVerify) {
  const tBytes sig = Unhex(kCertificateVerifyPss256);
  const auto check = [](const tBytes& m, bool withKey = true) {
    cPrimedTransport t(withKey);
    return t.CheckCertificateVerify(m.data(), static_cast<uint32_t>(m.size()));
  };
  EXPECT_TRUE(check(SignedMessage(0x0804, sig)));
  EXPECT_FALSE(check(SignedMessage(0x0804, sig), false)) << "no certificate accepted";
  EXPECT_FALSE(check(SignedMessage(0x0805, sig))) << "claims SHA-384";
  EXPECT_FALSE(check(SignedMessage(0x0401, sig))) << "PKCS#1 v1.5 is not allowed in TLS 1.3";
  EXPECT_FALSE(check(SignedMessage(0x0403, sig))) << "ECDSA";
  for (size_t i : {size_t(0), size_t(100), sig.size() - 1}) {
    tBytes bad = sig;
    bad[i] ^= 0x04;
    EXPECT_FALSE(check(SignedMessage(0x0804, bad))) << "byte " << i;
  }
  tBytes m = SignedMessage(0x0804, sig);
  m.push_back(0);
  EXPECT_FALSE(check(m)) << "a byte after the signature";
  m.resize(m.size() - 2);
  EXPECT_FALSE(check(m)) << "a byte short";
  EXPECT_FALSE(check(tBytes{0x08, 0x04, 0x00})) << "no length";
  // Another transcript: the same signature no longer matches.
  cPrimedTransport other(true);
  other.ChangeTranscript();
  const tBytes good = SignedMessage(0x0804, sig);
  EXPECT_FALSE(other.CheckCertificateVerify(good.data(), static_cast<uint32_t>(good.size())));
}

TEST(TlsVerify, ServerKeyExchange) {
  const auto check = [](const tBytes& m, bool withKey = true) {
    cPrimedTransport t(withKey);
    return t.CheckServerKeyExchange(m.data(), static_cast<uint32_t>(m.size()));
  };
  const tBytes pkcs1 = Unhex(kKeyExchangePkcs1Sha256), pss = Unhex(kKeyExchangePss384);
  EXPECT_TRUE(check(SignedMessage(0x0401, pkcs1, KeyExchangeParams())));
  EXPECT_TRUE(check(SignedMessage(0x0805, pss, KeyExchangeParams())));
  EXPECT_FALSE(check(SignedMessage(0x0401, pkcs1, KeyExchangeParams()), false)) << "no certificate accepted";
  EXPECT_FALSE(check(SignedMessage(0x0804, pkcs1, KeyExchangeParams()))) << "another scheme";
  EXPECT_FALSE(check(SignedMessage(0x0501, pkcs1, KeyExchangeParams()))) << "another hash";
  EXPECT_FALSE(check(SignedMessage(0x0201, pkcs1, KeyExchangeParams()))) << "SHA-1";
  // The signature covers the server's key: a changed key byte fails.
  tBytes params = KeyExchangeParams();
  params[10] ^= 1;
  EXPECT_FALSE(check(SignedMessage(0x0401, pkcs1, params)));
  tBytes bad = pkcs1;
  bad[bad.size() / 2] ^= 0x80;
  EXPECT_FALSE(check(SignedMessage(0x0401, bad, KeyExchangeParams())));
  tBytes cut = SignedMessage(0x0401, pkcs1, KeyExchangeParams());
  cut.pop_back();
  EXPECT_FALSE(check(cut));
}

TEST(TlsVerify, CertificateLists) {
  const struct {
    const char* what;
    bool tls13;
    tBytes body;
    std::vector<tBytes> certificates;  // empty: refused
  } cases[] = {
      {"1.2 two", false, {0, 0, 9, 0, 0, 2, 0xaa, 0xbb, 0, 0, 1, 0xcc}, {{0xaa, 0xbb}, {0xcc}}},
      {"1.3 two with extensions", true,
       {0, 0, 0, 14, 0, 0, 1, 0xaa, 0, 2, 0xe1, 0xe2, 0, 0, 1, 0xcc, 0, 0},
       {{0xaa}, {0xcc}}},
      {"1.2 empty list", false, {0, 0, 0}, {}},
      {"1.2 empty certificate", false, {0, 0, 3, 0, 0, 0}, {}},
      {"1.2 list length too long", false, {0, 0, 6, 0, 0, 2, 0xaa, 0xbb}, {}},
      {"1.2 certificate past the end", false, {0, 0, 5, 0, 0, 3, 0xaa, 0xbb}, {}},
      {"1.3 request context", true, {1, 7, 0, 0, 6, 0, 0, 1, 0xaa, 0, 0}, {}},
      {"1.3 extensions past the end", true, {0, 0, 0, 6, 0, 0, 1, 0xaa, 0, 5}, {}},
      {"1.3 read as 1.2", false, {0, 0, 0, 6, 0, 0, 1, 0xaa, 0, 0}, {}},
  };
  for (const auto& c : cases) {
    std::vector<tBytes> out;
    const bool ok = ParseTlsCertificateList(c.body.data(), static_cast<uint32_t>(c.body.size()), c.tls13, &out);
    EXPECT_EQ(ok, !c.certificates.empty()) << c.what;
    if (ok) {
      EXPECT_EQ(out, c.certificates) << c.what;
    }
  }
}

}  // namespace
