#include "Velloran/services/CalendarDays.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <limits>

#include "platform/testing/TestEnvironment.h"

namespace velloran {
namespace {

constexpr double kHour = 3600;
constexpr double kDay = 24 * kHour;

platform::Date utc(int year, int month, int day, int hour, int minute = 0) {
  std::tm parts{};
  parts.tm_year = year - 1900;
  parts.tm_mon = month - 1;
  parts.tm_mday = day;
  parts.tm_hour = hour;
  parts.tm_min = minute;
  return platform::Date::fromUnixSeconds(static_cast<double>(timegm(&parts)));
}

platform::Date plus(platform::Date date, double seconds) {
  return {date.secondsSinceReferenceDate + seconds};
}

class CalendarDaysTest : public ::testing::Test {
 protected:
  void inZone(const char* zone) { environment_.set("TZ", zone); }
  platform::testing::ScopedEnvironment environment_;
};

TEST_F(CalendarDaysTest, ADayIsCompleteOnlyOnceTheStartingTimeOfDayComesAgain) {
  inZone("UTC");
  const platform::Date start = utc(2024, 5, 10, 18, 30);
  EXPECT_EQ(wholeCalendarDays(start, start), 0);
  EXPECT_EQ(wholeCalendarDays(start, plus(start, kDay - 1)), 0);
  EXPECT_EQ(wholeCalendarDays(start, plus(start, kDay)), 1);
  EXPECT_EQ(wholeCalendarDays(start, plus(start, 90 * kDay - 0.5)), 89);
  EXPECT_EQ(wholeCalendarDays(start, plus(start, 90 * kDay)), 90);
}

TEST_F(CalendarDaysTest, AnEarlierEndCountsBackwards) {
  inZone("UTC");
  const platform::Date start = utc(2024, 5, 10, 18, 30);
  EXPECT_EQ(wholeCalendarDays(start, plus(start, -kDay + 1)), 0);
  EXPECT_EQ(wholeCalendarDays(start, plus(start, -kDay)), -1);
  EXPECT_EQ(wholeCalendarDays(start, plus(start, -5 * kDay)), -5);
}

TEST_F(CalendarDaysTest, DaysShortenedOrLengthenedByDaylightSavingCountAsWholeDays) {
  inZone("Europe/Berlin");
  // Clocks go forward in the night to 2024-03-31: noon to noon is 23 hours, and one day.
  const platform::Date saturdayNoon = utc(2024, 3, 30, 11);  // 12:00 CET
  EXPECT_EQ(wholeCalendarDays(saturdayNoon, plus(saturdayNoon, 23 * kHour)), 1);
  // Clocks go back in the night to 2024-10-27: 24.5 hours later it is only 11:30 on the next day.
  const platform::Date octoberNoon = utc(2024, 10, 26, 10);  // 12:00 CEST
  EXPECT_EQ(wholeCalendarDays(octoberNoon, plus(octoberNoon, 24.5 * kHour)), 0);
  EXPECT_EQ(wholeCalendarDays(octoberNoon, plus(octoberNoon, 25 * kHour)), 1);
  // Ninety days across the change are ninety days, one hour short of 90 * 24 hours.
  const platform::Date january = utc(2024, 1, 1, 8);  // 09:00 CET
  EXPECT_EQ(wholeCalendarDays(january, plus(january, 90 * kDay - kHour)), 90);
}

TEST_F(CalendarDaysTest, InstantsBeyondTheCalendarGiveNoCount) {
  inZone("UTC");
  const platform::Date now = utc(2024, 5, 10, 12);
  EXPECT_EQ(wholeCalendarDays(now, platform::Date{1e300}), std::nullopt);
  EXPECT_EQ(wholeCalendarDays(platform::Date{std::nan("")}, now), std::nullopt);
  EXPECT_EQ(wholeCalendarDays(now, platform::Date{std::numeric_limits<double>::infinity()}), std::nullopt);
}

}  // namespace
}  // namespace velloran
