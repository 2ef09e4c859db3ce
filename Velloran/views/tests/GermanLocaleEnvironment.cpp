// The views' tests read German texts, dates and numbers: before the first test, the current locale
// becomes German and the time zone Berlin's, both for Qt and for the Unicode library, whatever the
// machine is set to.

#include <gtest/gtest.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>

#include <QLocale>

namespace {

class GermanLocale final : public ::testing::Environment {
 public:
  void SetUp() override {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("de_DE"), status);
    ASSERT_TRUE(U_SUCCESS(status));
    icu::TimeZone::adoptDefault(icu::TimeZone::createTimeZone("Europe/Berlin"));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  }
};

[[maybe_unused]] auto* const germanLocale = ::testing::AddGlobalTestEnvironment(new GermanLocale);

}  // namespace
