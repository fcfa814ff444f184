// The check of a TLS server's certificate chain and name against the trust
// store: on Windows the system's chain engine with its SSL server policy;
// natively (where the program is only tested) the chain check of
// net/x509.h against the anchors added here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "net/x509.h"

// The server's certificates in the order sent (leaf first) and the host
// name it was asked for: an eChainResult.
int32_t TlsCheckServerChain(const std::vector<std::vector<uint8_t>>& certificates, const char* host);

#ifndef _WIN32
// Adds a trust anchor (a DER certificate) for TlsCheckServerChain; none
// exists until one is added. Safe from any thread.
void TlsAddTrustAnchor(const uint8_t* der, size_t length);
void TlsClearTrustAnchors();
#endif

// The certificates of a Certificate handshake message body: TLS 1.3 (an
// empty request context, then entries of certificate and extensions) or
// TLS 1.2 (certificates only). False when the list is empty, an entry is
// empty or anything does not fit exactly.
bool ParseTlsCertificateList(const uint8_t* body, uint32_t length, bool tls13,
                             std::vector<std::vector<uint8_t>>* certificates);
