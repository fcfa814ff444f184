// Mode 5, the verb "make": the setup builder with the scenario compiler.
#include "tools/modes.h"

#include <string>

#include "base/strings.h"
#include "package/description.h"
#include "package/scenario.h"
#include "package/setup_builder.h"

int32_t BuildSetup(const char16_t* targetPath, const char16_t* programFile, const char16_t* ownProgramPath,
                   const char16_t* scenarioPath) {
  const tScenarioCompiler compile = [](const char16_t* path, cSOPKGDescription& description, int32_t& line,
                                       sBuildDocError& docError) {
    sScenarioDocError error;
    int counter = 0;
    const int32_t code = CompileScenario(path, description, counter, &error);
    line = counter;
    if (!error.path.empty()) {
      docError.path.Assign(error.path.c_str());
      docError.line = error.line;
      docError.column = error.column;
      _guardchar<char> message;
      WideToUtf8(error.message.c_str(), message, static_cast<int32_t>(error.message.size()));
      docError.message.Assign(message.text);
    }
    return code;
  };
  return BuildSetupWith(compile, targetPath, programFile, ownProgramPath, scenarioPath);
}
