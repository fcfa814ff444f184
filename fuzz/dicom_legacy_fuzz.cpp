// Fuzz target for the DICOM decoder without preamble (cPictDICOMLegacy).
// See picture_fuzz_check.h for the input and the properties; an
// encapsulated frame has the size of the embedded picture, which may differ
// from the rows and columns given.
#include "fuzz/picture_fuzz_check.h"
#include "picture/pict_dicom.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return picture_fuzz::FuzzPicture<cPictDICOMLegacy>(data, size, {false, true});
}
