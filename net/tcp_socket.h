// Blocking IPv4 TCP client sockets: cTCPSocket (send and receive with a
// receive time-out), cTCPClient (connect with a connect time-out) and
// ResolveIPv4.
//
// Rules every caller relies on:
//  a. Nothing throws: each operation leaves a small code in LastError()
//     (table below) and reports failure by a false or zero result.
//  b. A socket is either closed (no handle) or connected. Every failed
//     connect leaves it closed; the owner closes it with Close or by
//     destruction.
//  c. After a successful connect the socket is in blocking mode; every
//     receive sets the receive time-out on the socket first.
//  d. One thread uses an object at a time; there are no locks.
//  e. A peer that has closed never raises a signal: a send to it fails with
//     code 1.
//
// The system calls live in tcp_socket_win32.cpp (Windows Sockets) and
// tcp_socket_posix.cpp (BSD sockets with poll, the native stand-in).
#pragma once

#include <cstdint>

// Last error codes of cTCPSocket::LastError().
enum : int32_t {
  kSocketOk = 0,              // the last send or receive succeeded
  kSocketCallFailed = 1,      // socket creation, the wait, send, or receive
                              // with an error other than a time-out
  kSocketConnectTimedOut = 2, // the connect did not complete in time
  kSocketConnectFailed = 3,   // the connect completed with an error
  kSocketClosed = 4,          // no socket open, the peer closed, or the host
                              // name did not resolve
  kSocketTimedOut = 5,        // the connect failed at once (refused before
                              // any wait), or a receive timed out
};

// A time-out as whole seconds and microseconds.
struct sSocketTimeout {
  int32_t seconds = 0;
  int32_t microseconds = 0;
};

// The peer's IPv4 socket address, laid out as the system's sockaddr_in:
// family, port in network byte order, four address bytes, zero padding.
struct sSocketAddress {
  uint16_t family = 0;
  uint16_t port = 0;
  uint8_t address[4] = {0, 0, 0, 0};
  uint8_t zero[8] = {0, 0, 0, 0, 0, 0, 0, 0};
};
static_assert(sizeof(sSocketAddress) == 16, "sSocketAddress must match sockaddr_in");

// A platform socket handle held as an integer (a SOCKET on Windows, a
// descriptor natively); kInvalidSocket when none.
using tSocketHandle = intptr_t;
inline constexpr tSocketHandle kInvalidSocket = -1;

// Starts the platform's socket library once per process (Windows Sockets
// 2.0; nothing natively). Callers that are about to use a transport call it
// first; false means the library could not start and the caller fails. The
// library is never shut down.
bool StartSocketLibrary();

// Resolves name into four address bytes, first byte first. A name that is
// exactly four dot-separated decimal numbers of one to three digits, each at
// most 255, is taken as they are, without a lookup; any other name goes to
// the system's resolver, whose first IPv4 address is taken. False (address
// unchanged) when nothing resolves.
bool ResolveIPv4(const char* name, uint8_t address[4]);

class cTCPSocket {
public:
  static constexpr sSocketTimeout kDefaultReceiveTimeout{20, 0};
  // The most that ReadExact asks of one Receive.
  static constexpr uint32_t kReadExactPiece = 1024;

  cTCPSocket() = default;
  cTCPSocket(const cTCPSocket&) = delete;
  cTCPSocket& operator=(const cTCPSocket&) = delete;
  // Closes an open socket.
  virtual ~cTCPSocket();

  // One send of up to length bytes, flags 0. The count the system took, code
  // 0; 0 with code 4 when no socket is open, 0 with code 1 on failure. No
  // loop: callers repeat until everything is sent.
  virtual uint32_t Send(const void* data, uint32_t length);

  // One receive of up to length bytes. timeout null means the object's
  // receive time-out. The time-out is set on the socket before the receive,
  // in whole milliseconds (a non-zero time-out under 1 ms counts as 1 ms,
  // since 0 means no time-out to the system). The count received with code
  // 0; 0 with code 4 when no socket is open or the peer closed, 0 with code 5
  // when the time-out ran out, 0 with code 1 on any other error.
  virtual uint32_t Receive(void* buffer, uint32_t length, const sSocketTimeout* timeout);

  // Receive (the virtual one, with the object's time-out) in pieces of at
  // most kReadExactPiece bytes until length bytes have arrived or a call
  // gives 0. The count read: less than length on failure.
  uint32_t ReadExact(void* buffer, uint32_t length);

  // When a socket is open: shutdown of both directions, close, no handle.
  // Otherwise nothing.
  void Close();

  // Virtual so that a scripted stand-in for a connection (tests) can count
  // as open without a system handle.
  virtual bool IsOpen() const { return socket_ != kInvalidSocket; }
  int32_t LastError() const { return lastError_; }
  const sSocketAddress& PeerAddress() const { return peer_; }

  const sSocketTimeout& ReceiveTimeout() const { return receiveTimeout_; }
  void SetReceiveTimeout(const sSocketTimeout& timeout) { receiveTimeout_ = timeout; }

  // Milliseconds of a time-out pair as the system's receive option takes
  // them: seconds * 1000 + microseconds / 1000, a non-zero pair at least 1,
  // negative parts as 0, capped at 2^31 - 1.
  static uint32_t TimeoutMilliseconds(const sSocketTimeout& timeout);

protected:
  void SetLastError(int32_t code) { lastError_ = code; }

  tSocketHandle socket_ = kInvalidSocket;
  sSocketTimeout receiveTimeout_ = kDefaultReceiveTimeout;
  int32_t lastError_ = kSocketOk;
  sSocketAddress peer_;
};

class cTCPClient : public cTCPSocket {
public:
  static constexpr uint32_t kConnectTimeoutMs = 20000;

  // Closes any open socket, resolves host (failure: code 4, false) and calls
  // the virtual Connect with the address, port and kConnectTimeoutMs.
  bool ConnectTo(const char* host, uint16_t port);

  // Closes any open socket and connects to the four address bytes and port,
  // waiting at most timeoutMs. True when connected (blocking mode, TCP_NODELAY
  // set). On failure the socket is closed and the code tells why: 1 the
  // socket or the wait failed, 2 no answer in time, 3 the connect completed
  // with an error, 5 the connect failed at once.
  virtual bool Connect(const uint8_t address[4], uint16_t port, uint32_t timeoutMs);
};
