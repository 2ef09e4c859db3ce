#pragma once
// The application's fixed look, the same in the app and in widget tests: the Fusion style, the
// light palette of SystemColors.h and DejaVu Sans from the system's font folder, so text metrics
// never depend on what else the machine has installed.
//
// Main thread, after the QApplication exists and before any widget is made.

class QApplication;

namespace velloran {

inline constexpr const char* kApplicationFontFamily = "DejaVu Sans";
inline constexpr int kBodyFontPixelSize = 13;

// False when the font files could not be loaded; the look is applied anyway, with whatever the
// font system substitutes for the family.
bool applyApplicationLook(QApplication& application);

}  // namespace velloran
