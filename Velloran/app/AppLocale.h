#pragma once
// The locale the app's texts are written in. A process started without a user locale (LANG and
// LC_ALL unset, or set to C or POSIX) would otherwise write dates and numbers the neutral English
// way ("39 seconds ago", "12/7/2026, 9:30 AM") inside the German interface; such a process takes the
// app's own language instead. A real user locale, whatever its language, still wins.
//
// Main thread, at start-up, before any text is formatted.

#include <string_view>

namespace velloran {

// The app's own language, as a locale name.
inline constexpr const char* kAppLocaleName = "de_DE";

// Whether a Unicode-library locale name is the neutral one a C or POSIX process gets.
bool isNeutralLocaleName(std::string_view name);

// Makes the app's language the current locale of the Unicode library and of Qt when the process's
// locale is the neutral one; leaves a real user locale alone.
void adoptAppLanguageForNeutralLocale();

}  // namespace velloran
