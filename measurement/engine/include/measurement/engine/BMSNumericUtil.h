#pragma once
// Random integers and strict decimal parsing for the engine. Pure apart from the random source; safe
// on any thread.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/identity/RandomSource.h"

namespace beacon {

class BMSNumericUtil {
 public:
  // Eight bytes of the random source as one integer; 0, with 26004 logged, when the source fails.
  static std::int64_t randomInt64(platform::RandomSource& source = platform::systemRandomSource());
};

// An exact decimal number of at most 38 significant digits, as the engine keeps currency values.
class BMSDecimalNumber {
 public:
  // Plain decimal text without exponent and without trailing zeros: "12.5", "-0.5", "100".
  std::string description() const;
  double doubleValue() const;
  bool isNegative() const { return negative_; }

  friend bool operator==(const BMSDecimalNumber&, const BMSDecimalNumber&) = default;

 private:
  friend std::optional<BMSDecimalNumber> BMSDecimalNumberFromString(std::string_view text);

  bool negative_ = false;
  std::string digits_;         // significant digits, no leading or trailing zeros; empty for zero
  std::int32_t exponent_ = 0;  // value = digits x 10^exponent
};

// Whether the text is an optionally signed decimal number with digits before or after one optional
// point: "12", "12.", "12.50", ".5", "-.5". No exponents, no blanks; the empty text is not.
bool BMSIsDecimalNumberString(std::string_view text);

// The number the text writes, when it is a decimal string (else 26001) within the range an exact
// decimal holds (else 26002) and without losing digits (else 26003); each failure is logged.
std::optional<BMSDecimalNumber> BMSDecimalNumberFromString(std::string_view text);

}  // namespace beacon
