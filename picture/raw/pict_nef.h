// cPictNEF: Nikon raw files, NEF and the NRW files of compact cameras
// (format id 4). A TIFF: IFD0 names make, model and the SubIFD list; one
// SubIFD is the raw image, loaded as a TIFF page whose strips the hooks
// below turn into 16-bit samples (raw_nikon_unpack.h) and develop
// (raw_nikon_models.h for the camera's constants and white balance).
//
// Rules:
//  a. Every entry point runs under RawGuarded: a throw is a failed result.
//  b. The maker-note fields, the CFA pattern and the preview fields are not
//     cleared between calls; a later walk overwrites a field it meets.
//  c. A single strip shorter than the frame is refused, as is a strip that
//     does not fit the frame.
//  d. Colour-balance versions 200..216 take the fallback: the decoder has
//     no key tables for them.
//  e. Load sets property 13 (the IFD0 picture, else the main reader's EXIF
//     thumbnail, or the thumbnail of a version-1 maker note) and 14 (the
//     preview JPEG), decoded at once when the picture decodes thumbnails; a
//     thumbnail or preview that fails to decode then fails the Load.
//  f. LoadPreview delivers the IFD0 picture (or EXIF thumbnail) when it is
//     at least 2/3 of the wanted size, else the preview JPEG: its own EXIF
//     thumbnail when that is large enough by the same measure, else the
//     whole preview fitted into the wanted size while it decodes.
#pragma once

#include <cstdint>

#include "picture/pict_tiff.h"
#include "picture/raw/raw_cfa.h"
#include "picture/raw/raw_nikon_models.h"
#include "picture/tiff_walker.h"

class cNEFProps : public cTiffGeneric {
public:
  bool OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) override;

  _typebuf<uint8_t> linearisation;
  uint16_t nefCompression = 0;
  _typebuf<uint8_t> colourBalance;
  uint32_t shutterCount = 0;
  int32_t serial = 0;
  _typebuf<uint8_t> thumbnail;
  double nrw[4] = {0, 0, 0, 0};
  bool nrwPresent = false;
};

class cNEFJpegPreview : public cTiffGeneric {
public:
  bool OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) override;
  uint32_t offset = 0;
  uint32_t length = 0;
};

class cPictNEF : public cPictTIFF {
public:
  int32_t GetFormat() const override { return kPictFormatNEF; }
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  bool Load(cFileIOTarget* stream) override;
  bool LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height) override;
  bool LoadImageFitted(cFileIOTarget* stream, cPictBase* destination, int32_t maxWidth, int32_t maxHeight,
                       int32_t index, bool allowFullDecode, uint32_t background) override;
  bool CanStreamToCanvas() const override { return false; }
  bool IsMultiImage() const override { return false; }
  int32_t GetImageCount(cFileIOTarget*) override { return 1; }
  bool GetImageInfo(cFileIOTarget* stream, int32_t index, int32_t& width, int32_t& height) override;
  bool LoadImage(cFileIOTarget* stream, int32_t index) override;

  bool IsPageSupported() override;
  bool Decompress(const uint8_t* input, int32_t count, int32_t compression, sTiffStripData& sd) override;
  bool PutRows16(int32_t y, const sTiffStripData& sd) override;
  bool BeginStrips(bool multiple) override;
  bool EndStrips() override;
  bool OnTag(uint32_t tag, uint32_t type, const uint8_t* data, int32_t size) override;

  static bool Detect(cFileIOTarget* stream, sPictInfo* info);
  // LoadPreview's measure: r = max(wanted width / width, wanted height /
  // height), a missing (non-positive) wanted width counting as 0 and a
  // missing height as 1; a picture with r >= 1.5 is too small.
  static bool NeedsLargerPreview(const cPictBase& have, int32_t wantW, int32_t wantH);

  int32_t ModelId() const { return modelId_; }
  const cNEFProps& MakerNote() const { return props_; }

private:
  enum eNote : int32_t { kNoteRefused = 0, kNoteV1, kNoteV2, kNoteBare };
  // Reads the maker note of the main reader; minSize 6 (Load, LoadPreview)
  // or 10 (ReadInfo).
  int32_t ReadMakerNote(cPictTIFF& main, cFileIOTarget* stream, int32_t minSize);
  bool StartOwnPage(cFileIOTarget* stream);
  bool WalkRaw(cFileIOTarget* stream, uint32_t offset, bool be, bool bigTiff);
  std::unique_ptr<cBayerFilter> CreateFilter() const;

  cNEFProps props_;
  cNEFJpegPreview preview_;
  sCFAPattern pattern_;
  uint16_t patternRows_ = 0, patternColumns_ = 0;
  _typebuf<uint16_t> raw_;
  uint32_t rawBits_ = 0;
  bool plainPage_ = false;
  int32_t modelId_ = kNikonUnknown;
  cFileIOTarget* stream_ = nullptr;
};
