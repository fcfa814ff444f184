// Fuzz target for the IIQ camera decoder (cPictIIQ); properties in
// camera_raw_fuzz.h.
#include "fuzz/camera_raw_fuzz.h"
#include "picture/raw/pict_iiq.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return twfuzz::FuzzCameraRaw<cPictIIQ>(data, size);
}
