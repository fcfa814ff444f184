// cHttpTransport: executes one cHttpRequest over a new TCP connection and
// reads the answer into a cHttpResponse, synchronously on the calling
// thread. A transport holds no connection between requests: every Execute
// connects, sends, reads and closes, so one transport serves a request and
// its redirect in turn.
//
// TLS ("https://") is not part of this build: a request that wants it fails
// at the handshake step of Connect (the connection is closed, code 1), and
// nothing is ever sent in clear to a TLS address. Send and Receive carry
// plain bytes in TLS state 0, the only state there is so far;
// CheckCertificate and CheckCertificateVerify are the hooks a handshake
// will ask (the base versions accept).
#pragma once

#include <cstdint>

#include "base/guardchar.h"
#include "net/http_request.h"
#include "net/http_response.h"
#include "net/tcp_socket.h"

class cHttpTransport : public cTCPClient {
public:
  // The receive time-out while the answer is read.
  static constexpr sSocketTimeout kResponseTimeout{30, 0};
  enum : int32_t { kTlsNone = 0, kTls12 = 1, kTls13 = 2 };

  cHttpTransport() = default;
  ~cHttpTransport() override;

  // In TLS state 0 the socket's own send and receive.
  uint32_t Send(const void* data, uint32_t length) override;
  uint32_t Receive(void* buffer, uint32_t length, const sSocketTimeout* timeout) override;
  // The TCP connect, then, when the request wanted TLS, the handshake under
  // the current receive time-out; a failed handshake closes the socket.
  bool Connect(const uint8_t address[4], uint16_t port, uint32_t timeoutMs) override;
  // Given a handshake message body: true accepts (the base versions accept
  // without looking); false fails the handshake.
  virtual bool CheckCertificate(const uint8_t* body, uint32_t length);
  virtual bool CheckCertificateVerify(const uint8_t* body, uint32_t length);

  // One request, start to end:
  //  1. fails when the request has no host or Build gives no text;
  //  2. closes any connection still open, remembers the host name and
  //     whether TLS is wanted;
  //  3. ConnectTo(host, port) (20 s connect time-out);
  //  4. receive time-out kResponseTimeout; sends the whole request text
  //     (a send that takes nothing fails);
  //  5. cHttpResponse::Read over the connection as a cSocketIO stream.
  // Every path closes the connection before returning. True when Read
  // succeeded; LastError() tells a socket-level cause.
  bool Execute(cHttpRequest& request, cHttpResponse& response);

  // Exactly n bytes straight from the socket (never through TLS), in
  // receives of at most 1024 bytes with the receive time-out. The count
  // read; less than n on failure, with the code of cTCPSocket::Receive.
  uint32_t ReceiveRaw(void* buffer, uint32_t n);

  const char* HostName() const { return hostName_.text; }
  int32_t TlsState() const { return tlsState_; }
  uint16_t CipherSuite() const { return cipherSuite_; }

private:
  // The TLS handshake; none exists in this build, so it fails.
  bool Handshake();

  _guardchar<char> hostName_;
  int32_t tlsState_ = kTlsNone;
  uint8_t tlsWanted_ = 0;
  uint16_t cipherSuite_ = 0xFFFF;
};
