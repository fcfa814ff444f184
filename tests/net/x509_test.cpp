// Certificates and the chain check over fixtures made by
// tests/net/data/x509/make_certs.sh: a root, an intermediate limited to
// path length 0 and a server certificate for www.example.test,
// *.wild.example.test and 127.0.0.1, plus certificates that must fail.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "net/x509.h"
#include "tests/support/test_support.h"

namespace {

using tDer = std::vector<uint8_t>;

tDer Load(const std::string& name) {
  std::ifstream in(twtest::SourcePath("tests/net/data/x509/" + name + ".der"), std::ios::binary);
  EXPECT_TRUE(in.good()) << name;
  return tDer(std::istreambuf_iterator<char>(in), {});
}

sX509Certificate Parse(const tDer& der) {
  sX509Certificate cert;
  EXPECT_TRUE(ParseX509(der.data(), der.size(), &cert));
  return cert;
}

// A moment inside every fixture's validity period.
int64_t Now() {
  static const tDer leaf = Load("leaf");
  return Parse(leaf).notBefore + 86400;
}

TEST(X509, ServerCertificateFields) {
  const tDer der = Load("leaf");
  const sX509Certificate c = Parse(der);
  EXPECT_EQ(c.signatureAlgorithm, kCertSigRsaSha256);
  EXPECT_TRUE(c.hasRsaKey);
  EXPECT_EQ(c.rsaKey.Bits(), 2048);
  EXPECT_TRUE(c.rsaKey.Usable());
  EXPECT_FALSE(c.isCa);
  EXPECT_TRUE(c.hasExtendedKeyUsage && c.serverAuth);
  EXPECT_TRUE(c.hasKeyUsage);
  EXPECT_EQ(c.keyUsage, 0x5u);  // digitalSignature, keyEncipherment
  EXPECT_EQ(c.dnsNames, (std::vector<std::string>{"www.example.test", "*.wild.example.test"}));
  ASSERT_EQ(c.ipAddresses.size(), 1u);
  EXPECT_EQ(c.ipAddresses[0], (tDer{127, 0, 0, 1}));
  // 100 years: the end lies past 2049 and is a GeneralizedTime.
  EXPECT_GT(c.notAfter - c.notBefore, int64_t(36499) * 86400);
  EXPECT_FALSE(c.unknownCritical);
  const tDer interDer = Load("inter");
  const sX509Certificate inter = Parse(interDer);
  EXPECT_TRUE(inter.isCa);
  EXPECT_EQ(inter.pathLength, 0);
  EXPECT_EQ(inter.subject, c.issuer);
  EXPECT_TRUE(X509SignedBy(c, inter));
  EXPECT_FALSE(X509SignedBy(inter, c));
}

TEST(X509, TimesAreParsedAsUtc) {
  struct {
    uint8_t tag;
    const char* text;
    int64_t seconds;  // -1: refused
  } cases[] = {
      {0x17, "700101000000Z", 0},
      {0x17, "491231235959Z", 2524607999},  // two-digit years below 50 are 20xx
      {0x17, "500101000000Z", -631152000},
      {0x18, "20000229120000Z", 951825600},
      {0x18, "21260101000000Z", 4922899200},
      {0x17, "700101000000+0100", -1},
      {0x17, "7001010000Z", -1},
      {0x18, "20001301000000Z", -1},
      {0x17, "70010100000aZ", -1},
  };
  for (const auto& c : cases) {
    sDerItem item;
    item.tag = c.tag;
    item.data = reinterpret_cast<const uint8_t*>(c.text);
    item.length = std::string(c.text).size();
    int64_t seconds = 0;
    const bool ok = ParseX509Time(item, &seconds);
    EXPECT_EQ(ok, c.seconds != -1) << c.text;
    if (ok) {
      EXPECT_EQ(seconds, c.seconds) << c.text;
    }
  }
}

TEST(X509, HostNames) {
  const tDer der = Load("leaf");
  const sX509Certificate c = Parse(der);
  const struct {
    const char* host;
    bool match;
  } cases[] = {
      {"www.example.test", true},
      {"WWW.Example.TEST", true},
      {"www.example.test.", true},
      {"example.test", false},
      {"www.example.test.evil", false},
      {"wwww.example.test", false},
      {"a.wild.example.test", true},
      {"wild.example.test", false},      // the wildcard needs a label
      {"a.b.wild.example.test", false},  // and takes exactly one
      {"127.0.0.1", true},
      {"127.0.0.2", false},
      {"127.0.0.1.", false},
      {"", false},
  };
  for (const auto& h : cases) EXPECT_EQ(X509MatchesHost(c, h.host), h.match) << h.host;
}

TEST(X509, Chains) {
  const tDer root = Load("root"), inter = Load("inter"), leaf = Load("leaf");
  const std::vector<tDer> anchors = {Load("other_root"), root};
  const int64_t now = Now();
  const sX509Certificate leafCert = Parse(leaf);
  const struct {
    const char* what;
    std::vector<tDer> sent;
    const char* host;
    int64_t now;
    int32_t result;
  } cases[] = {
      {"leaf and intermediate", {leaf, inter}, "www.example.test", now, kChainOk},
      {"with the root sent too", {leaf, inter, root}, "www.example.test", now, kChainOk},
      {"root before intermediate", {leaf, root, inter}, "www.example.test", now, kChainOk},
      {"IP address", {leaf, inter}, "127.0.0.1", now, kChainOk},
      {"intermediate missing", {leaf}, "www.example.test", now, kChainUntrusted},
      {"another host", {leaf, inter}, "www.example.org", now, kChainHostMismatch},
      {"expired", {leaf, inter}, "www.example.test", leafCert.notAfter + 1, kChainExpired},
      {"not yet valid", {leaf, inter}, "www.example.test", leafCert.notBefore - 1, kChainExpired},
      {"from the other anchor", {Load("other_leaf")}, "www.example.test", now, kChainOk},
      {"issuer is no CA", {Load("notca_leaf"), Load("notca")}, "www.example.test", now, kChainUntrusted},
      {"path length exceeded", {Load("deep_leaf"), Load("inter2"), inter}, "www.example.test", now, kChainUntrusted},
      {"client certificate", {Load("client_leaf"), inter}, "www.example.test", now, kChainBadUsage},
      {"unknown critical extension", {Load("critical_leaf"), inter}, "www.example.test", now, kChainUnsupported},
      {"SHA-1 signature", {Load("sha1_leaf"), inter}, "www.example.test", now, kChainUnsupported},
      {"ECDSA key", {Load("ec_leaf"), inter}, "www.example.test", now, kChainUnsupported},
      {"not a certificate", {tDer{0x30, 0x03, 0x02, 0x01, 0x00}}, "www.example.test", now, kChainMalformed},
      {"nothing", {}, "www.example.test", now, kChainMalformed},
  };
  for (const auto& c : cases) EXPECT_EQ(X509CheckChain(c.sent, c.host, c.now, anchors), c.result) << c.what;
  // The other root is an anchor above; without it that leaf has no path.
  EXPECT_EQ(X509CheckChain({Load("other_leaf")}, "www.example.test", now, {root}), kChainUntrusted);
  // An anchor that is itself expired does not count.
  EXPECT_EQ(X509CheckChain({leaf, inter}, "www.example.test", Parse(root).notAfter + 1, {root}), kChainExpired);
}

TEST(X509, AnyFlippedSignatureOrSignedByteBreaksTheChain) {
  const tDer root = Load("root"), inter = Load("inter"), leaf = Load("leaf");
  const sX509Certificate c = Parse(leaf);
  const size_t tbsStart = static_cast<size_t>(c.tbs - c.der);
  // The last byte of the signature, and a byte of the public key inside the
  // signed part (neither changes the structure).
  const size_t positions[] = {leaf.size() - 1, tbsStart + c.tbsLength - 300};
  for (size_t at : positions) {
    tDer bad = leaf;
    bad[at] ^= 0x01;
    EXPECT_EQ(X509CheckChain({bad, inter}, "www.example.test", Now(), {root}), kChainUntrusted) << at;
  }
}

TEST(X509, DerReaderRefusesWhatIsNotDer) {
  const struct {
    const char* what;
    tDer bytes;
    bool ok;
  } cases[] = {
      {"short form", {0x04, 0x02, 0xaa, 0xbb}, true},
      {"long form", [] { tDer d = {0x04, 0x81, 0x80}; d.resize(3 + 0x80); return d; }(), true},
      {"long form for a short length", {0x04, 0x81, 0x02, 0xaa, 0xbb}, false},
      {"leading zero length byte", {0x04, 0x82, 0x00, 0x02, 0xaa, 0xbb}, false},
      {"indefinite length", {0x30, 0x80, 0x00, 0x00}, false},
      {"length past the end", {0x04, 0x05, 0xaa}, false},
      {"five length bytes", {0x04, 0x85, 0x01, 0x00, 0x00, 0x00, 0x00}, false},
      {"multi-byte tag", {0x1f, 0x81, 0x01, 0x00}, false},
      {"lone tag", {0x04}, false},
  };
  for (const auto& c : cases) {
    cDerReader r(c.bytes.data(), c.bytes.size());
    sDerItem item;
    EXPECT_EQ(r.Next(&item) && r.AtEnd(), c.ok) << c.what;
  }
}

TEST(X509, TruncatedCertificatesAreRefused) {
  const tDer leaf = Load("leaf");
  sX509Certificate c;
  for (size_t n = 0; n < leaf.size(); n += 13) EXPECT_FALSE(ParseX509(leaf.data(), n, &c)) << n;
  tDer longer = leaf;
  longer.push_back(0);
  EXPECT_FALSE(ParseX509(longer.data(), longer.size(), &c));
}

}  // namespace
