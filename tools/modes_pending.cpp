// Mode entries whose forms and jobs are not part of the program yet. Each
// ends the process with exit code 1 (failure) rather than pretending to
// have done its work; each goes away when its mode is built.
#include "tools/modes.h"

int32_t RunManagerWindow() { return 1; }

int32_t RunInstallWizard(const char16_t*, const char16_t*, uint32_t) { return 1; }

int32_t RunUninstall(const char16_t*, cChildElement*) { return 1; }

int32_t RunUpdateMode(const char16_t*, bool) { return 1; }

// The verb "make" needs the scenario compiler; tools/make_mode.cpp takes
// over as soon as it is part of the program.
#if !__has_include("package/scenario.h")
int32_t BuildSetup(const char16_t*, const char16_t*, const char16_t*, const char16_t*) { return 1; }
#endif

bool RunRemoveManager(const char16_t*, cChildElement*) { return false; }
