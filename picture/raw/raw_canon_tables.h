// Canon camera facts that the TIFF structure of a CR2 file does not carry:
// the maker-note reader cCR2MakerNoteProps, and the per-model colour and
// border tables with their one-time build and their lookups.
//
// Rules:
//  a. The tables are process-wide and built once, under CanonTablesLock,
//     by InitCanonColorMatrices / InitCanonBorders (every CR2 decoder's
//     constructor calls both). Lookups read without the lock: they run only
//     after both builds, and nothing changes the maps before exit.
//  b. The maker note's shot info, sensor info, colour data and white-balance
//     table are little-endian whatever the file's byte order; model id,
//     raw-data offset and the old balance follow the file's order.
//  c. Every record is read inside its size: a white-balance table too short
//     for its selected slot leaves the balance as it was.
#pragma once

#include <cstdint>

#include "picture/tiff_walker.h"

// One colour-table entry: black and white level (a white of 0 stands for the
// sample precision's full range) and a 3 x 3 matrix row by row; row 1 gives
// output red, row 2 green, row 3 blue from the camera's red, green, blue.
struct sCanonColorEntry {
  uint16_t black = 0;
  uint16_t white = 0;
  double matrix[9] = {};
};

// Columns cut on the left and right, rows cut at the top and bottom.
struct sCanonBorders {
  uint32_t left = 0;
  uint32_t right = 0;
  uint32_t top = 0;
  uint32_t bottom = 0;
};

class cCR2MakerNoteProps : public cTiffGeneric {
public:
  // sensorInfo value indices.
  enum : int32_t {
    kSensorLength = 0,
    kSensorWidth = 1,
    kSensorHeight = 2,
    kSensorLeftBorder = 5,
    kMaskLeft = 9,
    kMaskTop = 10,
    kMaskRight = 11,
    kMaskBottom = 12,
  };
  // balance indices.
  enum : int32_t { kRed = 0, kGreen = 1, kBlue = 2, kGreen2 = 3 };

  cCR2MakerNoteProps() = default;

  // Clears everything but modelId and oldBalance.
  void Reset();
  bool OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) override;

  uint16_t sensorInfo[13] = {};
  bool maskSynthesised = false;
  uint16_t shotInfo[21] = {};
  bool hasShotInfo = false;
  uint32_t rawDataOffset = 0;
  int32_t oldBalance[4] = {};
  double balance[4] = {};
  uint32_t modelId = 0;

private:
  bool OnSensorInfo(const uint8_t* data, int32_t size);
  bool OnColorData(uint32_t type, const uint8_t* data, int32_t size);
  void OnBalanceTable(const uint8_t* data, int32_t size);
};

// Fill the tables on the first call; later calls return at once.
void InitCanonColorMatrices();
void InitCanonBorders();

// The model's matrix, black and white; false with the fallback of an unknown
// model: above 0x80000000 white 3616 and the matrix of 0x80000001, a few
// compact-camera ids a second fixed matrix, else the identity (white 0).
bool LookupCanonColorMatrix(uint32_t modelId, double matrix[9], uint16_t& black, uint16_t& white);
// The model's borders; false with all four 0.
bool LookupCanonBorders(uint32_t modelId, sCanonBorders& out);

// For tests: entries in each map, and how many builds inserted entries.
int32_t CanonColorTableSize();
int32_t CanonBorderTableSize();
int32_t CanonTableBuildCount();
