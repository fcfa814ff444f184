// Fuzz target for the ORF camera decoder (cPictORF); properties in
// camera_raw_fuzz.h.
#include "fuzz/camera_raw_fuzz.h"
#include "picture/raw/pict_orf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return twfuzz::FuzzCameraRaw<cPictORF>(data, size);
}
