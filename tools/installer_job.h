// The installer job: turns a context that passed the pre-install check into
// an installed package. Its steps run in a fixed order, and the order is
// what makes an interrupted installation recoverable:
//
//   1 stage          the page shows "Preparing target location..."
//   2 recovery       each entry's T.tmp is deleted and T.bkp put back
//   3 unpack         each changed entry's payload -> T.tmp (64 KiB pieces)
//   4 backups        each existing target -> T.bkp
//   5 replace        each T.tmp -> T, access rights set
//   6-8              shortcuts; the software manager under Common Files
//                    earlier files the package no longer has are deleted
//   9 registration   the record in the store, the Uninstall entry
//  11 clean-up       every T.bkp deleted
//
// No target is overwritten before every new file is unpacked, and every
// target that is replaced first becomes T.bkp; so a run stopped at any
// point leaves side files from which step 2 of the next run restores the
// earlier installation before installing again.
//
// Result codes (in the context; the finish page shows text code + 1 of
// "pkgm::fin"):
//   0 installed                       6 writing T.tmp failed
//   1 a folder or device at T.tmp/T   7 an existing file cannot be moved aside
//   2 a side file cannot be resolved  8 T.tmp cannot be moved into place
//   3 the payload cannot be opened    9 the target's folder cannot be made
//   4 T.tmp cannot be created        10 the user stopped the installation
//   5 reading the payload failed     11 installed, but no store was saved
#pragma once

#include <cstdint>

#include "base/guardchar.h"

struct sInstallContext;

namespace tw {
inline constexpr int32_t kInstallDone = 0;
inline constexpr int32_t kInstallObjectInTheWay = 1;
inline constexpr int32_t kInstallSideFile = 2;
inline constexpr int32_t kInstallNoPayload = 3;
inline constexpr int32_t kInstallCannotCreate = 4;
inline constexpr int32_t kInstallCannotRead = 5;
inline constexpr int32_t kInstallCannotWrite = 6;
inline constexpr int32_t kInstallCannotBackUp = 7;
inline constexpr int32_t kInstallCannotReplace = 8;
inline constexpr int32_t kInstallBadPath = 9;
inline constexpr int32_t kInstallStopped = 10;
inline constexpr int32_t kInstallNotRecorded = 11;
// The copy buffer and the piece read and written at a time.
inline constexpr uint32_t kInstallPieceSize = 65536;
// The software manager's own shortcut without a page.
inline constexpr char16_t kManagerShortcutName[] = u"Software Packages management";
inline constexpr char16_t kManagerShortcutGroup[] = u"Vornak";
}  // namespace tw

// What the job needs of the wizard's installation page. Its status lines
// for n changed entries: 0 preparing, 1..n unpacking each, n + 1 backups,
// n + 2 applying, n + 3 removing temporary items. Called on the job's
// thread.
class cInstallerJobPage {
public:
  virtual ~cInstallerJobPage() = default;
  // Shows status line index.
  virtual void SetStage(int32_t line) = 0;
  // Shows the percentage of the file being unpacked; false when a stop was
  // requested.
  virtual bool SetProgress(double percent) = 0;
  // Asks the user (through a sent action, the job waiting) about a file
  // that cannot be replaced: 0 try again, anything else give up.
  virtual uint8_t AskRelease(const char16_t* path) = 0;
  // Text index of the page's language section (5: the manager shortcut's
  // name, 6: its group); null when missing.
  virtual const char16_t* GetText(int32_t index) = 0;
};

// Runs the job on the calling thread. page is null in silent mode: no
// progress, no questions (a file in use gives code 7, a manager in use
// stays). 0 when it ran to the end (codes 0 and 11), 1 when it stopped
// (codes 1 to 10; the error path names the object for codes 1 to 9).
int32_t RunInstallerJob(sInstallContext& context, cInstallerJobPage* page);

// The text before the path's last '/'; false without a '/'.
bool GetParentPath(const char16_t* path, _guardchar<char16_t>& out);

// True when a folder exists at path or was made with every missing folder
// above it; false when a file or device stands at or above it, or a folder
// cannot be made.
bool EnsureFolderPath(const char16_t* path);

// A test hook: called with a step name ("unpacked", "backed-up",
// "replaced", "shortcuts", "manager", "dropped", "registered", "cleaned")
// and the entry index (-1 for whole steps) as each step finishes its piece
// of work. A hook that throws stops the job there as a killed process would,
// leaving the disk as it is. Null (the default) calls nothing.
using tInstallerStepHook = void (*)(const char* step, int32_t index);
void SetInstallerStepHook(tInstallerStepHook hook);
