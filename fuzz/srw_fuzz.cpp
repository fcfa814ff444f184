// Fuzz target for the SRW decoder; see camera_raw_fuzz_check.h.
#include "fuzz/camera_raw_fuzz_check.h"
#include "picture/raw/pict_srw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return camera_raw_fuzz::FuzzCameraRaw<cPictSRW>(data, size);
}
