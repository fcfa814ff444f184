// DICOM pictures: cPictDICOM (format id 32) reads files with the 128-byte
// preamble and "DICM" as explicit-VR little-endian data elements;
// cPictDICOMLegacy (format id 33) reads preamble-less implicit-VR
// little-endian data sets (old DICOM and ACR-NEMA). Both collect the image
// attributes of the main data set and of every sequence item into frame
// records (sDicomFrame, one per image, keyed by item number) and decode a
// record on request: native 8- and 16-bit grey and RGB samples here,
// encapsulated JPEG 2000 through cPictJ2K and (cPictDICOM only) JPEG through
// cPictJPEG. Both are multi-image decoders and stream into canvases.
//
// Rules:
//  a. The first operation that needs the structure parses the stream (after
//     freeing the pixels); later calls reuse the frame map until the object
//     is deleted.
//  b. cPictDICOM splits pixel data of k >= 2 whole frames into k images; the
//     records of the whole map are capped at kMaxFrames.
//  c. Native samples: a frame whose pixel data has exactly the frame size,
//     or one byte more when the frame size is odd (DICOM pads values to an
//     even length), is native; the legacy decoder also takes twice the
//     frame size (the first half is used). Anything else is probed as
//     encapsulated data.
//  d. Rows are stored bottom-up (frame row r is picture row height - 1 - r).
//     Grey frames are stretched from their own minimum to maximum over the
//     full range; otherwise samples are scaled from the bits stored to the
//     bits allocated. 16-bit frames give 64-bit pixels.
//  e. Sequences nest at most kMaxDepth deep; deeper data fails the parse.
//  f. No entry point lets an exception out.
#pragma once

#include <cstdint>

#include "base/sorted_tree.h"
#include "picture/pict_base.h"

struct sDicomFrame {
  uint32_t dataPosition = 0;  // stream offset of the pixel data value
  uint32_t dataLength = 0;
  uint32_t samplesPerPixel = 0;
  uint32_t planarConfiguration = 0;
  uint32_t bitsAllocated = 0;
  uint32_t bitsStored = 0;
  uint32_t pixelRepresentation = 0;  // kept, not used
  uint32_t columns = 0;
  uint32_t rows = 0;
};

using tDicomFrameMap = cSortedTree<int32_t, sDicomFrame>;

// The record under index, or a new all-zero one inserted under it; null when
// the insertion failed.
sDicomFrame* FindOrAddDicomFrame(tDicomFrameMap& map, int32_t index);

// What both DICOM decoders share: the frame map, the multi-image operations
// and the frame decoder. Parse is the format's own element walk.
class cPictDICOMFrames : public cPictBase {
public:
  static constexpr uint32_t kMapDepthLimit = 512;
  static constexpr int32_t kMaxDepth = 32;
  static constexpr int32_t kMaxFrames = 65536;

  cPictDICOMFrames() : frames_(kMapDepthLimit) {}

  // Size of the image with the lowest key, no preview.
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  // Image 0.
  bool Load(cFileIOTarget* stream) override;
  bool CanStreamToCanvas() const override { return true; }
  bool IsMultiImage() const override { return true; }
  // 0 when the parse fails.
  int32_t GetImageCount(cFileIOTarget* stream) override;
  bool GetImageInfo(cFileIOTarget* stream, int32_t index, int32_t& width, int32_t& height) override;
  bool LoadImage(cFileIOTarget* stream, int32_t index) override;
  // An image larger than the box is streamed into a fitting canvas over
  // destination on background; a smaller one is decoded and moved there as
  // 32-bit pixels. allowFullDecode is not used.
  bool LoadImageFitted(cFileIOTarget* stream, cPictBase* destination, int32_t maxWidth, int32_t maxHeight,
                       int32_t index, bool allowFullDecode, uint32_t background) override;

  // Decodes one record into the pixels or the attached canvas. See rules c
  // and d; false for a null record, bits allocated other than 8 or 16, bits
  // stored 0 or above bits allocated, samples other than 1 or 3, a pixel
  // count that cannot be allocated, a short read, or encapsulated data that
  // no probe accepts.
  bool DecodeFrame(cFileIOTarget* stream, const sDicomFrame* frame);

  tDicomFrameMap& Frames() { return frames_; }

protected:
  // The element walk of the format over the whole stream, filling the map.
  virtual bool Parse(cFileIOTarget* stream) = 0;
  // The legacy decoder accepts twice the frame size as native and probes
  // only JPEG 2000 at +20.
  virtual bool IsLegacy() const { return false; }

  cFileIOTarget* stream_ = nullptr;

private:
  bool EnsureParsed(cFileIOTarget* stream);
  const sDicomFrame* FrameAt(int32_t index);
  bool DecodeNative(cFileIOTarget* stream, const sDicomFrame& f);
  bool DecodeEncapsulated(cFileIOTarget* stream, const sDicomFrame& f);

  tDicomFrameMap frames_;
};

class cPictDICOM : public cPictDICOMFrames {
public:
  int32_t GetFormat() const override { return kPictFormatDICOM; }
  static bool Detect(cFileIOTarget* stream, sPictInfo* info);

  // One data element met by the walk: value at position, item number of the
  // walk. False fails the parse (an image attribute of the wrong VR or
  // length, or 0 where a value must be set).
  bool OnElement(uint16_t group, uint16_t element, const char vr[2], uint32_t length, uint32_t position,
                 int32_t item);

protected:
  bool Parse(cFileIOTarget* stream) override;

private:
  bool ParseElements(cFileIOTarget* stream, uint64_t& position, uint64_t end, int32_t& counter, int32_t depth);
};

class cPictDICOMLegacy : public cPictDICOMFrames {
public:
  int32_t GetFormat() const override { return kPictFormatDICOMLegacy; }
  static bool Detect(cFileIOTarget* stream, sPictInfo* info);

  bool OnElement(uint16_t group, uint16_t element, uint32_t length, uint32_t position, int32_t index);

protected:
  bool Parse(cFileIOTarget* stream) override;
  bool IsLegacy() const override { return true; }

private:
  bool ParseElements(cFileIOTarget* stream, uint64_t& position, uint64_t end, int32_t& counter, int32_t depth);
};
