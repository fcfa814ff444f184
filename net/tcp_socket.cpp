// Portable part of net/tcp_socket.h (see there); the system calls are in the
// platform files.
#include "net/tcp_socket.h"

#include "net/tcp_socket_internal.h"

namespace tw {

bool ParseDottedQuad(const char* name, uint8_t address[4]) {
  if (name == nullptr) return false;
  uint8_t bytes[4];
  const char* p = name;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (*p != '.') return false;
      ++p;
    }
    int value = 0;
    int digits = 0;
    // Three digits at most, so that neither a long run of zeros nor an
    // overflow can pass.
    while (*p >= '0' && *p <= '9') {
      if (++digits > 3) return false;
      value = value * 10 + (*p - '0');
      ++p;
    }
    if (digits == 0 || value > 255) return false;
    bytes[part] = static_cast<uint8_t>(value);
  }
  if (*p != '\0') return false;
  for (int i = 0; i < 4; ++i) address[i] = bytes[i];
  return true;
}

}  // namespace tw

bool ResolveIPv4(const char* name, uint8_t address[4]) {
  if (name == nullptr || *name == '\0') return false;
  if (tw::ParseDottedQuad(name, address)) return true;
  return tw::ResolveHostName(name, address);
}

uint32_t cTCPSocket::TimeoutMilliseconds(const sSocketTimeout& timeout) {
  const int64_t seconds = timeout.seconds > 0 ? timeout.seconds : 0;
  const int64_t micro = timeout.microseconds > 0 ? timeout.microseconds : 0;
  int64_t ms = seconds * 1000 + micro / 1000;
  // 0 would mean "wait forever" to the system: a short time-out must not
  // turn into none.
  if (ms == 0 && (seconds > 0 || micro > 0)) ms = 1;
  if (ms > 0x7FFFFFFF) ms = 0x7FFFFFFF;
  return static_cast<uint32_t>(ms);
}

uint32_t cTCPSocket::ReadExact(void* buffer, uint32_t length) {
  auto* out = static_cast<char*>(buffer);
  uint32_t done = 0;
  while (done < length) {
    const uint32_t want = length - done < kReadExactPiece ? length - done : kReadExactPiece;
    const uint32_t got = Receive(out + done, want, nullptr);
    if (got == 0) break;
    done += got;
  }
  return done;
}

bool cTCPClient::ConnectTo(const char* host, uint16_t port) {
  Close();
  uint8_t address[4];
  if (!ResolveIPv4(host, address)) {
    SetLastError(kSocketClosed);
    return false;
  }
  return Connect(address, port, kConnectTimeoutMs);
}
