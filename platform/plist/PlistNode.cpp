#include "platform/plist/PlistNode.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace platform::plist_detail {
namespace {

constexpr double kMicrosPerSecond = 1e6;

// Days between 1970-01-01 and the given proleptic Gregorian date.
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

// Reads "<date>Y-MM-DDTHH:MM:SSZ</date>" as the library writes it (the year unpadded, possibly
// negative), whole seconds only.
std::optional<Date> dateFromXml(const std::string& xml) {
  std::size_t start = xml.find("<date>");
  if (start == std::string::npos) return std::nullopt;
  long long year = 0;
  unsigned month = 0, day = 0, hour = 0, minute = 0, second = 0;
  int consumed = 0;
  if (std::sscanf(xml.c_str() + start + 6, "%lld-%2u-%2uT%2u:%2u:%2uZ%n", &year, &month, &day, &hour, &minute,
                  &second, &consumed) != 6 ||
      consumed == 0 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
      second > 60) {
    return std::nullopt;
  }
  double unixSeconds =
      static_cast<double>(daysFromCivil(year, month, day)) * 86400.0 + hour * 3600.0 + minute * 60.0 + second;
  return Date::fromUnixSeconds(unixSeconds);
}

}  // namespace

std::string nodeAsXml(plist_t node) {
  char* text = nullptr;
  std::uint32_t length = 0;
  plist_to_xml(node, &text, &length);
  if (!text) return {};
  std::string xml(text, length);
  plist_to_xml_free(text);
  return xml;
}

plist_t newDateNode(const Date& date) {
  double seconds = date.secondsSinceReferenceDate;
  if (!std::isfinite(seconds)) return nullptr;
  // Whole seconds rounded down and a non-negative fraction, so dates before 2001 keep their value.
  double whole = std::floor(seconds);
  double micros = std::round((seconds - whole) * kMicrosPerSecond);
  if (micros >= kMicrosPerSecond) {
    whole += 1;
    micros = 0;
  }
  if (whole < std::numeric_limits<std::int32_t>::min() || whole > std::numeric_limits<std::int32_t>::max()) {
    return nullptr;
  }
  return plist_new_date(static_cast<std::int32_t>(whole), static_cast<std::int32_t>(micros));
}

namespace {

// The library hands out the fraction truncated, so a date can read one microsecond short of what
// was written. Of the reading and its two neighbours, the one that reproduces the stored value
// exactly is the date written.
std::optional<Date> exactMatch(plist_t node, Date reading) {
  for (double offset : {0.0, -1.0 / kMicrosPerSecond, 1.0 / kMicrosPerSecond}) {
    const Date candidate{reading.secondsSinceReferenceDate + offset};
    OwnedNode rebuilt(newDateNode(candidate));
    if (rebuilt && plist_compare_node_value(node, static_cast<plist_t>(rebuilt.get()))) return candidate;
  }
  return std::nullopt;
}

}  // namespace

std::optional<Date> readDateNode(plist_t node) {
  std::int32_t seconds = 0;
  std::int32_t micros = 0;
  plist_get_date_val(node, &seconds, &micros);
  // The library clamps dates outside its int32 window to the smallest int32; its XML rendering
  // still carries the full date.
  if (seconds == std::numeric_limits<std::int32_t>::min()) return dateFromXml(nodeAsXml(node));
  // The library hands out seconds truncated toward zero and the fraction without its sign.
  double fraction = micros / kMicrosPerSecond;
  if (seconds < 0) return exactMatch(node, Date{seconds - fraction}).value_or(Date{seconds - fraction});
  // Within a second before the reference date the sign is lost as well.
  if (seconds == 0 && micros != 0) {
    if (std::optional<Date> negative = exactMatch(node, Date{-fraction})) return negative;
  }
  return exactMatch(node, Date{seconds + fraction}).value_or(Date{seconds + fraction});
}

Value readIntegerNode(plist_t node) {
  std::uint64_t raw = 0;
  plist_get_uint_val(node, &raw);
  auto value = static_cast<std::int64_t>(raw);
  if (value >= 0) return value;
  // A negative number and an unsigned one above the int64 range share this bit pattern; only the
  // XML rendering says which it is.
  if (nodeAsXml(node).find("<integer>-") != std::string::npos) return value;
  return static_cast<double>(raw);
}

}  // namespace platform::plist_detail
