// The entries of the program's modes, one per mode of cTarnwickApp::Run.
#pragma once

#include <cstdint>

class cChildElement;

// Mode 0: the software manager's main window; its end code.
int32_t RunManagerWindow();
// Mode 1: the installation wizard for the package at packageOffset of
// packagePath; the exit code.
int32_t RunInstallWizard(const char16_t* programPath, const char16_t* packagePath,
                         uint32_t packageOffset);
// Mode 2: the same without the wizard; 0 or the failing result code.
int32_t RunSilentInstall(const char16_t* programPath, const char16_t* packagePath,
                         uint32_t packageOffset);
// Mode 3: uninstalls the package; the form's end code (1 for an empty
// codename).
int32_t RunUninstall(const char16_t* codename, cChildElement* owner);
// Mode 4: the update check of one installed package; 0 or 1.
int32_t RunUpdateMode(const char16_t* codename, bool quiet);
// Mode 5: builds a setup file; 0 to 4.
int32_t BuildSetup(const char16_t* targetPath, const char16_t* programFile,
                   const char16_t* ownProgramPath, const char16_t* scenarioPath);
// Mode 6: removes the software manager; true when it was removed.
bool RunRemoveManager(const char16_t* path, cChildElement* owner);
