// Parameter sanitising: what is kept, dropped, converted and cut, and the first error recorded.

#include <gtest/gtest.h>

#include <cmath>

#include "measurement/engine/BMSEventParameterSanitizer.h"
#include "measurement/engine/testing/EngineTestSupport.h"

namespace beacon {
namespace {

using testing::integer;
using testing::text;

BMSEventParameters sanitizePublic(const BMSParameters& parameters, std::string_view event = "prompt_copy") {
  return BMSSanitizeEventParameters(parameters, event, true, false).value();
}

platform::Value itemsOf(int count) {
  platform::Array items;
  for (int i = 0; i < count; ++i) items.emplace_back(platform::Dictionary{{"item_id", std::to_string(i)}});
  return items;
}

TEST(ParameterSanitizer, EmptyInputGivesNothingAndPlainValuesBecomeTyped) {
  testing::ScopedEngineServices services;
  EXPECT_FALSE(BMSSanitizeEventParameters({}, "e", true, false));
  BMSEventParameters result =
      sanitizePublic({{"count", platform::Value(3)}, {"kind", platform::Value("user")}});
  EXPECT_EQ(result, (BMSEventParameters{{"count", integer(3)}, {"kind", text("user")}}));
}

TEST(ParameterSanitizer, ReservedPrefixDropsTheNameAndRecordsIt) {
  testing::ScopedEngineServices services;
  BMSEventParameters result =
      sanitizePublic({{"ca_source", platform::Value("x")}, {"ok", platform::Value(1)}});
  EXPECT_EQ(result,
            (BMSEventParameters{{"ok", integer(1)}, {"_err", integer(14)}, {"_ev", text("ca_source")}}));
}

TEST(ParameterSanitizer, OverlongNamesAreTrimmedInTheErrorAndMeasured) {
  testing::ScopedEngineServices services;
  const std::string name(45, 'n');
  BMSEventParameters result = sanitizePublic({{name, platform::Value(1)}});
  EXPECT_EQ(result,
            (BMSEventParameters{
                {"_err", integer(3)}, {"_ev", text(std::string(40, 'n') + "...")}, {"_el", integer(45)}}));
}

TEST(ParameterSanitizer, OverlongPublicValueIsDroppedWithItsNameAndLength) {
  testing::ScopedEngineServices services;
  BMSEventParameters result = sanitizePublic({{"note", platform::Value(std::string(101, 'v'))}});
  EXPECT_EQ(result, (BMSEventParameters{{"_err", integer(4)}, {"_ev", text("note")}, {"_el", integer(101)}}));
}

// Stored, NaN reads back as nothing and the infinities sum to nonsense: they never enter, on any
// event, in an item or at the top, and the first one is named in the error parameters.
TEST(ParameterSanitizer, NonFiniteNumbersAreDroppedAndRecorded) {
  testing::ScopedEngineServices services;
  for (double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
    EXPECT_EQ(sanitizePublic({{"price", platform::Value(bad)}, {"quantity", platform::Value(2)}}),
              (BMSEventParameters{{"quantity", integer(2)}, {"_err", integer(18)}, {"_ev", text("price")}}));
    // An event the engine logs without a length rule, and a value handed in typed.
    EXPECT_EQ(BMSSanitizeEventParameters({{"ratio", BMSValue::initWithDouble(bad)}}, "custom", false, false),
              (BMSEventParameters{{"_err", integer(18)}, {"_ev", text("ratio")}}));
  }
  const BMSEventParameters purchase = sanitizePublic(
      {{"items", platform::Array{platform::Dictionary{{"item_id", "a"}, {"price", std::nan("")}}}},
       {"value", platform::Value(HUGE_VAL)},
       {"currency", platform::Value("EUR")}},
      "purchase");
  EXPECT_FALSE(purchase.contains("value"));
  EXPECT_EQ(purchase.at("_err"), integer(18));
  EXPECT_EQ(purchase.at("_ev"), text("value"));
  const BMSValueItems& items = *purchase.at("items").arrayValue();
  ASSERT_EQ(items.elements.size(), 1u);
  const BMSParameters& item = std::get<BMSParameters>(items.elements[0]);
  EXPECT_FALSE(item.contains("price"));
  EXPECT_EQ(std::get<BMSValue>(item.at("_ev")), text("price"));
}

TEST(ParameterSanitizer, OnlyTheFirstErrorStays) {
  testing::ScopedEngineServices services;
  // Names are visited in order: "a-b" comes before "ca_x".
  BMSEventParameters result = sanitizePublic({{"a-b", platform::Value(1)}, {"ca_x", platform::Value(1)}});
  EXPECT_EQ(result.at("_err"), integer(3));
  EXPECT_EQ(result.at("_ev"), text("a-b"));
}

TEST(ParameterSanitizer, PublicParameterLimitKeepsTheSmallestNames) {
  testing::ScopedEngineServices services;
  BMSParameters parameters{{"_internal", BMSValue::initWithInt64(1)}};
  for (int i = 0; i < 30; ++i) parameters.emplace("p" + std::to_string(100 + i), platform::Value(i));
  // Internal events may carry "_" names; the limit counts and cuts only the public ones.
  BMSEventParameters result = *BMSSanitizeEventParameters(parameters, "level_up", false, false);
  EXPECT_EQ(result.size(), 25u + 2u);  // 25 public, "_internal" and "_err"
  EXPECT_TRUE(result.contains("p124"));
  EXPECT_FALSE(result.contains("p125"));
  EXPECT_EQ(result.at("_err"), integer(5));
  EXPECT_EQ(services.log->lines.back().message, "Event cannot contain more than 25 parameters");
}

TEST(ParameterSanitizer, ItemsBeyondTwoHundredAreCutAndRecorded) {
  testing::ScopedEngineServices services;
  BMSEventParameters result = sanitizePublic({{"items", itemsOf(250)}}, "purchase");
  ASSERT_TRUE(result.at("items").isArray());
  EXPECT_EQ(result.at("items").arrayValue()->elements.size(), 200u);
  EXPECT_EQ(result.at("_err"), integer(17));
  EXPECT_EQ(result.at("_ev"), text("items"));
}

TEST(ParameterSanitizer, ItemElementsThatAreNoDictionariesAreDroppedByIndex) {
  testing::ScopedEngineServices services;
  platform::Array items{platform::Dictionary{{"item_id", "a"}}, platform::Dictionary{{"item_id", "b"}},
                        "loose"};
  BMSEventParameters result = sanitizePublic({{"items", platform::Value(items)}}, "purchase");
  EXPECT_EQ(result.at("items").arrayValue()->elements.size(), 2u);
  EXPECT_EQ(result.at("_err"), integer(4));
  EXPECT_EQ(result.at("_ev"), text("items[2]"));
}

TEST(ParameterSanitizer, ArraysOutsideEcommerceEventsAreDropped) {
  testing::ScopedEngineServices services;
  BMSEventParameters result =
      sanitizePublic({{"items", itemsOf(1)}, {"x", platform::Value(1)}}, "prompt_copy");
  EXPECT_EQ(result,
            (BMSEventParameters{{"x", integer(1)}, {"_err", integer(21)}, {"_ev", text("prompt_copy")}}));
}

TEST(ParameterSanitizer, ItemCustomParametersFollowTheItemScopedSwitch) {
  testing::ScopedEngineServices services;
  services.limits->itemScopedCustomParameterEnabled_ = false;
  platform::Array items{platform::Dictionary{{"item_id", "a"}, {"color", "red"}}};
  BMSEventParameters result = sanitizePublic({{"items", platform::Value(items)}}, "purchase");
  const auto item = std::get<BMSParameters>(result.at("items").arrayValue()->elements.at(0));
  EXPECT_FALSE(item.contains("color"));
  EXPECT_TRUE(item.contains("item_id"));
  EXPECT_EQ(std::get<BMSValue>(item.at("_err")), integer(23));
  EXPECT_FALSE(result.contains("_err"));
}

TEST(ParameterSanitizer, WhenEveryParameterIsInvalidOnlyTheErrorRemains) {
  testing::ScopedEngineServices services;
  BMSEventParameters result = sanitizePublic({{"1x", platform::Value(1)}, {"y", platform::Value()}});
  EXPECT_EQ(result, (BMSEventParameters{{"_err", integer(3)}, {"_ev", text("1x")}}));
}

TEST(ParameterSanitizer, AnOverlongInternalErrorValueIsKeptTrimmed) {
  testing::ScopedEngineServices services;
  services.limits->maxInternalEventParameterValueLength_ = 10;
  auto result =
      BMSSanitizeEventParameters({{"_ev", platform::Value(std::string(20, 'e'))}}, "_err", false, false);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->at("_ev"), text(std::string(10, 'e') + "..."));
  EXPECT_EQ(result->at("_el"), integer(20));
}

TEST(ParameterSanitizer, TypedValuesStayBesidePlainOnesAndAReplacementWinsOverTheOriginal) {
  testing::ScopedEngineServices services;
  services.limits->maxInternalEventParameterValueLength_ = 10;
  const BMSParameters parameters{{"_ev", BMSValue::initWithStringValue(std::string(20, 'e'))},
                                 {"typed", BMSValue::initWithInt64(7)},
                                 {"plain", platform::Value("p")}};
  EXPECT_EQ(BMSSanitizeEventParameters(parameters, "_err", false, false),
            (BMSEventParameters{{"_ev", text(std::string(10, 'e') + "...")},
                                {"_el", integer(20)},
                                {"plain", text("p")},
                                {"typed", integer(7)}}));
}

TEST(ParameterSanitizer, ValueAndCurrencyOfConversions) {
  testing::ScopedEngineServices services;
  BMSEventParameters numeric{{"value", BMSValue::initWithDouble(1.5)}, {"currency", text("EUR")}};
  EXPECT_TRUE(BMSValidateValueAndCurrency(numeric));
  BMSEventParameters missingCurrency{{"value", BMSValue::initWithDouble(1.5)}};
  EXPECT_FALSE(BMSValidateValueAndCurrency(missingCurrency));
  EXPECT_EQ(missingCurrency, (BMSEventParameters{{"_err", integer(19)}, {"_ev", text("currency")}}));
  EXPECT_EQ(services.log->codes().back(), 18014);
}

TEST(ParameterSanitizer, ErrorEventsGoToTheInternalEventLogger) {
  testing::ScopedEngineServices services;
  BMSLogErrorEvent(0);
  EXPECT_TRUE(services.events->events.empty());
  BMSLogErrorEvent(8);
  BMSLogErrorEventWithValue(7, platform::Value("favorite_color"), 24,
                            BMSObject(platform::Value("much too long")));
  BMSLogErrorEventWithValue(2, platform::Value("name"), 40, BMSObject(platform::Value("short")));
  ASSERT_EQ(services.events->events.size(), 3u);
  EXPECT_EQ(services.events->events[0].origin, "auto");
  EXPECT_EQ(services.events->events[0].name, "_err");
  EXPECT_EQ(services.events->events[0].parameters, (platform::Dictionary{{"_err", 8}}));
  EXPECT_EQ(services.events->events[1].parameters,
            (platform::Dictionary{{"_err", 7}, {"_ev", "favorite_color"}, {"_el", 13}}));
  EXPECT_EQ(services.events->events[2].parameters, (platform::Dictionary{{"_err", 2}, {"_ev", "name"}}));
  EXPECT_EQ(BMSErrorCodeNames().at(28), "ItemScopedCustomParameterLimitReached");
}

}  // namespace
}  // namespace beacon
