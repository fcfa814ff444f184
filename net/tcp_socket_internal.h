// Between the portable part of net/tcp_socket.h and its platform files. Not
// part of the public interface.
#pragma once

#include <cstdint>

namespace tw {

// The system resolver's first IPv4 address of name (gethostbyname on
// Windows, getaddrinfo natively); false when there is none.
bool ResolveHostName(const char* name, uint8_t address[4]);

// The strict dotted-quad rule of ResolveIPv4: exactly four decimal numbers
// of one to three digits, each at most 255, separated by single dots, and
// nothing else. False (address unchanged) otherwise.
bool ParseDottedQuad(const char* name, uint8_t address[4]);

}  // namespace tw
