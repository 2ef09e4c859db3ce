#include "platform/text/DateTexts.h"

#include <gtest/gtest.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>

#include <memory>

#include "platform/time/ManualClock.h"

namespace platform {
namespace {

// The process's locale German and its time zone Berlin's for one test, whatever the machine is set
// to; both are put back afterwards.
class DateTextsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("de_DE"), status);
    ASSERT_TRUE(U_SUCCESS(status));
    icu::TimeZone::adoptDefault(icu::TimeZone::createTimeZone("Europe/Berlin"));
  }

  void TearDown() override {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(locale_, status);
    icu::TimeZone::setDefault(*zone_);
  }

 private:
  const icu::Locale locale_ = icu::Locale::getDefault();
  const std::unique_ptr<icu::TimeZone> zone_{icu::TimeZone::createDefault()};
};

TEST_F(DateTextsTest, SaysHowLongAgoInTheLargestUnit) {
  const Date now = ManualClock::kDefaultStart;
  const auto ago = [&](double seconds) { return Date{now.secondsSinceReferenceDate - seconds}; };
  EXPECT_EQ(relativeTimeText(ago(0.4), now, "de_DE"), "jetzt");
  EXPECT_EQ(relativeTimeText(ago(300), now, "de_DE"), "vor 5 Minuten");
  EXPECT_EQ(relativeTimeText(ago(2 * 3600 + 60), now, "de_DE"), "vor 2 Stunden");
  EXPECT_EQ(relativeTimeText(ago(86400), now, "de_DE"), "gestern");
  EXPECT_EQ(relativeTimeText(ago(15 * 86400), now, "de_DE"), "vor 2 Wochen");
  EXPECT_EQ(relativeTimeText(Date{now.secondsSinceReferenceDate + 7200}, now, "de_DE"), "in 2 Stunden");
}

TEST_F(DateTextsTest, FollowsTheLocaleAndTimeZoneAsTheyAreAtEachCall) {
  // 24.5 hours across the end of summer time: in Berlin the day is 25 hours long, in UTC it is not.
  const Date before = Date::fromUnixSeconds(1698487200);  // 2023-10-28 10:00 UTC
  const Date after{before.secondsSinceReferenceDate + 24.5 * 3600};
  EXPECT_EQ(relativeTimeText(before, after, "de_DE"), "vor 24 Stunden");
  EXPECT_EQ(relativeTimeText(before, after, "en_US"), "24 hours ago");
  icu::TimeZone::adoptDefault(icu::TimeZone::createTimeZone("Etc/UTC"));
  EXPECT_EQ(relativeTimeText(before, after, "de_DE"), "gestern");
  EXPECT_EQ(relativeTimeText(before, after), "gestern") << "the current locale";
  icu::TimeZone::adoptDefault(icu::TimeZone::createTimeZone("Europe/Berlin"));
  EXPECT_EQ(relativeTimeText(before, after, "de_DE"), "vor 24 Stunden");
}

TEST_F(DateTextsTest, WritesDateAndTimeInDigitsTheLocaleWay) {
  // 2023-11-14 22:13:20 UTC is 23:13 in Berlin.
  EXPECT_EQ(numericDateTimeText(ManualClock::kDefaultStart, "de_DE"), "14.11.2023, 23:13");
  EXPECT_EQ(numericDateTimeText(ManualClock::kDefaultStart), "14.11.2023, 23:13") << "the current locale";
}

}  // namespace
}  // namespace platform
