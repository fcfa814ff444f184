// The TLS client against `openssl s_server` on loopback (tests/net/
// tls_server.py makes a throwaway CA and server certificate at run time
// and the test trusts that CA): whole downloads over TLS 1.3 with both
// suites, with and without the middlebox ChangeCipherSpec, and over TLS 1.2
// with both CBC suites, through cHttpTransport::Execute; and the servers
// the client must refuse before any data is read.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "base/guardchar.h"
#include "base/process.h"
#include "base/strings.h"
#include "crypto/sha.h"
#include "net/http_transport.h"
#include "tests/support/trust_anchor.h"

namespace {

class NetEnv : public ::testing::Environment {
public:
  void SetUp() override { ASSERT_TRUE(StartSocketLibrary()); }
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new NetEnv);

// One s_server for naccept connections, with the given extra options.
class TlsServer {
public:
  TlsServer(int naccept, const std::string& options) {
    const char* source = std::getenv("TW_SOURCE_DIR");
    const char* binary = std::getenv("TW_BINARY_DIR");
    if (source == nullptr) throw std::runtime_error("TW_SOURCE_DIR is not set");
    static int serial = 0;
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    unixPortFile_ = std::string(binary != nullptr ? binary : "/tmp") + "/tls-server-" + std::to_string(now) + "-" +
                    std::to_string(serial++) + ".port";
#ifdef _WIN32
    const std::string python = "/usr/bin/python3";
    portFile_ = "Z:" + unixPortFile_;
#else
    const std::string python = "python3";
    portFile_ = unixPortFile_;
#endif
    const std::string command = python + " " + source + "/tests/net/tls_server.py " + unixPortFile_ + " " +
                                std::to_string(naccept) + " 600 " + options;
    _guardchar<char16_t> wide;
    Utf8ToWide(-1, command.c_str(), wide);
    if (!RunCommandLine(wide.text)) throw std::runtime_error("cannot start " + command);
    // Key generation and Python may be slow on a loaded machine.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(180);
    while (std::chrono::steady_clock::now() < deadline) {
      std::ifstream f(portFile_);
      if (f >> port_) {
        // The CA file is in place before the port file.
        std::ifstream ca(portFile_ + ".ca", std::ios::binary);
        const std::string der((std::istreambuf_iterator<char>(ca)), {});
        if (der.empty() || !twtest::TrustTestAnchor(reinterpret_cast<const uint8_t*>(der.data()), der.size()))
          throw std::runtime_error("cannot trust the test CA");
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    throw std::runtime_error("the TLS test server did not start: " + command);
  }
  ~TlsServer() {
    std::error_code ec;
    std::filesystem::remove(portFile_, ec);
  }
  // The certificate names localhost and 127.0.0.1; the name is the one
  // every chain engine matches.
  std::string Url(const std::string& path) const { return "https://localhost:" + std::to_string(port_) + path; }

private:
  std::string unixPortFile_, portFile_;
  int port_ = 0;
};

class Hasher : public cHttpResponse {
public:
  Hasher() { Sha256Init(&sha); }
  bool OnData(const char* data, uint32_t length, uint64_t offset) override {
    if (offset != size) gap = true;
    Sha256Update(&sha, data, length);
    size += length;
    return true;
  }
  bool OnHeaders() override {
    headers = true;
    return true;
  }
  sSha256Ctx sha;
  uint64_t size = 0;
  bool gap = false;
  bool headers = false;
};

std::string PatternSha256(size_t n) {
  std::string pattern(n, '\0');
  for (size_t i = 0; i < n; ++i) pattern[i] = static_cast<char>((i ^ (i >> 8)) & 0xFF);
  uint8_t digest[32];
  Sha256(digest, pattern.data(), static_cast<int64_t>(n));
  return std::string(reinterpret_cast<char*>(digest), 32);
}

TEST(TlsLive, DownloadsAMebibyteWithEachSuite) {
  const struct {
    const char* options;
    uint16_t suite;
  } cases[] = {
      {"-tls1_3 -ciphersuites TLS_AES_128_GCM_SHA256", 0x1301},
      {"-tls1_3 -ciphersuites TLS_AES_256_GCM_SHA384", 0x1302},
      // Without the middlebox-compatibility ChangeCipherSpec.
      {"-tls1_3 -ciphersuites TLS_AES_128_GCM_SHA256 -no_middlebox", 0x1301},
      {"-tls1_2 -cipher ECDHE-RSA-AES128-SHA", 0xC013},
      {"-tls1_2 -cipher ECDHE-RSA-AES256-SHA", 0xC014},
  };
  for (const auto& c : cases) {
    TlsServer server(1, c.options);
    cHttpRequest request(server.Url("/big.bin").c_str());
    cHttpTransport transport;
    Hasher h;
    EXPECT_TRUE(transport.Execute(request, h)) << c.options << " error " << transport.LastError();
    EXPECT_EQ(transport.TlsState(), (c.suite >> 8) == 0x13 ? cHttpTransport::kTls13 : cHttpTransport::kTls12)
        << c.options;
    EXPECT_EQ(transport.CipherSuite(), c.suite) << c.options;
    EXPECT_FALSE(h.gap);
    EXPECT_EQ(h.size, 1u << 20) << c.options;
    uint8_t digest[32];
    Sha256Final(&h.sha, digest);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(digest), 32), PatternSha256(1 << 20)) << c.options;
  }
}

// Each server the client must not talk to: the handshake fails with its
// own code and no part of the answer is read.
TEST(TlsLive, RefusedServers) {
  const struct {
    const char* options;
    int32_t error;  // 0: any failure
  } cases[] = {
      {"--cert other-ca -tls1_3", kTlsCertificateUntrusted},
      {"--cert other-ca -tls1_2", kTlsCertificateUntrusted},
      {"--cert expired -tls1_3", kTlsCertificateExpired},
      {"--cert wrong-host -tls1_3", kTlsHostMismatch},
      {"--cert wrong-host -tls1_2", kTlsHostMismatch},
      {"--flip-ske -tls1_2 -cipher ECDHE-RSA-AES128-SHA", kTlsBadSignature},
      // No key exchange or signature this client offers.
      {"--cert ecdsa", 0},
      {"-groups P-256", 0},
      {"-tls1_2 -groups P-256", 0},
  };
  for (const auto& c : cases) {
    TlsServer server(1, c.options);
    cHttpRequest request(server.Url("/hello.txt").c_str());
    cHttpTransport transport;
    Hasher h;
    EXPECT_FALSE(transport.Execute(request, h)) << c.options;
    if (c.error != 0) {
      EXPECT_EQ(transport.LastError(), c.error) << c.options;
    } else {
      EXPECT_NE(transport.LastError(), kSocketOk) << c.options;
    }
    EXPECT_EQ(transport.TlsState(), cHttpTransport::kTlsNone) << c.options;
    EXPECT_FALSE(h.headers) << c.options;
    EXPECT_EQ(h.size, 0u) << c.options;
  }
}

}  // namespace
