// Fujifilm RAF sensor layouts: 12-bit rows (3-byte pairs, or 12-byte groups
// of little-endian words with rows padded to 12 bytes), 14-bit rows (28-byte
// groups of words), and the SuperCCD frame: samples placed on a grid turned
// by 45 degrees, developed there and turned back.
//
// Rules:
//  a. Rows and frames are sized by the caller; every write stays inside
//     them. Samples a row's bytes do not reach (a width that is not a
//     multiple of the unpack step, the tail of a 14-bit row) are left as the
//     caller cleared them.
//  b. Placements and turned-back positions outside their frame are skipped
//     (placing) or give an opaque black pixel (turning back).
#pragma once

#include <cstddef>
#include <cstdint>

// Bytes of one stored 12-bit row (packed: rounded up to 12) and 14-bit row.
uint64_t Raf12RowBytes(int32_t width, bool packedRows);
uint64_t Raf14RowBytes(int32_t width);

void UnpackRaf12Row(const uint8_t* data, uint64_t size, int32_t width, bool packedRows, uint16_t* out);
void UnpackRaf14Row(const uint8_t* data, uint64_t size, int32_t width, uint16_t* out);

// The turned frame of a SuperCCD sensor: S = imageWidth / 2, W = imageHeight
// + S wide and W - 1 high.
struct sSuperCcdFrame {
  int32_t s = 0;       // half the image width
  int32_t h = 0;       // image height
  int32_t width = 0;   // W
  int32_t height = 0;  // W - 1
};
bool SuperCcdFrame(int32_t imageWidth, int32_t imageHeight, sSuperCcdFrame& frame);

// Whether the frame can be developed: it is developed whole into 64-bit
// pixels beside the raw, turned and turned-back buffers, so its pixels count
// four 16-bit samples each against the area cap (pict_area.h). A frame of
// 100 megapixels would need about 1.5 GB at once, more than a 32-bit process
// holds; W = 8192 is the widest that passes. count: the frame's pixels.
bool SuperCcdFrameFits(const sSuperCcdFrame& frame, int64_t& count);

// Places the raw rows (rawWidth x rawHeight) into rotated (frame.width x
// frame.height, cleared by the caller). layout chooses the placement;
// swapBytes exchanges the bytes of each sample (layout clear only).
void PlaceSuperCcd(const uint16_t* raw, int32_t rawWidth, int32_t rawHeight, const sSuperCcdFrame& frame,
                   bool layout, bool swapBytes, uint16_t* rotated);

// The turned-back size: U = (int)(S x sqrt 2) - left - right, V = (int)(H x
// sqrt 2) - top - bottom; false unless both are positive.
bool SuperCcdOutputSize(const sSuperCcdFrame& frame, int32_t left, int32_t right, int32_t top, int32_t bottom,
                        int32_t& u, int32_t& v);

// Turns developed 64-bit pixels of the rotated frame (rows as stored) back
// into out (u x v pixels).
void TurnBackSuperCcd(const uint64_t* developed, const sSuperCcdFrame& frame, int32_t left, int32_t bottom,
                      int32_t u, int32_t v, uint64_t* out);
