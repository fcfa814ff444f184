// cCITheme: the toolkit's single source of look. Numbered metrics (sizes in
// logical pixels), numbered GDI colours (0x00BBGGRR) and numbered pictures;
// every control asks the current theme for the entries it paints with, by
// fixed index.
//
// One theme is current at a time, built from three tables: the built-in
// default ones (GetTheme before any SetTheme) or tables that the application
// installs at start. No lock: the theme is built and read on the UI thread
// before forms are shown; image stores borrow its pictures, so it is not
// replaced once the first form is open.
#pragma once

#include <cstdint>

#include "base/buffers.h"
#include "gui/picture.h"

// One picture of the input tables. pixels: width * height words, B G R A
// bytes, bottom row first, or null. A 1 x 1 entry stands for a solid colour
// (value, 0x00BBGGRR); 0 x 0 without pixels is an empty picture.
struct sThemePictureEntry {
  int32_t width;
  int32_t height;
  uint32_t value;
  const uint32_t* pixels;
};

// The input of SetTheme: metrics 25 x 3, colours 76, pictures 160 entries.
// A null pointer stands for a table of zeros (pictures: 0 x 0, value -1).
struct sThemeTables {
  const int32_t* metrics;
  const uint32_t* colours;
  const sThemePictureEntry* pictures;
};

struct sThemePicture {
  int32_t width = 0;
  int32_t height = 0;
  uint32_t value = 0xFFFFFFFFu;
  cPicture picture;
};

struct sPictureSize {
  int32_t width = 0;
  int32_t height = 0;
};

class cCITheme {
public:
  static constexpr int32_t kMetricCount = 25;
  static constexpr int32_t kMetricValues = 3;
  static constexpr int32_t kColourCount = 76;
  static constexpr int32_t kPictureCount = 160;

  // Copies the tables (null tables: zeros). Throws std::bad_alloc.
  explicit cCITheme(const sThemeTables* tables);
  cCITheme(const cCITheme&) = delete;
  cCITheme& operator=(const cCITheme&) = delete;
  virtual ~cCITheme() = default;

  // Colour 0 to 75; any other index is a programming error (cException).
  uint32_t GetColour(int32_t index) const;
  // Value valueNo (0 to 2) of metric index (0 to 24); 0 outside them.
  int32_t GetMetric(uint32_t index, uint32_t valueNo = 0) const;
  // The entry's picture when it has pixels; null otherwise or above 159.
  cPicture* GetPicture(uint32_t index);
  // Null above 159. Otherwise writes the entry's size to *size (when not
  // null) and returns, for a 1 x 1 entry, the address of its value (the
  // solid colour), else the picture's pixels (null when it has none).
  const uint32_t* GetPictureData(uint32_t index, sPictureSize* size);
  // The entry itself (size, value, picture); null above 159.
  const sThemePicture* GetPictureEntry(uint32_t index) const;

private:
  _typebuf<int32_t> metrics_;   // 25 entries of three values
  _typebuf<uint32_t> colours_;  // 76
  _classbuf<sThemePicture> pictures_;
};

// Builds a theme from tables and makes it current, deleting the previous
// one. False when it could not be built: no theme is current then, and the
// next GetTheme builds the default one.
bool SetTheme(const sThemeTables* tables);

// The current theme; the default one is built on first use.
cCITheme* GetTheme();

// The built-in default tables (the pictures from the theme artwork).
const sThemeTables& DefaultThemeTables();
