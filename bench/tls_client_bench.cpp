// The TLS client against peers through the same loopback server
// (tests/net/tls_server.py, `openssl s_server -WWW`, started here with a
// throwaway CA that both sides trust): a 1 MiB download with cHttpTransport
// against curl, and a whole handshake (connect, verify, a 15-byte answer)
// against `openssl s_client`, each for TLS 1.3 (AES-128-GCM) and TLS 1.2
// (ECDHE-RSA-AES128-SHA). The two alternate in one process; the median of
// several runs of each gives the ratio printed (peer time / our time:
// above 1 is faster). The peers' times include starting their process, a
// few milliseconds.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "net/http_transport.h"
#include "net/tls_trust.h"

namespace {

std::string Base64(const std::string& in) {
  static const char* k = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < in.size(); i += 3) {
    uint32_t v = static_cast<uint8_t>(in[i]) << 16;
    if (i + 1 < in.size()) v |= static_cast<uint8_t>(in[i + 1]) << 8;
    if (i + 2 < in.size()) v |= static_cast<uint8_t>(in[i + 2]);
    out += k[v >> 18];
    out += k[(v >> 12) & 63];
    out += i + 1 < in.size() ? k[(v >> 6) & 63] : '=';
    out += i + 2 < in.size() ? k[v & 63] : '=';
    if (out.size() % 65 == 64) out += '\n';
  }
  return out;
}

// One server for the whole run.
class Server {
public:
  explicit Server(const std::string& options) {
    static int serial = 0;
    portFile_ = "/tmp/tw-tls-bench-" + std::to_string(::getpid()) + "-" + std::to_string(serial++) + ".port";
    const std::string command = "python3 " TW_SOURCE_ROOT "/tests/net/tls_server.py " + portFile_ +
                                " 100000 3600 " + options + " &";
    if (std::system(command.c_str()) != 0) std::abort();
    for (int i = 0; i < 3600 && port_ == 0; ++i) {
      std::ifstream f(portFile_);
      if (!(f >> port_)) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::ifstream ca(portFile_ + ".ca", std::ios::binary);
    const std::string der((std::istreambuf_iterator<char>(ca)), {});
    TlsAddTrustAnchor(reinterpret_cast<const uint8_t*>(der.data()), der.size());
    pem_ = portFile_ + ".pem";
    std::ofstream(pem_) << "-----BEGIN CERTIFICATE-----\n" << Base64(der) << "\n-----END CERTIFICATE-----\n";
  }
  ~Server() {
    std::error_code ec;
    std::filesystem::remove(portFile_, ec);
    std::filesystem::remove(pem_, ec);
  }
  std::string Url(const char* path) const { return "https://localhost:" + std::to_string(port_) + path; }
  int Port() const { return port_; }
  const std::string& Pem() const { return pem_; }

private:
  std::string portFile_, pem_;
  int port_ = 0;
};

class Counter : public cHttpResponse {
public:
  bool OnData(const char*, uint32_t length, uint64_t) override {
    bytes += length;
    return true;
  }
  uint64_t bytes = 0;
};

bool Ours(const Server& s, const char* path, uint64_t size) {
  cHttpRequest request(s.Url(path).c_str());
  cHttpTransport transport;
  Counter c;
  return transport.Execute(request, c) && c.bytes == size;
}

bool Curl(const Server& s, const char* path) {
  const std::string command = "curl --silent --fail --cacert " + s.Pem() + " --output /dev/null '" + s.Url(path) + "'";
  return std::system(command.c_str()) == 0;
}

bool SClient(const Server& s, const char* version) {
  const std::string command = "echo 'GET /hello.txt HTTP/1.0\r\n\r\n' | openssl s_client -quiet " + std::string(version) +
                              " -connect 127.0.0.1:" + std::to_string(s.Port()) +
                              " -servername localhost -verify_return_error -verify_hostname localhost -CAfile " +
                              s.Pem() + " > /dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

template <class A, class B>
void Compare(const char* what, const char* peerName, int runs, A peer, B ours) {
  std::vector<double> p, o;
  bool ok = peer() && ours();  // warm both
  for (int i = 0; i < runs; ++i) {
    auto t = std::chrono::steady_clock::now();
    ok &= peer();
    p.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count());
    t = std::chrono::steady_clock::now();
    ok &= ours();
    o.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count());
  }
  std::printf("%s: %s %.2f ms, cHttpTransport %.2f ms, ratio %.3f (median of %d)%s\n", what, peerName,
              Median(p) * 1e3, Median(o) * 1e3, Median(p) / Median(o), runs, ok ? "" : "  A RUN FAILED");
}

void CompareAll() {
  const struct {
    const char* name;
    const char* options;
    const char* sclient;
  } versions[] = {
      {"TLS 1.3 AES-128-GCM", "-tls1_3 -ciphersuites TLS_AES_128_GCM_SHA256", "-tls1_3"},
      {"TLS 1.2 ECDHE-RSA-AES128-SHA", "-tls1_2 -cipher ECDHE-RSA-AES128-SHA", "-tls1_2"},
  };
  for (const auto& v : versions) {
    Server s(v.options);
    Compare((std::string(v.name) + ", 1 MiB download").c_str(), "curl", 9, [&] { return Curl(s, "/big.bin"); },
            [&] { return Ours(s, "/big.bin", 1u << 20); });
    Compare((std::string(v.name) + ", handshake and a small answer").c_str(), "openssl s_client", 15,
            [&] { return SClient(s, v.sclient); }, [&] { return Ours(s, "/hello.txt", 15); });
  }
}

void BM_Tls13Download(benchmark::State& state) {
  static Server s("-tls1_3 -ciphersuites TLS_AES_128_GCM_SHA256");
  for (auto _ : state)
    if (!Ours(s, "/big.bin", 1u << 20)) state.SkipWithError("download failed");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) << 20);
}
BENCHMARK(BM_Tls13Download)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  CompareAll();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
