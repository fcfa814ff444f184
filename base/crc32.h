// Crc32: the common CRC-32 (CRC-32/ISO-HDLC, as used by IEEE 802.3, zlib and
// PNG): reflected polynomial 0xEDB88320, register starting at all ones,
// result complemented. Check value: Crc32 of "123456789" is 0xCBF43926.
#pragma once

#include <cstdint>

// The CRC-32 of length bytes at data; 0 for null data or a length <= 0.
uint32_t Crc32(int32_t length, const void* data) noexcept;
