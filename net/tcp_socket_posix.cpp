// Linux side of net/tcp_socket.h: BSD sockets. Only this file of the socket
// service includes the system's socket headers. Differences from Windows
// Sockets that the codes must hide:
//  - a failed non-blocking connect is read back with SO_ERROR (Windows
//    reports it in select's exception set);
//  - a receive time-out is EAGAIN / EWOULDBLOCK (WSAETIMEDOUT there);
//  - a send to a closed peer would raise SIGPIPE: MSG_NOSIGNAL prevents it;
//  - the wait uses poll, which has no descriptor-number limit as select does.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>

#include "base/time.h"
#include "net/tcp_socket.h"
#include "net/tcp_socket_internal.h"

namespace {

bool SetBlocking(int fd, bool blocking) {
  const int flags = fcntl(fd, F_GETFL, 0);
  if (flags < 0) return false;
  const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
  return wanted == flags || fcntl(fd, F_SETFL, wanted) == 0;
}

}  // namespace

bool StartSocketLibrary() { return true; }

namespace tw {

bool ResolveHostName(const char* name, uint8_t address[4]) {
  // getaddrinfo rather than gethostbyname: the latter's static result is not
  // safe when two threads resolve at once.
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &list) != 0 || list == nullptr) return false;
  bool found = false;
  for (addrinfo* a = list; a != nullptr; a = a->ai_next) {
    if (a->ai_family != AF_INET || a->ai_addr == nullptr) continue;
    const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
    std::memcpy(address, &in->sin_addr, 4);
    found = true;
    break;
  }
  freeaddrinfo(list);
  return found;
}

}  // namespace tw

cTCPSocket::~cTCPSocket() { Close(); }

void cTCPSocket::Close() {
  if (socket_ == kInvalidSocket) return;
  const int fd = static_cast<int>(socket_);
  shutdown(fd, SHUT_RDWR);
  close(fd);
  socket_ = kInvalidSocket;
}

uint32_t cTCPSocket::Send(const void* data, uint32_t length) {
  if (socket_ == kInvalidSocket) {
    lastError_ = kSocketClosed;
    return 0;
  }
  if (length > 0x7FFFFFFFu) length = 0x7FFFFFFFu;
  ssize_t n;
  do {
    n = send(static_cast<int>(socket_), data, length, MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
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
  const int fd = static_cast<int>(socket_);
  const uint32_t ms = TimeoutMilliseconds(timeout != nullptr ? *timeout : receiveTimeout_);
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(ms / 1000);
  tv.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
  if (setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0) {
    lastError_ = kSocketCallFailed;
    return 0;
  }
  if (length > 0x7FFFFFFFu) length = 0x7FFFFFFFu;
  ssize_t n;
  do {
    n = recv(fd, buffer, length, 0);
  } while (n < 0 && errno == EINTR);
  if (n > 0) {
    lastError_ = kSocketOk;
    return static_cast<uint32_t>(n);
  }
  if (n == 0) {
    lastError_ = length == 0 ? kSocketOk : kSocketClosed;
    return 0;
  }
  lastError_ = (errno == EAGAIN || errno == EWOULDBLOCK) ? kSocketTimedOut : kSocketCallFailed;
  return 0;
}

bool cTCPClient::Connect(const uint8_t address[4], uint16_t port, uint32_t timeoutMs) {
  Close();
  peer_ = sSocketAddress{};
  peer_.family = AF_INET;
  peer_.port = htons(port);
  std::memcpy(peer_.address, address, 4);

  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    lastError_ = kSocketCallFailed;
    return false;
  }
  socket_ = fd;
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  if (!SetBlocking(fd, false)) {
    Close();
    lastError_ = kSocketCallFailed;
    return false;
  }
  sockaddr_in sa{};
  static_assert(sizeof sa == sizeof peer_, "sockaddr_in layout");
  std::memcpy(&sa, &peer_, sizeof sa);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0) {
    if (!SetBlocking(fd, true)) {
      Close();
      lastError_ = kSocketCallFailed;
      return false;
    }
    lastError_ = kSocketOk;
    return true;
  }
  if (errno != EINPROGRESS && errno != EINTR) {
    Close();
    lastError_ = kSocketTimedOut;
    return false;
  }
  // Wait for the connect to complete; a signal shortens the wait, never
  // lengthens it.
  const uint64_t start = GetMicroseconds();
  int ready;
  for (;;) {
    const uint64_t spent = (GetMicroseconds() - start) / 1000;
    uint64_t left = spent >= timeoutMs ? 0 : timeoutMs - spent;
    if (left > 0x7FFFFFFF) left = 0x7FFFFFFF;
    pollfd p{fd, POLLOUT, 0};
    ready = poll(&p, 1, static_cast<int>(left));
    if (ready >= 0 || errno != EINTR) break;
  }
  if (ready < 0) {
    Close();
    lastError_ = kSocketCallFailed;
    return false;
  }
  if (ready == 0) {
    Close();
    lastError_ = kSocketConnectTimedOut;
    return false;
  }
  int error = 0;
  socklen_t size = sizeof error;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
    Close();
    lastError_ = kSocketConnectFailed;
    return false;
  }
  if (!SetBlocking(fd, true)) {
    Close();
    lastError_ = kSocketCallFailed;
    return false;
  }
  lastError_ = kSocketOk;
  return true;
}
