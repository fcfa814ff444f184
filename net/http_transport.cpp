// See net/http_transport.h.
#include "net/http_transport.h"

#include "base/buffers.h"
#include "net/socket_io.h"

cHttpTransport::~cHttpTransport() { Close(); }

uint32_t cHttpTransport::Send(const void* data, uint32_t length) {
  if (tlsState_ != kTlsNone) return SendTls(data, length);
  return SendAll(data, length);
}

uint32_t cHttpTransport::Receive(void* buffer, uint32_t length, const sSocketTimeout* timeout) {
  if (tlsState_ != kTlsNone) return ReceiveTls(buffer, length);
  return ReceivePlain(buffer, length, timeout);
}

void cHttpTransport::UseWire(cTCPSocket* wire, const char* host) {
  wire_ = wire;
  hostName_.Assign(host);
  tlsState_ = kTlsNone;
  cipherSuite_ = 0xFFFF;
  leftover_.clear();
  leftoverPos_ = 0;
  headerPending_ = false;
  tlsError_ = 0;
}

uint32_t cHttpTransport::SendAll(const void* data, uint32_t length) {
  if (wire_ == nullptr) return cTCPSocket::Send(data, length);
  const uint32_t n = wire_->Send(data, length);
  SetLastError(wire_->LastError());
  return n;
}

uint32_t cHttpTransport::ReceivePlain(void* buffer, uint32_t length, const sSocketTimeout* timeout) {
  if (wire_ == nullptr) return cTCPSocket::Receive(buffer, length, timeout);
  const uint32_t n = wire_->Receive(buffer, length, timeout);
  SetLastError(wire_->LastError());
  return n;
}

bool cHttpTransport::Connect(const uint8_t address[4], uint16_t port, uint32_t timeoutMs) {
  tlsState_ = kTlsNone;
  cipherSuite_ = 0xFFFF;
  leftover_.clear();
  leftoverPos_ = 0;
  headerPending_ = false;
  if (!cTCPClient::Connect(address, port, timeoutMs)) return false;
  tlsError_ = 0;
  if (tlsWanted_ && !Handshake()) {
    Close();
    SetLastError(tlsError_ != 0 ? tlsError_ : kSocketCallFailed);
    return false;
  }
  return true;
}

uint32_t cHttpTransport::ReceiveRaw(void* buffer, uint32_t n) {
  auto* out = static_cast<char*>(buffer);
  uint32_t done = 0;
  while (done < n) {
    const uint32_t want = n - done < kReadExactPiece ? n - done : kReadExactPiece;
    const uint32_t got = ReceivePlain(out + done, want, nullptr);
    if (got == 0) break;
    done += got;
  }
  return done;
}

bool cHttpTransport::Execute(cHttpRequest& request, cHttpResponse& response) {
  if (request.host.text == nullptr || request.host.text[0] == '\0') return false;
  _typebuf<char> text;
  if (!request.Build(text) || text.count <= 0) return false;
  Close();
  hostName_.Assign(request.host.text);
  tlsWanted_ = request.tls;
  if (request.port < 1 || request.port > 65535) return false;
  if (!ConnectTo(request.host.text, static_cast<uint16_t>(request.port))) return false;
  SetReceiveTimeout(kResponseTimeout);
  int32_t sent = 0;
  while (sent < text.count) {
    const uint32_t n = Send(text.data + sent, static_cast<uint32_t>(text.count - sent));
    if (n == 0) {
      Close();
      return false;
    }
    sent += static_cast<int32_t>(n);
  }
  cSocketIO io(this);
  if (!io.IsOpen()) {
    Close();
    return false;
  }
  const bool ok = response.Read(&io);
  Close();
  return ok;
}
