#include "Velloran/analytics/AnalyticsConsent.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sstream>

#include "Velloran/analytics/ChoiceFailureText.h"
#include "Velloran/analytics/testing/OrdinaryLaunch.h"
#include "Velloran/analytics/testing/RecordingAnalyticsSdk.h"
#include "platform/process/ProcessInfo.h"

namespace velloran {
namespace {

using testing::AnalyticsSdkCall;
using testing::setCollectionEnabledCall;

class AnalyticsConsentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    defaults_ = platform::PreferencesDomain::named("analytics-consent-test");
    service_ = std::make_unique<AnalyticsService>(defaults_, sdk_, console_);
  }

  AnalyticsConsent consent() { return AnalyticsConsent(defaults_, *service_); }

  long collectionSwitches() const {
    const auto& calls = sdk_->calls();
    return std::count_if(calls.begin(), calls.end(), [](const AnalyticsSdkCall& call) {
      return call.kind == AnalyticsSdkCall::Kind::SetCollectionEnabled;
    });
  }

  std::optional<platform::Value> stored(const char* key) const { return defaults_->objectForKey(key); }

  testing::OrdinaryLaunch launch_;
  std::shared_ptr<platform::PreferencesDomain> defaults_;
  std::shared_ptr<testing::RecordingAnalyticsSdk> sdk_ = std::make_shared<testing::RecordingAnalyticsSdk>();
  std::ostringstream console_;
  std::unique_ptr<AnalyticsService> service_;
};

TEST_F(AnalyticsConsentTest, TheFirstLaunchAsksAndNoLaterOneDoes) {
  EXPECT_TRUE(consent().takeAskRequest());
  EXPECT_EQ(stored(kAnalyticsPromptShownKey), platform::Value(true));
  EXPECT_FALSE(consent().takeAskRequest()) << "another window of the same installation";
  EXPECT_FALSE(AnalyticsConsent(platform::PreferencesDomain::named("analytics-consent-test"), *service_)
                   .takeAskRequest())
      << "the question is remembered in the preferences, not in the object";
}

TEST_F(AnalyticsConsentTest, WithoutAChoiceAnalyticsCountsAsEnabled) {
  EXPECT_TRUE(consent().isEnabled());
  consent().choose(false);
  EXPECT_FALSE(consent().isEnabled());
}

TEST_F(AnalyticsConsentTest, ATogglePassesThroughToTheServiceExactlyOnce) {
  consent().choose(false);
  EXPECT_EQ(stored(kAnalyticsEnabledKey), platform::Value(false));
  EXPECT_EQ(collectionSwitches(), 1);
  EXPECT_EQ(sdk_->calls().back(), testing::resetAnalyticsDataCall());

  consent().choose(true);
  EXPECT_EQ(collectionSwitches(), 2);
  EXPECT_EQ(sdk_->calls().back(), testing::logEventCall("app_open", std::nullopt));
}

TEST_F(AnalyticsConsentTest, AChoiceThatChangesNothingIsStoredButNotApplied) {
  consent().choose(true);
  EXPECT_EQ(stored(kAnalyticsEnabledKey), platform::Value(true)) << "the user's explicit answer is kept";
  EXPECT_TRUE(sdk_->calls().empty());
}

TEST_F(AnalyticsConsentTest, ApplyingHandsTheStoredChoiceToTheSdk) {
  consent().choose(false);
  const std::size_t before = sdk_->calls().size();
  consent().apply();
  ASSERT_GT(sdk_->calls().size(), before);
  EXPECT_EQ(std::count(sdk_->calls().begin() + static_cast<long>(before), sdk_->calls().end(),
                       setCollectionEnabledCall(false)),
            1);
}

TEST_F(AnalyticsConsentTest, AUITestRunKeepsAnalyticsOffButRemembersTheChoice) {
  platform::ProcessInfo::setArgumentsForTesting(std::vector<std::string>{"/usr/bin/velloran", "-ui-testing"});
  consent().apply();
  consent().choose(false);
  consent().choose(true);
  EXPECT_TRUE(sdk_->calls().empty());
  EXPECT_EQ(stored(kAnalyticsEnabledKey), platform::Value(true));
}

TEST_F(AnalyticsConsentTest, TheHarnessVariableKeepsAnalyticsOff) {
  launch_.becomeTestRun();
  consent().apply();
  consent().choose(false);
  EXPECT_TRUE(sdk_->calls().empty());
  EXPECT_EQ(stored(kAnalyticsEnabledKey), platform::Value(false));
}

TEST_F(AnalyticsConsentTest, AChoiceThatCannotBeStoredSaysSoInGermanAndHoldsUntilQuitting) {
  defaults_ = launch_.preferencesThatRefuseWrites("analytics-consent-test");
  service_ = std::make_unique<AnalyticsService>(defaults_, sdk_, console_);

  const std::optional<std::string> declined = consent().choose(false);
  ASSERT_TRUE(declined.has_value()) << "the window is told";
  EXPECT_EQ(*declined,
            "Auswahl konnte nicht gespeichert werden: Der Einstellungsordner lässt sich nicht beschreiben. "
            "Die Auswahl gilt bis zum Beenden der App.");
  EXPECT_FALSE(consent().isEnabled()) << "the choice holds for this run";
  EXPECT_EQ(sdk_->calls().back(), testing::resetAnalyticsDataCall()) << "and is applied";
  const std::string line = console_.str();
  EXPECT_TRUE(line.starts_with("Auswahl konnte nicht gespeichert werden: Cannot write ")) << line;
  EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << "one console line";

  // A choice that changes nothing is stored only, and its failure is told all the same.
  EXPECT_TRUE(consent().choose(false).has_value());
  // Being asked is no choice of the user's: the window hears nothing of it.
  EXPECT_TRUE(consent().takeAskRequest());
  const std::string lines = console_.str();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 2);
}

TEST(ChoiceFailureTextTest, TheReasonFollowsTheSystemsErrorWhereverItIsWrapped) {
  const auto failure = [](int number) {
    platform::Dictionary info{{std::string(platform::kErrnoKey), platform::Value(number)}};
    return platform::Error("Outer", 1, "write failed")
        .causedBy(platform::Error("platform.paths", 4, "Cannot write", std::move(info)));
  };
  const std::string start = kChoiceNotSavedText;
  const std::string end = " Die Auswahl gilt bis zum Beenden der App.";
  EXPECT_EQ(choiceNotSavedMessage(failure(ENOSPC)), start + "Der Datenträger ist voll." + end);
  EXPECT_EQ(choiceNotSavedMessage(failure(EROFS)),
            start + "Der Einstellungsordner ist schreibgeschützt." + end);
  EXPECT_EQ(choiceNotSavedMessage(failure(EACCES)),
            start + "Keine Berechtigung, in den Einstellungsordner zu schreiben." + end);
  EXPECT_EQ(choiceNotSavedMessage(platform::Error("Other", 2, "no number")),
            start + "Der Einstellungsordner lässt sich nicht beschreiben." + end);
}

}  // namespace
}  // namespace velloran
