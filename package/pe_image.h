// The parts of a Windows program image the setup builder touches: the
// optional header (checksum and certificate directory) and the version
// resource, which it replaces in place by one of the same size describing
// the packaged software. Everything works on the image held in memory and
// checks every range against it, since a program file given on the command
// line is outside data.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

// One language entry of a resource: where its data lies.
struct sResourceData {
  uint32_t rva = 0;
  uint32_t size = 0;
  uint32_t language = 0;
};
using tResourceNames = std::map<uint32_t, std::vector<sResourceData>>;
using tResourceTypes = std::map<uint32_t, tResourceNames>;

// Reads a resource tree (the raw bytes of the resource section) into
// type id -> name id -> language entries. Only numeric ids are taken;
// named entries, which come first in each directory, are skipped. False when
// a directory or data entry does not fit the section, or when a type or name
// entry does not point to a subdirectory.
bool WalkResourceDirectory(const uint8_t* data, uint32_t size, tResourceTypes& types);

// Where the builder's pieces lie in a program image.
struct sPeLayout {
  uint32_t optHeaderOffset = 0;
  uint32_t optHeaderSize = 0;
  uint16_t magic = 0;
  uint32_t rsrcRaw = 0;  // the resource section's raw data pointer and size
  uint32_t rsrcSize = 0;
  uint32_t versionOffset = 0;  // the version resource's file offset
  uint32_t versionRva = 0;
  uint32_t versionSize = 0;
  uint32_t versionLanguage = 0;
};

// Walks the headers, the section table and the resource tree of image up to
// the first language entry of the version resource with id 1. 0 on
// success; otherwise 2, with errorLine set to the log line that names the
// failure.
int32_t ReadPeLayout(const uint8_t* image, uint32_t size, sPeLayout& layout, const char*& errorLine);

// Zeroes the checksum and the certificate directory entry in the optional
// header at layout.optHeaderOffset. False for a magic that is neither PE32
// nor PE32+, or a header too short to hold the fields.
bool ClearChecksumAndCertificate(uint8_t* image, uint32_t size, const sPeLayout& layout);

// The texts of the version resource; null or empty ones are left out.
struct sVersionTexts {
  const char16_t* company = nullptr;
  const char16_t* description = nullptr;
  const char16_t* copyright = nullptr;
  const char16_t* product = nullptr;
};

// The build day: days since 2004-12-21 11:08:18 UTC, in unsigned 32-bit
// arithmetic of the Unix time.
uint32_t BuildDayNumber(uint64_t unixTime);

// The string entries of the version block (L bytes, a multiple of 4).
std::vector<uint8_t> BuildVersionStrings(const sVersionTexts& texts, const uint32_t version[4], uint32_t day);
// The whole version block padded with zeros to oldSize; false (and the
// needed size L + 220 in needed) when it does not fit.
bool BuildVersionResource(const std::vector<uint8_t>& strings, const uint32_t version[4], uint32_t day,
                          uint32_t oldSize, std::vector<uint8_t>& block, uint32_t& needed);

// Makes image (the whole program file, S bytes, with the template at
// blockOffset) the program part of a setup file: fills the block (kind 1,
// package at S) with the records that restore the optional header and the
// version resource, puts newResource (layout.versionSize bytes) in place and
// zeroes the checksum and certificate directory. 0 on success; 2 when the
// saved ranges overlap the block or each other or do not fit the block's
// record area, 3 for an unknown optional header magic; errorLine names the
// failure. The image is unspecified after a failure.
int32_t PatchProgramImage(std::vector<uint8_t>& image, uint32_t blockOffset, const sPeLayout& layout,
                          const std::vector<uint8_t>& newResource, const char*& errorLine);
