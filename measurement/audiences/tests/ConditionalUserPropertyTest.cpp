// Conditional user properties stored, triggered by their event, timed out and expired by the time of
// later events, cleared, and queried; a failing database changes nothing.

#include <gtest/gtest.h>

#include <algorithm>

#include "measurement/audiences/BMSConditionalUserPropertyController.h"
#include "measurement/engine/testing/EngineTestSupport.h"
#include "measurement/storage/BMSDatabase.h"
#include "platform/testing/TestEnvironment.h"

namespace beacon {
namespace {

class ConditionalUserPropertyTest : public ::testing::Test {
 protected:
  static BMSEvent event(const std::string& name, double timestamp, BMSParameters parameters = {}) {
    auto made = BMSEvent::initWithOrigin("app", false, name, timestamp, 0, parameters);
    if (!made) throw std::runtime_error("invalid test event");
    return *made;
  }
  static BCNAConditionalUserProperty property(const std::string& name, const std::string& trigger) {
    BCNAConditionalUserProperty made;
    made.name = name;
    made.origin = "bcm";
    made.value = BMSValue::initWithStringValue("gold");
    made.triggerEventName = trigger;
    made.triggerTimeout = 60;
    made.timeToLive = 100;
    made.creationTimestamp = 1000;
    made.triggeredEvent = event(name + "_on", 1);
    made.timedOutEvent = event(name + "_timeout", 1);
    made.expiredEvent = event(name + "_off", 1);
    return made;
  }
  std::vector<std::string> namesAndTimes(const std::optional<std::vector<BMSEvent>>& events) {
    std::vector<std::string> described;
    for (const BMSEvent& produced : events.value())
      described.push_back(produced.name() + "@" + std::to_string(static_cast<int>(produced.timestamp())));
    return described;
  }
  std::optional<BMSUserAttribute> userProperty(const std::string& name) {
    return database->userAttributeWithName(name).value();
  }
  std::optional<BCNAConditionalUserProperty> stored(const std::string& name) {
    return database->conditionalUserPropertyWithName(name).value();
  }

  testing::ScopedEngineServices services;
  platform::testing::TemporaryDirectory folder;
  std::shared_ptr<BMSDatabase> database =
      BMSDatabase::openAtPath(folder.path() / kBMSMeasurementDatabaseName).value();
  BMSConditionalUserPropertyController controller{database};
};

TEST_F(ConditionalUserPropertyTest, EventsBeforeAnyPropertyDoNotHideOneSetLater) {
  EXPECT_TRUE(controller.processEventOnWorkerQueue(event("level_up", 1005))->empty());
  ASSERT_TRUE(controller.setConditionalUserPropertyOnWorkerQueue(property("tier", "level_up"))->empty());
  EXPECT_EQ(namesAndTimes(controller.processEventOnWorkerQueue(event("level_up", 1020))),
            std::vector<std::string>{"tier_on@1020"});
}

TEST_F(ConditionalUserPropertyTest, TriggerEventSetsTheUserPropertyUntilItsTimeToLiveHasPassed) {
  ASSERT_TRUE(controller.setConditionalUserPropertyOnWorkerQueue(property("tier", "level_up"))->empty());
  EXPECT_TRUE(controller.processEventOnWorkerQueue(event("other", 1010))->empty());
  EXPECT_FALSE(userProperty("tier"));

  EXPECT_EQ(namesAndTimes(controller.processEventOnWorkerQueue(event("level_up", 1020))),
            std::vector<std::string>{"tier_on@1020"});
  const auto set = userProperty("tier");
  ASSERT_TRUE(set);
  EXPECT_EQ(set->origin(), "bcm");
  EXPECT_EQ(set->value(), BMSValue::initWithStringValue("gold"));
  EXPECT_EQ(set->lastSetTimestamp(), 1020);
  EXPECT_TRUE(stored("tier")->active);
  // Triggered once only; the trigger timeout no longer applies to an active property.
  EXPECT_TRUE(controller.processEventOnWorkerQueue(event("level_up", 1100))->empty());

  EXPECT_TRUE(controller.processEventOnWorkerQueue(event("other", 1120))->empty());
  EXPECT_EQ(namesAndTimes(controller.processEventOnWorkerQueue(event("other", 1121))),
            std::vector<std::string>{"tier_off@1121"});
  EXPECT_FALSE(userProperty("tier"));
  EXPECT_FALSE(stored("tier"));
}

// Limits count the distance on either side: a property triggered or made while the clock ran ahead
// is not kept until the clock catches up, and a clock set back by less than the limit ends nothing.
TEST_F(ConditionalUserPropertyTest, LimitsCountAClockSetBackLikeOneMovedOn) {
  ASSERT_TRUE(controller.setConditionalUserPropertyOnWorkerQueue(property("tier", "level_up"))->empty());
  ASSERT_EQ(namesAndTimes(controller.processEventOnWorkerQueue(event("level_up", 1020))),
            std::vector<std::string>{"tier_on@1020"});
  EXPECT_TRUE(controller.processEventOnWorkerQueue(event("other", 1010))->empty());
  EXPECT_TRUE(userProperty("tier"));
  EXPECT_EQ(namesAndTimes(controller.processEventOnWorkerQueue(event("other", 919))),
            std::vector<std::string>{"tier_off@919"});
  EXPECT_FALSE(stored("tier"));

  ASSERT_TRUE(controller.setConditionalUserPropertyOnWorkerQueue(property("rank", "level_up"))->empty());
  EXPECT_TRUE(controller.processEventOnWorkerQueue(event("other", 990))->empty());
  EXPECT_EQ(namesAndTimes(controller.processEventOnWorkerQueue(event("other", 939))),
            std::vector<std::string>{"rank_timeout@939"});
  EXPECT_FALSE(stored("rank"));
}

TEST_F(ConditionalUserPropertyTest, UntriggeredPropertyTimesOutWithoutSettingAnything) {
  ASSERT_TRUE(controller.setConditionalUserPropertyOnWorkerQueue(property("tier", "level_up")));
  EXPECT_TRUE(controller.processEventOnWorkerQueue(event("other", 1060))->empty());
  // Past the timeout even its own trigger event no longer sets it.
  EXPECT_EQ(namesAndTimes(controller.processEventOnWorkerQueue(event("level_up", 1061))),
            std::vector<std::string>{"tier_timeout@1061"});
  EXPECT_FALSE(userProperty("tier"));
  EXPECT_FALSE(stored("tier"));
}

TEST_F(ConditionalUserPropertyTest, NoLimitsMeanNoTimeoutAndNoExpiry) {
  BCNAConditionalUserProperty lasting = property("tier", "level_up");
  lasting.triggerTimeout = 0;
  lasting.timeToLive = 0;
  ASSERT_TRUE(controller.setConditionalUserPropertyOnWorkerQueue(lasting));
  EXPECT_TRUE(controller.processEventOnWorkerQueue(event("other", 1e9))->empty());
  EXPECT_EQ(controller.processEventOnWorkerQueue(event("level_up", 2e9))->size(), 1u);
  EXPECT_TRUE(controller.processEventOnWorkerQueue(event("other", 3e9))->empty());
  EXPECT_TRUE(userProperty("tier"));
}

TEST_F(ConditionalUserPropertyTest, PropertyWithoutTriggerIsActiveAtOnce) {
  EXPECT_EQ(namesAndTimes(controller.setConditionalUserPropertyOnWorkerQueue(property("tier", ""))),
            std::vector<std::string>{"tier_on@1000"});
  EXPECT_EQ(userProperty("tier")->lastSetTimestamp(), 1000);
  EXPECT_EQ(stored("tier")->triggeredTimestamp, 1000);
}

TEST_F(ConditionalUserPropertyTest, ReplacingAnActivePropertyTakesItsUserPropertyAway) {
  ASSERT_TRUE(controller.setConditionalUserPropertyOnWorkerQueue(property("tier", "")));
  ASSERT_TRUE(controller.setConditionalUserPropertyOnWorkerQueue(property("tier", "level_up")));
  EXPECT_FALSE(userProperty("tier"));
  EXPECT_FALSE(stored("tier")->active);
}

TEST_F(ConditionalUserPropertyTest, ClearingLogsTheClearEventOnlyForAnActiveProperty) {
  ASSERT_TRUE(controller.setConditionalUserPropertyOnWorkerQueue(property("waiting", "level_up")));
  ASSERT_TRUE(controller.setConditionalUserPropertyOnWorkerQueue(property("tier", "")));
  const BMSEvent clearEvent = event("tier_cleared", 1500);

  EXPECT_TRUE(controller.clearConditionalUserPropertyOnWorkerQueue("waiting", clearEvent)->empty());
  EXPECT_FALSE(stored("waiting"));
  EXPECT_EQ(namesAndTimes(controller.clearConditionalUserPropertyOnWorkerQueue("tier", clearEvent)),
            std::vector<std::string>{"tier_cleared@1500"});
  EXPECT_FALSE(userProperty("tier"));
  EXPECT_TRUE(controller.clearConditionalUserPropertyOnWorkerQueue("unknown", clearEvent)->empty());
}

TEST_F(ConditionalUserPropertyTest, QueryFiltersByNamePrefixAndOrigin) {
  for (const char* name : {"promo_a", "promo_b", "tier"})
    ASSERT_TRUE(controller.setConditionalUserPropertyOnWorkerQueue(property(name, "level_up")));
  BCNAConditionalUserProperty foreign = property("promo_c", "level_up");
  foreign.origin = "brc";
  ASSERT_TRUE(controller.setConditionalUserPropertyOnWorkerQueue(foreign));

  auto names = [](const std::optional<std::vector<BCNAConditionalUserProperty>>& properties) {
    std::vector<std::string> all;
    for (const auto& property : properties.value()) all.push_back(property.name);
    return all;
  };
  EXPECT_EQ(names(controller.conditionalUserPropertiesWithNamePrefix(std::nullopt, std::nullopt)),
            (std::vector<std::string>{"promo_a", "promo_b", "promo_c", "tier"}));
  EXPECT_EQ(names(controller.conditionalUserPropertiesWithNamePrefix("promo_", "bcm")),
            (std::vector<std::string>{"promo_a", "promo_b"}));
  EXPECT_EQ(names(controller.conditionalUserPropertiesWithNamePrefix(std::nullopt, "brc")),
            std::vector<std::string>{"promo_c"});
}

TEST_F(ConditionalUserPropertyTest, FailingDatabaseAnswersNothingAndChangesNothing) {
  ASSERT_TRUE(controller.setConditionalUserPropertyOnWorkerQueue(property("a_first", "level_up")));
  ASSERT_TRUE(controller.setConditionalUserPropertyOnWorkerQueue(property("b_second", "level_up")));
  // The first trigger stores its activation, then setting the user property fails.
  ASSERT_TRUE(database->store().execute("DROP TABLE user_attributes"));
  EXPECT_FALSE(controller.processEventOnWorkerQueue(event("level_up", 1010)));
  EXPECT_FALSE(stored("a_first")->active);
  EXPECT_FALSE(controller.setConditionalUserPropertyOnWorkerQueue(property("c", "")));
  EXPECT_FALSE(stored("c"));
  const std::vector<std::int64_t> codes = services.log->codes();
  EXPECT_NE(std::find(codes.begin(), codes.end(), 10002), codes.end());
}

}  // namespace
}  // namespace beacon
