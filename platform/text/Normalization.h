#pragma once
// Unicode canonical equivalence for UTF-8 strings: "ü" written precomposed (U+00FC) and written as
// "u" plus a combining diaeresis (U+0308) are the same text. Titles and tags compare and hash this
// way; case still counts.
//
// Ill-formed UTF-8 is not text: such a string equals only a byte-identical string, and hashes by
// its bytes. Pure functions, safe on any thread.

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// The text in Normalization Form C (composed); ill-formed bytes become U+FFFD.
std::string normalizedNFC(std::string_view utf8);

bool canonicallyEqual(std::string_view a, std::string_view b);

// Consistent with canonicallyEqual: canonically equal strings hash equally.
std::size_t canonicalHash(std::string_view utf8);

// For unordered containers keyed by text under canonical equivalence.
struct CanonicalHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const { return canonicalHash(text); }
};
struct CanonicalEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const { return canonicallyEqual(a, b); }
};

}  // namespace platform
