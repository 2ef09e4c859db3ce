#pragma once
// Measuring and cutting UTF-8 text in the units the system's rules speak of: Unicode scalar values
// (code points), UTF-16 code units, and user-perceived characters (extended grapheme clusters).
//
// Input is UTF-8. An ill-formed byte sequence counts as one U+FFFD REPLACEMENT CHARACTER per
// maximal ill-formed subsequence, the way every reader of this text layer treats it. Pure
// functions, safe on any thread.

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// The text as Unicode scalar values.
std::u32string toScalars(std::string_view utf8);
// Scalar values as UTF-8; values that are not scalars (surrogates, above U+10FFFF) become U+FFFD.
std::string fromScalars(std::u32string_view scalars);

std::size_t scalarCount(std::string_view utf8);
// Whether the bytes are well-formed UTF-8 (no stray, overlong or truncated sequences, no
// surrogates, nothing above U+10FFFF).
bool isWellFormedUtf8(std::string_view bytes);
// The text as well-formed UTF-8: each maximal ill-formed subsequence becomes one U+FFFD, as every
// reader of this layer counts it; well-formed text comes back unchanged.
std::string wellFormedUtf8(std::string_view bytes);
// The length the text would have in UTF-16 code units (scalars above U+FFFF count twice).
std::size_t utf16Length(std::string_view utf8);
// User-perceived characters: "e" followed by a combining accent is one, so is a flag emoji.
std::size_t characterCount(std::string_view utf8);

// The first `maxScalars` scalars of the text (all of it when shorter), never cutting a
// multi-byte sequence apart.
std::string scalarPrefix(std::string_view utf8, std::size_t maxScalars);

}  // namespace platform
