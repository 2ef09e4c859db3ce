// The engine's event pipeline on the worker queue: the steps that drop, change or add events before
// the storage transaction.

#include "StartedAnalytics.h"
#include "measurement/script/BMSEventEditingRuntime.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "measurement/storage/BMSRemoteConfig.h"

namespace beacon {
namespace {

using testing::StartedAnalytics;

// An editing program that fails, or renames the event and asks for one more.
class FakeEditingRuntime : public BMSEventEditingRuntime {
 public:
  explicit FakeEditingRuntime(bool fails) : fails_(fails) {}
  bool handleEvent(const BMSPEvent& event, std::string& error) override {
    if (fails_) {
      error = "program failed";
      return false;
    }
    context_.outputEvent = BMSPEvent(event.name() + "_edited", event.timestamp(), event.parameters());
    context_.eventsToLog = {BMSPEvent("created", event.timestamp(), {{"_o", "script"}})};
    return true;
  }
  bool hasEdits() const override { return !fails_; }
  bool hasCreatedEvents() const override { return !fails_; }
  const BMSEventEditingContext& eventContext() const override { return context_; }

 private:
  bool fails_;
  BMSEventEditingContext context_;
};

class EventPipelineTest : public StartedAnalytics {
 protected:
  void installEditing(bool fails) {
    BMSRemoteConfigSnapshot snapshot;
    snapshot.version = 1;
    snapshot.eventEditingProgram = {1};
    world.editingRuntime = std::make_shared<FakeEditingRuntime>(fails);
    ASSERT_TRUE(engine()->remoteConfigInstance()->updateWithSnapshot(snapshot, {}));
  }
  std::int32_t storedToday() const { return database().dailyCounts().value().allEventsCount(); }

  // Logs an internal event straight into the pipeline, as the engine's own reporters do.
  void handle(const std::string& name, const BMSParameters& parameters = {}) {
    std::optional<BMSEvent> event = BMSEvent::initWithOrigin("auto", false, name, 1700000000, 0, parameters);
    ASSERT_TRUE(event);
    engine()->handleEventOnWorkerQueue(*event);
  }
  std::optional<std::string> rollouts() const {
    return BMSPersistedConfig::sharedInstance()->beaconFeatureRollouts();
  }
};

TEST_F(EventPipelineTest, ASafelistDropsEveryOtherEventAndMarksTheOnesItKeeps) {
  start({{"safelisted_events", platform::Array{"purchase"}}});
  const std::optional<BMSEvent> purchase =
      BMSEvent::initWithOrigin("app", true, "purchase", 1700000000, 0, {});
  const std::optional<BMSEvent> kept = engine()->eventAfterSafelistingEvent(*purchase);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->parameters().at("ca_safelisted"), BMSValue::initWithInt64(1));
  EXPECT_FALSE(engine()->eventAfterSafelistingEvent(
      *BMSEvent::initWithOrigin("auto", false, "_s", 1700000000, 0, {})));
  EXPECT_TRUE(logged(23174));
}

TEST_F(EventPipelineTest, WithoutASafelistEveryEventPassesUnchanged) {
  start();
  const std::optional<BMSEvent> event = BMSEvent::initWithOrigin("app", true, "level_up", 1700000000, 0, {});
  const std::optional<BMSEvent> passed = engine()->eventAfterSafelistingEvent(*event);
  ASSERT_TRUE(passed);
  EXPECT_FALSE(passed->parameters().contains("ca_safelisted"));
}

TEST_F(EventPipelineTest, RolloutStartsRepeatingTheStoredValueAreDropped) {
  start();
  auto rolloutStart = [](std::optional<std::string> value) {
    BMSParameters parameters;
    if (value) parameters.emplace("_ffr", platform::Value(*value));
    return *BMSEvent::initWithOrigin("auto", false, "_ssr", 1700000000, 0, parameters);
  };
  EXPECT_TRUE(engine()->shouldDropDuplicatedSessionStartWithRolloutEvent(rolloutStart(std::nullopt)));
  EXPECT_EQ(rollouts(), std::nullopt);
  EXPECT_FALSE(engine()->shouldDropDuplicatedSessionStartWithRolloutEvent(rolloutStart("a:1")));
  EXPECT_EQ(rollouts(), "a:1");
  EXPECT_TRUE(engine()->shouldDropDuplicatedSessionStartWithRolloutEvent(rolloutStart("a:1")));
  EXPECT_FALSE(engine()->shouldDropDuplicatedSessionStartWithRolloutEvent(rolloutStart("")));
  EXPECT_EQ(rollouts(), std::nullopt);
  EXPECT_TRUE(logged(23191));
}

TEST_F(EventPipelineTest, AppExceptionsCarryTheStoredRolloutsValue) {
  start();
  BMSPersistedConfig::sharedInstance()->setBeaconFeatureRollouts("a:1");
  const std::optional<BMSEvent> exception = engine()->appExceptionEventWithBeaconFeatureRollouts(
      *BMSEvent::initWithOrigin("auto", false, "_ae", 1700000000, 0, {}));
  ASSERT_TRUE(exception);
  EXPECT_EQ(exception->parameters().at("_ffr"), BMSValue::initWithStringValue("a:1"));
}

TEST_F(EventPipelineTest, ASubscriptionSeenTwiceIsDroppedOneWithoutIDIsAlwaysKept) {
  start();
  const BMSParameters subscription{{"subscription", platform::Value(1)},
                                   {"_did", platform::Value(77)},
                                   {"product_id", platform::Value("monthly")}};
  const BMSEvent first = *BMSEvent::initWithOrigin("auto", false, "_iap", 1700000000, 0, subscription);
  EXPECT_TRUE(engine()->dedupeSubscriptionEvent(first));
  EXPECT_FALSE(engine()->dedupeSubscriptionEvent(first));
  EXPECT_TRUE(logged(23182));
  const BMSEvent withoutID =
      *BMSEvent::initWithOrigin("auto", false, "_iap", 1700000000, 0, {{"subscription", platform::Value(1)}});
  EXPECT_TRUE(engine()->dedupeSubscriptionEvent(withoutID));
  EXPECT_TRUE(engine()->dedupeSubscriptionEvent(withoutID));
}

TEST_F(EventPipelineTest, ABlocklistedEventIsRejectedWithAnErrorEventUnlessItsSwitchesAreOn) {
  start();
  BMSRemoteConfigSnapshot snapshot;
  snapshot.version = 1;
  snapshot.events["banned"].blocklisted = true;
  ASSERT_TRUE(engine()->remoteConfigInstance()->updateWithSnapshot(snapshot, {}));
  handle("banned");
  world.dispatch().drain();
  EXPECT_TRUE(logged(23052));
  EXPECT_EQ(heardInteger("_err", "_err"), 11);
}

TEST_F(EventPipelineTest, AnEditingProgramReplacesTheEventAndAddsTheEventsItCreates) {
  start();
  installEditing(false);
  const std::int32_t before = storedToday();
  handle("level_up");
  EXPECT_EQ(storedToday(), before + 2);
  EXPECT_FALSE(logged(23223));
  const std::vector<BMSRawEventData> rows = storedRawEvents();
  ASSERT_GE(rows.size(), 2u);
  EXPECT_EQ(rows[rows.size() - 2].rawEvent().name(), "level_up_edited");
  EXPECT_EQ(rows.back().rawEvent().name(), "created");
  EXPECT_EQ(rows.back().rawEvent().origin(), "script");
}

TEST_F(EventPipelineTest, AFailingEditingProgramStillStoresTheEventUnedited) {
  start();
  installEditing(true);
  const std::int32_t before = storedToday();
  handle("level_up");
  EXPECT_EQ(storedToday(), before + 1);
  EXPECT_TRUE(logged(23223));
  EXPECT_EQ(storedNames().back(), "level_up");
}

TEST_F(EventPipelineTest, AnApplicationEventIsStoredAsARawEventWithItsParametersAndTime) {
  start();
  world.clock().advance(std::chrono::hours(1));
  const double loggedAt = world.context().nowSince1970();
  BMSAnalytics::logEventWithName("prompt_copy", {{"prompt_type", platform::Value("system")}});
  world.dispatch().drain();
  const std::vector<BMSRawEventData> rows = storedRawEvents();
  ASSERT_FALSE(rows.empty());
  const BMSEvent& stored = rows.back().rawEvent();
  EXPECT_EQ(stored.name(), "prompt_copy");
  EXPECT_EQ(stored.origin(), "app");
  EXPECT_EQ(stored.timestamp(), loggedAt);
  EXPECT_EQ(stored.parameters().at("prompt_type"), BMSValue::initWithStringValue("system"));
  EXPECT_EQ(database().dailyCounts().value().publicEventsCount(), 1);
}

TEST_F(EventPipelineTest, WhenLifetimeValueCannotBeRecordedNothingOfTheEventStays) {
  start();
  const BMSDailyCounts before = database().dailyCounts().value();
  const std::size_t storedBefore = storedRawEvents().size();
  // The lifetime value lands in a user property; a trigger makes that write fail.
  ASSERT_TRUE(database().store().execute(
      "CREATE TRIGGER refuse_ltv BEFORE INSERT ON user_attributes WHEN substr(NEW.name, 1, 5) = '_ltv_' "
      "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
  BMSAnalytics::logEventWithName("purchase",
                                 {{"value", platform::Value(9.99)}, {"currency", platform::Value("EUR")}});
  world.dispatch().drain();
  EXPECT_TRUE(logged(23053));
  EXPECT_EQ(storedRawEvents().size(), storedBefore);
  EXPECT_EQ(database().dailyCounts().value(), before);
}

TEST_F(EventPipelineTest, AGroupSQLiteRollsBackCountsOnlyTheEventsWithRowsAsLost) {
  start();
  const std::int32_t today = storedToday();
  BMSRemoteConfigSnapshot snapshot;
  snapshot.version = 1;
  snapshot.settings = {{"measurement.upload.max_events_per_day", std::to_string(today + 2)}};
  ASSERT_TRUE(engine()->remoteConfigInstance()->updateWithSnapshot(snapshot, {}));
  // As a full disk does while the fifth event is counted: SQLite ends the whole open group.
  ASSERT_TRUE(database().store().execute(
      "CREATE TRIGGER disk_full BEFORE UPDATE ON app_metadata WHEN NEW.all_events = " +
      std::to_string(today + 5) + " BEGIN SELECT RAISE(ROLLBACK, 'disk full'); END"));
  const std::size_t storedBefore = storedRawEvents().size();
  // Two stored, two refused by the day's limit (counted, no row), and the one the disk stops.
  for (const char* name : {"kept_a", "kept_b", "refused_a", "refused_b", "stopped"}) handle(name);
  world.dispatch().drain();

  EXPECT_EQ(storedRawEvents().size(), storedBefore);
  const std::vector<std::string> failures = world.log().messagesOf(34003);
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_NE(failures[0].find("Grouped transactions rolled back. Events lost: 2"), std::string::npos)
      << failures[0];
}

}  // namespace
}  // namespace beacon
