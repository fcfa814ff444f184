// The pictures of the built-in default theme, drawn by gui/theme_art.py at
// build time (generated/gui/theme_art.cpp). Internal to the theme; tests
// and the contact-sheet writer read them through cCITheme.
#pragma once

#include "gui/theme.h"

namespace tw {
extern const sThemePictureEntry kDefaultThemePictures[cCITheme::kPictureCount];
}
