#pragma once
// Pure helpers of the engine's identity: the library version number, the numeric fields of an app
// version, and random IDs.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/identity/RandomSource.h"

namespace beacon {

// The engine's library version string.
inline constexpr const char* kBMSLibraryVersionString = "120300000";

// The version string without its last three characters, as a number (120300); 0 for a string
// shorter than four characters or one that does not read as a number.
std::int64_t libraryVersionFromString(std::string_view version);

struct AppVersionFields {
  std::vector<std::int64_t> numbers;
  // Some piece held characters other than decimal digits (they were dropped).
  bool hadNonNumericCharacters = false;
};
// Splits at "."; empty pieces are skipped; each piece keeps only its decimal digits. A piece with no
// digit at all reads as 0.
AppVersionFields numericFieldsFromAppVersion(std::string_view version);

// A new random ID: a UUID without its hyphens, 32 upper-case hexadecimal characters.
std::string randomAppInstanceID(platform::RandomSource& random);

}  // namespace beacon
