// See pict_tiff.h: the CCITT decompressors of cPictTIFF over ccitt_fax.h.
#include "picture/ccitt_fax.h"
#include "picture/pict_tiff.h"

namespace {

sFaxParams Params(const sTiffStripData& sd, int32_t width, uint16_t fillOrder, int32_t t4Options) {
  sFaxParams p;
  p.width = width;
  p.rows = sd.rows;
  p.bytesPerRow = sd.bytesPerRow;
  p.whiteIsOne = sd.photometric == 1;
  p.reverseBits = fillOrder != 1;
  p.twoDimensional = (t4Options & 1) != 0;
  return p;
}

}  // namespace

bool cPictTIFF::DecodeFaxT4(const uint8_t* input, int32_t count, sTiffStripData& sd) {
  if (sd.bitsPerSample != 1) return false;
  return DecodeFaxT4Data(input, count, Params(sd, GetWidth(), fillOrder_, t4Options_), sd.data);
}

bool cPictTIFF::DecodeFaxT6(const uint8_t* input, int32_t count, sTiffStripData& sd) {
  if (sd.bitsPerSample != 1) return false;
  return DecodeFaxT6Data(input, count, Params(sd, GetWidth(), fillOrder_, 0), sd.data);
}
