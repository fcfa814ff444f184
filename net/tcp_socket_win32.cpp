// Win32 side of net/tcp_socket.h: Windows Sockets 2. Only this file of the
// socket service includes winsock2.h. SOCKET handles are pointer-sized, so
// they are kept as intptr_t (INVALID_SOCKET is then -1).
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>
#include <mutex>

#include "net/tcp_socket.h"
#include "net/tcp_socket_internal.h"

namespace {

SOCKET Handle(tSocketHandle s) { return static_cast<SOCKET>(s); }

bool SetBlocking(SOCKET s, bool blocking) {
  u_long nonBlocking = blocking ? 0 : 1;
  return ioctlsocket(s, FIONBIO, &nonBlocking) == 0;
}

}  // namespace

bool StartSocketLibrary() {
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] {
    WSADATA data;
    started = WSAStartup(MAKEWORD(2, 0), &data) == 0;
  });
  return started;
}

namespace tw {

bool ResolveHostName(const char* name, uint8_t address[4]) {
  const hostent* h = gethostbyname(name);
  if (h == nullptr || h->h_addrtype != AF_INET || h->h_length != 4 || h->h_addr_list == nullptr ||
      h->h_addr_list[0] == nullptr)
    return false;
  std::memcpy(address, h->h_addr_list[0], 4);
  return true;
}

}  // namespace tw

cTCPSocket::~cTCPSocket() { Close(); }

void cTCPSocket::Close() {
  if (socket_ == kInvalidSocket) return;
  shutdown(Handle(socket_), SD_BOTH);
  closesocket(Handle(socket_));
  socket_ = kInvalidSocket;
}

uint32_t cTCPSocket::Send(const void* data, uint32_t length) {
  if (socket_ == kInvalidSocket) {
    lastError_ = kSocketClosed;
    return 0;
  }
  if (length > 0x7FFFFFFFu) length = 0x7FFFFFFFu;
  const int n = send(Handle(socket_), static_cast<const char*>(data), static_cast<int>(length), 0);
  if (n == SOCKET_ERROR) {
    lastError_ = kSocketCallFailed;
    return 0;
  }
  lastError_ = kSocketOk;
  return static_cast<uint32_t>(n);
}

uint32_t cTCPSocket::Receive(void* buffer, uint32_t length, const sSocketTimeout* timeout) {
  if (socket_ == kInvalidSocket) {
    lastError_ = kSocketClosed;
    return 0;
  }
  const DWORD ms = TimeoutMilliseconds(timeout != nullptr ? *timeout : receiveTimeout_);
  if (setsockopt(Handle(socket_), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms),
                 sizeof ms) != 0) {
    lastError_ = kSocketCallFailed;
    return 0;
  }
  if (length > 0x7FFFFFFFu) length = 0x7FFFFFFFu;
  const int n = recv(Handle(socket_), static_cast<char*>(buffer), static_cast<int>(length), 0);
  if (n > 0) {
    lastError_ = kSocketOk;
    return static_cast<uint32_t>(n);
  }
  if (n == 0) {
    lastError_ = length == 0 ? kSocketOk : kSocketClosed;
    return 0;
  }
  lastError_ = WSAGetLastError() == WSAETIMEDOUT ? kSocketTimedOut : kSocketCallFailed;
  return 0;
}

bool cTCPClient::Connect(const uint8_t address[4], uint16_t port, uint32_t timeoutMs) {
  Close();
  peer_ = sSocketAddress{};
  peer_.family = AF_INET;
  peer_.port = htons(port);
  std::memcpy(peer_.address, address, 4);

  const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) {
    lastError_ = kSocketCallFailed;
    return false;
  }
  socket_ = static_cast<tSocketHandle>(s);
  const BOOL one = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
  if (!SetBlocking(s, false)) {
    Close();
    lastError_ = kSocketCallFailed;
    return false;
  }
  sockaddr_in sa{};
  static_assert(sizeof sa == sizeof peer_, "sockaddr_in layout");
  std::memcpy(&sa, &peer_, sizeof sa);
  if (connect(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0) {
    if (!SetBlocking(s, true)) {
      Close();
      lastError_ = kSocketCallFailed;
      return false;
    }
    lastError_ = kSocketOk;
    return true;
  }
  if (WSAGetLastError() != WSAEWOULDBLOCK) {
    Close();
    lastError_ = kSocketTimedOut;
    return false;
  }
  SetBlocking(s, true);
  // Windows reports a connect that completed with an error in the exception
  // set and one that succeeded in the write set.
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(s, &writable);
  FD_SET(s, &failed);
  timeval tv{};
  tv.tv_sec = static_cast<long>(timeoutMs / 1000);
  tv.tv_usec = static_cast<long>((timeoutMs % 1000) * 1000);
  const int ready = select(65, nullptr, &writable, &failed, &tv);
  if (ready == SOCKET_ERROR) {
    Close();
    lastError_ = kSocketCallFailed;
    return false;
  }
  if (ready == 0) {
    Close();
    lastError_ = kSocketConnectTimedOut;
    return false;
  }
  if (FD_ISSET(s, &failed)) {
    Close();
    lastError_ = kSocketConnectFailed;
    return false;
  }
  lastError_ = kSocketOk;
  return true;
}
