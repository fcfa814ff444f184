// Fuzz target for the X3F camera decoder (cPictX3F); properties in
// camera_raw_fuzz.h.
#include "fuzz/camera_raw_fuzz.h"
#include "picture/raw/pict_x3f.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return twfuzz::FuzzCameraRaw<cPictX3F>(data, size);
}
