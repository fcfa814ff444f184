// cExifDecoder: turns the tags of a TIFF/EXIF structure into properties of
// a target picture (size, compression, make, model, orientation,
// resolution, dates, exposure, ISO, GPS, the maker note and the JPEG
// thumbnail of IFD1). The JPEG decoder runs it over APP1 payloads, the TIFF
// decoder is one, and the camera readers start their own.
//
// Rules:
//  a. A listed tag of the wrong type or size fails its directory (error 7)
//     and, through the nested walks, every directory that points to it.
//  b. Sub-IFDs are walked by nested decoders on the stack; a directory that
//     an ancestor is walking, or one nested deeper than kMaxDepth, fails its
//     walk with error 9 instead of recursing without end.
//  c. A thumbnail that does not decode sets error 8 and the walk goes on.
//  d. Properties set before a failure stay on the target.
#pragma once

#include <cstdint>

#include "picture/pict_base.h"
#include "picture/tiff_walker.h"

class cExifDecoder : public cTiffGeneric {
public:
  enum eIfdKind : int32_t {
    kIfd0 = 0,
    kIfdExif = 34665,
    kIfdGps = 34853,
    kIfdInterop = 40965,
    kIfd1 = 0x10000,
  };

  cExifDecoder() = default;
  ~cExifDecoder() override = default;

  // Refuses: a decoder is started through Start. Subclasses that read a
  // whole file call cTiffGeneric::ReadHeader after the reset Start does.
  bool ReadHeader(cFileIOTarget* stream, uint64_t length) override;
  bool OnEntry(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size, uint64_t valueOffset) override;
  bool OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) override;
  // Resets the GPS flags and IFD1 state, sets target and kind, walks the
  // directory at offset.
  virtual bool ReadIFD(cPictBase* target, cFileIOTarget* stream, int32_t kind, uint64_t offset, bool bigEndian,
                       bool bigTiff, uint64_t length);
  // The same reset, then the header and IFD0 of the whole stream.
  virtual bool Start(cPictBase* target, cFileIOTarget* stream, int32_t kind);

  void SetDecodeThumbnail(bool on) { decodeThumbnail_ = on; }
  bool GetDecodeThumbnail() const { return decodeThumbnail_; }
  int32_t GetIfdKind() const { return ifdKind_; }
  cPictBase* GetTarget() const { return target_; }

  // Orientation 1..8 to mirror (0 none, 1 horizontal, 2 vertical) and
  // rotation in degrees; any other value gives 0 and 0.
  static void OrientationToMirrorRotation(uint32_t orientation, int32_t& mirror, int32_t& rotation);

protected:
  // The reset shared by Start and ReadIFD (the decode-thumbnail flag stays).
  void ResetExif(cPictBase* target, int32_t kind);
  void ClearGpsAndIfd1();

private:
  bool OnTagMain(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size);
  bool OnTagGps(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size);
  bool OnTagIfd1(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size);
  bool WalkSubIfd(uint32_t kind, const uint8_t* data);
  bool ThumbnailStep();
  template <class T>
  T* SetProp(int32_t id, int32_t kind);

  bool latitudeSouth_ = false;
  bool longitudeWest_ = false;
  bool altitudeBelow_ = false;
  bool ifd1Jpeg_ = false;
  int64_t thumbOffset_ = -1;
  int64_t thumbLength_ = -1;
  cPictBase* target_ = nullptr;
  int32_t ifdKind_ = 0;
  bool decodeThumbnail_ = false;
};
