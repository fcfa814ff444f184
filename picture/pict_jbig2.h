// cPictJBIG2: the JBIG2 bi-level picture decoder (format id 36, ITU-T T.88).
// Reads a JBIG2 file with its file header, or a bare sequence of segments
// (one page), collects every page's page information and immediate generic
// regions, and draws a page by decoding those regions (picture/
// jbig2_generic.h) onto a white page. Each page is one image of the
// multi-image interface; every other segment type is passed over.
//
// Rules:
//  a. File header: the 8-byte file ID, a flags byte and, unless flag bit 1
//     (page count unknown) is set, a non-zero big-endian page count. Flag
//     bit 0 clear means the random-access organisation: all segment headers
//     first, up to and including the end-of-file segment, then the segments'
//     data in the same order. Without the file ID the segments start at 0 in
//     the sequential organisation and the stream is one page.
//  b. Segment headers in T.88's full form: 1- or 4-byte page association
//     (flag bit 6), the long form of the referred-to count (count field 7,
//     then the retain bits), and referred-to numbers of 1, 2 or 4 bytes by
//     the segment's own number. Counts 5 and 6 are malformed and fail the
//     walk.
//  c. Segments must be numbered 0, 1, 2, ...; another number ends the walk,
//     as do a short read and the end-of-file segment (type 51). The pages
//     found then decide: each of pages 1 .. page count needs its page
//     information (non-zero width and height) and at least one generic
//     region. With an unknown page count the highest page seen is the count.
//  d. Page information (type 48) is exactly 19 bytes; immediate generic
//     regions (types 38 and 39) at least 26 bytes. A page association beyond
//     the page count, or 0 on a segment other than a symbol dictionary (type
//     0) or the end of file, fails the walk.
//  e. A page is composed in a one-bit page bitmap: regions in file order
//     replace what lies under them (the combination operator is not used),
//     clipped to the page; a region that fails to decode draws the part it
//     decoded, an MMR region nothing. The page then becomes opaque black
//     and white pixels, in the buffer or, once each, in the attached
//     canvas. Pages of kMaxPixelCount pixels or more are refused.
//  f. A page's regions decode at most 2 x its pixel count + 2^16 pixels
//     together (rows under the page are not decoded, columns off the page
//     are); a region that would pass that budget is left out.
//  g. Each region's coded data is read through a window of its segment's
//     data, so that a region never decodes bytes of the next segment.
//  h. Every entry point answers false (a count of 0) instead of letting an
//     exception out.
#pragma once

#include <cstdint>

#include "base/sorted_tree.h"
#include "picture/pict_base.h"

class cPictJBIG2 : public cPictBase {
public:
  // One immediate generic region segment of a page.
  struct sRegionBlock {
    uint64_t dataOffset = 0;
    uint64_t dataLength = 0;
    uint8_t type = 38;
    sRegionBlock* next = nullptr;
  };
  struct sPage {
    uint32_t width = 0;
    uint32_t height = 0;
    sRegionBlock* first = nullptr;  // owned, file order
    sRegionBlock* last = nullptr;
    sPage() = default;
    sPage(const sPage&) = delete;
    sPage& operator=(const sPage&) = delete;
    ~sPage();
  };

  cPictJBIG2() = default;
  ~cPictJBIG2() override;

  int32_t GetFormat() const override { return kPictFormatJBIG2; }
  // The size of the lowest-numbered page.
  bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) override;
  // Page 1.
  bool Load(cFileIOTarget* stream) override;
  bool CanStreamToCanvas() const override { return true; }
  bool IsMultiImage() const override { return true; }
  int32_t GetImageCount(cFileIOTarget* stream) override;
  bool GetImageInfo(cFileIOTarget* stream, int32_t index, int32_t& width, int32_t& height) override;
  // Draws page index + 1.
  bool LoadImage(cFileIOTarget* stream, int32_t index) override;
  // Page index + 1 moved into destination when it fits the box, else drawn
  // scaled into a blank destination of the fitted size on background.
  bool LoadImageFitted(cFileIOTarget* stream, cPictBase* destination, int32_t maxWidth, int32_t maxHeight,
                       int32_t index, bool allowFullDecode, uint32_t background) override;
  bool LoadPreview(cFileIOTarget*, cPictBase*, int32_t&, int32_t&) override { return false; }

  // The segment walk (rules a to d): fills the page map and the page count.
  bool ReadStructure(cFileIOTarget* stream);
  bool HasAllPages() const;
  uint32_t GetPageCount() const { return pageCount_; }
  // The factory's probe: ReadInfo on a temporary decoder.
  static bool Detect(cFileIOTarget* stream, sPictInfo* info);

private:
  bool Walk(cFileIOTarget* stream);
  bool EnsureStructure(cFileIOTarget* stream);
  bool HandleSegment(cFileIOTarget* stream, uint32_t type, uint32_t page, uint64_t dataOffset,
                     uint64_t dataLength);
  bool LoadPage(cFileIOTarget* stream, int32_t index);
  bool DecodeGenericRegion(cFileIOTarget* stream, const sRegionBlock& block, _typebuf<uint8_t>& page,
                           uint32_t pageWidth, uint32_t pageHeight, uint64_t& budget);

  cSortedTree<int32_t, sPage> pages_{512};
  uint32_t pageCount_ = 0;
  bool streaming_ = false;
};
