#pragma once
// Character classes of single Unicode scalars, and the trimming and splitting built on them.
// The classes follow the Unicode general categories and properties:
// - letter: categories L* (Lu, Ll, Lt, Lm, Lo); combining marks are not letters;
// - decimal digit: category Nd (any script's 0-9, not superscripts or fractions);
// - alphanumeric: categories L*, M* and N* (letters, marks, all numbers);
// - white space: the White_Space property: blanks, tab, line breaks (LF, VT, FF, CR, NEL, U+2028,
//   U+2029), no-break space U+00A0, the ideographic space U+3000 and the other Zs spaces.
// Pure functions, safe on any thread.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

bool isLetter(char32_t scalar);
bool isDecimalDigit(char32_t scalar);
bool isAlphanumeric(char32_t scalar);
bool isWhiteSpace(char32_t scalar);

// The text without white space (line breaks included) at either end.
std::string trimmed(std::string_view utf8);

// The pieces between separator scalars, in order, empty pieces included: "a,,b" split at ","
// gives "a", "", "b"; "" gives one empty piece.
std::vector<std::string> split(std::string_view utf8, const std::function<bool(char32_t)>& isSeparator);

}  // namespace platform
