// Paths, file names and the known folders.
//
// Inside the system a path is UTF-16 text with '/' as separator. At every
// file-system call it becomes a long Windows path (MakeLongPath: "\\?\",
// '\' separators), so paths longer than MAX_PATH work. On Linux the same text
// is turned into a UTF-8 path instead (base/paths_posix.h).
//
// Module-wide rules:
//  a. Functions report failure by false (GetPathKind by 0); none throws
//     except std::bad_alloc when memory runs out.
//  b. An out string is assigned only on success unless a function says
//     otherwise.
//  c. Names compare without regard to case on every target
//     (IsCaseSensitivePath is false); wildcard matching folds through
//     ToLowerW.
//  d. The known folders read environment variables each time; nothing is
//     cached except the Windows version.
#pragma once

#include <cstdint>

#include "base/buffers.h"
#include "base/guardchar.h"
#include "base/time.h"

// Filled by GetFileInfo.
struct sFileInfo {
  uint32_t attributes = 0;  // Windows file attribute bits (FILE_ATTRIBUTE_*)
  sDateTime creationTime;   // the three times in local time
  sDateTime lastAccessTime;
  sDateTime lastWriteTime;
  uint64_t size = 0;
};

namespace tw {
// The company folder that the data-folder functions append.
inline constexpr char16_t kCompanyFolder[] = u"/Vornak/";
// Windows attribute bits used across the targets.
inline constexpr uint32_t kAttrReadOnly = 0x1;
inline constexpr uint32_t kAttrHidden = 0x2;
inline constexpr uint32_t kAttrSystem = 0x4;
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrArchive = 0x20;
inline constexpr uint32_t kAttrDevice = 0x40;
// Path kinds of GetPathKind.
inline constexpr int kPathMissing = 0;
inline constexpr int kPathFile = 1;
inline constexpr int kPathDirectory = 2;
inline constexpr int kPathDevice = 4;
}  // namespace tw

// ---- Paths ----------------------------------------------------------------

// The long form of path, zero-terminated, in out (Reallocated to the path
// length + 2 units, + 6 with the prefix):
//   - a path starting with '.' keeps it, one starting with '/' or '\' gets
//     '\'; any other gets the prefix "\\?\";
//   - '/' becomes '\' and each run of separators collapses to one;
//   - a result ending in ':' (a bare drive) gets a trailing '\'.
// So C:/a//b -> \\?\C:\a\b, //server/share -> \\server\share, and a path in
// the form \\?\... comes out unchanged. Callers pass absolute, UNC or
// '.'-relative paths. False, out untouched, for a null or empty path.
bool MakeLongPath(_typebuf<char16_t>& out, const char16_t* path);

// A path as given by a user (command line, scenario) in the form the file
// functions take: a bare relative name ("setup.exe", "docs/a.idx") becomes
// '.'-relative; absolute, UNC, drive and '.'-relative paths are kept. Null
// or empty: out empty.
void MakeOpenablePath(_guardchar<char16_t>& out, const char16_t* path);

// In place: drops one leading double quote, turns '\' into '/', and strips
// trailing spaces and double quotes. Null or empty text is left alone.
void NormalizePath(char16_t* text);

// tw::kPathMissing (also for an empty or null path), kPathDirectory,
// kPathDevice or kPathFile.
int GetPathKind(const char16_t* path);

// Creates one directory (parents are not created). True when it was created
// or already exists as a directory; false for an existing file.
bool CreateDirectoryLong(const char16_t* path);

// Removes an empty directory. True when it was removed or does not exist;
// false when its parent is missing or it is not empty.
bool RemoveDirectoryLong(const char16_t* path);

// Attributes, size and the three times (local) of the path as passed (not
// made long). False, out unchanged, when the path cannot be read.
bool GetFileInfo(const char16_t* path, sFileInfo& out);

// Always false: names in the system compare without regard to case.
bool IsCaseSensitivePath(const char16_t* path);

// ---- File names -----------------------------------------------------------

// Makes text usable as one file or folder name in out (capacity units,
// capacity >= 1; nothing is written for a null out or capacity < 1):
//   1. leading U+0001..U+0020 are skipped (the terminator ends the text);
//   2. the rest is written, at most capacity - 1 units, with U+0001..U+001F
//      and U+FFFF as space, " * / : < > ? \ | as U+F020..U+F027 (':' like
//      '/'), and a dot that ends the text as U+F029;
//   3. a written space at the end becomes U+F028; the terminator follows.
// Null or all-blank text gives the empty text.
void SanitizeFileName(const char16_t* text, char16_t* out, int32_t capacity);

// Wildcard match: '?' is any one unit, '*' any run (also empty); other units
// match when equal after ToLowerW. A null name never matches; a null or empty
// pattern matches everything.
bool MatchWildcard(const char16_t* name, const char16_t* pattern);

// Matches name against a ';'-separated list of patterns. A null or empty list
// matches every name; a null name nothing. An empty pattern inside the list
// matches every name; a ';' at the end adds no pattern.
bool MatchWildcardList(const char16_t* name, const char16_t* list);

// ---- Known folders --------------------------------------------------------
// Environment variables are those of Windows (USERPROFILE, TEMP, APPDATA,
// ProgramData, ALLUSERSPROFILE, HOMEDRIVE, HOMEPATH) on both targets, so
// tests can point them at temporary folders. Where they are missing on
// Linux: home is $HOME, TEMP is $TMPDIR or /tmp, the per-user data root is
// $XDG_CONFIG_HOME or ~/.config, the machine-wide root /var/lib. Results use
// '/' separators.

// USERPROFILE, else HOMEDRIVE directly followed by HOMEPATH (else $HOME on
// Linux), normalised.
bool GetHomeFolder(_guardchar<char16_t>& out);

// TEMP, normalised (else $TMPDIR or /tmp on Linux).
bool GetTempFolder(_guardchar<char16_t>& out);

// The per-user data folder <base>/Vornak/<sub>/, both levels created on
// demand. base is APPDATA when set (it must then be a directory); without
// APPDATA, <home>/AppData/Roaming/ when that is a directory, else the home
// folder (on Linux $XDG_CONFIG_HOME or ~/.config instead).
// A null sub: out = the home folder and the result says whether there is one.
// Otherwise true only when <base>/Vornak/<sub>/ exists or was created, with
// out = that path; on false out holds the home folder (or is untouched when
// there is none) and must not be used as the data folder.
bool GetUserDataFolder(_guardchar<char16_t>& out, const char16_t* sub);

// The machine-wide data folder <base>/Vornak/<sub>/, both levels created on
// demand. base is the first directory of: ProgramData; <ALLUSERSPROFILE>/
// Application Data, else ALLUSERSPROFILE; <HOMEDRIVE>/ProgramData;
// <HOMEDRIVE>/Documents and Settings/All Users/Application Data (on Linux
// /var/lib after ProgramData). False for a null sub, without a base, or when
// a level cannot be created.
bool GetMachineDataFolder(_guardchar<char16_t>& out, const char16_t* sub);

// The all-users Start Menu programs folder under ALLUSERSPROFILE
// ("<p>/Microsoft/Windows/Start Menu/Programs/", else "<p>/Start Menu/
// Programs/"), with the sanitised sub appended and created when sub is not
// null. On Linux the same, where ALLUSERSPROFILE is set.
bool GetCommonProgramsFolder(const char16_t* sub, _guardchar<char16_t>& out);

// ---- Windows version --------------------------------------------------------

// The major version from RtlGetVersion, computed once; 4 when it cannot be
// read (always on Linux, which has no such version).
uint32_t GetOsMajorVersion();

// GetOsMajorVersion() > 9.
bool IsWindows10OrLater();

// Whether this 32-bit process runs under WoW64 (a 64-bit Windows). False on
// Linux and when the test cannot be made.
bool IsWow64();
