#pragma once
// The application's fixed look, the same in the app and in widget tests: the Fusion style, the
// light palette of SystemColors.h and DejaVu Sans from the system's font folder, so text metrics
// never depend on what else the machine has installed.
//
// Main thread, after the QApplication exists and before any widget is made.

#include <filesystem>
#include <string_view>
#include <vector>

class QApplication;

namespace velloran {

inline constexpr const char* kApplicationFontFamily = "DejaVu Sans";
inline constexpr int kBodyFontPixelSize = 13;
// Where Debian's font packages put the family.
inline constexpr std::string_view kSystemFontFolder = "/usr/share/fonts/truetype/dejavu";

// One file of the family the look loads, and the Debian package that installs it.
struct FontFile {
  std::string_view name;
  std::string_view package;
};

// The files of the family that are not in `folder`. Needs no QApplication, so a program can check
// before it makes one.
std::vector<FontFile> missingFontFiles(const std::filesystem::path& folder = kSystemFontFolder);

// False when the font files could not be loaded from `folder`; the look is applied anyway, with
// whatever the font system substitutes for the family.
bool applyApplicationLook(QApplication& application,
                          const std::filesystem::path& fontFolder = kSystemFontFolder);

}  // namespace velloran
