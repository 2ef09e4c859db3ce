#pragma once
// Base64 text for bytes (RFC 4648): the standard alphabet ("+/") and the URL-safe one ("-_"), with
// or without the "=" fill characters. Pure functions, safe from any thread.

#include <optional>
#include <string>
#include <string_view>

#include "platform/value/Value.h"

namespace platform {

enum class Base64Alphabet { Standard, UrlSafe };
enum class Base64Padding { Keep, Omit };

// No line breaks are ever inserted.
std::string base64Encode(const Bytes& data, Base64Alphabet alphabet = Base64Alphabet::Standard,
                         Base64Padding padding = Base64Padding::Keep);

// The bytes, or nullopt when the text is not Base64 of the given alphabet: a character outside
// it (white space included), a length no encoding produces, misplaced or wrong fill characters,
// or leftover bits that are not zero (so every byte sequence has exactly one accepted text per
// alphabet, apart from the fill being optional).
std::optional<Bytes> base64Decode(std::string_view text, Base64Alphabet alphabet = Base64Alphabet::Standard);

}  // namespace platform
