// sInstallContext: everything the steps of one installation share, from the
// install start through the target folder step to the installer job. It is
// made on the main thread (on the stack of RunInstallWizard or
// RunSilentInstall); every worker borrows it.
//
// Rules:
//  a. The install entry list holds the package's entries for the chosen
//     folder. An entry whose third access digit is kEntryUnchanged already
//     has exactly its payload at its target; every installer step skips it
//     except the two clean-ups of side files.
//  b. The earlier-file and earlier-shortcut maps are keyed by the lower-cased
//     path, so one file listed twice in other capitals is one key.
//  c. store is where the installation is recorded: the running
//     application's store when the context is made (null without one);
//     tests put their own there.
#pragma once

#include <cstdint>

#include "base/guardchar.h"
#include "base/lists.h"
#include "base/packed_key.h"
#include "base/sorted_tree.h"
#include "package/description.h"

class cApplicationConfig;

// The third access digit of an entry whose target needs no change.
inline constexpr uint8_t kEntryUnchanged = 0xFF;

// One product to remove before installing.
struct sDeprecatedProduct {
  _guardchar<char16_t> displayName;
  _guardchar<char16_t> uninstallCommand;
  bool selected = true;
  int32_t result = 0;
};

// One file of the earlier installation found on disk.
struct sEarlierFile {
  _guardchar<char16_t> path;  // as recorded
  uint8_t digest[kSha256Size] = {};
  bool kept = false;  // the new package installs it again
};

struct sInstallContext {
  sInstallContext();
  sInstallContext(const sInstallContext&) = delete;
  sInstallContext& operator=(const sInstallContext&) = delete;

  cSOPKGDescription description;
  _guardchar<char16_t> programPath;
  _guardchar<char16_t> packagePath;
  _guardchar<char16_t> codename;
  _guardchar<char> codenameUtf8;
  // The file or folder the last failure names.
  _guardchar<char16_t> errorPath;
  int32_t resultCode = 0;
  uint32_t packageOffset = 0;
  uint64_t installedVersion = ~0ull;
  uint64_t packageVersion = ~0ull;
  uint64_t requiredSpace = 0;
  cSimpleList<int32_t> languages;
  cSimpleList<sDeprecatedProduct> deprecated;
  cSimpleList<sInstallTarget> installEntries;
  cSortedTree<cPackedKey, sEarlierFile> earlierFiles{kPackedKeyDepthLimit};
  // Value: the path as recorded; emptied when this run makes it again.
  cSortedTree<cPackedKey, _guardchar<char16_t>> earlierShortcuts{kPackedKeyDepthLimit};
  cSimpleList<_guardchar<char16_t>> newShortcuts;
  cApplicationConfig* store = nullptr;
};

// True for an entry that rule a marks unchanged.
inline bool IsEntryUnchanged(const sInstallTarget& entry) {
  return entry.accessEveryone == kEntryUnchanged;
}
