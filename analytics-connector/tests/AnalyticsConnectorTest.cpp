// The connector over a configured default app and its started engine: what other SDK components
// log, set, query and hear through it, and how they find it in the app's container.

#include "analytics-connector/BCNAnalyticsConnector.h"

#include <gtest/gtest.h>

#include "analytics-api/BCNAnalytics.h"
#include "analytics-connector/BCNConnectorConversions.h"
#include "measurement/engine/testing/EngineTestSupport.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/testing/TestEnvironment.h"
#include "sdk-core/BCNApp.h"
#include "sdk-core/BCNComponentContainer.h"
#include "sdk-core/BCNOptions.h"

namespace beacon {
namespace {

constexpr const char* kAppID = "1:123456789012:ios:0123456789abcdef0123456789abcdef";

class RecordingListener : public BCNAnalyticsInteropListener {
 public:
  void messageTriggered(const std::string& name, const platform::Dictionary& parameters) override {
    EXPECT_TRUE(platform::isMainThread());
    names.push_back(name);
    parameters_.push_back(parameters);
  }
  std::vector<std::string> names;
  std::vector<platform::Dictionary> parameters_;
};

class AnalyticsConnectorTest : public ::testing::Test {
 protected:
  AnalyticsConnectorTest() {
    environment.set("BEACON_SERVICE_ORIGIN", "http://127.0.0.1:9");
    user.writeInfo({{"CFBundleIdentifier", "de.example.analytics-connector-tests"}});
    BCNAnalytics::registerClass();
    BCNAnalyticsConnector::load();
    BMSEngineServices::setLogSink(log);
  }
  ~AnalyticsConnectorTest() override { BMSEngineServices::setLogSink(nullptr); }

  // Configures the default app and starts hearing what the engine logs, by origin.
  std::shared_ptr<BCNAnalyticsInterop> configure() {
    BCNApp::configureWithOptions(BCNOptions::initWithCorvaneAppID(kAppID, "123456789012"));
    dispatch.drain();
    BCNAnalytics::addLogEventListener(
        [this](const BMSEvent& event) { heard[event.origin()] = BMSPlainParameters(event.parameters()); });
    return BCNComponentType<BCNAnalyticsInterop>::instanceForProtocol(BCNAnalyticsInteropProtocol(),
                                                                      *BCNApp::defaultApp()->container());
  }

  platform::testing::TemporaryUser user;
  platform::testing::ScopedEnvironment environment;
  std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
  platform::DeterministicDispatch dispatch{clock};
  AnalyticsContext::Scope scope{std::make_shared<AnalyticsContext>(
      AnalyticsContext::Services{clock, &platform::ClassDirectory::shared(), nullptr, nullptr, false})};
  std::shared_ptr<testing::CapturingLogSink> log = std::make_shared<testing::CapturingLogSink>();
  std::map<std::string, platform::Dictionary> heard;
};

TEST_F(AnalyticsConnectorTest, OtherComponentsFindTheConnectorInTheAppsContainer) {
  EXPECT_TRUE(std::dynamic_pointer_cast<BCNAnalyticsConnector>(configure()));
  EXPECT_NE(BCNApp::beaconUserAgent().find("bcn-analytics/12.3.0"), std::string::npos);
  EXPECT_EQ(BCNAnalyticsConnector::queue()->label(), "com.corvane.analytics_connector.queue");
}

TEST_F(AnalyticsConnectorTest, ReservedDataIsRefusedAndCampaignsNameTheirIntegration) {
  const auto connector = configure();
  for (const char* origin : {"app", "auto", "am"}) connector->logEventWithOrigin(origin, "forged", {});
  connector->logEventWithOrigin("bcm", "_s", {});
  connector->logEventWithOrigin("bcm", "notification_open", {{"_dbg", 1}});
  connector->logEventWithOrigin("brc", "_cmp", {{"source", "config"}});
  connector->logEventWithOrigin("bxy", "_cmp", {{"source", "other"}});
  connector->logEventWithOrigin("bcr", "_ae", {});
  dispatch.drain();
  EXPECT_EQ(heard.size(), 3u);
  EXPECT_EQ(heard["brc"]["_cis"], platform::Value("brc_integration"));
  EXPECT_EQ(heard["bxy"], (platform::Dictionary{{"_o", "bxy"}, {"source", "other"}}));
  EXPECT_EQ(heard["bcr"]["_r"], platform::Value(1));
}

TEST_F(AnalyticsConnectorTest, UserPropertiesPassTheListsAndQueriesHideInternalOnes) {
  const auto connector = configure();
  connector->setUserPropertyWithOrigin("bcm", "_ln", "de");
  connector->setUserPropertyWithOrigin("brc", "_ln", "fr");
  connector->setUserPropertyWithOrigin("bcm", "_ltv_EUR", 5);
  connector->setUserPropertyWithOrigin("bcm", "_cc3", "c");
  connector->setUserPropertyWithOrigin("bcm", "_cc6", "c");
  connector->setUserPropertyWithOrigin("bcm", "_ltv_EURO", "c");
  connector->setUserPropertyWithOrigin("app", "tier", "forged");
  connector->setUserPropertyWithOrigin("bcm", "tier", "gold");
  dispatch.drain();

  platform::Dictionary all;
  BCNAnalytics::userPropertiesIncludingInternal(
      true, platform::mainQueue(), [&](const platform::Dictionary& properties) { all = properties; });
  dispatch.drain();
  EXPECT_EQ(all["_ln"], platform::Value("de"));
  EXPECT_EQ(all["_cc6"], platform::Value("c"));
  EXPECT_EQ(all["_ltv_EURO"], platform::Value("c"));
  EXPECT_EQ(all["tier"], platform::Value("gold"));
  EXPECT_FALSE(all.contains("_ltv_EUR"));
  EXPECT_FALSE(all.contains("_cc3"));
  ASSERT_TRUE(all.contains("_fot"));

  platform::Dictionary visible;
  connector->getUserPropertiesWithCallback(
      [&](const platform::Dictionary& properties) { visible = properties; });
  dispatch.drain();
  EXPECT_EQ(visible, (platform::Dictionary{{"_fot", all["_fot"]}, {"tier", "gold"}}));
}

TEST_F(AnalyticsConnectorTest, ListenersHearTheirOriginAndTheAppsEventsButNoHiddenOnes) {
  const auto connector = configure();
  auto inAppMessaging = std::make_shared<RecordingListener>();
  auto crashes = std::make_shared<RecordingListener>();
  connector->registerAnalyticsListener(inAppMessaging, "biam");
  connector->registerAnalyticsListener(crashes, "crash");
  connector->registerAnalyticsListener(std::make_shared<RecordingListener>(), "bcm");
  const auto notify = [](const char* origin, const char* name, BMSParameters parameters = {}) {
    BCNAnalytics::notifyEventListeners(*BMSEvent::initWithOrigin(origin, false, name, 1.7e9, 0, parameters));
  };
  notify("biam", "biam_impression", {{"campaign", "spring"}, {"count", 2}, {"share", 0.5}});
  notify("app", "prompt_copy");
  notify("app+ctm", "tag_added");
  notify("biam", "_exp_set");
  notify("app", "campaign_details");
  notify("bcm", "notification_open");
  notify("apps", "apps_event");
  dispatch.drain();
  EXPECT_EQ(inAppMessaging->names, (std::vector<std::string>{"biam_impression", "prompt_copy", "tag_added"}));
  EXPECT_EQ(crashes->names, (std::vector<std::string>{"prompt_copy", "tag_added"}));
  EXPECT_EQ(inAppMessaging->parameters_[0],
            (platform::Dictionary{{"_o", "biam"}, {"campaign", "spring"}, {"count", 2}, {"share", 0.5}}));

  connector->unregisterAnalyticsListenerWithOrigin("crash");
  connector->unregisterAnalyticsListenerWithOrigin("biam");
  notify("app", "prompt_edit");
  dispatch.drain();
  EXPECT_EQ(inAppMessaging->names.size() + crashes->names.size(), 5u);
}

TEST_F(AnalyticsConnectorTest, MaxUserPropertiesWaitsForTheEngineAndGivesUpAfterTenSeconds) {
  BCNAnalyticsConnector withoutEngine;
  const platform::Date before = clock->now();
  EXPECT_EQ(withoutEngine.maxUserProperties("bcm"), 0);
  EXPECT_GE(clock->now().secondsSinceReferenceDate - before.secondsSinceReferenceDate, 10);

  const auto connector = configure();
  EXPECT_EQ(connector->maxUserProperties("bcm"), 25);
  std::int64_t onConnectorQueue = -1;
  BCNAnalyticsConnector::queue()->async([&] { onConnectorQueue = connector->maxUserProperties("bcm"); });
  dispatch.drain();
  EXPECT_EQ(onConnectorQueue, 0);
}

TEST_F(AnalyticsConnectorTest, ConditionalUserPropertiesFromDictionaries) {
  const auto connector = configure();
  clock->setNow(platform::Date::fromUnixSeconds(1'700'000'000));
  connector->setConditionalUserProperty({});
  connector->setConditionalUserProperty(
      {{"name", "tier"},
       {"origin", "bcm"},
       {"value", "gold"},
       {"triggerEventName", "level_up"},
       {"triggeredEvent", platform::Dictionary{{"origin", "bcm"}, {"name", "tier_on"}}},
       {"colour", "blue"}});
  connector->setConditionalUserProperty({{"name", "rank"}, {"origin", "bcm"}, {"value", 3}});
  dispatch.drain();
  EXPECT_EQ(connector->conditionalUserProperties("bcm", "ti"),
            (std::vector<platform::Dictionary>{{{"name", "tier"}, {"value", "gold"}}}));
  EXPECT_TRUE(connector->conditionalUserProperties("bcm", "ra").empty());
  EXPECT_TRUE(connector->conditionalUserProperties("brc", "").empty());
  const auto ignored = std::find_if(log->lines.begin(), log->lines.end(),
                                    [](const testing::LoggedLine& line) { return line.code == 25060; });
  ASSERT_NE(ignored, log->lines.end());
  EXPECT_EQ(ignored->contexts.front(), platform::Value("colour"));

  connector->clearConditionalUserProperty("ignored", "bcm", "tier_off", {{"tier", "gold"}});
  dispatch.drain();
  EXPECT_TRUE(connector->conditionalUserProperties("bcm", "ti").empty());
}

TEST_F(AnalyticsConnectorTest, EventsFromDictionariesAreStampedNowWhenTheyHaveNoTime) {
  clock->setNow(platform::Date::fromUnixSeconds(1'700'000'000));
  EXPECT_EQ(BCNConnectorEventFromDictionary({{"origin", "bcm"}, {"name", "on"}})->timestamp(), 1'700'000'000);
  EXPECT_EQ(
      BCNConnectorEventFromDictionary({{"origin", "bcm"}, {"name", "on"}, {"timestamp", 1.6e9}})->timestamp(),
      1.6e9);
  EXPECT_FALSE(BCNConnectorEventFromDictionary({{"name", "on"}}));
}

}  // namespace
}  // namespace beacon
