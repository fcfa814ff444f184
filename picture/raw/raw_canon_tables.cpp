// See header.
#include "picture/raw/raw_canon_tables.h"

#include <atomic>
#include <cstring>

#include "base/sorted_tree.h"
#include "base/sync.h"

namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// The unknown-model matrices: the oldest camera's above 0x80000000, the
// compact cameras' for the ids listed below, the identity for the rest.
constexpr double kOldest[9] = {1.917578,  -0.957236, 0.039658,  -0.054073, 1.265895,
                               -0.211822, 0.102728,  -0.541266, 1.438539};
constexpr double kCompactFallback[9] = {-2.268888, 2.888262,  -2.687824, 0.851138, -0.661897,
                                        0.147596,  -0.091639, 1.10168,   1.257355};
constexpr double kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

// Every key's matrix, derived from the camera's published XYZ-to-camera
// coefficients by scripts/gen_canon_matrices.py; a key missing here takes
// the unknown-model matrix of its id.
struct sMatrixRow {
  uint32_t id;
  double matrix[9];
};
constexpr sMatrixRow kMatrixRows[] = {
#include "picture/raw/raw_canon_matrices.inc"
};

const double* DerivedMatrix(uint32_t id) {
  for (const sMatrixRow& row : kMatrixRows)
    if (row.id == id) return row.matrix;
  return nullptr;
}

struct sColorRow {
  uint32_t id;
  uint16_t white;
};

// Insertion order as fixed; black is 0 throughout.
constexpr sColorRow kColorRows[] = {
    {0x01140000, 0},     {0x01668000, 4000},  {0x80000285, 15488}, {0x80000349, 0},     {0x80000218, 15600},
    {0x80000213, 3692},  {0x80000382, 11000}, {0x80000401, 11000}, {0x80000302, 15490}, {0x80000406, 15490},
    {0x80000250, 13584}, {0x80000289, 13584}, {0x80000325, 15490}, {0x80000326, 13584}, {0x80000168, 4000},
    {0x80000346, 13645}, {0x80000393, 13645}, {0x80000347, 13645}, {0x80000175, 4095},  {0x80000234, 0},
    {0x80000190, 16224}, {0x80000261, 15763}, {0x80000287, 12279}, {0x80000170, 4000},  {0x80000189, 4095},
    {0x80000236, 3726},  {0x80000176, 14605}, {0x80000252, 10947}, {0x80000270, 15831}, {0x80000286, 13584},
    {0x80000301, 13645}, {0x80000254, 3651},  {0x80000288, 13584}, {0x80000327, 13584}, {0x80000328, 13584},
    {0x80000404, 13584}, {0x80000422, 13584}, {0x80000432, 13584}, {0x80000331, 0},     {0x80000215, 15280},
    {0x80000188, 3712},  {0x80000281, 15280}, {0x80000169, 15280}, {0x80000232, 3712},  {0x80000174, 3712},
    {0x80000001, 3616},  {0x80000167, 13150}, {0x80000269, 15438}, {0x80000350, 15438}, {0x80000408, 15438},
    {0x80000405, 15438}, {0x80000417, 15438}, {0x02490000, 0},     {0x02700000, 0},     {0x02920000, 0},
    {0x03330000, 0},     {0x03080000, 0},     {0x04040000, 0},     {0x01100000, 0},     {0x01190000, 0},
    {0x01290000, 0},     {0x01400000, 0},     {0x02230000, 0},     {0x01370000, 0},     {0x03010000, 0},
    {0x01120000, 0},     {0x01110000, 0},     {0x01210000, 0},     {0x01310000, 0},     {0x01390000, 0},
    {0x01380000, 0},     {0x02720000, 0},     {0x02950000, 0},     {0x03110000, 0},     {0x03360000, 0},
    {0x02460000, 0},     {0x03340000, 0},     {0x01950000, 0},     {0x02520000, 0},     {0x03070000, 0},
};

struct sBorderRow {
  uint32_t id;
  sCanonBorders borders;
};

constexpr sBorderRow kBorderRows[] = {
    {0x80000174, {74, 0, 12, 0}},   {0x80000232, {74, 0, 12, 0}},   {0x80000175, {74, 0, 12, 0}},
    {0x80000234, {74, 0, 12, 0}},   {0x80000169, {78, 0, 20, 2}},   {0x80000281, {142, 62, 45, 0}},
    {0x80000269, {126, 0, 100, 2}}, {0x80000188, {98, 0, 13, 0}},   {0x80000215, {62, 10, 20, 2}},
    {0x80000346, {72, 0, 52, 0}},   {0x80000301, {72, 0, 52, 0}},   {0x80000326, {72, 0, 52, 0}},
    {0x80000331, {72, 0, 52, 0}},   {0x80000254, {42, 0, 18, 2}},   {0x80000236, {42, 0, 18, 2}},
    {0x80000288, {62, 0, 18, 0}},   {0x80000327, {142, 0, 51, 0}},  {0x80000404, {142, 0, 51, 0}},
    {0x80000422, {142, 0, 51, 0}},  {0x80000270, {142, 0, 51, 0}},  {0x80000286, {142, 0, 51, 0}},
    {0x80000287, {142, 0, 51, 0}},  {0x80000432, {76, 0, 35, 0}},   {0x80000189, {42, 0, 14, 0}},
    {0x80000190, {30, 6, 18, 2}},   {0x80000176, {22, 0, 18, 2}},   {0x80000252, {62, 0, 26, 0}},
    {0x80000261, {62, 0, 51, 0}},   {0x80000213, {90, 0, 34, 0}},   {0x80000218, {158, 0, 51, 0}},
    {0x80000250, {158, 0, 51, 0}},  {0x80000285, {122, 2, 80, 0}},  {0x80000349, {136, 0, 42, 0}},
    {0x80000382, {160, 0, 64, 0}},  {0x80000401, {160, 0, 64, 0}},  {0x80000302, {72, 0, 38, 0}},
    {0x80000289, {72, 0, 38, 0}},   {0x80000325, {72, 0, 38, 0}},   {0x80000328, {72, 0, 38, 0}},
    {0x80000406, {120, 0, 44, 0}},  {0x80000405, {264, 0, 36, 0}},  {0x80000417, {264, 0, 36, 0}},
    {0x80000408, {264, 0, 36, 0}},  {0x03980000, {264, 0, 36, 0}},  {0x03940000, {264, 0, 36, 0}},
    {0x04070000, {264, 0, 36, 0}},  {0x04180000, {264, 0, 36, 0}},  {0x80000393, {72, 0, 34, 0}},
    {0x80000347, {72, 0, 34, 0}},   {0x03740000, {72, 0, 34, 0}},   {0x80000350, {264, 0, 34, 0}},
    {0x03840000, {72, 0, 50, 0}},   {0x03080000, {80, 12, 52, 2}},  {0x03640000, {80, 0, 50, 0}},
    {0x03780000, {96, 0, 16, 0}},   {0x03970000, {96, 0, 16, 0}},   {0x03850000, {96, 0, 16, 0}},
    {0x03930000, {96, 0, 16, 0}},   {0x04100000, {96, 0, 16, 0}},   {0x03950000, {96, 0, 16, 0}},
    {0x02230000, {48, 24, 12, 12}}, {0x02490000, {12, 36, 11, 12}}, {0x02700000, {8, 52, 16, 8}},
    {0x02720000, {8, 52, 16, 8}},   {0x02920000, {52, 8, 12, 12}},  {0x02950000, {52, 8, 12, 12}},
    {0x03330000, {104, 8, 11, 65}}, {0x03110000, {104, 8, 11, 65}}, {0x03360000, {104, 8, 11, 65}},
    {0x03540000, {96, 24, 18, 0}},  {0x03550000, {96, 24, 18, 13}}, {0x03340000, {96, 8, 18, 0}},
    {0x03750000, {96, 8, 18, 0}},   {0x02460000, {192, 0, 12, 0}},
};

constexpr uint32_t kCompactFallbackIds[] = {0x01560000, 0x01570000, 0x01960000, 0x01990000, 0x02130000,
                                            0x02140000, 0x02180000, 0x02380000, 0x02390000};

// Built once, read afterwards without the lock (header rule a). Statics of
// one file are destroyed in reverse order, so the maps empty before the lock
// goes; the lock's destructor marks it deleted.
cCriticalSection CanonTablesLock;
cSortedTree<uint32_t, sCanonColorEntry> CanonColorMatrixMap(512);
cSortedTree<uint32_t, sCanonBorders> CanonBorderMap(512);
std::atomic<int32_t> buildCount{0};

template <class Node>
int32_t CountNodes(const Node* node) {
  return node == nullptr ? 0 : 1 + CountNodes(node->smaller) + CountNodes(node->greater);
}

template <class Map>
int32_t MapSize(const Map& map) {
  return CountNodes(map.Root());
}

}  // namespace

void InitCanonColorMatrices() {
  cSafeCriticalSectionAccess guard(&CanonTablesLock);
  if (CanonColorMatrixMap.Find(kColorRows[0].id) != nullptr) return;
  for (const sColorRow& row : kColorRows) {
    sCanonColorEntry* e = CanonColorMatrixMap.FindOrInsert(row.id);
    if (e == nullptr) continue;
    e->black = 0;
    e->white = row.white;
    const double* m = DerivedMatrix(row.id);
    if (m == nullptr) m = row.id > 0x80000000u ? kOldest : kIdentity;
    std::memcpy(e->matrix, m, sizeof(e->matrix));
  }
  buildCount.fetch_add(1);
}

void InitCanonBorders() {
  cSafeCriticalSectionAccess guard(&CanonTablesLock);
  if (CanonBorderMap.Find(kBorderRows[0].id) != nullptr) return;
  for (const sBorderRow& row : kBorderRows)
    if (sCanonBorders* b = CanonBorderMap.FindOrInsert(row.id)) *b = row.borders;
  buildCount.fetch_add(1);
}

bool LookupCanonColorMatrix(uint32_t modelId, double matrix[9], uint16_t& black, uint16_t& white) {
  if (const sCanonColorEntry* e = CanonColorMatrixMap.Find(modelId)) {
    black = e->black;
    white = e->white;
    std::memcpy(matrix, e->matrix, sizeof(e->matrix));
    return true;
  }
  black = 0;
  const double* m = kIdentity;
  white = 0;
  if (modelId > 0x80000000u) {
    white = 3616;
    m = kOldest;
  } else {
    for (uint32_t id : kCompactFallbackIds)
      if (id == modelId) m = kCompactFallback;
  }
  std::memcpy(matrix, m, sizeof(kIdentity));
  return false;
}

bool LookupCanonBorders(uint32_t modelId, sCanonBorders& out) {
  if (const sCanonBorders* b = CanonBorderMap.Find(modelId)) {
    out = *b;
    return true;
  }
  out = sCanonBorders{};
  return false;
}

int32_t CanonColorTableSize() { return MapSize(CanonColorMatrixMap); }
int32_t CanonBorderTableSize() { return MapSize(CanonBorderMap); }
int32_t CanonTableBuildCount() { return buildCount.load(); }

// ---- cCR2MakerNoteProps ----

void cCR2MakerNoteProps::Reset() {
  std::memset(sensorInfo, 0, sizeof(sensorInfo));
  maskSynthesised = false;
  std::memset(shotInfo, 0, sizeof(shotInfo));
  hasShotInfo = false;
  rawDataOffset = 0;
  for (double& b : balance) b = 0.0;
}

bool cCR2MakerNoteProps::OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) {
  if (size > 0 && data == nullptr) return false;
  switch (tag) {
    case 0x0004:
      if (type != kTiffShort || size < 42) return false;
      for (int32_t i = 0; i < 21; ++i) shotInfo[i] = Le16(data + 2 * i);
      hasShotInfo = true;
      return true;
    case 0x0010:
      if (type != kTiffLong || size < 4) return false;
      modelId = GetLong(data);
      return true;
    case 0x0029:
      if (type != kTiffByte) return false;
      OnBalanceTable(data, size);
      return true;
    case 0x0081:
      if (type != kTiffLong || size < 4) return false;
      rawDataOffset = GetLong(data);
      return true;
    case 0x00A4:
      if (type == kTiffShort && size >= 8)
        for (int32_t i = 0; i < 4; ++i) oldBalance[i] = static_cast<int32_t>(GetShort(data + 2 * i));
      return true;
    case 0x00E0:
      return OnSensorInfo(data, size);
    case 0x4001:
      return OnColorData(type, data, size);
    default:
      return true;
  }
}

bool cCR2MakerNoteProps::OnSensorInfo(const uint8_t* data, int32_t size) {
  if (size < 26) return false;
  for (int32_t i = 0; i < 13; ++i) sensorInfo[i] = Le16(data + 2 * i);
  if (sensorInfo[kSensorLength] != size) return false;
  if (sensorInfo[kMaskBottom] == 0 && sensorInfo[kMaskRight] == 0) {
    const uint16_t half = static_cast<uint16_t>(sensorInfo[kSensorLeftBorder] / 2);
    const uint16_t quarter = static_cast<uint16_t>(sensorInfo[kSensorHeight] / 4);
    sensorInfo[kMaskLeft] = static_cast<uint16_t>(half - 2);
    sensorInfo[kMaskRight] = static_cast<uint16_t>(half + 2);
    sensorInfo[kMaskTop] = quarter;
    sensorInfo[kMaskBottom] = static_cast<uint16_t>(quarter + sensorInfo[kSensorHeight] / 2);
    maskSynthesised = true;
  }
  return true;
}

bool cCR2MakerNoteProps::OnColorData(uint32_t type, const uint8_t* data, int32_t size) {
  int32_t n = 0;
  if (type == kTiffShort)
    n = size / 2;
  else if (type == kTiffUndefined)
    n = size;
  else
    return false;
  if (n <= 500) return false;
  int32_t at = 126;
  if (n == 582)
    at = 50;
  else if (n == 653)
    at = 68;
  else if (n == 5120)
    at = 142;
  // n > 500 keeps every start with its 8 bytes inside the record.
  if (static_cast<int64_t>(at) + 8 > size) return false;
  balance[kRed] = Le16(data + at);
  balance[kGreen] = Le16(data + at + 2);
  balance[kGreen2] = Le16(data + at + 4);
  balance[kBlue] = Le16(data + at + 6);
  return true;
}

void cCR2MakerNoteProps::OnBalanceTable(const uint8_t* data, int32_t size) {
  static const char kSlots[] = "012347800000005896";
  const uint32_t setting = hasShotInfo ? shotInfo[7] : 0;
  const int32_t slot = setting < 18 ? kSlots[setting] - '0' : 0;
  const int64_t at = static_cast<int64_t>(slot) * 32 + 8;
  if (at + 16 > size) return;  // too short for its slot: balance unchanged
  balance[kGreen] = Le32(data + at);
  balance[kRed] = Le32(data + at + 4);
  balance[kBlue] = Le32(data + at + 8);
  balance[kGreen2] = Le32(data + at + 12);
}
