// The scenario compiler: reads a scenario file (the text from which "make"
// builds a package) into a cSOPKGDescription.
//
// File: UTF-16LE, UTF-16LE or UTF-16BE with a byte-order mark, or UTF-8 with
// its mark; no mark reads as UTF-16LE. Lines end at CR, LF, CR LF or a zero.
// After leading blanks (tab, LF, CR, space) a line is empty, a '#' comment, a
// section header ("[General]" ... "[Deprecates]", case-sensitive, then only
// blanks and an optional comment) or a value line of the last header's
// section. Sections may repeat; their values accumulate.
//
// Rules:
//  a. The first error ends the compilation with its code (the table below);
//     the description then holds whatever was filled before it, and is meant
//     to be discarded.
//  b. The line counter counts the lines fully processed before the failing
//     one (the first line of the file is line 0); it is -1 when a
//     completeness check failed after the last line.
//  c. Value texts: a quoted value may hold \" and \\ (a backslash takes the
//     next character literally); '#' outside quotes starts a comment.
//  d. A string reference is a quoted literal, stored in the common table
//     under a generated key ".0000", ".0001", ... (one key per distinct
//     text), or $key naming a key already defined in the common table or in
//     every language's table ("pgm" is always defined) when its line is
//     read; after the last line every key the records name is checked again
//     against all declared languages (code 15), so that a reference read
//     before [General] cannot make a package the reader refuses.
//  e. Folders named in [Install] are added depth-first, each folder's
//     entries in the listing order of cDirListing (names compared upper-cased,
//     then ordinally), whatever order the file system keeps them in.
//  f. Paths are used as written (relative ones against the current folder).
#pragma once

#include <cstdint>
#include <string>

#include "base/guardchar.h"
#include "package/description.h"

// Result codes.
enum : int {
  kScenarioOk = 0,
  kScenarioCannotRead = 1,         // the file cannot be opened or read
  kScenarioUnknownSection = 2,     // a header naming no known section
  kScenarioTextAfterHeader = 3,    // text other than blanks or a comment after a header
  kScenarioNoSection = 4,          // a value line before the first header
  kScenarioUnknownKey = 5,         // a key [General] or [Software] does not know
  kScenarioSyntax = 6,             // a missing '=', ',' or closing part, or unexpected text
  kScenarioBadValue = 7,           // a broken quoted value or reference, or text after a value
  kScenarioBadNumber = 8,          // a number that cannot be read or is out of range
  kScenarioNoLanguage = 9,         // no language declared
  kScenarioNoCodename = 10,        // no "codename" in the common table
  kScenarioNoEula = 11,            // no licence agreement document
  kScenarioNoEulaText = 12,        // a declared language without eula text
  kScenarioNoWelcomeText = 13,     // a declared language without welcome text
  kScenarioNoReadmeText = 14,      // a declared language without readme text
  kScenarioMissingString = 15,     // a language's string key missing in another language
  kScenarioBadLanguage = 16,       // a bad or undeclared language code
  kScenarioEmptyKey = 17,          // an empty string key in [Strings]
  kScenarioShortVersion = 18,      // a version with fewer than two numbers
  kScenarioBadWelcome = 19,        // the welcome document cannot be compiled or loaded
  kScenarioBadReadme = 20,         // the readme document or its flag
  kScenarioBadEula = 21,           // the eula document cannot be compiled or loaded
  kScenarioLineTooLong = 22,       // a line longer than cTextFileReader::kMaxLineUnits
  kScenarioBadFolderPath = 23,     // a folder path (reference and quoted path) cannot be read
  kScenarioBadPlatform = 24,       // an [Install] platform prefix other than x32. or x64.
  kScenarioBadInstallStart = 25,   // an [Install] line beginning with neither '"' nor 'x'
  kScenarioBadSource = 26,         // an [Install] source that is missing or cannot be added
  kScenarioBadAccess = 27,         // bad access digits or bad text after them
};

// Filled when a document fails to compile (codes 19-21): the document
// compiler's error record. path stays empty when the compiler gave no record
// (the compiled document was then refused by the loader).
struct sScenarioDocError {
  std::u16string path;  // the index or markup file
  int line = 0, column = 0;  // 0-based, where the document compiler stopped
  std::u16string message;
};

// Compiles the scenario at path into desc (cleared first). The caller sets
// line to 0; see rule b. docError, when given, is cleared and then filled as
// described above.
int CompileScenario(const char16_t* path, cSOPKGDescription& desc, int& line,
                    sScenarioDocError* docError = nullptr);

// ---- Value syntax ---------------------------------------------------------
// Each takes a zero-terminated line and a position in it and moves the
// position past what it read.

// Skips blanks.
void SkipBlanks(const char16_t* line, int32_t& pos);
// Blanks, '=', blanks; false without the '='.
bool SkipEquals(const char16_t* line, int32_t& pos);
// Blanks, then a quoted value into out (rule c), then blanks. False when no
// '"' opens it, no '"' closes it, or a backslash ends the line.
bool ReadQuoted(const char16_t* line, int32_t& pos, _guardchar<char16_t>& out);
// A string reference (rule d) into key, then blanks. False when there is
// none, it is broken, or its key is empty, starts with '.', or is not
// defined.
bool ReadReference(cSOPKGDescription& desc, const char16_t* line, int32_t& pos, _guardchar<char16_t>& key);
// A reference (the folder key) and, after blanks, a quoted relative path.
bool ReadFolderPath(cSOPKGDescription& desc, const char16_t* line, int32_t& pos, _guardchar<char16_t>& key,
                    _guardchar<char16_t>& path);

// ---- Section parsers ------------------------------------------------------
// Each takes one value line from its first non-blank character and returns
// 0 or a result code.
int ParseGeneralLine(cSOPKGDescription& desc, const char16_t* line);
int ParseSoftwareLine(cSOPKGDescription& desc, const char16_t* line, sScenarioDocError* docError = nullptr);
int ParseStringsLine(cSOPKGDescription& desc, const char16_t* line);
int ParseInstallLine(cSOPKGDescription& desc, const char16_t* line);
int ParseMenuLine(cSOPKGDescription& desc, const char16_t* line);
int ParseSettingsLine(cSOPKGDescription& desc, const char16_t* line);
int ParseRunLine(cSOPKGDescription& desc, const char16_t* line);
int ParseDeprecatesLine(cSOPKGDescription& desc, const char16_t* line);

// The id (0..12) of the three-letter language code at text (case-sensitive),
// or -1.
int32_t MatchLanguageCode(const char16_t* text);
