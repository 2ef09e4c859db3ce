#pragma once
// Moments in words and numbers, in the current locale (or the one named).
//
// relativeTimeText: how long ago (or how far ahead) a moment is, in words of the locale: "vor 5 Minuten",
// "gestern", "in 2 Stunden", "jetzt". The unit is the largest calendar unit in which the two moments differ
// (years, months, weeks, days, hours, minutes, seconds), counted in the locale's calendar and the
// process's time zone; moments less than a second apart read as now. Days and years near the
// present take their names ("gestern", "vorgestern", "letztes Jahr") where the locale has them.
//
// numericDateTimeText: the date in digits and the time in hours and minutes, as the locale writes
// them ("14.11.2023, 23:13" in German), in the process's time zone.
//
// Safe on any thread.

#include <string>
#include <string_view>

#include "platform/value/Value.h"

namespace platform {

// `locale`: an ICU locale name ("de_DE"); empty for the current locale.
std::string relativeTimeText(Date moment, Date now, std::string_view locale = {});

std::string numericDateTimeText(Date moment, std::string_view locale = {});

}  // namespace platform
