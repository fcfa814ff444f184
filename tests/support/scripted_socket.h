// A stand-in connection for tests of what reads from sockets: Receive hands
// out a script of bytes in pieces of a chosen size and, once the script is
// spent, returns 0 with a chosen code (4 the peer closed, 5 a time-out, 1 an
// error). Header-only, so that fuzz targets can use it too.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "net/tcp_socket.h"

namespace twtest {

class ScriptedSocket : public cTCPSocket {
public:
  // piece 0: everything left at once (as far as the caller asks).
  ScriptedSocket(std::string script, uint32_t piece, int32_t endCode)
      : script_(std::move(script)), piece_(piece), endCode_(endCode) {}

  // Offsets of the script that no receive crosses (ascending).
  std::vector<size_t> cuts;

  uint32_t Receive(void* buffer, uint32_t length, const sSocketTimeout*) override {
    ++receives;
    if (closed_) {
      SetLastError(kSocketClosed);
      return 0;
    }
    size_t n = script_.size() - pos_;
    if (piece_ != 0 && n > piece_) n = piece_;
    if (n > length) n = length;
    for (size_t cut : cuts)
      if (cut > pos_ && cut < pos_ + n) n = cut - pos_;
    if (n == 0) {
      SetLastError(endCode_);
      return 0;
    }
    std::memcpy(buffer, script_.data() + pos_, n);
    pos_ += n;
    SetLastError(kSocketOk);
    return static_cast<uint32_t>(n);
  }
  uint32_t Send(const void*, uint32_t length) override {
    SetLastError(kSocketOk);
    return length;
  }
  bool IsOpen() const override { return !closed_; }
  void CloseScript() { closed_ = true; }

  int receives = 0;

private:
  std::string script_;
  size_t pos_ = 0;
  uint32_t piece_;
  int32_t endCode_;
  bool closed_ = false;
};

}  // namespace twtest
