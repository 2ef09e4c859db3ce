#pragma once
// The user's language and time-zone settings as the process environment gives them.
//
// Preferred language: the first entry of LANGUAGE (a colon-separated list), else the locale named by
// LC_ALL, LC_MESSAGES or LANG, in that order (the first one that is set and not empty decides). The
// locale's encoding (".UTF-8") and modifier ("@euro") are dropped and "_" becomes "-", so
// "de_DE.UTF-8" is "de-DE". The portable locales "C" and "POSIX" name no language: nullopt.
//
// Time-zone offset: the local zone's distance from GMT at the given instant, in seconds (east
// positive), as the C library works it out from TZ and the zone database.
//
// Thread-safe.

#include <optional>
#include <string>

#include "platform/value/Value.h"

namespace platform {

std::optional<std::string> preferredLanguage();
long localTimeZoneOffsetSeconds(Date at);

}  // namespace platform
