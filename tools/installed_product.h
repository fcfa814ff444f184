// Installed products: how one is uninstalled and what it is called (from
// the program's own installation record first, then from the Windows
// Uninstall entries, HKEY_LOCAL_MACHINE before HKEY_CURRENT_USER), and the
// file operations that installing and uninstalling share. Each answers by
// its boolean alone; the callers choose the message.
#pragma once

#include <cstdint>

#include "base/guardchar.h"

class cApplicationConfig;

// With the running application's store (when there is one): true when the
// product is installed and its uninstall command is known; version takes
// the major part of the installed version.
bool FindInstalledProduct(const char16_t* codename, int32_t& version,
                          _guardchar<char16_t>& command);
// The same with a given store (null: the Uninstall entries only).
bool FindInstalledProductIn(cApplicationConfig* store, const char16_t* codename,
                            int32_t& version, _guardchar<char16_t>& command);

// The product's display name: "install/<codename>/name" of the store, else
// the Uninstall entry's "DisplayName".
bool GetInstalledProductName(_guardchar<char16_t>& name, const char16_t* codename);
bool GetInstalledProductNameIn(cApplicationConfig* store, _guardchar<char16_t>& name,
                               const char16_t* codename);

// Deletes the file at path and then every ancestor folder it leaves empty,
// stopping at the first that still holds something (or is no folder, or
// cannot be listed). True when nothing is there; false for a folder or
// device at path or when the file cannot be deleted.
bool DeleteFileAndEmptyFolders(const char16_t* path);

// Moves path to newPath only when the file can be opened for writing with
// no sharing (nobody holds it open, it is not read-only). The move's result.
bool MoveAsideIfWritable(const char16_t* path, const char16_t* newPath);
