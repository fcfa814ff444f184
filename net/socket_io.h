// cSocketIO: a connection seen as a cFileIOTarget stream, so that the HTTP
// response reader reads sockets and memory alike. The stream borrows the
// connection: the caller keeps it alive while the stream holds it.
//
// A socket has no size and no position: GetSize is all bits set, and Seek,
// SeekFromEnd and SetSize fail. Read 0 means the data ended: ask
// EndedByPeer whether the peer closed in order or the receive failed (a
// time-out, a reset), which a reader must not take for the end of a body.
#pragma once

#include <cstdint>
#include <memory>

#include "base/fileio.h"
#include "net/tcp_socket.h"

class cSocketIO : public cFileIOTarget {
public:
  explicit cSocketIO(cTCPSocket* connection) : connection_(connection) {}
  ~cSocketIO() override = default;

  uint64_t GetSize() override { return UINT64_MAX; }
  // One Receive with the connection's own receive time-out; 0 without a
  // connection.
  uint32_t Read(void* destination, uint32_t count) override;
  // One Send; 0 without a connection.
  uint32_t Write(const void* source, uint32_t count) override;
  bool Seek(uint64_t) override { return false; }
  bool SeekFromEnd(uint64_t) override { return false; }
  bool SetSize(uint64_t) override { return false; }
  // Closes the connection's socket and forgets the connection.
  void Close() override;
  // A connection is held and its socket is open.
  bool IsOpen() override { return connection_ != nullptr && connection_->IsOpen(); }
  std::unique_ptr<cFileIOTarget> Clone(bool) override { return nullptr; }

  // After a Read of 0: true when the peer closed the connection in order
  // (code 4 with a connection); false after a time-out, an error or without
  // a connection.
  bool EndedByPeer() const;

private:
  cTCPSocket* connection_;
};
