// Fuzz target for the CRW decoder; properties in fuzz/canon_raw_fuzz.h.
// The raw data also goes through the block decoder on its own: it must
// fill the raster without reading or writing outside it.
#include "fuzz/canon_raw_fuzz.h"
#include "picture/raw/pict_crw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return twfuzz::FuzzCanonRaw<cPictCRW>(data, size, [](cPictCRW& crw, cBufWrapperIO& io) -> int64_t {
    // The full walk (not the probe's) knows the sensor size.
    crw.SetInfoOnly(false);
    if (!crw.ReadCiff(&io)) return -1;
    return static_cast<int64_t>(crw.Facts().sensorWidth) * crw.Facts().sensorHeight;
  });
}
