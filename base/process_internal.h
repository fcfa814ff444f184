// Internal to the child-process code: the platform's parts of OpenOrRunFile
// and the platform-neutral decision between them.
#pragma once

namespace tw {

enum class eOpenAction { kNothing, kShellOpen, kRunCommandLine };

// Steps 3 and 4 of OpenOrRunFile for a text that names nothing existing
// (see base/process.h); text is not null.
eOpenAction ClassifyOpenText(const char16_t* text);

// What OpenOrRunFile does with text (null and empty give kNothing): an
// existing file, folder or device (GetPathKind) is opened with the shell,
// anything else is classified by ClassifyOpenText.
eOpenAction ChooseOpenAction(const char16_t* text);

// Opens text with the shell's "open" verb; true when it was opened.
bool ShellOpen(const char16_t* text);

}  // namespace tw
