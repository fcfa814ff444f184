// Internal to the language module and its tests.
#pragma once

namespace tw {

// Returns the language state to its start: no provider registered, the
// current id kNoLanguage, both section records empty. Tests only; in the
// program providers live until exit.
void ResetLanguageState();

}  // namespace tw
