// Fuzz target for the XPM decoder. The probe reads the first quoted numbers
// after "static" and "char" in the first 255 bytes, comments or not, while
// the loader follows the grammar: their sizes may differ, so the size
// property is not asked.
// See picture_fuzz_check.h for the input and the properties.
#include "fuzz/picture_fuzz_check.h"
#include "picture/pict_xpm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return picture_fuzz::FuzzPicture<cPictXPM>(data, size, {false, true});
}
