// The Windows Uninstall entry of an installed package: a key named after
// the package codename below
//   <root>\Software\Microsoft\Windows\CurrentVersion\Uninstall
// with HKEY_LOCAL_MACHINE as root for a machine-wide installation and
// HKEY_CURRENT_USER for a per-user one. The system's list of programs shows
// it and starts "<manager>" uninstall "<codename>" and "<manager>" update
// "<codename>" from it.
//
// Rules:
//  a. The codename is used without its leading blanks (space, tab, CR, LF);
//     one of blanks only is never written, read or deleted.
//  b. The writer and the deleter use the 64-bit registry view, so that a
//     32-bit program on a 64-bit system writes where the system's list
//     looks; the reader tries the 64-bit view first, then the process's own.
//  c. Every failure is a false answer; nothing is shown.
#pragma once

#include <cstdint>

#include "base/guardchar.h"

// What the entry shows of one package. Texts may be null: a missing text is
// not written.
struct sUninstallEntryData {
  const char16_t* codename = nullptr;
  uint64_t version = 0;                     // four 16-bit parts, first on top
  const char16_t* displayVersion = nullptr;  // the package's version text
  const char16_t* displayName = nullptr;     // the package string "name"
  const char16_t* publisher = nullptr;       // the package string "publisher"
  const char16_t* iconPath = nullptr;        // the expanded icon reference
  const char16_t* manualUrl = nullptr;
  const char16_t* supportUrl = nullptr;
  const char16_t* updatesUrl = nullptr;
};

// Creates or updates the entry of the package; managerPath is the software
// manager's file ('/' separators allowed). False for a null manager path, a
// missing or blank codename, when a key cannot be opened or created, or when
// a version part, "UninstallString" or "ModifyPath" cannot be written; the
// other values are written as far as they go.
bool WriteUninstallEntry(const sUninstallEntryData& entry, const char16_t* managerPath,
                         bool perUser);

// Deletes the entry. True when it is gone, also when there was none; false
// for a null or blank codename, when the parent key cannot be opened or the
// deletion fails.
bool DeleteUninstallEntry(const char16_t* codename, bool perUser);

// Reads the entry. version (4 parts) is cleared first. command and name may
// be null; when given they are cleared and take "UninstallString" and
// "DisplayName" (empty when missing). True when the entry exists and has
// "MajorVersion"; the parts after it are read while each earlier one was.
bool ReadUninstallEntry(const char16_t* codename, uint32_t version[4],
                        _guardchar<char16_t>* command, _guardchar<char16_t>* name, bool perUser);

// "\"<manager>\" <verb> \"<codename>\"" with every '/' turned into '\'.
void FormatManagerCommand(const char16_t* managerPath, const char16_t* verb,
                          const char16_t* codename, _guardchar<char16_t>& out);
