// Mode entries whose forms and jobs are not part of the program yet. Each
// ends the process with exit code 1 (failure) rather than pretending to
// have done its work; each goes away when its mode is built.
#include "tools/app_language.h"
#include "tools/modes.h"

int32_t RunManagerWindow() { return 1; }

int32_t RunInstallWizard(const char16_t*, const char16_t*, uint32_t) { return 1; }

int32_t RunUpdateMode(const char16_t*, bool) { return 1; }

int32_t BuildSetup(const char16_t*, const char16_t*, const char16_t*, const char16_t*) { return 1; }

// Until the language form exists, the preselected language is taken when
// it is offered (the caller's own default otherwise stands for a
// cancellation): the program goes on in a language it has rather than
// asking.
int32_t ShowLanguageSelection(const cSimpleList<int32_t>& ids, int32_t preselected, const char16_t*,
                              cChildElement*) {
  int32_t count = 0, first = 13;
  bool offered = false;
  for (const auto* n = ids.head; n != nullptr; n = n->next) {
    if (count++ == 0) first = n->value;
    offered = offered || n->value == preselected;
  }
  if (count <= 1) return first;
  return offered ? preselected : 13;
}
