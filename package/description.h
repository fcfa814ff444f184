// cSOPKGDescription: one package in memory. The package reader fills it from
// a package file, the scenario compiler from a scenario, the writer stores
// it, and the installer reads it through the accessors, which resolve the
// package's string keys for the current language and the running platform.
//
// Rules:
//  a. Records hold string keys and relative paths, never display texts or
//     folders. A key resolves in the current language's table first, then in
//     the common table (GetString).
//  b. The key "pgm" is reserved for the program folder chosen at
//     installation (SetProgramFolder); a package may use it without defining
//     it.
//  c. Accessors never throw; they answer false or null. The resolved-list
//     accessors stop at the first record they cannot resolve and leave the
//     records made so far in the caller's list.
//  d. One thread at a time uses a description.
//  e. The three documents keep their compiled bytes (which the writer
//     stores) and a loader filled from them by the reader.
//  f. Packages are hostile input (they also arrive by update download): a
//     package may only place files inside the program folder. The reader
//     refuses, and the writer does not write, a description that breaks
//     CheckInstallPaths.
#pragma once

#include <cstdint>
#include <memory>

#include "base/buffers.h"
#include "base/fileio.h"
#include "base/guardchar.h"
#include "base/lists.h"
#include "base/packed_key.h"
#include "base/sorted_tree.h"
#include "crypto/sha.h"
#include "package/payload.h"
#include "sidoc/loader.h"

// A table of texts by string key.
using tPkgStringTable = cSortedTree<cPackedKey, _guardchar<char16_t>>;
// The per-language tables by language id.
using tPkgLanguageTables = cSortedTree<int32_t, std::unique_ptr<tPkgStringTable>>;

inline constexpr uint32_t kLanguageTablesDepthLimit = 512;
// Language ids a package may carry (0..13; the language-code table names 0..12).
inline constexpr int32_t kMaxPackageLanguage = 13;
// An access digit that the scenario did not give.
inline constexpr uint8_t kAccessNotGiven = 8;

// One shortcut to create.
struct sMenuItem {
  _guardchar<char16_t> nameKey;
  _guardchar<char16_t> descriptionKey;  // may be empty
  _guardchar<char16_t> targetFolderKey;
  _guardchar<char16_t> targetPath;
  _guardchar<char16_t> argumentsKey;    // may be empty
  _guardchar<char16_t> iconFolderKey;
  _guardchar<char16_t> iconPath;
  uint8_t flags = 0;  // bit 0: run as administrator
};

// One file to install.
struct sInstallEntry {
  uint32_t payloadIndex = 0;
  _guardchar<char16_t> folderKey;
  _guardchar<char16_t> relativePath;
  // Empty: every language; otherwise only the listed ones.
  cSimpleList<int32_t> languages;
  uint8_t flag32 = 0;  // applies on 32-bit Windows
  uint8_t flag64 = 0;  // applies under 64-bit Windows (WOW64)
  // Read 4 + write 2 + execute 1, or kAccessNotGiven.
  uint8_t accessUser = kAccessNotGiven;
  uint8_t accessAdmins = kAccessNotGiven;
  uint8_t accessEveryone = kAccessNotGiven;
};

// One program the finish page offers to start.
struct sRunItem {
  _guardchar<char16_t> captionKey;
  _guardchar<char16_t> folderKey;
  _guardchar<char16_t> relativePath;
  _guardchar<char16_t> argumentsKey;  // may be empty
  uint8_t flag = 0;                   // 1: ticked at first
};

// One installed product to remove first.
struct sDeprecateItem {
  _guardchar<char16_t> codename;
  uint16_t version = 0;  // first version part; 0xFFFF matches any
};

struct sSettingItem {
  _guardchar<char> name;  // UTF-8
  _typebuf<char> value;   // raw bytes, may be empty
};

// One rich-text document: its compiled bytes and the document loaded from
// them.
struct sPkgDocument {
  _typebuf<char> bytes;
  cSiDocLoader loader;
};

// Resolved records for the installer.
struct sMenuEntry {
  _guardchar<char16_t> name;
  _guardchar<char16_t> targetPath;
  _guardchar<char16_t> arguments;
  _guardchar<char16_t> iconPath;
  _guardchar<char16_t> description;
  bool runAsAdmin = false;
};

struct sInstallTarget {
  _guardchar<char16_t> targetPath;
  uint32_t payloadIndex = 0;
  uint8_t accessUser = kAccessNotGiven;
  uint8_t accessAdmins = kAccessNotGiven;
  uint8_t accessEveryone = kAccessNotGiven;
  // Of the payload's uncompressed bytes; all zero when the index names no
  // payload (the reader refuses such packages).
  uint8_t digest[kSha256Size] = {};
};

struct sRunEntry {
  _guardchar<char16_t> path;
  _guardchar<char16_t> arguments;
  _guardchar<char16_t> caption;
  uint8_t flag = 0;
};

struct sDeprecatedEntry {
  _guardchar<char16_t> codename;
  uint16_t version = 0;
};

// Whether path is a relative path that stays below the folder it is joined
// to: not empty; components split at '/' and '\\', none of them empty, "."
// or ".." or ending in '.' or ' ' (Windows drops those, so "... " could
// stand for ".."); no ':' (drives, streams), control characters or
// <>"|?*. Null is not.
bool IsContainedRelativePath(const char16_t* path);

class cSOPKGDescription {
public:
  cSOPKGDescription();
  cSOPKGDescription(const cSOPKGDescription&) = delete;
  cSOPKGDescription& operator=(const cSOPKGDescription&) = delete;
  ~cSOPKGDescription();

  // Empties every list and map and the documents, version 0.0.0.0, no
  // addresses or icon, readme flag and literal counter 0. The current
  // language stays.
  void Clear();

  // Makes the id current when a table exists for it; otherwise false and no
  // change.
  bool SelectLanguage(int32_t language);

  // The key's text: the current language's entry (null when its value is
  // empty), else the common table's (an empty text when its value is
  // empty), else null. The pointer lives until the table changes.
  const char16_t* GetString(const char16_t* key) const;

  // Joins the text of folderKey and relativePath with one '/'. An empty
  // folder key or an empty folder text gives the relative path; an empty
  // relative path gives the folder text. False when the folder key has no
  // text.
  bool ExpandPath(const char16_t* folderKey, const char16_t* relativePath, _guardchar<char16_t>& path) const;

  // Sets "pgm" in table (callers pass the common table), inserting it when
  // missing. False only when the insertion fails.
  bool SetProgramFolder(tPkgStringTable& table, const char16_t* folder);

  // True when key is in the common table, is "pgm", or is in every language
  // table (also when there is none); otherwise false with the first language
  // in ascending order whose table lacks it.
  bool CheckStringKey(const char16_t* key, int32_t& missingLanguage) const;

  // Rule f: every install entry lies below "pgm" on a contained relative
  // path; the package defines no "pgm" of its own in any table (the one
  // chosen at installation must win); a "folder" text (the default folder's
  // name) is a contained relative path in every table that has one.
  bool CheckInstallPaths() const;

  // Clears list, then appends every language id in ascending order.
  void GetLanguages(cSimpleList<int32_t>& list) const;

  // "%d.%d.%d.%d", without a zero fourth part, and without a zero third part
  // when the fourth is zero too: 1.0, 2.0.3, 2.0.0.5.
  bool GetVersionText(_guardchar<char16_t>& text) const;

  // Bytes the install entries of the running platform need, each file taken
  // up to the next multiple of 65,536; entries of every language count.
  uint64_t GetRequiredSpace() const;
  // The same for a given platform (true: 64-bit Windows).
  uint64_t GetRequiredSpace(bool platform64) const;

  // Each clears list, then appends one resolved record per stored record in
  // order (rule c).
  bool GetMenuEntries(cSimpleList<sMenuEntry>& list) const;
  bool GetInstallEntries(cSimpleList<sInstallTarget>& list) const;
  bool GetInstallEntries(cSimpleList<sInstallTarget>& list, bool platform64) const;
  bool GetRunEntries(cSimpleList<sRunEntry>& list) const;
  bool GetDeprecates(cSimpleList<sDeprecatedEntry>& list) const;

  // A new empty record at the end of its list, filled in place by the
  // caller.
  sMenuItem* AddMenuEntry();
  sInstallEntry* AddInstallEntry();
  sRunItem* AddRunEntry();
  sDeprecateItem* AddDeprecate();
  sSettingItem* AddSetting();

  // Adds the file or folder at source for installation: a file becomes one
  // payload and one install entry made from entry (its payload index set);
  // a folder adds each of its entries in listing order (names compared
  // upper-cased, then ordinally), each below entry's relative path joined
  // with the entry's name. False for anything else (a missing path, a
  // device), for an empty file (a payload cannot hold one), for folders
  // nested over 256 deep, and on the first failure inside a folder; what was
  // added before it stays.
  bool AddInstallSource(const sInstallEntry& entry, const char16_t* source);

  // The language table for id, made when missing; null when it cannot be.
  tPkgStringTable* LanguageTable(int32_t language);

  // The current language's box tree of that document, or null when the
  // document has none for it.
  cSiDocContainer* GetWelcomeDocument() const;
  cSiDocContainer* GetReadmeDocument() const;
  cSiDocContainer* GetEulaDocument() const;

  // Reads one package from the stream's current position; see
  // package_format.h. False on any failure, the description then holding
  // what was read before it.
  bool Read(cFileIOTarget* source);
  // Writes the package at the target's current position; false on failure,
  // the target then holding a partial package.
  bool Write(cFileIOTarget* target) const;

  cSimpleList<sMenuItem> menuList;
  cSimpleList<sInstallEntry> installList;
  cSimpleList<sRunItem> runList;
  cSimpleList<sDeprecateItem> deprecatedList;
  tPkgStringTable commonTable{kPackedKeyDepthLimit};
  tPkgLanguageTables languageTables{kLanguageTablesDepthLimit};
  int32_t currentLanguage = 0;
  uint32_t version[4] = {};
  _guardchar<char16_t> support_URL;
  _guardchar<char16_t> publish_URL;
  _guardchar<char16_t> updates_URL;
  _guardchar<char16_t> manual_URL;
  _guardchar<char16_t> iconFolderKey;
  _guardchar<char16_t> iconPath;
  sPkgDocument welcome;
  sPkgDocument readme;
  uint8_t readmeConfirm = 0;
  sPkgDocument eula;
  cPayloadList payloads;
  cSimpleList<sSettingItem> settings;
  // Scenario compiler state.
  tPkgStringTable literalMap{kPackedKeyDepthLimit};
  int32_t literalCounter = 0;
  int32_t currentScenarioSection = 0;
};
