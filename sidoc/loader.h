// cSiDocLoader: one compiled document in memory (format in sidoc/format.h):
// its pictures, link targets and fonts, and one box tree per language.
//
// Rules:
//  a. LoadCompiledDocument empties the loader first (containers with their
//     box trees, then fonts, strings, pictures), so a loader can be loaded
//     again and nothing of an earlier document survives.
//  b. A failed load reports false and leaves what was parsed before the
//     failure in the maps; the caller treats the whole document as
//     unreadable. The optional reason tells which check failed.
//  c. Boxes borrow from the loader: their font provider is the loader, a
//     link's target is the text of the loader's string, a picture box shows
//     the loader's picture. The loader outlives every use of its boxes, and
//     its destructor removes the boxes before the strings and pictures.
//  d. The caller keeps the document bytes; nothing points into them after
//     the call.
//  e. No locks: filled by one thread, then read on the UI thread.
#pragma once

#include <cstdint>
#include <memory>

#include "base/guardchar.h"
#include "base/sorted_tree.h"
#include "gui/picture.h"
#include "sidoc/box.h"

// One entry of the font table.
struct sSiDocFontRecord {
  int32_t face = 0;  // face code, see sidoc::FaceName
  int32_t width = 0;
  int32_t height = 0;
  uint8_t bold = 0;
  uint8_t underline = 0;
  uint8_t italic = 0;
};

// Why a load failed; kNone on success.
enum class eDocLoadError : int32_t {
  kNone,
  kNoData,            // null data or loader
  kTooShort,          // fewer than 13 bytes
  kBadMagic,
  kTruncated,         // a field runs past the end of the data
  kBadBodyLength,     // a body length of 0 or beyond the data
  kRepeatedLanguage,
  kNoLanguage,
  kBadTableLength,    // a table longer than the data left
  kBadFontTable,      // not a multiple of 8 bytes, or over the inflation cap
  kBadStringTable,    // does not end at a record boundary, or over the cap
  kBadPicture,        // not recognised, does not decode, or has no pixels
  kEmptyBody,         // a body that inflates to nothing
  kBodyTooLarge,      // a body over the inflation cap
  kBadRecord,         // unknown type, a record or text that does not fit
  kMissingId,         // a picture or string id absent from its table
  kUnclosedBody,      // records without their closing 0xFF
  kTooDeep,           // boxes nested deeper than sidoc::kMaxBoxNesting
};

// A short English description of reason, for logs and test output.
const char* DocLoadErrorText(eDocLoadError reason);

class cSiDocLoader : public cSiDocFontProvider {
public:
  cSiDocLoader();
  ~cSiDocLoader() override;  // see rule c
  cSiDocLoader(const cSiDocLoader&) = delete;
  cSiDocLoader& operator=(const cSiDocLoader&) = delete;

  // The font of fontId: null when the id is absent or its face code is
  // above 6, else the toolkit's cached font (null when the system cannot
  // make it). Face 0 follows the user-interface face at each call.
  cFontObject* GetFont(int32_t fontId) override;

  // The box tree of a language, or null when the document lacks it. No
  // fallback to another language.
  cSiDocContainer* GetContainer(int32_t languageId) const;

  // Empties the maps in the order of rule a.
  void Clear();

  // Members are declared so that the implicit destruction order is that of
  // rule c as well (containers first).
  // Picture id -> picture; a null picture marks a slot whose file could not
  // be decoded in this build (sidoc/picture_hook.h).
  cSortedTree<int32_t, std::unique_ptr<cPicture>> pictures{512};
  cSortedTree<int32_t, _guardchar<char16_t>> strings{512};
  cSortedTree<int32_t, sSiDocFontRecord> fonts{512};
  cSortedTree<int32_t, std::unique_ptr<cSiDocContainer>> containers{512};
};

// Parses a whole compiled document of size bytes at data into loader (see
// the rules above). reason, when given, receives why it failed (kNone on
// success).
bool LoadCompiledDocument(const void* data, uint32_t size, cSiDocLoader* loader,
                          eDocLoadError* reason = nullptr);
