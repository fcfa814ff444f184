// See net/tls_trust.h: the native stand-in with anchors kept in memory.
#include <ctime>
#include <mutex>

#include "net/tls_trust.h"

namespace {

std::mutex gAnchorLock;
std::vector<std::vector<uint8_t>>& Anchors() {
  static std::vector<std::vector<uint8_t>> anchors;
  return anchors;
}

}  // namespace

void TlsAddTrustAnchor(const uint8_t* der, size_t length) {
  std::lock_guard<std::mutex> hold(gAnchorLock);
  Anchors().emplace_back(der, der + length);
}

void TlsClearTrustAnchors() {
  std::lock_guard<std::mutex> hold(gAnchorLock);
  Anchors().clear();
}

int32_t TlsCheckServerChain(const std::vector<std::vector<uint8_t>>& certificates, const char* host) {
  std::vector<std::vector<uint8_t>> anchors;
  {
    std::lock_guard<std::mutex> hold(gAnchorLock);
    anchors = Anchors();
  }
  return X509CheckChain(certificates, host, static_cast<int64_t>(std::time(nullptr)), anchors);
}
