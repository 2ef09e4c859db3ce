#include "Velloran/services/CalendarDays.h"

#include <cmath>
#include <ctime>
#include <limits>

namespace velloran {
namespace {

struct LocalMoment {
  std::int64_t dayNumber = 0;  // days since 1970-01-01 of the local date
  double secondsIntoDay = 0;   // local wall-clock time of day
};

// Days from 1970-01-01 to the given proleptic Gregorian date (month 1-12).
std::int64_t daysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yearOfEra = year - era * 400;
  const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

std::optional<LocalMoment> localMoment(platform::Date date) {
  const double unixSeconds = date.unixSeconds();
  if (!std::isfinite(unixSeconds)) return std::nullopt;
  const double whole = std::floor(unixSeconds);
  if (whole < static_cast<double>(std::numeric_limits<std::time_t>::min()) ||
      whole >= static_cast<double>(std::numeric_limits<std::time_t>::max())) {
    return std::nullopt;
  }
  const auto seconds = static_cast<std::time_t>(whole);
  std::tm parts{};
  if (localtime_r(&seconds, &parts) == nullptr) return std::nullopt;
  LocalMoment moment;
  moment.dayNumber = daysFromCivil(std::int64_t{parts.tm_year} + 1900, parts.tm_mon + 1, parts.tm_mday);
  moment.secondsIntoDay = parts.tm_hour * 3600.0 + parts.tm_min * 60.0 + parts.tm_sec + (unixSeconds - whole);
  return moment;
}

}  // namespace

std::optional<std::int64_t> wholeCalendarDays(platform::Date from, platform::Date to) {
  // localtime_r alone does not look at the time zone again.
  tzset();
  const std::optional<LocalMoment> start = localMoment(from);
  const std::optional<LocalMoment> end = localMoment(to);
  if (!start || !end) return std::nullopt;
  std::int64_t days = end->dayNumber - start->dayNumber;
  // A day is only complete once the starting time of day is reached again.
  if (days > 0 && end->secondsIntoDay < start->secondsIntoDay) days -= 1;
  if (days < 0 && end->secondsIntoDay > start->secondsIntoDay) days += 1;
  return days;
}

}  // namespace velloran
