// The event model: creation rules, markers, screen parameters, the raw-event message and the edit form.

#include <gtest/gtest.h>

#include "measurement/engine/BMSEvent.h"
#include "measurement/engine/BMSEventFunctions.h"
#include "measurement/engine/testing/EngineTestSupport.h"
#include "measurement/messages/NANOAccessors.h"

namespace beacon {
namespace {

using testing::integer;
using testing::text;

std::optional<BMSEvent> publicEvent(const std::string& name, const BMSParameters& parameters = {}) {
  return BMSEvent::initWithOrigin("app", true, name, 100, 0, parameters);
}

TEST(Event, OriginsAndNamesFollowThePublicAndInternalRules) {
  testing::ScopedEngineServices services;
  EXPECT_TRUE(publicEvent("prompt_copy"));
  EXPECT_TRUE(
      services.log->lines.empty());  // "app" is not forwarded, silently, and then a valid internal origin
  EXPECT_FALSE(publicEvent("session_start"));
  EXPECT_TRUE(BMSEvent::initWithOrigin("auto", false, "session_start", 100, 0, {}));
  EXPECT_TRUE(BMSEvent::initWithOrigin("app+ctm", true, "prompt_copy", 100, 0, {}));
  EXPECT_FALSE(BMSEvent::initWithOrigin("", false, "_s", 100, 0, {}));
  EXPECT_FALSE(BMSEvent::initWithOrigin("a pp", false, "_s", 100, 0, {}));
}

TEST(Event, OriginParameterAlwaysHoldsTheOrigin) {
  testing::ScopedEngineServices services;
  auto event = BMSEvent::initWithOrigin("auto", false, "_e", 100, 200, {{"_o", platform::Value("forged")}});
  ASSERT_TRUE(event);
  EXPECT_EQ(event->parameters().at("_o"), text("auto"));
  EXPECT_EQ(services.log->codes(), (std::vector<std::int64_t>{16002}));  // previous after current
}

TEST(Event, ConversionWithoutNumericValueLosesValueAndMarker) {
  testing::ScopedEngineServices services;
  auto event =
      BMSEvent::initWithOrigin("app", false, "purchase", 100, 0,
                               {{"_c", BMSValue::initWithInt64(1)}, {"value", platform::Value("ten")}});
  ASSERT_TRUE(event);
  EXPECT_FALSE(event->isConversion());
  EXPECT_FALSE(event->parameters().contains("value"));
  EXPECT_EQ(event->parameters().at("_err"), integer(18));
  EXPECT_EQ(event->parameters().at("_ev"), text("value"));
}

TEST(Event, ConversionMarkerAndTheConversionLimitError) {
  testing::ScopedEngineServices services;
  auto event = publicEvent("level_up");
  event->setConversion(true);
  EXPECT_TRUE(event->isConversion());
  event->setConversion(false);
  EXPECT_FALSE(event->isConversion());
  EXPECT_EQ(event->parameters().at("_err"), integer(10));
  event->setConversion(true);  // a conversion after all: the limit error goes again
  EXPECT_FALSE(event->parameters().contains("_err"));
}

TEST(Event, RealtimeAndDebugMarkers) {
  testing::ScopedEngineServices services;
  auto event = publicEvent("level_up");
  event->setRealtime(true);
  event->setDebug(true);
  EXPECT_TRUE(event->isRealtime());
  EXPECT_TRUE(event->isDebug());
  event->setRealtime(false);
  EXPECT_FALSE(event->parameters().contains("_r"));
  auto odd =
      BMSEvent::initWithOrigin("auto", false, "_e", 1, 0, {{"_r", BMSValue::initWithStringValue("1")}});
  EXPECT_FALSE(odd->isRealtime());
  EXPECT_EQ(services.log->codes(), (std::vector<std::int64_t>{16006}));
}

TEST(Event, ScreenParametersAreAddedOnlyWithAScreenID) {
  testing::ScopedEngineServices services;
  auto event = publicEvent("level_up");
  EXPECT_FALSE(event->addScreenParameters({{"_si", platform::Value("7")}}));
  EXPECT_FALSE(event->addScreenParameters({{"_sn", platform::Value("Home")}}));
  EXPECT_TRUE(event->addScreenParameters({{"_si", platform::Value(7.5)}, {"_sn", platform::Value("Home")}}));
  EXPECT_EQ(event->parameters().at("_si"), BMSValue::initWithDouble(7.5));
  EXPECT_EQ(event->parameters().at("_sn"), text("Home"));
  EXPECT_FALSE(event->addScreenParameters({{"_si", platform::Value(8)}}));  // already has a screen
  auto other = publicEvent("level_up");
  EXPECT_FALSE(other->addScreenParameters({{"_si", platform::Value(8)}, {"_sc", platform::Value("")}}));
  EXPECT_EQ(services.log->codes().back(), 16003);
}

TEST(Event, DefaultParametersGoUnderTheEventsOwn) {
  testing::ScopedEngineServices services;
  auto event = publicEvent("level_up", {{"level", platform::Value(3)}});
  event->applyParameters({{"level", platform::Value(1)}, {"plan", platform::Value("pro")}});
  EXPECT_EQ(event->parameters().at("level"), integer(3));
  EXPECT_EQ(event->parameters().at("plan"), text("pro"));
}

TEST(Event, RawEventMessageTruncatesMillisecondsAndSkipsAMissingPreviousTime) {
  testing::ScopedEngineServices services;
  auto event = BMSEvent::initWithOrigin("app", true, "level_up", 1.2345, 0, {{"level", platform::Value(2)}});
  BMSPBEvent proto = event->protoEvent();
  EXPECT_EQ(NANOGetInt64(proto, EventField::kTimestampMillis), 1234);
  EXPECT_FALSE(NANOHasField(proto, EventField::kPreviousTimestampMillis));
  auto huge = BMSEvent::initWithOrigin("app", true, "level_up", 1e300, 1e299, {});
  EXPECT_EQ(NANOGetInt64(huge->protoEvent(), EventField::kTimestampMillis), INT64_MAX);
}

TEST(Event, ItemsSurviveThePassageThroughTheRawEventMessage) {
  testing::ScopedEngineServices services;
  platform::Array items{platform::Dictionary{{"item_id", "sku"}, {"price", 9.5}, {"quantity", 2}}};
  auto event = BMSEvent::initWithOrigin(
      "app", true, "purchase", 10, 5, {{"items", platform::Value(items)}, {"coupon", platform::Value("X")}});
  ASSERT_TRUE(event);
  std::optional<BMSPBEvent> stored = BMSPBEvent::initWithBuffer(*event->protoEvent().protoBuffer());
  ASSERT_TRUE(stored);
  std::optional<BMSEvent> read = BMSEvent::initWithEventProto(*stored);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->origin(), "app");
  EXPECT_EQ(read->previousTimestamp(), 5);
  EXPECT_EQ(read->parameters(), event->parameters());
  EXPECT_EQ(BMSEventItemCount(&*read), 1);
  EXPECT_TRUE(services.log->lines.empty());
}

TEST(Event, StoredEventsWithoutAStringOriginCannotBeRead) {
  testing::ScopedEngineServices services;
  BMSPBEvent proto;
  NANOSetString(proto, EventField::kName, "_e");
  EXPECT_FALSE(BMSEvent::initWithEventProto(proto));
  BMSPBEventParam origin;
  NANOSetString(origin, EventParamField::kName, "_o");
  NANOSetInt64(origin, EventParamField::kIntValue, 1);
  NANOSetArray(proto, EventField::kParams, std::vector<BMSPBEventParam>{origin});
  EXPECT_FALSE(BMSEvent::initWithEventProto(proto));
  EXPECT_EQ(services.log->codes(), (std::vector<std::int64_t>{15001}));
}

TEST(Event, EditFormUsesPublicNamesAndPlainParameters) {
  testing::ScopedEngineServices services;
  auto event = BMSEvent::initWithOrigin("auto", false, "_vs", 3, 0, {{"_sn", platform::Value("Home")}});
  BMSPEvent edit = event->editEvent();
  EXPECT_EQ(edit.name(), "screen_view");
  EXPECT_EQ(edit.parameters(), (platform::Dictionary{{"_o", "auto"}, {"_sn", "Home"}}));
  std::optional<BMSEvent> back = BMSEvent::eventFromEditEvent(edit);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->name(), "_vs");
  EXPECT_EQ(back->origin(), "auto");
  std::optional<BMSEvent> created = BMSEvent::eventFromEditEvent(BMSPEvent("level_up", 4, {}));
  EXPECT_EQ(created->origin(), "app");
}

TEST(EventFunctions, ErrorSubscriptionAndPublicNameTests) {
  testing::ScopedEngineServices services;
  EXPECT_TRUE(BMSIsErrorEvent(*BMSEvent::initWithOrigin("auto", false, "_err", 1, 0, {})));
  EXPECT_FALSE(BMSIsNotErrorEvent("_err"));
  EXPECT_TRUE(BMSIsSubscriptionEvent(*BMSEvent::initWithOrigin("auto", false, "_assr", 1, 0, {})));
  EXPECT_TRUE(BMSIsSubscriptionEvent(
      *BMSEvent::initWithOrigin("auto", false, "_iap", 1, 0, {{"subscription", platform::Value(1)}})));
  EXPECT_FALSE(BMSIsSubscriptionEvent(*BMSEvent::initWithOrigin("auto", false, "_iap", 1, 0, {})));
  EXPECT_EQ(BMSEventItemCount(nullptr), 0);
  EXPECT_FALSE(BMSIsPublicName(platform::Value(1)));
  EXPECT_FALSE(BMSIsPublicName(platform::Value("")));
  EXPECT_FALSE(BMSIsPublicName(platform::Value("_x")));
  EXPECT_TRUE(BMSIsPublicName(platform::Value("x")));
  EXPECT_EQ(services.log->codes(), (std::vector<std::int64_t>{18002, 18003}));
  BMSParameters screen{{"_sn", platform::Value("a")}, {"other", platform::Value(1)}};
  EXPECT_TRUE(BMSHasScreenParameters(screen));
  EXPECT_EQ(BMSScreenParameters(screen).size(), 1u);
}

}  // namespace
}  // namespace beacon
