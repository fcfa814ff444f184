// Fuzz target for the MRW camera decoder (cPictMRW); properties in
// camera_raw_fuzz.h.
#include "fuzz/camera_raw_fuzz.h"
#include "picture/raw/pict_mrw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return twfuzz::FuzzCameraRaw<cPictMRW>(data, size);
}
