// The target folder of a first installation: the default folder, the check
// of one target path, and the silent installation's folder step.
//
// Target check codes, shared with the install start (install_start.h):
// 0 fine, 7 an existing file cannot be read, 8 the folder that would
// receive the file is not writable, 9 an object that is not a file in the
// way (or a parent that is not a folder), 10 an existing file with other
// content, 11 no folder on the path exists.
#pragma once

#include <cstdint>

#include "base/guardchar.h"
#include "crypto/sha.h"

struct sInstallContext;

// The first of ProgramW6432 and ProgramFiles that names an existing folder,
// else "C:\Program Files"; '/' separators.
void DefaultProgramFolder(_guardchar<char16_t>& out);

// A first installation's folder: "<default folder>/<package string
// folder>" (the folder string empty when absent).
void DefaultInstallFolder(const sInstallContext& context, _guardchar<char16_t>& out);

// The check of one target path against the payload digest it will hold.
int32_t CheckInstallTarget(const char16_t* target, const uint8_t (&digest)[kSha256Size]);

// Mode 2's folder step: an update installs into its earlier folder ("pgm"
// is set); otherwise "pgm" becomes "<default folder>/<package string
// folder>", the entries are rebuilt and each is checked (the first failing
// code is returned, its path in the error path). Then the installer job
// runs without a page when any entry is left to install. 0 on success, 2
// when "pgm" or the entries cannot be set, else the job's result code.
int32_t InstallSilentToDefaultFolder(sInstallContext& context);
