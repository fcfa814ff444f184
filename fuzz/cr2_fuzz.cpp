// Fuzz target for the CR2 decoder; properties in fuzz/canon_raw_fuzz.h.
#include "fuzz/canon_raw_fuzz.h"
#include "picture/pict_tiff.h"
#include "picture/raw/pict_cr2.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return twfuzz::FuzzCanonRaw<cPictCR2>(data, size, [](cPictCR2& cr2, cBufWrapperIO& io) -> int64_t {
    // The raster the decode allocates: the sensor, up to three samples a
    // pixel (sRAW).
    sPictInfo info;
    if (!cr2.ReadInfo(&io, &info)) return -1;
    return static_cast<int64_t>(cr2.SensorWidth()) * cr2.SensorHeight() * 3;
  });
}
