// Fuzz target for the ICO/CUR decoder. An icon DIB may hold a PNG of another
// size than its header says, and only buffered output gets the AND mask, so
// those two properties are not asked.
// See picture_fuzz_check.h for the input and the properties.
#include "fuzz/picture_fuzz_check.h"
#include "picture/pict_ico.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return picture_fuzz::FuzzPicture<cPictICO>(data, size, {false, false});
}
