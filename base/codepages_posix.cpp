// The native build's stand-in for the locale service: there is no user
// ANSI code page, so code page 0 means the Latin-1 table.
#include "base/codepages.h"

int32_t GetAnsiCodePage() { return 0; }
