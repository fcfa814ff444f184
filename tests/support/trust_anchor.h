// Makes a test CA trusted for the TLS client's chain check: natively the
// in-memory anchor list of net/tls_trust.h; on Windows (under Wine, in the
// test prefix) the current user's root store that the system's chain
// engine consults.
#pragma once

#include <cstddef>
#include <cstdint>

namespace twtest {

bool TrustTestAnchor(const uint8_t* der, size_t length);

}  // namespace twtest
