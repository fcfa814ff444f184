// Development of camera sensor samples into a picture: the demosaics (with
// black level, channel multipliers and an optional colour matrix), the
// histogram, black and white levels, the tone curve, its application and
// the saturation adjustment, and DevelopRaw, the whole chain that every
// camera Load ends with.
//
// Rules:
//  a. Raw samples are unsigned 16-bit in raster order, top row first.
//     Output pixels are 64-bit (B | G << 16 | R << 32 | A << 48), alpha
//     0xFFFF, rows bottom-up while the context's bottomUp flag is set.
//  b. Every demosaic checks the frame first (CheckRawFrame): borders at
//     least 0, left + right < rawWidth, top + bottom < rawHeight, a raw
//     buffer that holds the whole frame and an output that holds the
//     developed area. Nothing is read or written outside them.
//  c. Every operation answers false when an argument is refused or when the
//     progress sink answers stop; the work done so far stays in the buffers.
//  d. Floating point to integer conversions truncate toward zero.
//  e. Progress percentages are computed in 64 bits.
#pragma once

#include <cstdint>
#include <memory>

#include "base/buffers.h"
#include "base/fileio.h"
#include "base/job.h"
#include "picture/raw/raw_cfa.h"

class cPictBase;

// Samples cut from each side of the raw frame; a null pointer means none.
struct sRawBorders {
  int32_t left = 0;
  int32_t right = 0;
  int32_t top = 0;
  int32_t bottom = 0;
};

class cRawDevelopContext {
public:
  // out must hold outCount pixels and raw rawCount samples (both borrowed);
  // green is copied into the fourth multiplier.
  cRawDevelopContext(uint64_t* outPixels, int64_t outCount, int32_t width, const uint16_t* rawSamples,
                     int64_t rawCount, int32_t height, std::unique_ptr<cBayerFilter> cfa, int32_t blackLevel,
                     double red, double green, double blue);
  cRawDevelopContext(const cRawDevelopContext&) = delete;
  cRawDevelopContext& operator=(const cRawDevelopContext&) = delete;

  const uint16_t* raw = nullptr;
  int64_t rawSampleCount = 0;
  uint64_t* out = nullptr;
  int64_t outPixelCount = 0;
  int32_t rawWidth = 0;
  int32_t rawHeight = 0;
  std::unique_ptr<cBayerFilter> filter;
  cProgressNotifyTarget* progress = nullptr;  // borrowed, may be null
  double multipliers[4] = {1.0, 1.0, 1.0, 1.0};
  bool bottomUp = true;
  int32_t black = 0;
  int32_t minSample = 0;
  int32_t maxSample = 0xFFFF;
};

// The one frame check of every demosaic (rule b); w and h receive the
// developed size on success.
bool CheckRawFrame(const cRawDevelopContext& context, const sRawBorders* borders, int32_t& w, int32_t& h);

// Directional demosaic for two-column filters; matrix: nine doubles row by
// row (output red, green, blue from input red, green, blue) or null.
bool DemosaicBayer(cRawDevelopContext& context, const sRawBorders* borders, const double* matrix);
// The outer band of 4 pixels of DemosaicBayer, developed from the 3 x 3
// neighbourhood. Called by DemosaicBayer last; does nothing when the frame
// check fails.
void DemosaicBayerEdges(uint64_t* out, const cBayerFilter* filter, const uint16_t* raw, int32_t rawWidth,
                        int32_t rawHeight, bool bottomUp, const double* multipliers, const sRawBorders* borders,
                        int32_t black, const double* matrix);
// Per-colour means of the 3 x 3 neighbourhood, for any filter.
bool DemosaicNeighbourMean(const sRawBorders* borders, cRawDevelopContext& context);
// Weighted 3 x 3 development for four-colour sensors; weights: 3 rows
// (output red, green, blue) of 4 columns (colour codes 0 to 3).
bool DemosaicWeighted(const sRawBorders* borders, cRawDevelopContext& context, const double* weights);

// 4096 bins each once built; `all` counts red, green and blue of every pixel.
struct cRawHistogram {
  _typebuf<uint32_t> all;
  _typebuf<uint32_t> red;
  _typebuf<uint32_t> green;
  _typebuf<uint32_t> blue;
};

bool BuildRawHistogram(const uint64_t* pixels, int64_t count, cRawHistogram& histogram,
                       cProgressNotifyTarget* progress);
// Black, middle and white level of one bin array at the fraction (0, 1].
// Out-parameters are written only on success (black and middle found);
// white is 0xFFFF when not found.
bool FindLevels(const _typebuf<uint32_t>& bins, uint32_t& black, uint32_t& middle, uint32_t& white,
                double fraction);
// Fills the 65536-entry table; refuses (table emptied) gamma 0, black >=
// white, white >= 0x10000.
bool BuildToneCurve(uint32_t black, uint32_t white, double gamma, _typebuf<uint32_t>& table);
// Source and destination may be the same buffer.
bool ApplyToneCurve(const uint64_t* source, uint64_t* destination, int64_t count, const _typebuf<uint32_t>& table,
                    cProgressNotifyTarget* progress);
bool AdjustSaturation(const uint64_t* source, uint64_t* destination, int64_t count, cProgressNotifyTarget* progress,
                      double factor);

// The percent the pixel operations report at index of count: index * 100 /
// count in 64 bits (a 32-bit product overflows above 21 megapixels).
double RawProgressPercent(int64_t index, int64_t count);

enum eRawDemosaic : int32_t {
  kRawDemosaicBayer = 0,
  kRawDemosaicNeighbourMean = 1,
  kRawDemosaicWeighted = 2,
};

// A format's constants for DevelopRaw.
struct sRawDevelopParams {
  eRawDemosaic demosaic = kRawDemosaicBayer;
  const double* matrix = nullptr;   // nine values, DemosaicBayer only
  const double* weights = nullptr;  // twelve values, DemosaicWeighted (required)
  bool hasBorders = false;
  sRawBorders borders;
  int32_t black = 0;
  double red = 1.0, green = 1.0, blue = 1.0;
  bool bottomUp = true;
  double levelsFraction = 0.999;
  double gamma = 2.2;
  double saturation = 0.0;  // 0: no saturation step
  // Multipliers for the red, green and blue channels applied after the
  // first levels (DNG's AsShotNeutral); the black level is then found again
  // on a second histogram, the white level stays. Null: no such step.
  const double* neutral = nullptr;
  // The formats whose tone steps may fail without failing the Load (their
  // results are ignored; the pixels are whatever the steps left).
  bool ignoreToneFailures = false;
  // Called between FindLevels and BuildToneCurve, e.g. to cap the white
  // level by the context's maxSample. May be null.
  void (*adjustLevels)(const cRawDevelopContext& context, uint32_t& black, uint32_t& white, void* user) = nullptr;
  void* adjustUser = nullptr;
};

// The development chain: the raw frame (rawCount samples, rawWidth x
// rawHeight) developed with the filter and the constants; progress through
// a cStreamGuardProgressTarget over stream (may be null: no progress). On
// success the picture holds the developed 64-bit pixels (size raw less
// borders, high depth). On failure the picture is unchanged. raw may live in
// the picture's own buffer: the output is built aside and moved in last.
// The raw frame is shown to the frame hook first (below).
bool DevelopRaw(const uint16_t* raw, int64_t rawCount, int32_t rawWidth, int32_t rawHeight,
                std::unique_ptr<cBayerFilter> filter, const sRawDevelopParams& params, cFileIOTarget* stream,
                cPictBase& picture);

// The tail of the chain on pixels already developed (count 64-bit
// pixels, in place): histogram, levels at params.levelsFraction, the
// optional neutral step, adjustLevels (context may be null there: it is
// then not called), tone curve with params.gamma and saturation when set.
// False on a failing step unless params.ignoreToneFailures; a stop request
// through progress fails it always.
bool ApplyDevelopmentTail(uint64_t* pixels, int64_t count, const sRawDevelopParams& params,
                          const cRawDevelopContext* context, cProgressNotifyTarget* progress);

// Test hook: every DevelopRaw shows the unpacked sensor frame to this
// function before developing it (pictdump --raw16). Null: none. Process-wide.
using tRawFrameHook = void (*)(const uint16_t* raw, int32_t rawWidth, int32_t rawHeight, void* user);
void SetRawFrameHook(tRawFrameHook hook, void* user);
// Decoders that end without DevelopRaw show their frame through this.
void ReportRawFrame(const uint16_t* raw, int32_t rawWidth, int32_t rawHeight);
// Whether a hook is set: decoders that must first build the frame skip that
// work when none is.
bool RawFrameHookSet();
