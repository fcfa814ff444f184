// The document compiler's driver: an index file names one markup file per
// language; CompileDocument compiles them all (sidoc/markup.h) into one
// shared set of tables and writes one compiled document (sidoc/format.h).
//
// Index file: one line per language, CODE = "path", blanks (tab, CR, space)
// allowed around each part; CODE is a three-letter language code (ENG, INV,
// DEU, ...; ids 0..12) in any case; the path has no escapes, "./" makes it
// relative to the index file's folder, "" leaves the language out. Blank
// lines are allowed, comments are not.
//
// Rules:
//  a. The first error stops the whole compilation; the error record then
//     names the file, the 0-based line and column (UTF-16 units) and one of
//     the fixed messages listed in compiler.cpp and markup.cpp.
//  b. On failure the target may hold a partial document, not meant for use.
//  c. Whatever CompileDocument writes loads back with LoadCompiledDocument:
//     every write is checked, and documents the loader would refuse (bodies
//     or tables over sidoc::kMaxInflatedSize, more ids than 16 bits hold,
//     boxes nested too deeply) are refused with a message instead.
//  d. Everything lives for one call; no shared state, any thread.
#pragma once

#include <cstdint>

#include "base/buffers.h"
#include "base/fileio.h"
#include "base/guardchar.h"
#include "base/packed_key.h"
#include "base/sorted_tree.h"

class cDocCompileError {
public:
  void Clear();
  // Sets the message (8-bit, one of the fixed texts), path (may be null),
  // line and column.
  void Set(const char* message, const char16_t* path, int32_t line, int32_t column);

  int32_t line = 0;    // 0-based line in the named file, or 0
  int32_t column = 0;  // 0-based column in UTF-16 units, or 0
  _guardchar<char16_t> path;  // index or markup file; empty for target failures
  _guardchar<char> message;
};

// Language code text ("ENG") -> language id.
using tLanguageCodeMap = cSortedTree<cPackedKey, int32_t>;
// Language id -> markup file path.
using tDocumentIndex = cSortedTree<int32_t, _guardchar<char16_t>>;

// Empties codes and fills it with the thirteen codes of ids 0..12.
void FillLanguageCodeMap(tLanguageCodeMap& codes);

// Compiles the index at indexPath and writes the document to target from its
// current position. codes is emptied and filled (FillLanguageCodeMap). On
// failure error says why (rule a); it is cleared first in any case.
bool CompileDocument(tLanguageCodeMap* codes, const char16_t* indexPath, cFileIOTarget* target,
                     cDocCompileError* error);

// Files read whole are at most this large (exactly this is allowed).
inline constexpr uint64_t kMaxTextFileSize = 4 * 1024 * 1024;

// Reads a whole text file from the start of stream into text (UTF-16, no
// terminator counted): FF FE starts UTF-16LE (an odd last byte is ignored),
// EF BB BF starts UTF-8, anything else is UTF-8 from the first byte. False
// for a null stream, a file over kMaxTextFileSize, fewer than 3 bytes, or a
// failed read; text is then unchanged.
bool ReadWholeTextFile(cFileIOTarget* stream, _typebuf<char16_t>& text);

// Parses length units of index text into index (language id -> path). On
// failure error gets the message and the line (column 0); path is left to
// the caller.
bool ParseDocumentIndex(const char16_t* text, int32_t length, const tLanguageCodeMap& codes,
                        tDocumentIndex& index, cDocCompileError* error);
