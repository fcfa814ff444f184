// Shortcut (.lnk) files, written byte by byte in the Shell Link format
// (MS-SHLLINK) without the shell's link object: a 76-byte header, an item
// list from the Computer folder through the drive to the target, a link
// information block with the target's local path, and up to four strings
// (description, working folder, arguments, icon location).
//
// Only targets on a drive letter are linked; a network path is refused.
#pragma once

#include <cstdint>
#include <vector>

#include "base/guardchar.h"

// What goes into one link file. Null or empty texts are left out.
struct sShellLinkInfo {
  const char16_t* targetPath = nullptr;  // "X:" then the path, '/' or '\'
  const char16_t* workingFolder = nullptr;
  const char16_t* description = nullptr;
  const char16_t* arguments = nullptr;
  const char16_t* iconPath = nullptr;
  bool runAsAdministrator = false;
  bool targetIsFolder = false;
  uint32_t targetSize = 0;  // low 32 bits of the file's size; 0 for a folder
  uint64_t fileTime = 0;    // creation, access and write time (FILETIME)
};

// The bytes of the link file for info. False when the target does not
// start with a drive letter and ':', the item list would exceed 0xFFFF
// bytes or a string 0xFFFF units.
bool BuildShellLink(const sShellLinkInfo& info, std::vector<uint8_t>& out);

// Writes the link file linkPath for targetPath (an existing file or folder
// on a drive letter). A given working folder must be an existing folder
// and a given icon path an existing file. False, and no file, without a
// link or target path, for a target without a drive letter or with nothing
// (or a device) there; false after the file was created (it then stays as
// far as it was written) when the file cannot be written, the working
// folder or icon does not exist, or the bytes cannot be built.
bool WriteShellLinkFile(const char16_t* workingFolder, const char16_t* iconPath,
                        const char16_t* linkPath, const char16_t* targetPath,
                        const char16_t* description, bool runAsAdministrator,
                        const char16_t* arguments);

// A Start Menu shortcut: "<all-users programs folder>/<group>/<name>.lnk"
// (group and name made safe as file names; the group folder is created),
// working in the target's folder. linkPath receives the path as soon as it
// is known, also when writing then fails, so that the caller can delete a
// partial file. False for an empty name or target, without a programs
// folder, or when WriteShellLinkFile fails.
bool CreateShortcut(const char16_t* name, const char16_t* targetPath,
                    _guardchar<char16_t>& linkPath, const char16_t* group,
                    const char16_t* iconPath, const char16_t* description,
                    bool runAsAdministrator, const char16_t* arguments);
