// Fuzz target for the RW2 camera decoder (cPictRWL); properties in
// camera_raw_fuzz.h.
#include "fuzz/camera_raw_fuzz.h"
#include "picture/raw/pict_rw2.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return twfuzz::FuzzCameraRaw<cPictRWL>(data, size);
}
