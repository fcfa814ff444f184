// The package file: a 49-byte header, then a zlib stream (RFC 1950) whose
// inflation is the section stream. All integers are little-endian; text is
// UTF-8 in the file.
//
// Header: "QXVSOPKG", format byte (written 1, read 0 or 1), 32-bit unpacked
// size, 32-bit packed size (neither 0), SHA-256 of the section stream.
//
// Section stream: sections {8-bit tag, body} up to the tag 0, which ends the
// package; bytes after it are not examined. Building blocks:
//   string        16-bit byte length n, n bytes (0: empty)
//   record list   each record after a byte 0x01; the byte 0x00 ends it
//   string table  record list of {16-bit key length k >= 1, k key bytes,
//                 string}; the key is the text before the first zero byte,
//                 written padded with zeros to a multiple of 4 bytes
// Tags: 1 software data (4 x 32-bit version, support, publish, updates and
// manual addresses), 2 icon (folder key, path), 3 shortcuts, 4 install
// entries, 5 run entries, 6 common table, 7 language tables ({id, table}
// until 0xFF), 8 settings, 9 welcome, 10 readme (flag byte first), 11 eula
// (32-bit length >= 1 and a compiled document), 12 deprecated products,
// 13 the payload list (payload.h). The reader takes sections in any order;
// a repeated section 1, 2, 9, 10, 11 or 13 replaces the earlier one, a
// repeated list appends to it.
//
// At the tag 0 the reader checks that every key the installer resolves
// exists in every language (cSOPKGDescription::CheckStringKey) and that
// every install entry names an existing payload.
#pragma once

#include <cstdint>

#include "base/fileio.h"
#include "base/guardchar.h"
#include "package/description.h"

inline constexpr char kPackageMagic[8] = {'Q', 'X', 'V', 'S', 'O', 'P', 'K', 'G'};
inline constexpr uint32_t kPackageHeaderSize = 49;
inline constexpr uint8_t kPackageFormat = 1;
// Sizes from here on are refused: one buffer holds at most 2^31 - 1 bytes.
inline constexpr uint32_t kMaxPackageBytes = 0x7FFFFFFFu;
// Deflate cannot shrink data by more than about 1032:1, so an unpacked size
// above this many times the packed size cannot be true.
inline constexpr uint64_t kMaxInflateRatio = 1032;

// Section tags.
enum : uint8_t {
  kTagEnd = 0,
  kTagSoftware = 1,
  kTagIcon = 2,
  kTagMenu = 3,
  kTagInstall = 4,
  kTagRun = 5,
  kTagCommonTable = 6,
  kTagLanguageTables = 7,
  kTagSettings = 8,
  kTagWelcome = 9,
  kTagReadme = 10,
  kTagEula = 11,
  kTagDeprecated = 12,
  kTagPayloads = 13,
};

// Packed attributes of an install record.
inline constexpr uint32_t kAttrFlag32 = 1u << 24;
inline constexpr uint32_t kAttrFlag64 = 1u << 25;

// One string at the stream's position; length 0 clears out. False on a
// short read or a length beyond the stream.
bool ReadPkgString(cFileIOTarget* stream, _guardchar<char16_t>& out);
// One string table into table. False on a short read, a marker other than
// 0 and 1, an empty key or a key already present.
bool ReadStringTable(cFileIOTarget* stream, tPkgStringTable& table);
// Null or empty text: 00 00. False for more than 65,535 UTF-8 bytes or a
// failed write.
bool WritePkgString(const char16_t* text, cFileIOTarget* stream);
// Entries in key order with padded keys. False for an empty key, a key or
// value of more than 65,535 bytes or a failed write.
bool WriteStringTable(cFileIOTarget* stream, const tPkgStringTable& table);
