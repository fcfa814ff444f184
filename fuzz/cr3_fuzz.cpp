// Fuzz target for the CR3 decoder; properties in fuzz/canon_raw_fuzz.h.
#include "fuzz/canon_raw_fuzz.h"
#include "picture/pict_jpeg.h"
#include "picture/raw/pict_cr3.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return twfuzz::FuzzCanonRaw<cPictCR3>(data, size, [](cPictCR3& cr3, cBufWrapperIO& io) -> int64_t {
    // The JPEG at mdat decides what the load allocates.
    cFileIOSubRange window(&io, cr3.MdatOffset(), cr3.MdatSize());
    sPictInfo frame;
    if (!cPictJPEG::Detect(&window, &frame)) return -1;
    return static_cast<int64_t>(frame.width) * frame.height;
  });
}
