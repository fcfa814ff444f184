// The built-in default theme tables: metrics, colours, and the pictures
// of gui/theme_art.py.
#include "gui/theme.h"
#include "gui/theme_art.h"

namespace {

// Three values per metric; readers use the first.
const int32_t kDefaultMetrics[cCITheme::kMetricCount * cCITheme::kMetricValues] = {
    30, 16, 100,  // 0
    5, 0, 20,  // 1
    40, 16, 80,  // 2
    5, 0, 10,  // 3
    5, 0, 10,  // 4
    22, 0, 10,  // 5
    44, 0, 50,  // 6
    24, 0, 40,  // 7
    16, 0, 20,  // 8
    10, 0, 20,  // 9
    7, 0, 10,  // 10
    5, 0, 10,  // 11
    3, 0, 10,  // 12
    24, 24, 40,  // 13
    7, 0, 10,  // 14
    14, 10, 16,  // 15
    3, 1, 5,  // 16
    12, 12, 24,  // 17
    20, 12, 24,  // 18
    14, 10, 20,  // 19
    20, 10, 40,  // 20
    48, 32, 100,  // 21
    12, 12, 30,  // 22
    18, 18, 24,  // 23
    18, 18, 24,  // 24
};

// GDI colour values, 0x00BBGGRR.
const uint32_t kDefaultColours[cCITheme::kColourCount] = {
    0xF3E5DF, 0xF3E5DF, 0xF3E5DF, 0xF3E5DF,  // 0..3
    0x404040, 0x808080, 0x606060, 0xFF4040,  // 4..7
    0xA0A0A0, 0xFFFFFF, 0xFFFFFF, 0xF0FFFF,  // 8..11
    0xC0C0C0, 0x404040, 0xFFFFFF, 0xFCF6F0,  // 12..15
    0xFF9933, 0xFF9933, 0xF1EBE5, 0xF1EBE5,  // 16..19
    0xFFFFFF, 0xF1D5C6, 0xF1D5C6, 0xDCB6A9,  // 20..23
    0xFCF3E1, 0xCA9685, 0xE4CDC3, 0xFCF7F5,  // 24..27
    0xFFFCFA, 0xFFFFFF, 0xF0F0F0, 0xF0F0FF,  // 28..31
    0xF1D5C6, 0xDCB6A9, 0xCA9685, 0xFFFFFF,  // 32..35
    0xFFFFFF, 0xFBF7F6, 0xF4E4DB, 0xF3E5DF,  // 36..39
    0x404040, 0x404040, 0xF3E5DF, 0xD6ADA0,  // 40..43
    0xA0A0A0, 0xE0E0E0, 0xB0B0B0, 0xC0C0C0,  // 44..47
    0xFCF7F5, 0x404040, 0x404040, 0xFFFFFF,  // 48..51
    0xFFFFFF, 0xEFD8CE, 0xEFD8CE, 0xEFD8CE,  // 52..55
    0xEFD8CE, 0xEFD8CE, 0xEFD8CE, 0xE8DBD6,  // 56..59
    0xE8DBD6, 0x908280, 0xEBEBEB, 0xDFC4A7,  // 60..63
    0x9B6D18, 0xF7F3EF, 0x404040, 0x000040,  // 64..67
    0x9B8971, 0xE6DED8, 0x8A3E1A, 0xC0C0C0,  // 68..71
    0x000000, 0x9A6F24, 0xFFFFFF, 0xF8F8F8,  // 72..75
};

}  // namespace

const sThemeTables& DefaultThemeTables() {
  static const sThemeTables tables{kDefaultMetrics, kDefaultColours, tw::kDefaultThemePictures};
  return tables;
}
