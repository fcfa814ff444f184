// cTarnwickApp: the application object of tarnwick.exe. One executable is
// the setup program of a package appended to its image, the installed
// software manager and the package builder; Init chooses the mode from the
// program's own iCmd block and the command line, Run runs that one mode and
// its result is the process exit code.
//
// Modes:
//   0  software manager window   no argument, no package in the own image
//   1  installation wizard       a package in the own image (first argument
//                                not "silent"), or the verb "install"
//   2  silent installation       a package in the own image, first argument
//                                "silent"
//   3  uninstall a package       "uninstall" <codename>
//   4  update check              "update" <codename> ["quite"]
//   5  build a setup file        "make" <scenario> <setup file> [<base program>]
//   6  remove the manager        "remove"
//   7  report the own version    "version"
// Verbs compare exactly, unit by unit and case-sensitively; "quite" is the
// program's own word for the quiet update check.
#pragma once

#include <cstdint>

#include "base/guardchar.h"
#include "gui/app.h"

class cTarnwickApp : public cCIApplication {
public:
  cTarnwickApp() = default;
  ~cTarnwickApp() override = default;

  // The runner presets exitCode to 1; false (an unknown verb, a missing
  // argument, no application or store) ends the process with it unchanged.
  bool Init(int32_t argc, char16_t** argv, int32_t& exitCode) override;
  int32_t Run() override;

  // Steps of Init after the language: resets the mode, keeps argv[0] as the
  // program path, then chooses the mode from cmdBlock (the own block in
  // Init) and the arguments. False for an unknown verb or a missing
  // argument.
  bool ChooseMode(int32_t argc, char16_t** argv, const uint8_t* cmdBlock);

  int32_t GetMode() const { return mode_; }
  const char16_t* GetProgramPathArg() const { return programPath_.text; }
  const char16_t* GetFirstArg() const { return firstArg_.text; }
  const char16_t* GetSecondArg() const { return secondArg_.text; }
  const char16_t* GetThirdArg() const { return thirdArg_.text; }
  uint32_t GetPackageOffset() const { return packageOffset_; }
  bool GetQuiet() const { return quiet_; }

private:
  int32_t mode_ = 0;
  _guardchar<char16_t> programPath_;  // argv[0] exactly as passed
  _guardchar<char16_t> firstArg_;     // package path, codename or scenario
  _guardchar<char16_t> secondArg_;    // mode 5: the setup file to write
  _guardchar<char16_t> thirdArg_;     // mode 5: the base program, or empty
  uint32_t packageOffset_ = 0;
  bool quiet_ = false;
};
