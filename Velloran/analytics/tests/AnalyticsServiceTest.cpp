#include "Velloran/analytics/AnalyticsService.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "Velloran/analytics/testing/OrdinaryLaunch.h"
#include "Velloran/analytics/testing/RecordingAnalyticsSdk.h"
#include "platform/error/Error.h"
#include "platform/process/ProcessInfo.h"

namespace velloran {
namespace {

using platform::Value;
using testing::AnalyticsSdkCall;
using testing::closeDatabaseAfterQueuedWorkCall;
using testing::configureCall;
using testing::hasDefaultAppCall;
using testing::logEventCall;
using testing::resetAnalyticsDataCall;
using testing::setCollectionEnabledCall;
using Calls = std::vector<AnalyticsSdkCall>;

Prompt makePrompt(PromptType type, std::vector<std::string> tags, bool isSystem) {
  Prompt prompt;
  prompt.title = "Review";
  prompt.type = type;
  prompt.tags = std::move(tags);
  prompt.isSystem = isSystem;
  return prompt;
}

class AnalyticsServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    defaults_ = platform::PreferencesDomain::named("analytics-service-test");
    service_ = std::make_unique<AnalyticsService>(defaults_, sdk_, console_);
  }

  void storeConsent(Value value) {
    ASSERT_TRUE(defaults_->setObject(kAnalyticsEnabledKey, std::move(value)).ok());
  }

  testing::OrdinaryLaunch launch_;
  std::shared_ptr<platform::PreferencesDomain> defaults_;
  std::shared_ptr<testing::RecordingAnalyticsSdk> sdk_ = std::make_shared<testing::RecordingAnalyticsSdk>();
  std::ostringstream console_;
  std::unique_ptr<AnalyticsService> service_;
};

// --- Applying the consent ----------------------------------------------------------------------

TEST_F(AnalyticsServiceTest, FirstStartWithoutStoredConsentConfiguresSwitchesOnAndLogsAppOpen) {
  service_->applyCollectionSetting();

  // "app_open" carries no parameter dictionary at all: nullopt, which differs from an empty one.
  EXPECT_EQ(sdk_->calls(), (Calls{hasDefaultAppCall(), configureCall(), hasDefaultAppCall(),
                                  setCollectionEnabledCall(true), logEventCall("app_open", std::nullopt)}));
  EXPECT_EQ(console_.str(), "");
}

TEST_F(AnalyticsServiceTest, WithheldConsentSwitchesOffAndResetsOnEveryApplication) {
  storeConsent(Value(false));

  service_->applyCollectionSetting();
  service_->applyCollectionSetting();

  EXPECT_EQ(sdk_->calls(),
            (Calls{hasDefaultAppCall(), configureCall(), hasDefaultAppCall(), setCollectionEnabledCall(false),
                   resetAnalyticsDataCall(), setCollectionEnabledCall(false), resetAnalyticsDataCall()}));
  EXPECT_TRUE(sdk_->events().empty());
}

TEST_F(AnalyticsServiceTest, EveryApplicationWithConsentLogsAnotherAppOpenButConfiguresOnce) {
  service_->applyCollectionSetting();
  sdk_->clearCalls();

  service_->applyCollectionSetting();

  EXPECT_EQ(sdk_->calls(), (Calls{setCollectionEnabledCall(true), logEventCall("app_open", std::nullopt)}));
}

TEST_F(AnalyticsServiceTest, AnExistingDefaultAppIsNotConfiguredAgain) {
  sdk_->setDefaultAppExists(true);

  service_->applyCollectionSetting();

  EXPECT_EQ(sdk_->calls(), (Calls{hasDefaultAppCall(), hasDefaultAppCall(), setCollectionEnabledCall(true),
                                  logEventCall("app_open", std::nullopt)}));
}

// --- A failed configuration --------------------------------------------------------------------

TEST_F(AnalyticsServiceTest, FailedConfigurationPrintsTheLineOnceAndSwitchesNothing) {
  sdk_->setConfigureSucceeds(false);

  service_->applyCollectionSetting();
  // The readiness test asks once more, in case someone else configured a default app meanwhile.
  EXPECT_EQ(sdk_->calls(),
            (Calls{hasDefaultAppCall(), configureCall(), hasDefaultAppCall(), hasDefaultAppCall()}));
  EXPECT_EQ(console_.str(), testing::kConfigureFailureLine);

  sdk_->clearCalls();
  service_->applyCollectionSetting();
  EXPECT_EQ(sdk_->calls(), (Calls{hasDefaultAppCall()}))
      << "only asks for the default app, never configures again";
  EXPECT_EQ(console_.str(), testing::kConfigureFailureLine);
}

TEST_F(AnalyticsServiceTest, ADefaultAppConfiguredElsewhereAfterAFailureIsUsed) {
  sdk_->setConfigureSucceeds(false);
  service_->applyCollectionSetting();
  sdk_->setDefaultAppExists(true);
  sdk_->clearCalls();

  service_->applyCollectionSetting();

  EXPECT_EQ(sdk_->calls(), (Calls{hasDefaultAppCall(), setCollectionEnabledCall(true),
                                  logEventCall("app_open", std::nullopt)}));
  EXPECT_EQ(console_.str(), testing::kConfigureFailureLine);
}

// --- Changing the consent ----------------------------------------------------------------------

TEST_F(AnalyticsServiceTest, SetEnabledStoresTheConsentAsABooleanAndAppliesIt) {
  EXPECT_TRUE(service_->setEnabled(false).ok());
  EXPECT_EQ(defaults_->objectForKey(kAnalyticsEnabledKey), std::optional<Value>(Value(false)));
  EXPECT_TRUE(defaults_->objectForKey(kAnalyticsEnabledKey)->isBool());
  EXPECT_FALSE(service_->isEnabled());

  EXPECT_TRUE(service_->setEnabled(true).ok());
  EXPECT_TRUE(service_->isEnabled());

  EXPECT_EQ(sdk_->calls(), (Calls{hasDefaultAppCall(), configureCall(), hasDefaultAppCall(),
                                  setCollectionEnabledCall(false), resetAnalyticsDataCall(),
                                  setCollectionEnabledCall(true), logEventCall("app_open", std::nullopt)}));
}

TEST_F(AnalyticsServiceTest, SetEnabledStillStoresAfterAFailedConfiguration) {
  sdk_->setConfigureSucceeds(false);
  service_->applyCollectionSetting();
  sdk_->clearCalls();

  EXPECT_TRUE(service_->setEnabled(false).ok());

  EXPECT_FALSE(service_->isEnabled());
  EXPECT_EQ(sdk_->calls(), (Calls{hasDefaultAppCall()}));
}

TEST_F(AnalyticsServiceTest, StoredConsentIsReadAsABooleanWhateverItsKind) {
  EXPECT_TRUE(service_->isEnabled()) << "absent means granted";
  storeConsent(Value("NO"));
  EXPECT_FALSE(service_->isEnabled());
  storeConsent(Value("YES"));
  EXPECT_TRUE(service_->isEnabled());
  storeConsent(Value(0));
  EXPECT_FALSE(service_->isEnabled());
  storeConsent(Value(2));
  EXPECT_TRUE(service_->isEnabled());
  storeConsent(Value(platform::Dictionary{{"a", Value(true)}}));
  EXPECT_FALSE(service_->isEnabled()) << "a stored value that is no Boolean reads as false, not as absent";
}

// --- Test runs ---------------------------------------------------------------------------------

TEST_F(AnalyticsServiceTest, TestConfigurationVariableCountsWhateverItsValue) {
  EXPECT_FALSE(AnalyticsService::isTestingEnvironment());
  launch_.becomeTestRun();
  EXPECT_TRUE(AnalyticsService::isTestingEnvironment());
  launch_.user().environment().set("XCTestConfigurationFilePath", std::nullopt);
  EXPECT_FALSE(AnalyticsService::isTestingEnvironment()) << "read anew on every call";
}

TEST_F(AnalyticsServiceTest, OnlyTheExactUITestingArgumentCounts) {
  for (const char* nearMiss :
       {"-ui-testing=YES", "--ui-testing", "-UI-TESTING", "ui-testing", " -ui-testing"}) {
    platform::ProcessInfo::setArgumentsForTesting(std::vector<std::string>{"/usr/bin/velloran", nearMiss});
    EXPECT_FALSE(AnalyticsService::isTestingEnvironment()) << nearMiss;
  }
  platform::ProcessInfo::setArgumentsForTesting(
      std::vector<std::string>{"/usr/bin/velloran", "-AppleLocale", "de_DE", "-ui-testing"});
  EXPECT_TRUE(AnalyticsService::isTestingEnvironment());
}

TEST_F(AnalyticsServiceTest, ATestRunNeverTouchesTheSdkAndSetEnabledWritesNothing) {
  platform::ProcessInfo::setArgumentsForTesting(std::vector<std::string>{"/usr/bin/velloran", "-ui-testing"});

  service_->applyCollectionSetting();
  EXPECT_TRUE(service_->setEnabled(false).ok());
  service_->logPromptCreated(makePrompt(PromptType::system, {"a"}, true));
  service_->logPromptCopied(makePrompt(PromptType::system, {"a"}, true));
  service_->logAppStoreOpen("Notizen", 42);

  EXPECT_TRUE(sdk_->calls().empty());
  EXPECT_FALSE(defaults_->objectForKey(kAnalyticsEnabledKey).has_value());
  EXPECT_EQ(console_.str(), "");
}

// --- Events ------------------------------------------------------------------------------------

TEST_F(AnalyticsServiceTest, PromptEventsCarryTypeTagCountAndIsSystemAsIntegers) {
  service_->logPromptCreated(makePrompt(PromptType::system, {"safety", "review"}, true));

  ASSERT_EQ(sdk_->calls().size(), 1u) << "events do not consult or trigger configuration";
  const auto& call = sdk_->calls()[0];
  ASSERT_EQ(call.kind, AnalyticsSdkCall::Kind::LogEvent);
  EXPECT_EQ(call.name, "prompt_create");
  ASSERT_TRUE(call.parameters.has_value());
  const auto& parameters = *call.parameters;
  EXPECT_EQ(parameters.size(), 3u);
  // Value equality treats 1 and true alike, so the kinds are checked on their own.
  EXPECT_EQ(*parameters.at("type").asString(), "System");
  ASSERT_TRUE(parameters.at("tags_count").isInteger());
  EXPECT_EQ(*parameters.at("tags_count").asInteger(), 2);
  ASSERT_TRUE(parameters.at("is_system").isInteger());
  EXPECT_EQ(*parameters.at("is_system").asInteger(), 1);
}

TEST_F(AnalyticsServiceTest, PromptCopyDescribesCustomRoleAndUntaggedPrompts) {
  service_->logPromptCopied(makePrompt(PromptType::customRole, {}, false));
  service_->logPromptCopied(makePrompt(PromptType::user, {"x"}, false));

  using platform::Dictionary;
  EXPECT_EQ(sdk_->events(), (Calls{logEventCall("prompt_copy", Dictionary{{"type", Value("Custom Role")},
                                                                          {"tags_count", Value(0)},
                                                                          {"is_system", Value(0)}}),
                                   logEventCall("prompt_copy", Dictionary{{"type", Value("User")},
                                                                          {"tags_count", Value(1)},
                                                                          {"is_system", Value(0)}})}));
}

TEST_F(AnalyticsServiceTest, IsSystemFollowsTheFlagNotTheType) {
  service_->logPromptCopied(makePrompt(PromptType::user, {}, true));

  ASSERT_EQ(sdk_->events().size(), 1u);
  EXPECT_EQ(*sdk_->events()[0].parameters->at("is_system").asInteger(), 1);
}

TEST_F(AnalyticsServiceTest, AppStoreOpenCarriesTheIdAsDecimalTextOnlyWhenGiven) {
  service_->logAppStoreOpen("Notizen", 42);
  service_->logAppStoreOpen("Kalender", std::nullopt);
  service_->logAppStoreOpen("Groß", -9000000000);

  using platform::Dictionary;
  EXPECT_EQ(sdk_->events(),
            (Calls{logEventCall("app_store_open",
                                Dictionary{{"app_name", Value("Notizen")}, {"app_id", Value("42")}}),
                   logEventCall("app_store_open", Dictionary{{"app_name", Value("Kalender")}}),
                   logEventCall("app_store_open",
                                Dictionary{{"app_name", Value("Groß")}, {"app_id", Value("-9000000000")}})}));
  EXPECT_TRUE(sdk_->events()[0].parameters->at("app_id").isString());
}

TEST_F(AnalyticsServiceTest, WithheldConsentLogsNoEvents) {
  storeConsent(Value(false));

  service_->logPromptCreated(makePrompt(PromptType::system, {}, true));
  service_->logPromptCopied(makePrompt(PromptType::system, {}, true));
  service_->logAppStoreOpen("Notizen", 42);

  EXPECT_TRUE(sdk_->calls().empty());
}

// --- Quitting ----------------------------------------------------------------------------------

TEST_F(AnalyticsServiceTest, QuittingWaitsForAConfiguredSdkOnlyAndHasItCloseItsDatabase) {
  service_->finishQueuedWork();
  EXPECT_TRUE(sdk_->calls().empty()) << "never configured: nothing can be queued";

  service_->applyCollectionSetting();
  sdk_->clearCalls();
  service_->finishQueuedWork();
  EXPECT_EQ(sdk_->calls(), (Calls{closeDatabaseAfterQueuedWorkCall()}));
}

TEST_F(AnalyticsServiceTest, QuittingAfterAFailedConfigurationWaitsForNothing) {
  sdk_->setConfigureSucceeds(false);
  service_->applyCollectionSetting();
  sdk_->clearCalls();
  service_->finishQueuedWork();
  EXPECT_TRUE(sdk_->calls().empty());
}

TEST_F(AnalyticsServiceTest, QuittingInATestRunLeavesTheSdkAlone) {
  service_->applyCollectionSetting();
  sdk_->clearCalls();
  launch_.becomeTestRun();
  service_->finishQueuedWork();
  EXPECT_TRUE(sdk_->calls().empty());
}

// --- Threads -----------------------------------------------------------------------------------

TEST_F(AnalyticsServiceTest, CallsOffTheMainThreadAreRefused) {
  bool refused = false;
  std::thread other([&] {
    try {
      service_->logAppStoreOpen("Notizen", 42);
    } catch (const platform::ProgrammerError& error) {
      refused = error.name() == "AnalyticsServiceOffMainThread";
    }
  });
  other.join();

  EXPECT_TRUE(refused);
  EXPECT_TRUE(sdk_->calls().empty());
}

}  // namespace
}  // namespace velloran
