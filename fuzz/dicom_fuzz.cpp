// Fuzz target for the DICOM decoder with preamble (cPictDICOM). See
// picture_fuzz_check.h for the input and the properties: counts and sizes
// agree with the loads, loads repeat, streaming gives the buffered pixels
// and fitted loads stay in their box. Two checks are off by the format's
// rules: an encapsulated frame has the size of the embedded picture, which
// may differ from the rows and columns given, and a JPEG frame is
// stretched to full scale only when buffered.
#include "fuzz/picture_fuzz_check.h"
#include "picture/pict_dicom.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return picture_fuzz::FuzzPicture<cPictDICOM>(data, size, {false, false});
}
