// See tests/support/trust_anchor.h.
#include "tests/support/trust_anchor.h"

#include <windows.h>
#include <wincrypt.h>

namespace twtest {

bool TrustTestAnchor(const uint8_t* der, size_t length) {
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
  if (store == nullptr) return false;
  const BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der, static_cast<DWORD>(length),
                                                      CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  CertCloseStore(store, 0);
  return added != FALSE;
}

}  // namespace twtest
