// The platform-neutral part of starting other programs. See base/process.h.
#include "base/process.h"

#include <cstddef>

#include "base/paths.h"
#include "base/process_internal.h"

namespace tw {

namespace {

bool IsBlank(char16_t c) { return c == u'\t' || c == u'\n' || c == u'\r' || c == u' '; }

}  // namespace

eOpenAction ClassifyOpenText(const char16_t* text) {
  size_t end = 0;  // the end of the first token
  if (text[0] == u'"') {
    end = 1;
    while (text[end] != 0 && text[end] != u'"') ++end;
    if (text[end] == 0) return eOpenAction::kNothing;  // no closing quote
  } else {
    while (text[end] != 0 && !IsBlank(text[end])) ++end;
  }
  for (size_t i = end; text[i] != 0; ++i)
    if (IsBlank(text[i])) return eOpenAction::kRunCommandLine;
  return eOpenAction::kShellOpen;
}

eOpenAction ChooseOpenAction(const char16_t* text) {
  if (text == nullptr || text[0] == 0) return eOpenAction::kNothing;
  if (GetPathKind(text) != kPathMissing) return eOpenAction::kShellOpen;
  return ClassifyOpenText(text);
}

}  // namespace tw

bool OpenOrRunFile(const char16_t* text) {
  switch (tw::ChooseOpenAction(text)) {
    case tw::eOpenAction::kRunCommandLine:
      return RunCommandLine(text);
    case tw::eOpenAction::kShellOpen:
      return tw::ShellOpen(text);
    case tw::eOpenAction::kNothing:
      break;
  }
  return false;
}

cConProcess::~cConProcess() {
  Close();
  // A child that could not be terminated is let go.
  if (HasProcess()) ReleaseProcess();
}
