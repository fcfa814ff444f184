// Mode entries whose forms and jobs are not part of the program yet. Each
// ends the process with exit code 1 (failure) rather than pretending to
// have done its work; each goes away when its mode is built.
#include "tools/modes.h"

int32_t RunManagerWindow() { return 1; }

int32_t RunInstallWizard(const char16_t*, const char16_t*, uint32_t) { return 1; }
