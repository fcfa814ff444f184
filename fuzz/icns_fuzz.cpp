// Fuzz target for the ICNS decoder.
// See picture_fuzz_check.h for the input and the properties.
#include "fuzz/picture_fuzz_check.h"
#include "picture/pict_icns.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return picture_fuzz::FuzzPicture<cPictICNS>(data, size, {});
}
