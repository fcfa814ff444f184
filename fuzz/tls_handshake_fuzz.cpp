// Fuzzes the TLS client's handshake reader (ServerHello, the TLS 1.2
// server flight with its certificate and key exchange, the TLS 1.3
// records) over a scripted connection. The last input byte chooses how the
// connection hands out the rest (bits 0-3: all at once or pieces of
// 1 << (n - 1) bytes) and whether the server is checked (bit 7 clear: the
// real certificate and signature checks, with no trusted root; set: hooks
// that accept, so the reader goes on past them). Properties: no fault; a
// handshake succeeds exactly when a session is set up; a session never
// hands out more than a request asks. (A failed handshake is followed by
// nothing: Connect closes the socket.)
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/http_transport.h"
#include "tests/support/scripted_socket.h"

namespace {

class cTrusting : public cHttpTransport {
public:
  bool CheckCertificate(const uint8_t*, uint32_t) override { return true; }
  bool CheckCertificateVerify(const uint8_t*, uint32_t) override { return true; }
  bool CheckServerKeyExchange(const uint8_t*, uint32_t) override { return true; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 70000) return 0;
  const uint8_t control = data[size - 1];
  const uint32_t shift = control & 15;
  const uint32_t piece = shift == 0 ? 0 : 1u << ((shift - 1) & 15);
  twtest::ScriptedSocket wire(std::string(reinterpret_cast<const char*>(data), size - 1), piece, kSocketClosed);
  cHttpTransport checked;
  cTrusting trusting;
  cHttpTransport& t = (control & 0x80) ? static_cast<cHttpTransport&>(trusting) : checked;
  t.UseWire(&wire, "www.example.test");
  const bool ok = t.Handshake();
  if (ok != (t.TlsState() != cHttpTransport::kTlsNone)) std::abort();
  if (!ok) return 0;
  char buffer[4096];
  for (int i = 0; i < 64; ++i) {
    const uint32_t n = t.Receive(buffer, sizeof buffer, nullptr);
    if (n > sizeof buffer) std::abort();
    if (n == 0) break;
  }
  return 0;
}
