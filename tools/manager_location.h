// The shared software manager: where it lives (tarnwick.exe in the Vornak
// folder under Common Files) and which version an installed one reports.
#pragma once

#include <cstdint>

#include "base/guardchar.h"

namespace tw {
// How long QueryManagerVersion waits for a manager to end.
inline constexpr uint32_t kManagerProbeTimeoutMs = 30000;
}  // namespace tw

// The programs folder: ProgramW6432 when it names an existing folder, else
// ProgramFiles when it does, else "C:\Program Files"; '/' separators.
void GetProgramsFolder(_guardchar<char16_t>& out);

// "<programs>/Common Files/Vornak/tarnwick.exe" into out, creating the two
// folders above it when missing. True when the path can hold the manager
// (nothing or a file there); false when the programs folder does not exist,
// a folder cannot be created, or a folder or device takes the name.
bool FindCommonFilesTool(_guardchar<char16_t>& out);

// Starts "<managerPath>" version (the path quoted, so that a path with
// blanks cannot start another program) with its standard output on a pipe
// and reads the 16-byte version record it writes. The version, or all ones
// when there is no file, it cannot start, it writes anything but one whole
// record per read, or it does not end within timeoutMs (it is then ended).
// Blocks the calling thread while the manager runs.
uint64_t QueryManagerVersion(const char16_t* managerPath,
                             uint32_t timeoutMs = tw::kManagerProbeTimeoutMs);
