#include "Velloran/app/AppLocale.h"

#include <gtest/gtest.h>
#include <unicode/locid.h>

#include <QLocale>
#include <string>

#include "platform/text/DateTexts.h"
#include "platform/time/ManualClock.h"

namespace velloran {
namespace {

// Sets the process's locale for one test and puts the one before back afterwards.
class AppLocaleTest : public ::testing::Test {
 protected:
  ~AppLocaleTest() override {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(saved_, status);
    QLocale::setDefault(savedQt_);
  }

  static void startWith(const char* locale) {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale(locale), status);
    QLocale::setDefault(QLocale::c());
  }

  static std::string secondsAgo() {
    const platform::Date now = platform::ManualClock::kDefaultStart;
    return platform::relativeTimeText(platform::Date{now.secondsSinceReferenceDate - 39}, now);
  }

 private:
  const icu::Locale saved_ = icu::Locale::getDefault();
  const QLocale savedQt_;
};

TEST_F(AppLocaleTest, OnlyTheNeutralLocaleCountsAsNone) {
  EXPECT_TRUE(isNeutralLocaleName("en_US_POSIX"));
  EXPECT_TRUE(isNeutralLocaleName("c"));
  EXPECT_FALSE(isNeutralLocaleName("en_US"));
  EXPECT_FALSE(isNeutralLocaleName("de_DE"));
  EXPECT_FALSE(isNeutralLocaleName("fr"));
}

TEST_F(AppLocaleTest, AProcessWithoutLocaleWritesDatesInTheAppsLanguage) {
  startWith("en_US_POSIX");
  ASSERT_EQ(secondsAgo(), "39 seconds ago");
  adoptAppLanguageForNeutralLocale();
  EXPECT_EQ(secondsAgo(), "vor 39 Sekunden");
  EXPECT_EQ(QLocale().language(), QLocale::German) << "numbers too";
}

TEST_F(AppLocaleTest, ARealUserLocaleWins) {
  startWith("en_GB");
  adoptAppLanguageForNeutralLocale();
  EXPECT_EQ(secondsAgo(), "39 seconds ago");
  EXPECT_STREQ(icu::Locale::getDefault().getName(), "en_GB");
}

}  // namespace
}  // namespace velloran
