// A package description filled in code, as a compiled scenario would leave
// it, for the builder's tests: version 3.1, two languages (ENG 0 and DEU 2)
// with a language-specific "name", "publisher" and "copyright" in the
// common table, and one 5,000-byte file to install.
#pragma once

#include <cstdint>

class cSOPKGDescription;
struct sBuildDocError;

namespace twtest {

// 0, or 26 when the file cannot be added.
int32_t FillBuildPackage(cSOPKGDescription& description);

// The same with the signature of a scenario compiler.
int32_t CompileBuildPackage(const char16_t* scenarioPath, cSOPKGDescription& description, int32_t& line,
                            sBuildDocError& docError);

}  // namespace twtest
