// The markup language of documents and its translation into body records,
// fonts, link targets and pictures (formats in sidoc/format.h).
//
// Markup is UTF-16 text of tags ("<" ... ">") and words (everything else
// between blanks: tab, LF, CR, space). Tags, by lower-case name:
//   <text props>...</text>  a box: ml mr mt mb w h br fg bg a f
//   <link ref=...>...</link> its words and pictures become links to ref
//   <img src=... props>     a picture: src ml mr mt mb w h br bg
//   <br>                    a line break
//   <lt>                    a literal "<"
//   <b>...</b>, <i>...</i>  bold, italic
// Property values are quoted ("..." or '...') or bare; numbers as
// ParseInt64W reads them (decimal, or 0x hexadecimal).
//
// Rules:
//  a. Every level of nesting (text, link, b, i) compiles its content with
//     its own copy of the font state, so styles, fonts, links and colours
//     end with their tag. Levels nest at most sidoc::kMaxBoxNesting deep.
//  b. Fonts, link targets and pictures are de-duplicated across all the
//     languages of one document: the same record, text or path gives the
//     same id everywhere.
//  c. The first error stops the language; the context then holds the
//     message, line and column (just after the token being compiled).
#pragma once

#include <cstdint>

#include "base/buffers.h"
#include "base/memio.h"
#include "base/packed_key.h"
#include "base/sorted_tree.h"

// A table entry's place: byte offset in its table and its id.
struct sDocTableEntry {
  uint32_t offset = 0;
  int32_t id = 0;
};

// The state of one CompileDocument call, shared by all its languages.
struct sDocCompileContext {
  sDocCompileContext();
  sDocCompileContext(const sDocCompileContext&) = delete;
  sDocCompileContext& operator=(const sDocCompileContext&) = delete;

  // Language id -> that language's body records.
  cSortedTree<int32_t, cMemIOTarget> bodies{512};
  cMemIOTarget pictureTable;
  cMemIOTarget stringTable;
  cMemIOTarget fontTable;
  cSortedTree<cPackedKey, sDocTableEntry> pictureIndex{1024};  // by path
  cSortedTree<sPairKey, sDocTableEntry> fontIndex{1024};       // by 8-byte record
  cSortedTree<cPackedKey, sDocTableEntry> stringIndex{1024};   // by text
  int32_t nextStringId = 0;
  int32_t nextPictureId = 0;
  int32_t errorLine = 0;
  int32_t errorColumn = 0;
  const char* errorMessage = nullptr;  // a fixed text, not owned
  // Folder of the markup file being compiled, up to and including its last
  // "/"; empty when it has none.
  _guardchar<char16_t> currentFolder;
  int32_t currentLanguage = -1;
};

// Compiles length units of markup text as the context's current language:
// its body is created (or emptied) and filled; fonts, strings and pictures
// go to the shared tables. False with the context's error set (rule c).
bool CompileLanguageMarkup(sDocCompileContext& context, const char16_t* text, int32_t length);

class cDocCompileError;
class cFileIOTarget;
// Writes what follows the magic of a compiled document: the bodies of the
// context's languages in ascending id order (empty ones left out), the end
// of languages, and the three tables. False with error set ("Unable to
// write target", "Unable to compress", "document too large") when a write
// fails or a part is larger than the loader accepts.
bool WriteDocumentParts(sDocCompileContext& context, cFileIOTarget* target, cDocCompileError* error);

// The tokenizer, exposed for tests.
struct sDocMarkupCursor {
  const char16_t* text = nullptr;
  int32_t length = 0;
  int32_t position = 0;
  int32_t line = 0;
  int32_t column = 0;
};
struct sDocMarkupToken {
  const char16_t* start = nullptr;
  int32_t length = 0;
  bool isTag = false;  // "<" ... ">" inclusive
};
// The next token after blanks. False at the end of the text, and for a "<"
// without a ">" before the end (cursor then at the "<": "unexpected
// termination"); tell the two apart by position < length.
bool NextMarkupToken(sDocMarkupCursor& cursor, sDocMarkupToken& token);
