#include "platform/text/DateTexts.h"

#include <unicode/calendar.h>
#include <unicode/datefmt.h>
#include <unicode/dtptngen.h>
#include <unicode/locid.h>
#include <unicode/reldatefmt.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

#include <algorithm>
#include <memory>
#include <string>

#include "platform/text/IcuText.h"

namespace platform {
namespace {

using text_detail::localeNamed;
using text_detail::toUtf8;

struct UnitStep {
  UCalendarDateFields field;
  URelativeDateTimeUnit unit;
};

constexpr UnitStep kSteps[] = {
    {UCAL_YEAR, UDAT_REL_UNIT_YEAR},         {UCAL_MONTH, UDAT_REL_UNIT_MONTH},
    {UCAL_WEEK_OF_YEAR, UDAT_REL_UNIT_WEEK}, {UCAL_DATE, UDAT_REL_UNIT_DAY},
    {UCAL_HOUR_OF_DAY, UDAT_REL_UNIT_HOUR},  {UCAL_MINUTE, UDAT_REL_UNIT_MINUTE},
    {UCAL_SECOND, UDAT_REL_UNIT_SECOND},
};

UDate icuDate(Date date) {
  return date.unixSeconds() * 1000.0;
}

// The formatter and calendar of the last locale relativeTimeText served on this thread: making them
// reads the locale's data, which costs far more than a text. The calendar takes the process's time
// zone anew whenever that changed.
class RelativeTimeTools {
 public:
  // Null when ICU cannot make them for the locale.
  static RelativeTimeTools* forLocale(const icu::Locale& where) {
    thread_local RelativeTimeTools tools;
    if (tools.localeName_ != where.getName() || !tools.calendar_) {
      UErrorCode status = U_ZERO_ERROR;
      auto formatter = std::make_unique<icu::RelativeDateTimeFormatter>(where, nullptr, UDAT_STYLE_LONG,
                                                                        UDISPCTX_CAPITALIZATION_NONE, status);
      std::unique_ptr<icu::Calendar> calendar(icu::Calendar::createInstance(where, status));
      if (U_FAILURE(status) || !calendar) return nullptr;
      tools.localeName_ = where.getName();
      tools.formatter_ = std::move(formatter);
      tools.calendar_ = std::move(calendar);
    }
    std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createDefault());
    if (zone && *zone != tools.calendar_->getTimeZone()) tools.calendar_->adoptTimeZone(zone.release());
    return &tools;
  }

  const icu::RelativeDateTimeFormatter& formatter() const { return *formatter_; }
  icu::Calendar& calendar() { return *calendar_; }

 private:
  std::string localeName_;
  std::unique_ptr<icu::RelativeDateTimeFormatter> formatter_;
  std::unique_ptr<icu::Calendar> calendar_;
};

}  // namespace

std::string relativeTimeText(Date moment, Date now, std::string_view locale) {
  RelativeTimeTools* tools = RelativeTimeTools::forLocale(localeNamed(locale));
  if (tools == nullptr) return {};
  icu::Calendar& calendar = tools->calendar();
  UErrorCode status = U_ZERO_ERROR;

  const bool past = moment < now;
  calendar.setTime(icuDate(std::min(moment, now)), status);
  const UDate later = icuDate(std::max(moment, now));
  double offset = 0;
  URelativeDateTimeUnit unit = UDAT_REL_UNIT_SECOND;
  for (const UnitStep& step : kSteps) {
    // Moves the calendar forward by the whole units it reports, so the next step counts the rest.
    const int32_t difference = calendar.fieldDifference(later, step.field, status);
    if (U_FAILURE(status)) return {};
    if (difference != 0) {
      offset = past ? -difference : difference;
      unit = step.unit;
      break;
    }
  }
  icu::UnicodeString text;
  tools->formatter().format(offset, unit, text, status);
  if (U_FAILURE(status)) return {};
  return toUtf8(text);
}

std::string numericDateTimeText(Date moment, std::string_view locale) {
  const icu::Locale where = localeNamed(locale);
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::DateTimePatternGenerator> generator(
      icu::DateTimePatternGenerator::createInstance(where, status));
  if (U_FAILURE(status)) return {};
  // Year, month and day in digits; hours and minutes in the locale's preferred clock.
  const icu::UnicodeString pattern = generator->getBestPattern(icu::UnicodeString("yMdjm"), status);
  icu::SimpleDateFormat format(pattern, where, status);
  if (U_FAILURE(status)) return {};
  icu::UnicodeString text;
  format.format(icuDate(moment), text);
  return toUtf8(text);
}

}  // namespace platform
