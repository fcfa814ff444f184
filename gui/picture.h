// cPicture: the toolkit's one image type, a 32-bit picture in memory.
//
// Pixel layout, relied on by the canvas, the theme and every decoder:
//  a. One 32-bit word per pixel, bytes in memory B, G, R, A; alpha is
//     straight (not premultiplied), 255 opaque.
//  b. Rows follow each other without padding, bottom row first: row 0 of the
//     buffer is the bottom line of the image, the memory order of a
//     bottom-up DIB section, so pixels move into and out of such a surface
//     unchanged. A top-down source is turned round by SetPixels' flip.
//  c. The pixel count is always width * height and stays below
//     kMaxPixelCount, whose byte size fits in 32 bits.
//
// Operations report failure by their result (a size below 1, a missing
// target, a count that does not match the size) and leave the picture as it
// was. Memory exhaustion, and any size whose pixel count reaches
// kMaxPixelCount, raise std::bad_alloc before anything is allocated.
//
// cPictureHolder: a picture slot that may own its picture. cImageStore: an
// ordered map from picture id to such slots.
#pragma once

#include <cstdint>
#include <memory>

#include "base/buffers.h"
#include "base/sorted_tree.h"

class cPicture {
public:
  // 2^30 pixels of 4 bytes: the first count whose byte size leaves 32 bits.
  static constexpr int64_t kMaxPixelCount = int64_t{1} << 30;

  cPicture() = default;
  cPicture(const cPicture&) = delete;
  cPicture& operator=(const cPicture&) = delete;
  virtual ~cPicture() = default;

  // Resamples into target at newWidth x newHeight with the separable
  // box/linear filter (see picture.cpp). target may be this picture. False
  // for a null target, a size below 1 on either side, or a picture whose
  // pixel count does not match its size; target is then untouched. Throws
  // std::bad_alloc when the target, or the newWidth x height picture between
  // the row and column passes, reaches kMaxPixelCount.
  virtual bool ResizeTo(int32_t newWidth, int32_t newHeight, cPicture* target);

  uint32_t* GetPixels() { return pixels_.data; }
  const uint32_t* GetPixels() const { return pixels_.data; }
  int32_t GetWidth() const { return width_; }
  int32_t GetHeight() const { return height_; }
  int32_t GetPixelCount() const { return pixels_.count; }

  // False when either side is below 1. A new pixel count replaces the buffer
  // by a zeroed one; an unchanged count keeps the old pixels (4 x 2 after
  // 2 x 4 keeps them). Throws std::bad_alloc for kMaxPixelCount or more.
  bool Allocate(int32_t width, int32_t height);

  // Allocate, then copies width * height words from source. With flip, row r
  // of the picture takes source row height - 1 - r (a top-down source).
  // False for a null source or a size below 1.
  bool SetPixels(const uint32_t* source, int32_t width, int32_t height, bool flip);

  // Takes buffer's pixels as its own: the picture's old pixels are freed and
  // buffer is left empty. False, with buffer and picture unchanged, when the
  // buffer is empty, a side is below 1 or the buffer's count is not
  // width * height.
  bool AdoptPixels(_typebuf<uint32_t>& buffer, int32_t width, int32_t height);

  // Allocate, then every pixel = value.
  bool Fill(uint32_t value, int32_t width, int32_t height);

  // filter 0: ResizeTo; 1: ResizeAreaAverage; anything else false.
  bool Resize(int32_t filter, int32_t newWidth, int32_t newHeight, cPicture* target);

  // Each output pixel averages the source area it covers, weighted by the
  // overlap; for enlarging and reducing alike. Same checks as ResizeTo.
  bool ResizeAreaAverage(int32_t newWidth, int32_t newHeight, cPicture* target);

  // Resamples one line of n pixels (spaced stride words apart) into m
  // pixels (spaced outStride apart), each channel separately: m < n box
  // filter, m > n linear interpolation, m = n copy. n, m >= 1.
  static void ResampleLine(const uint32_t* in, int32_t n, int32_t stride, uint32_t* out, int32_t m,
                           int32_t outStride);

private:
  bool CheckResize(int32_t newWidth, int32_t newHeight, const cPicture* target) const;

  _typebuf<uint32_t> pixels_;
  int32_t width_ = 0;
  int32_t height_ = 0;
};

class cImageStore;

class cPictureHolder {
public:
  cPictureHolder() = default;
  cPictureHolder(const cPictureHolder&) = delete;
  cPictureHolder& operator=(const cPictureHolder&) = delete;
  ~cPictureHolder() = default;  // deletes the owned picture

  // The picture in use: the owned one, a borrowed one, or null.
  cPicture* Get() const { return shown_; }
  bool Owns() const { return owned_ != nullptr; }

  // Deletes the owned picture and shows picture without owning it (null
  // shows nothing). True.
  bool SetBorrowed(cPicture* picture);
  // Deletes the owned picture and shows the store's picture for id (nothing
  // when the store is null or lacks the id). True.
  bool SetFromStore(const cImageStore* store, int32_t id);
  // Deletes the old owned picture; owns and shows picture (null: nothing).
  void SetOwned(std::unique_ptr<cPicture> picture);

private:
  std::unique_ptr<cPicture> owned_;
  cPicture* shown_ = nullptr;
};

class cImageStore {
public:
  cImageStore() : map_(512) {}
  cImageStore(const cImageStore&) = delete;
  cImageStore& operator=(const cImageStore&) = delete;

  // The shown picture of id, or null.
  cPicture* Find(int32_t id) const;
  bool Has(int32_t id) const { return map_.Find(id) != nullptr; }

  // Gives id a new owned picture of width x height pixels copied from
  // pixels, which must already be bottom row first: flip is accepted for the
  // callers' sake and not applied. On failure id is removed and false
  // returned.
  bool AddPixels(int32_t id, const uint32_t* pixels, int32_t width, int32_t height, bool flip);

  // Null removes id (true, also when absent); otherwise id shows picture,
  // borrowed, its owned picture deleted. False when the entry cannot be made.
  bool Set(int32_t id, cPicture* picture);

  bool IsEmpty() const { return map_.IsEmpty(); }
  // Removes every id, deleting the owned pictures.
  void Clear() { map_.Clear(); }

private:
  cSortedTree<int32_t, cPictureHolder> map_;
};

namespace tw {

// The program-wide stores of theme pictures shared by all controls of one
// kind: empty before the main code runs, filled by the first control that
// needs them, emptied at exit.
enum class eSharedStore : int32_t {
  kHScrollNormal,
  kHScrollHover,
  kHScrollPressed,
  kVScrollNormal,
  kVScrollHover,
  kVScrollPressed,
  kMessageBox,
  kProgressForm,
  kFileChooserTop,
  kFileChooserBottom,
  kFileChooserList,
  kFileChooserNewFolder,
  kUnused,  // kept with the others; no control fills it
  kCount
};

cImageStore& SharedImageStore(eSharedStore which);

}  // namespace tw
