// The facade's event road through the engine's entry points: order and time stamps, name checks,
// listeners, the interceptor and default event parameters.

#include "StartedAnalytics.h"
#include "measurement/runtime/BMSAnalyticsState.h"
#include "measurement/runtime/BMSEventBacklog.h"
#include "platform/dispatch/Queue.h"
#include "sdk-core/ApplicationNotifications.h"

namespace beacon {
namespace {

using testing::StartedAnalytics;

constexpr std::int64_t kRefusedLogCode = 25062;

class AnalyticsEventsTest : public StartedAnalytics {
 protected:
  // Past the start's hold of the operation queue, which lets every caller through.
  void startAndSettle() {
    start();
    world.dispatch().advance(std::chrono::seconds(1));
    heard.clear();
  }
  std::int64_t storedRawEventsNamed(const std::string& name) const {
    return database().store().integer("SELECT count(*) FROM raw_events WHERE name = '" + name + "'").value();
  }
  // Logs `count` events named `name`; answers the most of them seen on their way to storage at once
  // (looked at every thousand).
  std::int64_t logBurst(const std::string& name, std::int64_t count) const {
    std::int64_t mostOnTheirWay = 0;
    for (std::int64_t i = 1; i <= count; ++i) {
      BMSAnalytics::logEventWithName(name, {});
      if (i % 1000 == 0) mostOnTheirWay = std::max(mostOnTheirWay, i - storedRawEventsNamed(name));
    }
    return mostOnTheirWay;
  }
  std::int64_t refusedEvents() const { return currentFacade().backlog().refusedCount(); }
};

TEST_F(AnalyticsEventsTest, EventsLoggedBeforeTheStartFlowInCallOrderWithRisingTimeStamps) {
  BMSAnalytics::logEventWithName("level_start", {{"level", platform::Value(1)}});
  world.clock().advance(std::chrono::seconds(2));
  BMSAnalytics::logEventWithName("level_end", {});
  world.dispatch().drain();
  EXPECT_TRUE(heard.empty());

  startHearingTheStart();
  // After the start's own first open, session start and engagement.
  ASSERT_EQ(heardNames(), (std::vector<std::string>{"_f", "_s", "_e", "level_start", "level_end"}));
  heard.erase(heard.begin(), heard.begin() + 3);
  EXPECT_EQ(heard[1].timestamp() - heard[0].timestamp(), 2);
  EXPECT_EQ(heardInteger("level_start", "level"), 1);
  EXPECT_EQ(heard[0].origin(), "app");
}

TEST_F(AnalyticsEventsTest, ABurstPastTheBacklogsBoundWaitsForStorageAndLosesNothing) {
  startAndSettle();
  const std::int64_t burst = BMSEventBacklog::kDefaultBound + 2000;
  for (std::int64_t i = 0; i < burst; ++i) BMSAnalytics::logEventWithName("burst", {});
  // The caller waited for room: the engine stored the events beyond the bound meanwhile.
  EXPECT_GE(database().store().integer("SELECT count(*) FROM raw_events WHERE name = 'burst'").value(),
            burst - BMSEventBacklog::kDefaultBound);
  world.dispatch().drain();
  EXPECT_EQ(static_cast<std::int64_t>(heard.size()), burst);
  EXPECT_FALSE(logged(kRefusedLogCode));
  EXPECT_EQ(committedRawEventsNamed("burst"), burst);
}

TEST_F(AnalyticsEventsTest, ABurstFromAMainQueueBlockWaitsForStorageWithinTheBound) {
  startAndSettle();
  const std::int64_t burst = BMSEventBacklog::kDefaultBound + 3000;
  std::int64_t mostOnTheirWay = -1;
  platform::mainQueue()->async([&] { mostOnTheirWay = logBurst("from_main", burst); });
  world.dispatch().drain();
  EXPECT_GE(mostOnTheirWay, 0) << "the block ran";
  EXPECT_LE(mostOnTheirWay, BMSEventBacklog::kDefaultBound);
  EXPECT_EQ(refusedEvents(), 0);
  EXPECT_EQ(committedRawEventsNamed("from_main"), burst);
}

// setUserData holds the operation queue for half a second. Unlike the hold before the start it ends
// by itself, so callers meanwhile are bounded as always: the main thread, which may not wait that
// long, has its events past the bound refused instead of piling up in the held queue.
TEST_F(AnalyticsEventsTest, ABurstWhileSetUserDataHoldsTheQueueStaysWithinTheBound) {
  startAndSettle();
  BMSAnalytics::setUserData({});
  const std::int64_t burst = BMSEventBacklog::kDefaultBound + 3000;
  for (std::int64_t i = 0; i < burst; ++i) BMSAnalytics::logEventWithName("held", {});
  EXPECT_EQ(refusedEvents(), 3000);
  EXPECT_TRUE(logged(kRefusedLogCode));

  world.dispatch().advance(std::chrono::seconds(1));
  EXPECT_EQ(committedRawEventsNamed("held"), BMSEventBacklog::kDefaultBound);
  BMSAnalytics::logEventWithName("after", {});
  world.dispatch().drain();
  EXPECT_EQ(committedRawEventsNamed("after"), 1) << "the hold over, events flow again";
}

TEST_F(AnalyticsEventsTest, AListenerLoggingPastTheBoundHasTheRestRefusedCountedAndLogged) {
  startAndSettle();
  // The listener runs on the facade's queue, which its events have to pass: it cannot wait for them.
  const std::int64_t burst = BMSEventBacklog::kDefaultBound + 2500;
  BMSAnalytics::addLogEventListener([&](const BMSEvent& event) {
    if (event.name() == "trigger") logBurst("echo", burst);
  });
  BMSAnalytics::logEventWithName("trigger", {});
  world.dispatch().drain();
  EXPECT_EQ(refusedEvents(), 2500);
  const std::vector<std::int64_t> codes = world.log().codes();
  EXPECT_EQ(std::count(codes.begin(), codes.end(), kRefusedLogCode), 3);
  // Every event was either stored or refused.
  EXPECT_EQ(committedRawEventsNamed("echo"), BMSEventBacklog::kDefaultBound);

  // The refusals end as storage gives the places back.
  BMSAnalytics::logEventWithName("after", {});
  world.dispatch().drain();
  EXPECT_EQ(committedRawEventsNamed("after"), 1);
  EXPECT_EQ(refusedEvents(), 2500);
}

TEST_F(AnalyticsEventsTest, RefusedPublicNamesBecomeErrorEventsOnly) {
  start();
  BMSAnalytics::logEventWithName("beacon_private", {});
  BMSAnalytics::logEventWithName("bad name!", {});
  world.dispatch().drain();
  EXPECT_EQ(heardNames(), (std::vector<std::string>{"_err", "_err"}));
  EXPECT_EQ(heard[0].parameters().at("_err"), BMSValue::initWithInt64(13));
  EXPECT_EQ(heard[1].parameters().at("_err"), BMSValue::initWithInt64(2));
  EXPECT_EQ(heard[1].parameters().at("_ev"), BMSValue::initWithStringValue("bad name!"));
}

TEST_F(AnalyticsEventsTest, DisabledCollectionTellsNoListenerButIgnoreEnabledDoes) {
  start();
  BMSAnalytics::setAnalyticsEnabled(false);
  world.dispatch().drain();
  BMSAnalytics::logEventWithName("quiet", {});
  BMSAnalytics::logEventWithOrigin("auto", false, "_loud", {}, 1700000000, true, false);
  world.dispatch().drain();
  EXPECT_EQ(heardNames(), std::vector<std::string>{"_loud"});
  EXPECT_TRUE(logged(23049));
}

TEST_F(AnalyticsEventsTest, AdReachEventsAreHiddenAndTheirAdEventIDBecomesANumber) {
  start();
  BMSAnalytics::sharedInstance().logInternalEventWithOrigin("am", "_xa", {{"_aeid", platform::Value("42")}});
  BMSAnalytics::sharedInstance().logInternalEventWithOrigin("am", "_xa", {{"_aeid", platform::Value("4x")}});
  world.dispatch().drain();
  EXPECT_TRUE(heard.empty());
  EXPECT_TRUE(logged(25024));
}

TEST_F(AnalyticsEventsTest, InterceptorTakesPublicEventsWithTheirScreenAndLeavesInternalOnes) {
  start();
  std::vector<std::string> intercepted;
  BMSParameters interceptedParameters;
  BMSAnalytics::setLogEventInterceptor(
      [&](const std::string& origin, const std::string& name, const BMSParameters& parameters, double) {
        intercepted.push_back(origin + "/" + name);
        interceptedParameters = parameters;
      });
  BMSAnalytics::logEventWithName("purchase_tapped", {{"item", platform::Value("book")}});
  BMSAnalytics::logInternalEventWithOrigin("auto", "_internal", {});
  world.dispatch().drain();
  EXPECT_EQ(intercepted, std::vector<std::string>{"app/purchase_tapped"});
  EXPECT_TRUE(interceptedParameters.contains("item"));
  EXPECT_EQ(heardNames(), std::vector<std::string>{"_internal"});
}

TEST_F(AnalyticsEventsTest, ForwardedEventsBringTheirScreenInTheirParameters) {
  start();
  BMSAnalytics::logEventWithOrigin("app+ctm", true, "shown",
                                   {{"_sn", platform::Value("Home")}, {"_si", platform::Value(7)}},
                                   1700000000, false, true);
  world.dispatch().drain();
  const BMSEvent* shown = heardEvent("shown");
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->parameters().at("_sn"), BMSValue::initWithStringValue("Home"));
  EXPECT_EQ(shown->parameters().at("_si"), BMSValue::initWithInt64(7));
}

TEST_F(AnalyticsEventsTest, EventsGetTheScreenCurrentAtTheirCallUnlessTheyNameOneOfTheirOwn) {
  start();
  BMSAnalytics::logEventWithName("screen_view", {{"screen_name", platform::Value("Home")}});
  BMSAnalytics::logEventWithName("on_home", {});
  BMSAnalytics::logEventWithName("screen_view", {{"screen_name", platform::Value("Settings")}});
  BMSAnalytics::logEventWithName("named_own", {{"_sn", platform::Value("Elsewhere")}});
  BMSAnalytics::logInternalEventWithOrigin("auto", "_on_settings", 1700000000, {});
  // Queued while the screen is "Settings": it is handled after the next screen is set.
  BMSAnalytics::logEventWithName("screen_view", {{"screen_name", platform::Value("Last")}});
  world.dispatch().drain();
  const auto screenOf = [&](const std::string& name) -> std::optional<BMSValue> {
    const BMSEvent* event = heardEvent(name);
    if (!event || !event->parameters().contains("_sn")) return std::nullopt;
    return event->parameters().at("_sn");
  };
  EXPECT_EQ(screenOf("on_home"), BMSValue::initWithStringValue("Home"));
  EXPECT_EQ(screenOf("_on_settings"), BMSValue::initWithStringValue("Settings"));
  ASSERT_TRUE(heardEvent("named_own"));
  EXPECT_FALSE(heardEvent("named_own")->parameters().contains("_si"));
}

TEST_F(AnalyticsEventsTest, DefaultParametersJoinEventsButNeverOverrideOrReachErrorEvents) {
  start();
  BMSAnalytics::setDefaultEventParameters(
      BMSParameters{{"plan", platform::Value("pro")}, {"level", platform::Value(1)}});
  BMSAnalytics::logEventWithName("level_up", {{"level", platform::Value(2)}});
  BMSAnalytics::logEventWithName("_refused", {});
  world.dispatch().drain();
  EXPECT_EQ(heardInteger("level_up", "level"), 2);
  EXPECT_EQ(heardEvent("level_up")->parameters().at("plan"), BMSValue::initWithStringValue("pro"));
  EXPECT_FALSE(heardEvent("_err")->parameters().contains("plan"));
}

TEST_F(AnalyticsEventsTest, ANullDefaultClearsOneAndNothingClearsAll) {
  start();
  BMSAnalytics::setDefaultEventParameters(
      BMSParameters{{"a", platform::Value("1")}, {"b", platform::Value("2")}});
  BMSAnalytics::setDefaultEventParameters(BMSParameters{{"a", platform::Value()}});
  world.dispatch().drain();
  EXPECT_EQ(engine()->persistedConfig()->defaultEventParameters(), (platform::Dictionary{{"b", "2"}}));
  BMSAnalytics::setDefaultEventParameters(std::nullopt);
  world.dispatch().drain();
  EXPECT_TRUE(engine()->persistedConfig()->defaultEventParameters().empty());
}

TEST_F(AnalyticsEventsTest, TooManyOrUnfitDefaultsAreTrimmedAndReported) {
  start();
  BMSParameters defaults;
  for (char letter = 'a'; letter <= 'z'; ++letter)
    defaults.emplace(std::string("p_") + letter, platform::Value(1));
  defaults.emplace("list", platform::Value(platform::Array{platform::Value(1)}));
  BMSAnalytics::setDefaultEventParameters(defaults);
  world.dispatch().drain();
  const platform::Dictionary stored = engine()->persistedConfig()->defaultEventParameters();
  EXPECT_EQ(stored.size(), 25u);
  EXPECT_FALSE(stored.contains("p_z"));
  EXPECT_TRUE(logged(23213));
  EXPECT_TRUE(logged(23215));
  std::vector<std::int64_t> errorCodes;
  for (const BMSEvent& event : heard) errorCodes.push_back(event.parameters().at("_err").int64Value());
  EXPECT_EQ(errorCodes, (std::vector<std::int64_t>{27, 26}));
}

TEST_F(AnalyticsEventsTest, TheSessionIDIsTheStoredOneUntilCollectionStops) {
  std::vector<std::string> answers;
  const auto ask = [&] {
    BMSAnalytics::sessionIDWithCompletion([&](std::int64_t sessionID, std::optional<platform::Error> error) {
      answers.push_back(error ? error->description : std::to_string(sessionID));
    });
    world.dispatch().drain();
  };
  ask();
  start();
  ask();
  BMSAnalytics::setAnalyticsEnabled(false);
  ask();
  ASSERT_EQ(answers.size(), 3u);
  EXPECT_EQ(answers[0], "Analytics uninitialized");
  EXPECT_EQ(answers[1], storedUserProperty("_sid")->description());
  EXPECT_EQ(answers[2], "Analytics disabled");
}

TEST_F(AnalyticsEventsTest, OpenedURLsReachTheListener) {
  start();
  std::vector<std::string> opened;
  BMSAnalytics::setOpenURLListener([&](const std::string& url) { opened.push_back(url); });
  BMSAnalytics::handleOpenURL("velloran://prompt/1");
  world.dispatch().drain();
  EXPECT_EQ(opened, std::vector<std::string>{"velloran://prompt/1"});
}

TEST_F(AnalyticsEventsTest, ABrowserActivityIsHandledAsAnOpenedURLWithoutTellingTheListener) {
  start();
  std::vector<std::string> opened;
  BMSAnalytics::setOpenURLListener([&](const std::string& url) { opened.push_back(url); });
  BMSAnalytics::handleUserActivity({"Handoff", "https://velloran.example/open?utm_source=handoff", {}});
  BMSAnalytics::handleUserActivity({kUserActivityTypeBrowsingWeb, std::nullopt, {}});
  BMSAnalytics::handleUserActivity(
      {kUserActivityTypeBrowsingWeb, "https://velloran.example/open?utm_source=mail", {}});
  world.dispatch().drain();
  EXPECT_TRUE(opened.empty());
  ASSERT_EQ(heardNames(), std::vector<std::string>{"_cmp"});
  EXPECT_EQ(heardText("_cmp", "source"), "mail");
  const std::vector<std::int64_t> codes = world.log().codes();
  EXPECT_EQ(std::count(codes.begin(), codes.end(), 23006), 2);
}

TEST_F(AnalyticsEventsTest, WaitingForQueuedWorkEndsOnceTheEventsLoggedBeforeAreStored) {
  BMSAnalytics::logEventWithName("prompt_copy", {});
  // Before the start nothing queued can be done: the wait runs out.
  EXPECT_FALSE(BMSAnalytics::waitForQueuedWork(std::chrono::milliseconds(1)));

  startHearingTheStart();
  // Several, so that they wait for the engine behind each other.
  for (int i = 0; i < 3; ++i) BMSAnalytics::logEventWithName("prompt_create", {});
  std::vector<std::string> storedWhenDone;
  std::int64_t committedWhenDone = 0;
  BMSAnalytics::notifyWhenQueuedWorkIsDone(platform::makeSerialQueue("waiter"), [&] {
    storedWhenDone = storedNames();
    committedWhenDone = committedRawEventsNamed("prompt_create");
  });
  EXPECT_TRUE(BMSAnalytics::waitForQueuedWork(std::chrono::seconds(20)));
  EXPECT_EQ(storedWhenDone.back(), "prompt_create");
  // Stored means durable: the events' storage transaction has committed.
  EXPECT_EQ(committedWhenDone, 3);
  EXPECT_EQ(storedNames(), storedWhenDone);
}

}  // namespace
}  // namespace beacon
