// The setup builder behind the verb "make": a scenario compiled into a
// package description, a copy of the unfilled program with a version
// resource describing the packaged software and a filled iCmd block, and the
// package appended after it. Every step is logged to "%s.log" beside the
// scenario ("(i) " information, "(e) " errors, CR LF line ends); the result
// is the process exit code:
//   0  the setup file was written
//   1  the scenario did not compile, or the program file cannot be opened
//   2  no iCmd template in the program file, or its PE headers or resources
//      are unusable
//   3  the new version resource does not fit, or the optional header magic
//      is neither PE32 nor PE32+
//   4  the program file cannot be read whole, or the target cannot be
//      created or written
//
// The setup file is written under a temporary name beside the target
// ("%s.tmp") and moved into place only when it is complete, so a failed
// build leaves no half-written setup file (an older target stays as it was).
#pragma once

#include <cstdint>
#include <functional>

#include "base/guardchar.h"

class cSOPKGDescription;

// Where a document named by the scenario failed to compile: the markup or
// index file, the 0-based line and column the document compiler stopped at,
// and its message. An empty path means no document failed.
struct sBuildDocError {
  _guardchar<char16_t> path;
  int32_t line = 0;
  int32_t column = 0;
  _guardchar<char> message;
};

// Compiles the scenario at scenarioPath into description: the compiler's
// result code (0 success, 1 no source file, 2 unknown section, others as
// the compiler defines), the line counter where it stopped, and docError
// filled when a document failed.
using tScenarioCompiler = std::function<int32_t(const char16_t* scenarioPath, cSOPKGDescription& description,
                                                int32_t& line, sBuildDocError& docError)>;

// Builds the setup file targetPath from the scenario. programFile (null or
// empty: the running program, ownProgramPath) is the program image to copy;
// its iCmd block must be the template, and so must the running program's.
// The build day of the file version comes from the clock.
int32_t BuildSetupWith(const tScenarioCompiler& compile, const char16_t* targetPath,
                       const char16_t* programFile, const char16_t* ownProgramPath,
                       const char16_t* scenarioPath);

// The log file's path: the scenario path followed by ".log".
void BuildLogPath(const char16_t* scenarioPath, _guardchar<char16_t>& logPath);
