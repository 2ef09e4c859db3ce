#include "platform/locale/UserLocale.h"

#include <gtest/gtest.h>

#include "platform/testing/TestEnvironment.h"

namespace platform {
namespace {

class PreferredLanguageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* variable : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) environment.set(variable, {});
  }
  testing::ScopedEnvironment environment;
};

TEST_F(PreferredLanguageTest, LocaleNameLosesEncodingAndModifier) {
  environment.set("LANG", "de_DE.UTF-8@euro");
  EXPECT_EQ(preferredLanguage(), "de-DE");
}

TEST_F(PreferredLanguageTest, FirstEntryOfLanguageListWins) {
  environment.set("LANG", "fr_FR.UTF-8");
  environment.set("LANGUAGE", "en_GB:de");
  EXPECT_EQ(preferredLanguage(), "en-GB");
}

TEST_F(PreferredLanguageTest, MoreSpecificVariablesComeFirst) {
  environment.set("LANG", "fr_FR.UTF-8");
  environment.set("LC_MESSAGES", "it_IT.UTF-8");
  EXPECT_EQ(preferredLanguage(), "it-IT");
  environment.set("LC_ALL", "es_ES.UTF-8");
  EXPECT_EQ(preferredLanguage(), "es-ES");
}

TEST_F(PreferredLanguageTest, EmptyVariablesAreSkipped) {
  environment.set("LC_ALL", "");
  environment.set("LANGUAGE", "");
  environment.set("LANG", "pt_BR");
  EXPECT_EQ(preferredLanguage(), "pt-BR");
}

TEST_F(PreferredLanguageTest, PortableLocalesAndNothingSetNameNoLanguage) {
  EXPECT_EQ(preferredLanguage(), std::nullopt);
  environment.set("LANG", "C.UTF-8");
  EXPECT_EQ(preferredLanguage(), std::nullopt);
  environment.set("LANG", "POSIX");
  EXPECT_EQ(preferredLanguage(), std::nullopt);
}

TEST(LocalTimeZoneOffsetTest, ReadsTheZoneFromTheEnvironment) {
  testing::ScopedEnvironment environment;
  const Date someInstant = Date::fromUnixSeconds(1700000000);
  environment.set("TZ", "<-0330>3:30");
  EXPECT_EQ(localTimeZoneOffsetSeconds(someInstant), -12600);
  environment.set("TZ", "UTC0");
  EXPECT_EQ(localTimeZoneOffsetSeconds(someInstant), 0);
  environment.set("TZ", "<+0545>-5:45");
  EXPECT_EQ(localTimeZoneOffsetSeconds(someInstant), 20700);
}

}  // namespace
}  // namespace platform
