// See net/socket_io.h.
#include "net/socket_io.h"

uint32_t cSocketIO::Read(void* destination, uint32_t count) {
  if (connection_ == nullptr) return 0;
  return connection_->Receive(destination, count, nullptr);
}

uint32_t cSocketIO::Write(const void* source, uint32_t count) {
  if (connection_ == nullptr) return 0;
  return connection_->Send(source, count);
}

void cSocketIO::Close() {
  if (connection_ == nullptr) return;
  connection_->Close();
  connection_ = nullptr;
}

bool cSocketIO::EndedByPeer() const {
  return connection_ != nullptr && connection_->LastError() == kSocketClosed;
}
