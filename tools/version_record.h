// The program's own version and the 16-byte version record that the verb
// "version" writes to standard output, which an installer reads from a
// child process to decide whether an installed software manager must be
// replaced.
//
// sManagerVersionRecord, little-endian:
//   0  4  magic 0x14A4A6E3
//   4  4  record kind 1295 (0x50F)
//   8  8  the version: four 16-bit parts, the first in the top 16 bits
//         (bytes 8-9 hold the fourth part, 14-15 the first)
#pragma once

#include <cstdint>

namespace tw {
inline constexpr uint32_t kVersionRecordMagic = 0x14A4A6E3u;
inline constexpr uint32_t kVersionRecordKind = 1295;
inline constexpr uint32_t kVersionRecordSize = 16;
// No version: all bits set.
inline constexpr uint64_t kNoVersion = ~0ull;
}  // namespace tw

struct sManagerVersionRecord {
  uint32_t magic = tw::kVersionRecordMagic;
  uint32_t kind = tw::kVersionRecordKind;
  uint64_t version = 0;
};

// The version of "1.11" read as "%d.%d.%d.%d" (missing parts 0, each masked
// to 16 bits): 0x0001000B00000000.
uint64_t GetOwnVersion();

// Parses a version text the same way; all ones when not even the first part
// reads.
uint64_t ParseVersionText(const char16_t* text);

// The 16 record bytes of version.
void EncodeVersionRecord(uint64_t version, uint8_t out[16]);
// The version of 16 record bytes, or all ones when magic or kind differ.
uint64_t DecodeVersionRecord(const uint8_t* bytes);

// Mode 7: writes the record of the own version to the standard output
// handle the process was started with, in one write. 0 when all 16 bytes
// were written; 1 without a handle or on a failed or short write. Nothing
// else is written and no console is opened.
int32_t WriteVersionRecord();
