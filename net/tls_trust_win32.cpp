// See net/tls_trust.h: crypt32's chain engine and its SSL server policy,
// which also fetches roots the system knows but has not stored yet.
#include <windows.h>
#include <wincrypt.h>

#include <memory>

#include "base/guardchar.h"
#include "base/strings.h"
#include "base/win_text.h"
#include "net/tls_trust.h"

namespace {

struct sStoreCloser {
  void operator()(void* store) const { CertCloseStore(static_cast<HCERTSTORE>(store), 0); }
};
struct sContextFree {
  void operator()(const CERT_CONTEXT* c) const { CertFreeCertificateContext(c); }
};
struct sEngineFree {
  void operator()(void* engine) const { CertFreeCertificateChainEngine(static_cast<HCERTCHAINENGINE>(engine)); }
};
struct sChainFree {
  void operator()(const CERT_CHAIN_CONTEXT* c) const { CertFreeCertificateChain(c); }
};

int32_t FromPolicyError(DWORD error) {
  switch (error) {
    case 0: return kChainOk;
    case static_cast<DWORD>(CERT_E_EXPIRED):
    case static_cast<DWORD>(CERT_E_VALIDITYPERIODNESTING): return kChainExpired;
    case static_cast<DWORD>(CERT_E_CN_NO_MATCH): return kChainHostMismatch;
    case static_cast<DWORD>(CERT_E_WRONG_USAGE):
    case static_cast<DWORD>(CERT_E_ROLE): return kChainBadUsage;
    default: return kChainUntrusted;
  }
}

}  // namespace

int32_t TlsCheckServerChain(const std::vector<std::vector<uint8_t>>& certificates, const char* host) {
  if (certificates.empty() || host == nullptr) return kChainMalformed;
  std::unique_ptr<void, sStoreCloser> store(
      CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr));
  if (!store) return kChainUntrusted;
  const CERT_CONTEXT* leafRaw = nullptr;
  for (size_t i = 0; i < certificates.size(); ++i) {
    const auto& der = certificates[i];
    if (!CertAddEncodedCertificateToStore(static_cast<HCERTSTORE>(store.get()), X509_ASN_ENCODING, der.data(),
                                          static_cast<DWORD>(der.size()), CERT_STORE_ADD_ALWAYS,
                                          i == 0 ? &leafRaw : nullptr))
      return kChainMalformed;
  }
  std::unique_ptr<const CERT_CONTEXT, sContextFree> leaf(leafRaw);
  char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
  LPSTR usages[] = {serverAuth};
  CERT_CHAIN_PARA para{};
  para.cbSize = sizeof para;
  para.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
  para.RequestedUsage.Usage.cUsageIdentifier = 1;
  para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  // An engine of its own for each check reads the root stores as they are
  // now; the shared default engine may keep what it read first.
  CERT_CHAIN_ENGINE_CONFIG config{};
  config.cbSize = sizeof config;
  HCERTCHAINENGINE engineRaw = nullptr;
  if (!CertCreateCertificateChainEngine(&config, &engineRaw)) return kChainUntrusted;
  std::unique_ptr<void, sEngineFree> engine(engineRaw);
  const CERT_CHAIN_CONTEXT* chainRaw = nullptr;
  if (!CertGetCertificateChain(static_cast<HCERTCHAINENGINE>(engine.get()), leaf.get(), nullptr,
                               static_cast<HCERTSTORE>(store.get()), &para, 0, nullptr, &chainRaw))
    return kChainUntrusted;
  std::unique_ptr<const CERT_CHAIN_CONTEXT, sChainFree> chain(chainRaw);
  // The chain's own verdict first: not every SSL policy maps each error
  // (a chain that ends short of any root, say) to a failure. Only the
  // revocation bits are let through, as no revocation check is asked for.
  const DWORD errors = chain->TrustStatus.dwErrorStatus &
                       ~static_cast<DWORD>(CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION);
  if (errors & CERT_TRUST_IS_NOT_TIME_VALID) return kChainExpired;
  if (errors & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) return kChainBadUsage;
  if (errors != 0) return kChainUntrusted;
  _guardchar<char16_t> wideHost;
  Utf8ToWide(-1, host, wideHost);
  SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
  ssl.cbSize = sizeof ssl;
  ssl.dwAuthType = AUTHTYPE_SERVER;
  ssl.pwszServerName = const_cast<wchar_t*>(tw::ToWin(wideHost.text));
  CERT_CHAIN_POLICY_PARA policy{};
  policy.cbSize = sizeof policy;
  policy.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof status;
  if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policy, &status))
    return kChainUntrusted;
  return FromPolicyError(status.dwError);
}
