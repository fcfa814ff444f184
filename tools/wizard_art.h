// The installation wizard's artwork, drawn at build time by
// tools/wizard_art.py: the window background as PNG bytes, the nine step
// marks and the folder page's folder picture as 32-bit B, G, R, A words,
// bottom row first.
#pragma once

#include <cstdint>

namespace tw {

inline constexpr int32_t kWizardWidth = 636;
inline constexpr int32_t kWizardHeight = 443;
extern const uint8_t kWizardBackgroundPng[];
extern const uint32_t kWizardBackgroundPngSize;

// Marks of 16 x 14 pixels, one after the other: the circled digits 1 to 7
// (store ids 1 to 7), then the grey (id 20) and the green (id 21) checks.
inline constexpr int32_t kStepMarkWidth = 16;
inline constexpr int32_t kStepMarkHeight = 14;
inline constexpr int32_t kStepMarkCount = 9;
extern const uint32_t kWizardStepMarks[];

inline constexpr int32_t kFolderPictureWidth = 29;
inline constexpr int32_t kFolderPictureHeight = 22;
extern const uint32_t kFolderPicture[];

}  // namespace tw
