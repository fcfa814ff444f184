// Fuzz target for the JBIG2 decoder: the segment walk, every page's regions
// through the MQ and generic-region decoders, and streaming.
// See picture_fuzz_check.h for the input and the properties.
#include "fuzz/picture_fuzz_check.h"
#include "picture/pict_jbig2.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return picture_fuzz::FuzzPicture<cPictJBIG2>(data, size, {});
}
