// The Nikon camera table: model name to id, the per-model constants tied to
// the id (levels, sensor borders, fixed CFA patterns, the four-colour
// weights, decoding choices), the white-balance reader of the maker note's
// colour-balance block and the NRW balance of compact cameras.
//
// Rules:
//  a. The name map is process-wide, filled once under a lock on the first
//     lookup and only read afterwards; DestroyNikonModelMap empties it (the
//     next lookup fills it again).
//  b. Every per-model answer is a pure function of the id; kNikonUnknown
//     (and any id outside the table) has no entry anywhere.
//  c. Nothing here throws for file data; an unusable colour-balance block
//     takes the fallback.
#pragma once

#include <cstdint>

inline constexpr int32_t kNikonUnknown = 0x7FFFFF;
inline constexpr int32_t kNikonModelCount = 84;

struct sNikonModel {
  int32_t id;
  const char* name;
};
// The 84 rows in table order (ids as the camera table gives them).
extern const sNikonModel kNikonModels[kNikonModelCount];

// Exact, case-sensitive match of the UTF-8 form of model (null: unknown).
int32_t FindNikonModel(const char16_t* model);
int32_t FindNikonModel8(const char* model);
void DestroyNikonModelMap();

struct sNikonBorders {
  int32_t left = 0, right = 0, top = 0, bottom = 0;
};

int32_t GetNikonBlackLevel(int32_t id);
// 0 when the bit depth decides.
int32_t GetNikonWhiteLevel(int32_t id);
// False (all 0) for a camera without borders.
bool GetNikonBorders(sNikonBorders& out, int32_t id);
// The fixed 2 x 2 pattern in colour codes; false when the file's pattern is
// used.
bool GetNikonFixedPattern(uint8_t out[4], int32_t id);
// 3 x 4 weights from colour codes 0..3 to red, green, blue; E5700 only.
bool GetNikonColourWeights(double out[12], int32_t id);

// Decoding and development choices tied to models.
bool NikonTakesRaw16(int32_t id);        // D5, D500, COOLPIX A1000
bool NikonInterleavedRows(int32_t id);   // E5400, E5700
bool NikonIsD1(int32_t id);
bool NikonIsD1X(int32_t id);
bool NikonIsE5700(int32_t id);

// NRW balance of maker-note tag 20 (type UNDEFINED checked by the caller):
// false when the block is not one or too short.
bool ParseNikonNrwBalance(const uint8_t* data, int32_t size, double out[4]);

// Key material for colour-balance versions 200..216: two 256-entry tables,
// the first indexed by the serial number, the second by a byte of the
// shutter count. The decoder has none of its own (see ReadNikonWhiteBalance).
struct sNikonScrambleKeys {
  const uint8_t* serialTable = nullptr;   // 256 entries
  const uint8_t* shutterTable = nullptr;  // 256 entries
};

struct sNikonBalanceInput {
  const uint8_t* block = nullptr;  // maker-note tag 151 as stored
  int32_t size = 0;
  bool fileBigEndian = false;
  int32_t serial = 0;
  uint32_t shutterCount = 0;
  bool nrwPresent = false;
  double nrw[4] = {0, 0, 0, 0};
  int32_t modelId = kNikonUnknown;
  // Null keys: versions 200..216 take the fallback.
  const sNikonScrambleKeys* keys = nullptr;
};

// Red, green, blue, second green. True when the block (or the NRW balance,
// or the D1's own fallback) gave them; false with 2.0, 1.0, 1.5, 1.0.
bool ReadNikonWhiteBalance(const sNikonBalanceInput& in, double out[4]);

// The serial-number parser of maker-note tag 29.
int32_t ParseSerialDigits(int32_t length, const uint8_t* bytes);
