// The committed camera-raw fixture corpus (tests/picture/data/raw): each
// fixture's bytes and the sensor frame the readers must unpack from it, as
// the generators make them. make_raw_fixtures writes them; the tests and
// the drift check compare with them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct sRawFixture {
  std::string name;             // file name in the corpus
  std::vector<uint8_t> bytes;   // the file
  std::vector<uint16_t> frame;  // the unpacked sensor frame (--raw16)
  int32_t frameWidth = 0;
  int32_t frameHeight = 0;
  // The samples as stored, for the oracles (before the readers' shifts).
  std::vector<uint16_t> stored;
  int32_t storedWidth = 0;
  int32_t format = 0;  // the factory's format id
  bool oracleReads = true;  // dcraw and LibRaw read the file
};

std::vector<sRawFixture> RawFixtures();

// One crafted file per mended fault (name and bytes only): a crop beyond
// the frame, BlackLevel with denominator 0, a flat field (all samples in
// one histogram bin), strips that cover part of the picture, MOS record
// lists nested beyond the limit, a MOS lossless strip cut short. They seed
// the fuzz corpus; the unit tests check the same cases.
std::vector<sRawFixture> RawFaultFixtures();

// A 16-bit PGM (P5, maxval 65535, big-endian samples).
std::vector<uint8_t> Pgm16(const std::vector<uint16_t>& samples, int32_t width, int32_t height);
