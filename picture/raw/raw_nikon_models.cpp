// Nikon camera table and white balance; see the header.
#include "picture/raw/raw_nikon_models.h"

#include <cstring>

#include "base/packed_key.h"
#include "base/sorted_tree.h"
#include "base/sync.h"

const sNikonModel kNikonModels[kNikonModelCount] = {
    {0, "NIKON 1 AW1"},     {1, "NIKON 1 J1"},     {2, "NIKON 1 J2"},     {3, "NIKON 1 J3"},
    {4, "NIKON 1 J4"},      {5, "NIKON 1 J5"},     {6, "NIKON 1 S1"},     {7, "NIKON 1 S2"},
    {8, "NIKON 1 V1"},      {9, "NIKON 1 V2"},     {10, "NIKON 1 V3"},    {11, "NIKON D1 "},
    {12, "NIKON D1X"},      {13, "NIKON D100 "},   {14, "NIKON D200"},    {15, "NIKON D2X"},
    {16, "NIKON D2Xs"},     {17, "NIKON D3"},      {18, "NIKON D3S"},     {19, "NIKON D3X"},
    {20, "NIKON D300"},     {21, "NIKON D300s"},   {22, "NIKON D3000"},   {23, "NIKON D3100"},
    {24, "NIKON D3200"},    {25, "NIKON D3300"},   {26, "NIKON D3400"},   {27, "NIKON D3500"},
    {28, "NIKON D4"},       {29, "NIKON D4S"},     {30, "NIKON D40"},     {31, "NIKON D40X"},
    {32, "NIKON D5"},       {33, "NIKON D50"},     {34, "NIKON D500"},    {35, "NIKON D5000"},
    {36, "NIKON D5100"},    {37, "NIKON D5200"},   {38, "NIKON D5300"},   {39, "NIKON D5500"},
    {40, "NIKON D5600"},    {41, "NIKON D6"},      {42, "NIKON D60"},     {43, "NIKON D600"},
    {44, "NIKON D610"},     {45, "NIKON D70"},     {46, "NIKON D700"},    {47, "NIKON D750"},
    {48, "NIKON D780"},     {49, "NIKON D7000"},   {50, "NIKON D7100"},   {51, "NIKON D7200"},
    {52, "NIKON D7500"},    {53, "NIKON D80"},     {54, "NIKON D800"},    {55, "NIKON D800E"},
    {56, "NIKON D810"},     {57, "NIKON D850"},    {58, "NIKON D90"},     {59, "NIKON Df"},
    {60, "E5400"},          {61, "E5700"},         {62, "NIKON E950"},    {63, "COOLPIX A"},
    {64, "COOLPIX A1000"},  {65, "COOLPIX B700"},  {66, "COOLPIX P330"},  {67, "COOLPIX P340"},
    {68, "COOLPIX P1000"},  {69, "COOLPIX P6000"}, {70, "COOLPIX P7000"}, {71, "COOLPIX P7100"},
    {72, "COOLPIX P7700"},  {72, "COOLPIX P7800"}, {74, "COOLPIX P950"},  {75, "NIKON Z 5"},
    {76, "NIKON Z 6"},      {77, "NIKON Z 6_2"},   {79, "NIKON Z 7_2"},   {80, "NIKON Z fc"},
    {78, "NIKON Z 7"},      {81, "NIKON Z 9"},     {82, "NIKON Z 30"},    {83, "NIKON Z 50"},
};

namespace {

// Constants by id (ids run 0..83), derived once from the name lists below so
// that a camera sharing an id shares every constant.
struct sNikonConstants {
  int32_t black = 0;
  int32_t white = 0;
  sNikonBorders borders;
  bool hasBorders = false;
  uint8_t pattern[4] = {0, 0, 0, 0};
  bool hasPattern = false;
  bool raw16 = false, interleaved = false, d1 = false, d1x = false, e5700 = false;
};

struct sLevelRow {
  int32_t value;
  const char* names[10];
};

// Short names: "NIKON " is put in front unless the name starts with
// "COOLPIX" or is one of the two bare E models.
const sLevelRow kBlack[] = {
    {150, {"D3300", "D3400", "D3500", "COOLPIX P340"}},
    {200, {"1 J4", "1 J5", "1 S2", "1 V3", "COOLPIX P1000", "COOLPIX P7000", "COOLPIX P7700", "COOLPIX P7800",
           "COOLPIX P950"}},
    {207, {"COOLPIX B700", "COOLPIX P330"}},
    {350, {"D5", "D750"}},
    {450, {"D850"}},
    {596, {"D5300", "D5500", "D5600", "D7200", "D810"}},
    {768, {"D4S", "D6", "Z 6", "Z 7", "Z 50"}},
    {1024, {"D780", "Z 5", "Z 6_2", "Z 7_2", "Z fc", "Z 9", "Z 30"}},
};

const sLevelRow kWhite[] = {
    {989, {"E950"}},    {3840, {"D5000", "D90", "COOLPIX A1000"}},
    {4025, {"D3200"}},  {4028, {"D200"}},
    {5120, {"D1X"}},    {15846, {"D5100"}},
    {15879, {"D600"}},
};

struct sBorderRow {
  sNikonBorders b;
  const char* names[6];
};
const sBorderRow kBorderRows[] = {
    {{0, 1, 0, 0}, {"D40", "D50", "D70"}},
    {{0, 4, 0, 0}, {"D1X"}},
    {{2, 4, 0, 0}, {"D200"}},
    {{0, 8, 0, 0}, {"D2X", "D2Xs"}},
    {{2, 2, 0, 0}, {"D3", "D3S", "D700"}},
    {{0, 32, 0, 0}, {"D300", "D300s"}},
    {{0, 4, 0, 3}, {"D3000", "D40X", "D60", "D80"}},
    {{6, 22, 0, 0}, {"D3100"}},
    {{0, 46, 0, 0}, {"D3200", "D600", "D610", "D800", "D800E"}},
    {{2, 50, 0, 0}, {"D4", "Df"}},
    {{0, 42, 0, 0}, {"D5000", "D90"}},
    {{0, 44, 0, 0}, {"D5100", "D7000", "COOLPIX A"}},
};

struct sModelState {
  cCriticalSection lock;
  cSortedTree<cPackedKey, int32_t> map{kPackedKeyDepthLimit};
  sNikonConstants constants[kNikonModelCount];
  bool constantsReady = false;
};

sModelState& State() {
  static sModelState state;
  return state;
}

int32_t LookupLocked(sModelState& s, const cPackedKey& key) {
  if (s.map.IsEmpty()) {
    for (const sNikonModel& m : kNikonModels) {
      cPackedKey k;
      k.FromText(m.name, -1);
      int32_t* slot = s.map.FindOrInsert(std::move(k));
      if (slot != nullptr) *slot = m.id;
    }
  }
  const int32_t* v = s.map.Find(key);
  return v != nullptr ? *v : kNikonUnknown;
}

int32_t IdOfShortName(sModelState& s, const char* shortName) {
  char full[40];
  const bool bare = std::strncmp(shortName, "COOLPIX", 7) == 0 || std::strcmp(shortName, "E5400") == 0 ||
                    std::strcmp(shortName, "E5700") == 0;
  std::strcpy(full, bare ? "" : "NIKON ");
  std::strcat(full, shortName);
  if (std::strcmp(shortName, "D1") == 0) std::strcat(full, " ");
  cPackedKey k;
  k.FromText(full, -1);
  return LookupLocked(s, k);
}

const sNikonConstants* Constants(int32_t id) {
  if (id < 0 || id >= kNikonModelCount) return nullptr;
  sModelState& s = State();
  cSafeCriticalSectionAccess guard(&s.lock);
  if (!s.constantsReady) {
    auto each = [&](const char* const* names, int32_t n, auto&& set) {
      for (int32_t i = 0; i < n && names[i] != nullptr; ++i) {
        const int32_t m = IdOfShortName(s, names[i]);
        if (m >= 0 && m < kNikonModelCount) set(s.constants[m]);
      }
    };
    for (const sLevelRow& r : kBlack) each(r.names, 10, [&](sNikonConstants& c) { c.black = r.value; });
    for (const sLevelRow& r : kWhite) each(r.names, 10, [&](sNikonConstants& c) { c.white = r.value; });
    for (const sBorderRow& r : kBorderRows)
      each(r.names, 6, [&](sNikonConstants& c) {
        c.borders = r.b;
        c.hasBorders = true;
      });
    const char* raw16[] = {"D5", "D500", "COOLPIX A1000"};
    each(raw16, 3, [](sNikonConstants& c) { c.raw16 = true; });
    const char* fields[] = {"E5400", "E5700"};
    each(fields, 2, [](sNikonConstants& c) { c.interleaved = true; });
    const char* d1[] = {"D1"};
    each(d1, 1, [](sNikonConstants& c) { c.d1 = true; });
    const char* d1x[] = {"D1X"};
    each(d1x, 1, [](sNikonConstants& c) { c.d1x = true; });
    const char* e5700[] = {"E5700"};
    each(e5700, 1, [](sNikonConstants& c) {
      c.e5700 = true;
      const uint8_t p[4] = {0, 3, 1, 2};
      std::memcpy(c.pattern, p, 4);
      c.hasPattern = true;
    });
    const char* p6000[] = {"COOLPIX P6000"};
    each(p6000, 1, [](sNikonConstants& c) {
      const uint8_t p[4] = {0, 1, 1, 2};
      std::memcpy(c.pattern, p, 4);
      c.hasPattern = true;
    });
    s.constantsReady = true;
  }
  return &s.constants[id];
}

uint32_t Get16(const uint8_t* p, bool bigEndian) {
  return bigEndian ? (uint32_t{p[0]} << 8 | p[1]) : (uint32_t{p[1]} << 8 | p[0]);
}

uint32_t Get32LE(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

bool Fallback(const sNikonBalanceInput& in, double out[4]) {
  if (in.nrwPresent) {
    for (int i = 0; i < 4; ++i) out[i] = in.nrw[i];
    return true;
  }
  if (NikonIsD1(in.modelId)) {
    out[0] = 1.0;
    out[1] = 1.16;
    out[2] = 1.04;
    out[3] = 1.16;
    return true;
  }
  out[0] = 2.0;
  out[1] = 1.0;
  out[2] = 1.5;
  out[3] = 1.0;
  return false;
}

}  // namespace

int32_t FindNikonModel8(const char* model) {
  if (model == nullptr) return kNikonUnknown;
  cPackedKey key;
  key.FromText(model, -1);
  sModelState& s = State();
  cSafeCriticalSectionAccess guard(&s.lock);
  return LookupLocked(s, key);
}

int32_t FindNikonModel(const char16_t* model) {
  if (model == nullptr) return kNikonUnknown;
  cPackedKey key;
  key.FromWide(model, -1);
  sModelState& s = State();
  cSafeCriticalSectionAccess guard(&s.lock);
  return LookupLocked(s, key);
}

void DestroyNikonModelMap() {
  sModelState& s = State();
  cSafeCriticalSectionAccess guard(&s.lock);
  s.map.Clear();
}

int32_t GetNikonBlackLevel(int32_t id) {
  const sNikonConstants* c = Constants(id);
  return c != nullptr ? c->black : 0;
}

int32_t GetNikonWhiteLevel(int32_t id) {
  const sNikonConstants* c = Constants(id);
  return c != nullptr ? c->white : 0;
}

bool GetNikonBorders(sNikonBorders& out, int32_t id) {
  const sNikonConstants* c = Constants(id);
  out = sNikonBorders{};
  if (c == nullptr || !c->hasBorders) return false;
  out = c->borders;
  return true;
}

bool GetNikonFixedPattern(uint8_t out[4], int32_t id) {
  const sNikonConstants* c = Constants(id);
  if (c == nullptr || !c->hasPattern) return false;
  std::memcpy(out, c->pattern, 4);
  return true;
}

bool GetNikonColourWeights(double out[12], int32_t id) {
  if (!NikonIsE5700(id)) return false;
  const double w[12] = {0, 1, 0, 1, 1, 1, 1, -0.5, 0, 0, 1, 0.5};
  for (int i = 0; i < 12; ++i) out[i] = w[i];
  return true;
}

bool NikonTakesRaw16(int32_t id) {
  const sNikonConstants* c = Constants(id);
  return c != nullptr && c->raw16;
}
bool NikonInterleavedRows(int32_t id) {
  const sNikonConstants* c = Constants(id);
  return c != nullptr && c->interleaved;
}
bool NikonIsD1(int32_t id) {
  const sNikonConstants* c = Constants(id);
  return c != nullptr && c->d1;
}
bool NikonIsD1X(int32_t id) {
  const sNikonConstants* c = Constants(id);
  return c != nullptr && c->d1x;
}
bool NikonIsE5700(int32_t id) {
  const sNikonConstants* c = Constants(id);
  return c != nullptr && c->e5700;
}

bool ParseNikonNrwBalance(const uint8_t* data, int32_t size, double out[4]) {
  if (data == nullptr || size < 9 || std::memcmp(data, "NRW ", 4) != 0) return false;
  const bool v0100 = std::memcmp(data + 4, "0100", 4) == 0;
  const int32_t start = v0100 ? 1556 : 56;
  if (size < start + 16) return false;
  const uint32_t w0 = Get32LE(data + start), w1 = Get32LE(data + start + 4);
  const uint32_t w2 = Get32LE(data + start + 8), w3 = Get32LE(data + start + 12);
  out[0] = static_cast<double>(static_cast<uint32_t>(4u * w0));
  out[1] = static_cast<double>(static_cast<uint32_t>(w1 + w3));
  out[2] = static_cast<double>(static_cast<uint32_t>(4u * w2));
  out[3] = 0.0;
  return true;
}

bool ReadNikonWhiteBalance(const sNikonBalanceInput& in, double out[4]) {
  const uint8_t* b = in.block;
  const int32_t size = b != nullptr ? in.size : 0;
  if (size < 4) return Fallback(in, out);
  const int32_t v = 1000 * b[0] + 100 * b[1] + 10 * b[2] + b[3] - 53328;
  auto u = [&](int32_t k) { return static_cast<double>(Get16(b + k, in.fileBigEndian)); };
  auto take = [&](int32_t minimum, int32_t r, int32_t g, int32_t bl, int32_t g2) {
    if (size < minimum) return Fallback(in, out);
    out[0] = u(r);
    out[1] = u(g);
    out[2] = u(bl);
    out[3] = u(g2);
    return true;
  };
  switch (v) {
    case 100: return take(80, 72, 76, 74, 78);
    case 102: return take(34, 10, 12, 16, 14);
    case 103: return take(28, 20, 22, 24, 26);
    case 500: return take(12, 6, 4, 8, 10);
    default: break;
  }
  if (v < 200 || v > 216) return Fallback(in, out);
  // Scrambled blocks need the key tables; without them the bytes mean
  // nothing and the fallback is the honest answer.
  if (in.keys == nullptr || in.keys->serialTable == nullptr || in.keys->shutterTable == nullptr)
    return Fallback(in, out);
  const int32_t start = v == 205 ? 4 : 284;
  if (v != 205 && size <= 284) return Fallback(in, out);
  int32_t length = size - start;
  if (length > 324) length = 324;
  static const int32_t kOffsets[17] = {6, 6, 6, 6, 6, 14, 6, 6, 6, 11, 6, 17, 11, 10, 11, 5, 5};
  const int32_t o = kOffsets[v - 200];
  const int32_t at = o & ~1;
  // The four values must lie inside the descrambled area.
  if (length < at + 8) return Fallback(in, out);
  uint8_t area[324];
  std::memcpy(area, b + start, static_cast<size_t>(length));
  const uint32_t sc = in.shutterCount;
  const uint8_t x = static_cast<uint8_t>(sc ^ sc >> 8 ^ sc >> 16 ^ sc >> 24);
  const uint32_t ci = in.keys->serialTable[in.serial & 0xFF];
  uint32_t cj = in.keys->shutterTable[x];
  uint32_t ck = 0x60;
  for (int32_t i = 0; i < length; ++i) {
    cj = (cj + ci * ck) & 0xFF;
    area[i] ^= static_cast<uint8_t>(cj);
    ck = (ck + 1) & 0xFF;
  }
  double w[4];
  for (int i = 0; i < 4; ++i) w[i] = static_cast<double>(Get16(area + at + 2 * i, in.fileBigEndian));
  if ((o & 1) == 0) {
    out[0] = w[0];
    out[1] = w[1];
    out[3] = w[2];
    out[2] = w[3];
  } else {
    out[1] = w[0];
    out[0] = w[1];
    out[2] = w[2];
    out[3] = w[3];
  }
  return true;
}

int32_t ParseSerialDigits(int32_t length, const uint8_t* bytes) {
  if (bytes == nullptr || length <= 0) return 0;
  int32_t value = 0;
  for (int32_t i = 0; i < length && bytes[i] != 0; ++i) {
    const uint8_t c = bytes[i];
    const int32_t d = (c >= '0' && c <= '9') ? c - '0' : c % 10;
    value = static_cast<int32_t>(static_cast<uint32_t>(value) * 10u + static_cast<uint32_t>(d));
  }
  return value;
}
