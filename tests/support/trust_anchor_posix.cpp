// See tests/support/trust_anchor.h.
#include "tests/support/trust_anchor.h"

#include "net/tls_trust.h"

namespace twtest {

bool TrustTestAnchor(const uint8_t* der, size_t length) {
  TlsAddTrustAnchor(der, length);
  return true;
}

}  // namespace twtest
