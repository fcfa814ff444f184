// cPictBase: the abstract picture decoder that is at once the decoded
// picture, with sPictInfo (the probe record), cPictDummy (an empty picture
// used as a pixel holder), the progress sinks of the decoders and the fixed
// format ids of the decoder classes.
//
// Pixel rules every decoder and consumer relies on:
//  a. A 32-bit pixel is 0xAARRGGBB (bytes B, G, R, A in memory), alpha
//     straight; opaque data has alpha 0xFF.
//  b. A 64-bit pixel is four 16-bit channels B | G << 16 | R << 32 | A << 48;
//     opaque data has alpha 0xFFFF.
//  c. Rows are stored bottom-up: pixel (x, y) is element y * width + x and
//     row 0 is the bottom row of the picture. Canvases use the same order.
//  d. Exactly one buffer holds the picture: pixels64 when the high-depth flag
//     is set, else pixels32; the other may hold stale data.
//  e. A pixel count of kMaxPixelCount (2^30) or more is refused before
//     anything is allocated: counts and byte sizes are computed in 64 bits.
//  f. 16 to 8 bits: trunc((v + offset) * (1 / divisor)) clamped to 0..255;
//     with the defaults (256, 0) this is v >> 8.
//
// Failures of decoding answer false; memory exhaustion inside a decoder may
// raise std::bad_alloc, which the factory and the decoders' direct entry
// points turn into a failed result. One thread at a time per picture.
#pragma once

#include <cstdint>
#include <memory>

#include "base/buffers.h"
#include "base/fileio.h"
#include "base/job.h"
#include "picture/pict_props.h"

class cPictBase;
struct sPictCanvas;

// Format ids of the decoder classes. Stable values: the file property bags
// map them to file-type codes of their own. 13, 20, 35 and 37 to 39 are not
// used.
enum ePictFormat : int32_t {
  kPictFormatNone = 0,  // cPictBase, cPictDummy, cPictJP2Base
  kPictFormatJPEG = 1,
  kPictFormatTIFF = 2,
  kPictFormatPNG = 3,
  kPictFormatNEF = 4,
  kPictFormatDIB = 5,
  kPictFormatBMP = 6,
  kPictFormatICO = 7,
  kPictFormatJP2 = 8,
  kPictFormatJ2K = 9,
  kPictFormatCR2 = 10,
  kPictFormatGIF = 11,
  kPictFormatICNS = 12,
  kPictFormatCRW = 14,
  kPictFormatDNG = 15,
  kPictFormatMOS = 16,
  kPictFormatTIFF_EP = 17,
  kPictFormat3FR = 18,
  kPictFormatRAF = 19,
  kPictFormatRWL = 21,
  kPictFormatIIQ = 22,
  kPictFormatSRW = 23,
  kPictFormatPEF = 24,
  kPictFormatARW = 25,
  kPictFormatMRW = 26,
  kPictFormatORF = 27,
  kPictFormatX3F = 28,
  kPictFormatTGA = 29,
  kPictFormatPPM = 30,
  kPictFormatPCX = 31,
  kPictFormatDICOM = 32,
  kPictFormatDICOMLegacy = 33,
  kPictFormatXPM = 34,
  kPictFormatJBIG2 = 36,
  kPictFormatCR3 = 40,
};

// What ReadInfo learns without decoding pixels.
struct sPictInfo {
  int32_t width = 0;
  int32_t height = 0;
  bool hasPreview = false;  // LoadPreview can deliver an embedded preview
};

// The canvas a picture is drawn into (see picture/pict_canvas.h for the
// operations).
//   mode 0: shrink to fit, aspect ratio kept, centred;
//   mode 1: explicit scale (output pixels per source pixel) with a crop
//           origin in source pixels; any other mode is refused.
// The operations write cropX, cropY and scale back when they clamp them.
struct sPictCanvas {
  uint32_t* pixels = nullptr;  // borrowed, bottom-up rows of width pixels
  int32_t width = 0;
  int32_t height = 0;
  int32_t cropX = 0;
  int32_t cropY = 0;
  uint32_t background = 0;  // 0xAARRGGBB of the margins
  double scale = 1.0;
  int32_t mode = 0;

  // A record over picture's 32-bit pixels: crop 0, background 0, scale 1,
  // mode 0. Without a picture: all zero with scale 1.
  static void FromPicture(sPictCanvas& canvas, cPictBase* picture);
};

// Progress sink over a borrowed stream: go on while the stream is set and
// open, so that long pixel loops stop when the stream goes away.
class cStreamGuardProgressTarget : public cProgressNotifyTarget {
public:
  explicit cStreamGuardProgressTarget(cFileIOTarget* stream) : stream_(stream) {}
  bool SetProgress(double percent) override;

private:
  cFileIOTarget* stream_;
};

class cPictBase {
public:
  static constexpr int64_t kMaxPixelCount = int64_t{1} << 30;

  cPictBase() = default;
  cPictBase(const cPictBase&) = delete;
  cPictBase& operator=(const cPictBase&) = delete;

  // ---- Virtual operations, in slot order ----
  virtual int32_t GetFormat() const { return kPictFormatNone; }
  virtual bool IsHighDepth() const { return highDepth_; }
  // Accepts the stream and learns the size (and whether a preview exists)
  // without decoding pixels. info may be null.
  virtual bool ReadInfo(cFileIOTarget* stream, sPictInfo* info) = 0;
  // Decodes the picture from the stream's current position into the pixel
  // buffers, or into the attached canvas when the class streams.
  virtual bool Load(cFileIOTarget* stream) = 0;
  // A copy of the picture as 32-bit pixels (64-bit ones converted by rule f).
  // False, out untouched, without pixels; false when out cannot be allocated.
  virtual bool GetPixels32(_typebuf<uint32_t>& out);
  virtual int32_t GetWidth() const { return width_; }
  virtual int32_t GetHeight() const { return height_; }
  virtual bool CanStreamToCanvas() const { return false; }
  virtual bool IsMultiImage() const { return false; }
  virtual int32_t GetImageCount(cFileIOTarget* stream);
  // Index 0 only: the size through ReadInfo; false for a null stream.
  virtual bool GetImageInfo(cFileIOTarget* stream, int32_t index, int32_t& width, int32_t& height);
  // Index 0 only: Load.
  virtual bool LoadImage(cFileIOTarget* stream, int32_t index);
  // Index 0 only: ReadInfo from 0, then LoadFitted from 0; true when that
  // gives 0.
  virtual bool LoadImageFitted(cFileIOTarget* stream, cPictBase* destination, int32_t maxWidth,
                               int32_t maxHeight, int32_t index, bool allowFullDecode, uint32_t background);
  // Moves an embedded preview into destination; width and height come in as
  // the wanted size. False in the base.
  virtual bool LoadPreview(cFileIOTarget* stream, cPictBase* destination, int32_t& width, int32_t& height);
  virtual ~cPictBase();

  // ---- Pixel buffers ----
  // True when the buffer of the picture's depth holds width * height pixels.
  bool HasPixels() const;
  // Hands the picture over as 32-bit pixels and empties it (size 0 x 0).
  // False, nothing changed, without pixels.
  bool DetachPixels32(_typebuf<uint32_t>& out);
  // Moves source's picture into this one (size, depth, divisor and offset of
  // a high-depth source, the buffer of its depth); source keeps its size but
  // no pixels.
  void TakePixels(cPictBase* source);
  // Frees both buffers; size 0 x 0.
  void ReleasePixels();
  // Sets the size and 8-bit depth; (re)allocates pixels32 to width * height
  // items unless it has exactly that many (content not cleared); frees
  // pixels64. False when pixels32 is empty afterwards (a size of 0, a count
  // of kMaxPixelCount or more, memory exhausted).
  bool AllocatePixels32(int32_t width, int32_t height);
  // The same for the 64-bit buffer and the high depth.
  bool AllocatePixels64(int32_t width, int32_t height);
  // AllocatePixels32, every pixel 0.
  bool CreateBlank(int32_t width, int32_t height);
  // Turns the rows over; false without pixels.
  bool FlipVertical();

  _typebuf<uint32_t>& Pixels32() { return pixels32_; }
  const _typebuf<uint32_t>& Pixels32() const { return pixels32_; }
  _typebuf<uint64_t>& Pixels64() { return pixels64_; }
  const _typebuf<uint64_t>& Pixels64() const { return pixels64_; }
  double GetDivisor() const { return divisor_; }
  int32_t GetOffset() const { return offset_; }
  // Rule f for one channel, and for a whole 64-bit pixel.
  uint32_t Channel16To8(uint32_t v) const;
  uint32_t Pixel64To32(uint64_t p) const;

  bool GetDecodeThumbnails() const { return decodeThumbnails_; }
  void SetDecodeThumbnails(bool on) { decodeThumbnails_ = on; }
  cProgressNotifyTarget* GetProgressTarget() const { return progress_.get(); }
  void SetProgressTarget(std::unique_ptr<cProgressNotifyTarget> sink) { progress_ = std::move(sink); }

  // ---- Properties (ids 0..21, see picture/pict_props.h) ----
  // The property stored under id whatever its kind; when none: null unless
  // create is set and id is 0..21, else a new property of the id's kind.
  cPictProp* GetOrAddProp(int32_t id, bool create);
  cPictPropString* FindStringProp(int32_t id);
  cPictPropInt* FindIntProp(int32_t id);
  cPictPropImage* FindThumbnailProp();
  cPictPropMap& Props() { return props_; }

  // ---- Streaming output into a canvas (picture/pict_canvas.cpp) ----
  // Makes canvas the output target of the next decode (borrowed). Refuses a
  // null canvas, null pixels or a side of 0 or less.
  bool AttachCanvas(sPictCanvas* canvas);
  sPictCanvas* GetAttachedCanvas() const { return canvas_; }
  // Drops the canvas and any accumulators without writing anything.
  void DetachCanvas();
  // Called by a decoder once width and height are set. True: every pixel
  // goes through the put operations and EndCanvasOutput follows. False: no
  // canvas (any attached one is detached); decode into the buffers.
  bool BeginCanvasOutput();
  // One pixel at source column x, bottom-up row y. False only when no output
  // runs or a scaled output lacks its accumulators; pixels outside the
  // canvas or grid are dropped with true.
  bool PutCanvasPixel(int32_t x, int32_t y, uint32_t pixel);
  bool PutCanvasPixel64(int32_t x, int32_t y, uint64_t pixel);
  // One 8-bit channel (0 B, 1 G, 2 R, 3 A) of the pixel at (x, y); at scale 1
  // it is OR-ed into the canvas, so the area must start out 0.
  bool PutCanvasChannel(int32_t x, int32_t y, int32_t channel, uint32_t value);
  bool PutCanvasChannel16(int32_t x, int32_t y, int32_t channel, uint32_t value);
  // A block from column x over rows topRow..bottomRow may reach the canvas.
  bool IsInsideClip(int32_t x, int32_t topRow, int32_t bottomRow) const;
  // Writes out the accumulated grid, frees it and detaches the canvas.
  void EndCanvasOutput();
  double GetOutputScale() const { return outScale_; }
  int32_t GetGridWidth() const { return gridWidth_; }
  int32_t GetGridHeight() const { return gridHeight_; }
  int32_t GetMarginX() const { return marginX_; }
  int32_t GetMarginY() const { return marginY_; }

  // ---- Whole-picture operations (picture/pict_resample.cpp) ----
  // destination receives newWidth x newHeight pixels of source's depth in
  // its buffer of that depth and source's new size; its high-depth flag is
  // left alone. Source and destination differ. False for a size of 0, a
  // source without pixels, or a failed allocation.
  static bool Resample(const cPictBase* source, int32_t newWidth, int32_t newHeight, cPictBase* destination);
  // This picture becomes source with B, G and R stretched from their
  // smallest to their largest value over the full range; into the attached
  // canvas when one takes the output (EndCanvasOutput is then the caller's).
  bool StretchLevels(const cPictBase* source);

  // ---- Fitted loading (picture/pict_factory.cpp) ----
  // Result codes 0, 1, 2, 4 or 5 (see picture/pict_factory.h).
  static int32_t LoadFitted(const sPictInfo& info, cPictBase* decoder, cFileIOTarget* stream,
                            cPictBase* destination, int32_t maxWidth, int32_t maxHeight, bool allowFullDecode,
                            uint32_t background);

protected:
  void SetSize(int32_t width, int32_t height) {
    width_ = width;
    height_ = height;
  }
  void SetHighDepth(bool on) { highDepth_ = on; }
  void SetConversion(double divisor, int32_t offset) {
    divisor_ = divisor;
    offset_ = offset;
  }

private:
  struct sCell {
    float sum[4];  // B, G, R, A
  };
  void FreeAccumulators();
  void AddShare(int32_t c, int32_t r, double share, const uint32_t (&ch)[4]);

  std::unique_ptr<cProgressNotifyTarget> progress_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  double divisor_ = 256.0;
  int32_t offset_ = 0;
  bool highDepth_ = false;
  _typebuf<uint32_t> pixels32_;
  _typebuf<uint64_t> pixels64_;
  bool decodeThumbnails_ = true;
  cPictPropMap props_;

  // Canvas output state.
  _typebuf<sCell> cells_;
  _typebuf<double> weights_;
  int32_t gridWidth_ = 0;
  int32_t gridHeight_ = 0;
  sPictCanvas* canvas_ = nullptr;
  int32_t marginX_ = 0;
  int32_t marginY_ = 0;
  double outScale_ = 1.0;
  int32_t clipX0_ = 0;
  int32_t clipX1_ = 0;
  int32_t clipY0_ = 0;
  int32_t clipY1_ = 0;
};

// The empty picture: format 0, ReadInfo and Load answer false. The
// destination of previews, fitted loading, icons and thumbnails.
class cPictDummy : public cPictBase {
public:
  bool ReadInfo(cFileIOTarget*, sPictInfo*) override { return false; }
  bool Load(cFileIOTarget*) override { return false; }
};

// Draws a decoded picture (32- or 64-bit) into the canvas: copied when it
// fits, else box-filtered (see picture/pict_canvas.cpp). False for a bad
// canvas, a picture without pixels, or a mode other than 0 and 1.
bool RenderPictureToCanvas(sPictCanvas* canvas, cPictBase* picture);
