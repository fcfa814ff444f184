// The installation record: what the program remembers of each package it
// installed, kept in the configuration store "qxv" under "install/<codename>"
// (the codename in UTF-8), beside the program-wide keys below. This header
// is the one place where these keys are named.
//
// Keys under the prefix P = "install/<codename>", in the order written:
//   P/ver        8 bytes  package version, four 16-bit parts, first on top
//   P/lang       2 bytes  the package's language id at installation
//   P/path       string   the program folder ("pgm")
//   P/name       string   the package's name
//   P/updates, P/support, P/publisher   strings, the three web addresses
//   P/icon       string   the expanded icon path; only when there is one
//   P/utime      4 bytes  installation time, Unix seconds (UTC), low 32 bits
//   P/files      4 bytes  number of install entries; P/file0, P/file1, ...
//   P/shortc     4 bytes  number of shortcuts made; P/shortc0, ...
//   P/cplns<k>, P/cplcs<k>  caption and command of run entry k; no count
//                key: readers stop at the first k missing either
#pragma once

#include <cstdint>

#include "base/buffers.h"
#include "base/guardchar.h"

class cApplicationConfig;

namespace tw {
inline constexpr char kKeyLangCurrent[] = "lang/current";         // 2 bytes
inline constexpr char kKeyInstallerApp[] = "installer/app";       // manager path
inline constexpr char kKeyInstallerShortcut[] = "installer/shortcut";
inline constexpr char kKeyInstallerTemp[] = "installer/temp";     // last download folder
}  // namespace tw

// One run entry of a package: the finish page's programs.
struct sRunEntryRecord {
  const char16_t* caption = nullptr;
  const char16_t* program = nullptr;
  const char16_t* arguments = nullptr;  // null or empty: none
};

// What WriteInstallRegistration records of one installation. Null texts are
// written as empty values (iconPath: not written).
struct sInstallRecordData {
  uint64_t version = 0;
  uint16_t language = 0;
  const char16_t* programFolder = nullptr;
  const char16_t* name = nullptr;
  const char16_t* updatesUrl = nullptr;
  const char16_t* supportUrl = nullptr;
  const char16_t* publisherUrl = nullptr;
  const char16_t* iconPath = nullptr;
  const char16_t* const* files = nullptr;  // target paths of the install entries
  int32_t fileCount = 0;
  const char16_t* const* shortcuts = nullptr;  // shortcut files made in this run
  int32_t shortcutCount = 0;
  const sRunEntryRecord* runEntries = nullptr;
  int32_t runEntryCount = 0;
};

// "install/<codename in UTF-8>" into out.
void FormatInstallKey(const char16_t* codename, _guardchar<char>& out);

// A key's name below a prefix: "<prefix>/<name>", or "<prefix>/<name><index>"
// for index >= 0 (the numbered keys "file0", "shortc1", ...). Null prefix or
// name count as empty.
struct cKeyName {
  cKeyName(const char* prefix, const char* name, int64_t index = -1);
  operator const char*() const { return text.data; }
  _typebuf<char> text;
};

// Writes the keys above under keyPrefix and "lang/current" into store, in
// the order listed. Single failures are ignored; the store is not saved and
// older keys are not deleted (the installer deletes the prefix first and
// saves afterwards). Nothing for a null store or prefix.
void WriteInstallRegistration(cApplicationConfig* store, const sInstallRecordData& record,
                              const char* keyPrefix);

// The command stored for a run entry: "\"<program>\" <arguments>" when it
// has arguments, else the program path alone.
void FormatRunCommand(const sRunEntryRecord& entry, _guardchar<char16_t>& out);
