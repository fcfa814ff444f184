// The compiled document format: the constants that the loader reads and the
// markup compiler writes, kept in one place so the two cannot drift apart.
//
// Layout (all integers little-endian, colours 0x00BBGGRR, -1 = none):
//   "QXVHDOCF"
//   { language id (1 byte, 0..254), body length (4, > 0), zlib body } ...
//   0xFF
//   font table:    length (4), zlib stream of 8-byte font records
//   string table:  length (4), zlib stream of {length (2), UTF-8}
//   picture table: length (4), raw {length (4), picture file} entries
// A body is a sequence of element records closed by 0xFF; a box record is
// followed by its children, closed by their own 0xFF.
//
// Limits of our own, which both sides keep (the format has none):
//  a. Boxes nest at most kMaxBoxNesting deep below the root, so that loading,
//     layout and painting recurse a bounded number of times.
//  b. A body, the font table and the string table inflate to at most
//     kMaxInflatedSize bytes each: a few kilobytes of crafted deflate data
//     must not make the loader allocate gigabytes. The markup compiler
//     refuses to write anything larger, so whatever it writes loads back.
#pragma once

#include <cstdint>

namespace sidoc {

inline constexpr char kMagic[8] = {'Q', 'X', 'V', 'H', 'D', 'O', 'C', 'F'};
inline constexpr uint32_t kMagicSize = 8;
// Magic, one language id and one body length.
inline constexpr uint32_t kMinDocumentSize = 13;

inline constexpr uint8_t kEndMark = 0xFF;  // ends the language list and every record sequence
inline constexpr uint16_t kNoId = 0xFFFF;  // no font, string or picture
inline constexpr uint16_t kSizeFromContent = 0xFFFF;  // as 0: width or height from the content

enum eRecordType : uint8_t {
  kRecordText = 0,
  kRecordPicture = 1,
  kRecordBox = 2,
  kRecordLinkText = 3,
  kRecordPictureLink = 4,
};

// Record sizes before any text bytes (and, for a box, before its children).
inline constexpr uint32_t kHeadSize = 18;
inline constexpr uint32_t kTextRecordSize = 26;
inline constexpr uint32_t kLinkRecordSize = 28;
inline constexpr uint32_t kPictureRecordSize = 20;
inline constexpr uint32_t kPictureLinkRecordSize = 22;
inline constexpr uint32_t kBoxRecordSize = 25;

// Offsets inside the common head.
inline constexpr uint32_t kOffType = 0;
inline constexpr uint32_t kOffBackground = 1;
inline constexpr uint32_t kOffBreak = 5;
inline constexpr uint32_t kOffMarginLeft = 6;
inline constexpr uint32_t kOffMarginRight = 8;
inline constexpr uint32_t kOffMarginTop = 10;
inline constexpr uint32_t kOffMarginBottom = 12;
inline constexpr uint32_t kOffWidth = 14;
inline constexpr uint32_t kOffHeight = 16;

// Font records: face (2), width (2), height (2), style (1), zero (1).
inline constexpr uint32_t kFontRecordSize = 8;
inline constexpr uint8_t kStyleBold = 1;
inline constexpr uint8_t kStyleItalic = 2;
inline constexpr uint8_t kStyleUnderline = 4;

// Face codes 0..kMaxFaceCode; 0 is the toolkit's user-interface face.
inline constexpr int32_t kMaxFaceCode = 6;

// Box alignment values.
enum eAlignment : int32_t { kAlignLeft = 0, kAlignRight = 1, kAlignCentre = 2, kAlignJustify = 3 };

inline constexpr int32_t kMaxBoxNesting = 64;
inline constexpr int32_t kMaxInflatedSize = 64 * 1024 * 1024;

// The face name of a face code: code 0 reads the toolkit's current
// user-interface face at each call ("Tahoma" while none is chosen); null for
// a code outside 0..kMaxFaceCode.
const char16_t* FaceName(int32_t faceCode);

}  // namespace sidoc
