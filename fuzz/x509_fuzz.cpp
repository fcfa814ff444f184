// Fuzzes the certificate reader and the chain check: any input either
// parses or is refused without a fault; a parsed certificate's pointers lie
// inside the input; the chain check of a lone certificate against no
// anchor never succeeds.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "net/x509.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sX509Certificate cert;
  if (ParseX509(data, size, &cert)) {
    if (cert.tbs < data || cert.tbs + cert.tbsLength > data + size) std::abort();
    X509MatchesHost(cert, "www.example.test");
    X509MatchesHost(cert, "127.0.0.1");
    X509SignedBy(cert, cert);
  }
  const std::vector<std::vector<uint8_t>> chain = {std::vector<uint8_t>(data, data + size)};
  if (X509CheckChain(chain, "www.example.test", 1800000000, {}) == kChainOk) std::abort();
  // The input as its own anchor: accepted only when it parses.
  const int32_t self = X509CheckChain(chain, "www.example.test", 1800000000, chain);
  if (self != kChainMalformed && !ParseX509(data, size, &cert)) std::abort();
  return 0;
}
