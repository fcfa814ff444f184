// The start of an installation: reading the package, choosing its language
// and the pre-install check, which compares the package with an earlier
// installation of the same codename and decides whether anything is to be
// done. The silent installation (mode 2) runs these steps on the main
// thread; the wizard (mode 1) runs them on the start form's job.
//
// Result codes of the install start (each shown by the start form with the
// text of the same number in "pkgm::iini", mode 2 returns it as exit code):
//   0 ready                          7 a file cannot be opened for reading
//   1 no usable package file         8 a file or folder is not writable
//   2 unreadable or incomplete       9 a folder or device where a file goes
//   3 language choice cancelled     10 a foreign file with other content
//   4 a newer version is installed  11 no existing folder above a target
//   5 the earlier folder is gone    12 nothing to install
//   6 the earlier record is damaged
// Codes 7 to 11 leave the path they name in the context's error path.
#pragma once

#include <cstdint>

struct sInstallContext;

namespace tw {
inline constexpr int32_t kStartReady = 0;
inline constexpr int32_t kStartNoPackage = 1;
inline constexpr int32_t kStartDamaged = 2;
inline constexpr int32_t kStartCancelled = 3;
inline constexpr int32_t kStartNewerInstalled = 4;
inline constexpr int32_t kStartFolderGone = 5;
inline constexpr int32_t kStartRecordDamaged = 6;
inline constexpr int32_t kStartCannotRead = 7;
inline constexpr int32_t kStartNotWritable = 8;
inline constexpr int32_t kStartObjectInTheWay = 9;
inline constexpr int32_t kStartForeignFile = 10;
inline constexpr int32_t kStartNoFolder = 11;
inline constexpr int32_t kStartNothingToDo = 12;
}  // namespace tw

// Reads the package named by the context's package path and offset into its
// description and keeps codename and version. A missing path starting with
// "./" is looked for beside the program file (the context's program path).
// 0, 1 (no usable file) or 2 (unreadable, no codename, version all ones).
int32_t LoadInstallPackage(sInstallContext& context);

// Compares the loaded package with the earlier installation recorded in the
// context's store (none without a store): 0, 2 or 4 to 12 as above. For an
// update it sets the package's program folder to the earlier one, fills the
// install entries, marks those whose target already holds the payload, and
// fills the earlier-file and earlier-shortcut maps and the products to
// remove first. An entry is never marked while a side file of an earlier
// run (T.tmp or T.bkp) is left beside its target: the installer's recovery
// must see it.
int32_t PreInstallCheck(sInstallContext& context);

// For a target path that does not exist yet, the nearest existing object
// above it: 0 a writable folder, 2 not a folder, 3 a folder the current
// user cannot write to; 1 when nothing above it exists, for an empty path
// and for a path at which something exists.
int32_t ProbeTargetAncestor(const char16_t* path);
// The same as a target check code (target_folder.h): 0 for a writable
// folder, kStartObjectInTheWay, kStartNotWritable or kStartNoFolder.
int32_t CheckTargetAncestor(const char16_t* path);

// RunSilentInstall on a prepared context (program path, package path and
// offset set; tests also set the store): load, first language, check, then
// the default-folder installation. 0 or the failing result code (the start
// codes above, the folder check's 7 to 11, or the installer job's code).
int32_t RunSilentInstallWith(sInstallContext& context);
