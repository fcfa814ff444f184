// cPictRawTIFFPage: the TIFF page state of a camera file read as its sensor
// data. DNG, 3FR, TIFF/EP and MOS walk the sensor IFD as a TIFF page; from
// there the sensor layout (raw_sensor.h) is the page's own size, depth,
// compression, byte order and strips or tiles, and a page that is not CFA
// data is decoded by the TIFF strip and tile machinery.
#pragma once

#include <cstdint>

#include "picture/pict_tiff.h"
#include "picture/raw/raw_sensor.h"

class cPictRawTIFFPage : public cPictTIFF {
protected:
  // The layout of the page walked last; counts receives its byte counts (the
  // layout points into it and into the page's offsets). With widenStrip one
  // uncompressed strip counts as many bytes as its rows need. False without
  // a width or height.
  bool PageSensorLayout(sRawSensorLayout& layout, _typebuf<uint32_t>& counts, bool widenStrip);
  // The size the page develops to: its width in whole four-sample pixels
  // and its height. False without a width or height.
  bool PageSensorSize(int32_t& width, int32_t& height);
  // The page through the strip or tile loops; a throw is a failed result.
  bool DecodePage(cFileIOTarget* stream);
  // DecodePage after one uncompressed strip was widened to what its rows
  // need, for every sample plane.
  bool DecodeWidenedPage(cFileIOTarget* stream);
};
