// The public conditional-user-property controller over a started engine: properties are checked,
// stamped and stored on the worker queue, triggered by an event logged through the facade, cleared
// and queried; without an engine nothing is kept.

#include <gtest/gtest.h>

#include "StartedAnalytics.h"
#include "measurement/runtime/BCNAConditionalUserPropertyController.h"

namespace beacon {
namespace {

class ConditionalUserPropertyControllerTest : public testing::StartedAnalytics {
 protected:
  static BCNAConditionalUserProperty property(const std::string& trigger) {
    BCNAConditionalUserProperty made;
    made.name = "ignored";
    made.origin = "bcm";
    made.value = BMSValue::initWithStringValue("gold");
    made.triggerEventName = trigger;
    made.triggeredEvent = BMSEvent::initWithOrigin("bcm", false, "tier_on", 1, 0, {}).value();
    return made;
  }
  BCNAConditionalUserPropertyController& controller = BCNAConditionalUserPropertyController::sharedInstance();
};

TEST_F(ConditionalUserPropertyControllerTest, StoredUnderItsNameAndTriggeredByAnEventOfTheApp) {
  start();
  world.clock().setNow(platform::Date::fromUnixSeconds(1'700'000'000));
  controller.setConditionalUserProperty(property("level_up"), "tier");
  world.dispatch().drain();
  const auto stored = controller.conditionalUserPropertiesWithNamePrefix("ti", std::nullopt).value();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].name, "tier");
  EXPECT_EQ(stored[0].creationTimestamp, 1'700'000'000);
  EXPECT_FALSE(stored[0].active);
  EXPECT_FALSE(storedUserProperty("tier"));

  BMSAnalytics::logEventWithName("level_up", {});
  world.dispatch().drain();
  EXPECT_EQ(storedUserProperty("tier"), BMSValue::initWithStringValue("gold"));
  EXPECT_TRUE(controller.conditionalUserPropertiesWithNamePrefix(std::nullopt, "bcm").value()[0].active);
}

TEST_F(ConditionalUserPropertyControllerTest, APropertyWithoutTriggerIsSetAtOnceAndItsEventWritten) {
  start();
  const std::int32_t before = database().dailyCounts()->allEventsCount();
  controller.setConditionalUserProperty(property(""), "tier");
  world.dispatch().drain();
  EXPECT_EQ(storedUserProperty("tier"), BMSValue::initWithStringValue("gold"));
  EXPECT_EQ(database().dailyCounts()->allEventsCount(), before + 1);

  controller.clearConditionalUserPropertyWithClearEvent(std::nullopt, "tier");
  world.dispatch().drain();
  EXPECT_FALSE(storedUserProperty("tier"));
  EXPECT_TRUE(controller.conditionalUserPropertiesWithNamePrefix(std::nullopt, std::nullopt)->empty());
}

TEST_F(ConditionalUserPropertyControllerTest, InvalidPropertiesAreRefused) {
  start();
  controller.setConditionalUserProperty(property("level_up"), "");
  BCNAConditionalUserProperty valueless = property("level_up");
  valueless.value.reset();
  controller.setConditionalUserProperty(valueless, "tier");
  BCNAConditionalUserProperty noOrigin = property("level_up");
  noOrigin.origin.clear();
  controller.setConditionalUserProperty(noOrigin, "tier");
  controller.clearConditionalUserPropertyWithClearEvent(std::nullopt, "");
  world.dispatch().drain();
  EXPECT_TRUE(logged(10011));
  EXPECT_TRUE(controller.conditionalUserPropertiesWithNamePrefix(std::nullopt, std::nullopt)->empty());
}

TEST_F(ConditionalUserPropertyControllerTest, WithoutAnEngineNothingIsKept) {
  controller.setConditionalUserProperty(property("level_up"), "tier");
  EXPECT_TRUE(logged(10010));
  EXPECT_FALSE(controller.conditionalUserPropertiesWithNamePrefix(std::nullopt, std::nullopt));
}

}  // namespace
}  // namespace beacon
