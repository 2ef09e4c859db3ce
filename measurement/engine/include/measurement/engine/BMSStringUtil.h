#pragma once
// String helpers of the engine: lengths and bytes in Unicode scalar values (the unit every name and
// value limit of the engine is measured in), "0"/"1" bit strings, and URL query strings. Input is
// UTF-8. Pure functions, safe on any thread.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/value/Value.h"

namespace beacon {

// Number of Unicode scalar values.
std::size_t BMSUTF32Length(std::string_view text);

// The leading scalars in UTF-32 little-endian, at most `maxBytes` bytes, whole scalars only.
platform::Bytes BMSGetUTF32Bytes(std::string_view text, std::size_t maxBytes);

// Whether the text has a "1" at that index; indexes outside the text answer false.
bool BMSIsBitEnabledAtIndex(std::string_view bits, std::int64_t index);

// "+" becomes a blank, then %XX escapes are decoded. Nothing for a broken escape or when the decoded
// bytes are not UTF-8.
std::optional<std::string> BMSStringByUnescapingFromURLArgument(std::string_view text);

// "key=value" pairs joined with "&" in key order; keys and values are written as their text and
// escaped, so "&", "=", "+" and "#" inside them keep their meaning.
std::string BMSQueryString(const platform::Dictionary& arguments);

// The inverse: pairs split at "&", each at its first "="; a part without "=" is a key with the empty
// string; a part that cannot be unescaped counts as empty; the first occurrence of a key wins.
platform::Dictionary BMSDictionaryWithHttpArgumentsString(std::string_view text);

}  // namespace beacon
