// Name and value validation: the public and internal rules, their failure codes and log lines.

#include <gtest/gtest.h>

#include "measurement/engine/BMSDataTypeValidator.h"
#include "measurement/engine/BMSNameTables.h"
#include "measurement/engine/testing/EngineTestSupport.h"

namespace beacon {
namespace {

namespace F = BMSValidationFailure;
using V = BMSDataTypeValidator;

std::int64_t failureOf(bool (*check)(const BMSObject&, std::int64_t*), const BMSObject& object) {
  std::int64_t failure = -1;
  check(object, &failure);
  return failure;
}

std::string repeated(std::string_view piece, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += piece;
  return text;
}

TEST(DataTypeValidator, PublicEventNamesAndTheirReservations) {
  testing::ScopedEngineServices services;
  EXPECT_TRUE(V::isValidPublicEventName(platform::Value("screen_view")));
  EXPECT_TRUE(V::isValidPublicEventName(platform::Value("ad_impression")));
  EXPECT_TRUE(V::isValidPublicEventName(platform::Value("prompt_copy")));
  EXPECT_EQ(services.log->lines.size(), 0u);

  EXPECT_EQ(failureOf(V::isValidPublicEventName, platform::Value("session_start")), F::kReserved);
  EXPECT_EQ(failureOf(V::isValidPublicEventName, platform::Value("ca_something")), F::kReserved);
  EXPECT_EQ(failureOf(V::isValidPublicEventName, platform::Value("_private")), F::kForbiddenCharacter);
  EXPECT_EQ(failureOf(V::isValidPublicEventName, platform::Value("1st")), F::kForbiddenCharacter);
  EXPECT_EQ(failureOf(V::isValidPublicEventName, platform::Value("with-hyphen")), F::kForbiddenCharacter);
  EXPECT_EQ(services.log->codes(), (std::vector<std::int64_t>{13006, 13007, 13003, 13003, 13002}));
  EXPECT_EQ(services.log->lines[4].message, "Event name must contain only letters, numbers, or underscores");
}

TEST(DataTypeValidator, LengthsCountScalarsNotBytesOrUnits) {
  testing::ScopedEngineServices services;
  EXPECT_TRUE(V::isValidPublicEventName(platform::Value(std::string(40, 'a'))));
  EXPECT_EQ(failureOf(V::isValidPublicEventName, platform::Value(std::string(41, 'a'))), F::kTooLong);
  EXPECT_EQ(services.log->lines.back().message, "Event name is too long. The maximum supported length is 40");
  // U+20000 is a letter outside the basic plane: four UTF-8 bytes, two UTF-16 units, one scalar.
  EXPECT_TRUE(V::isValidPublicEventName(platform::Value(repeated("\U00020000", 40))));
  EXPECT_EQ(failureOf(V::isValidPublicEventName, platform::Value(repeated("\U00020000", 41))), F::kTooLong);
  // Emoji are no letters, so they never make a name, however short.
  EXPECT_EQ(failureOf(V::isValidPublicEventName, platform::Value("a\U0001F600")), F::kForbiddenCharacter);
  EXPECT_TRUE(V::isValidPublicEventName(platform::Value("\u00e9t\u00e9_2")));
  // The ASCII neighbours of letters, digits and "_" are no word characters; ASCII beside a letter
  // outside ASCII still is.
  EXPECT_TRUE(V::isValidInternalEventName(platform::Value("AZaz09_\u00e9")));
  for (const char* name : {"a@", "a[", "a`", "a{", "a/", "a:", "a ", "a\x7f", "a^"})
    EXPECT_EQ(failureOf(V::isValidInternalEventName, platform::Value(name)), F::kForbiddenCharacter) << name;
}

TEST(DataTypeValidator, MissingAndWrongObjects) {
  testing::ScopedEngineServices services;
  EXPECT_EQ(failureOf(V::isValidInternalEventName, platform::Value()), F::kNilOrEmpty);
  EXPECT_EQ(failureOf(V::isValidInternalEventName, platform::Value(5)), F::kWrongType);
  EXPECT_EQ(failureOf(V::isValidInternalEventName, platform::Value("")), F::kNilOrEmpty);
  EXPECT_EQ(failureOf(V::isValidPublicEventParameterValue, platform::Value("raw")), F::kWrongType);
  EXPECT_EQ(failureOf(V::isValidPublicEventParameterValue, platform::Value()), F::kNilOrEmpty);
  EXPECT_EQ(services.log->codes(), (std::vector<std::int64_t>{13001, 13000, 13001, 13005, 13004}));
  EXPECT_EQ(services.log->lines[0].message, "Event name is required and can't be nil");
  EXPECT_EQ(services.log->lines[3].level, 3);
}

TEST(DataTypeValidator, ValueLimitsAndEmptyValues) {
  testing::ScopedEngineServices services;
  EXPECT_TRUE(V::isValidPublicEventParameterValue(BMSValue::initWithStringValue("")));
  EXPECT_EQ(failureOf(V::isValidPublicUserAttributeValue, BMSValue::initWithStringValue("")), F::kNilOrEmpty);
  EXPECT_TRUE(services.log->lines.empty());  // the empty user-property value is refused silently

  services.limits->maxPublicEventParameterValueLength_ = 5;
  EXPECT_TRUE(V::isValidPublicEventParameterValue(BMSValue::initWithStringValue("12345")));
  EXPECT_EQ(failureOf(V::isValidPublicEventParameterValue, BMSValue::initWithStringValue("123456")),
            F::kTooLong);
  EXPECT_EQ(services.log->lines.back().level, 3);
  EXPECT_TRUE(V::isValidPublicEventParameterValue(BMSValue::initWithInt64(1234567)));
}

TEST(DataTypeValidator, UserPropertyNamesAndOrigins) {
  testing::ScopedEngineServices services;
  EXPECT_EQ(failureOf(V::isValidPublicUserAttributeName, platform::Value("user_id")), F::kReserved);
  EXPECT_EQ(failureOf(V::isValidPublicUserAttributeName, platform::Value("beacon_x")), F::kReserved);
  EXPECT_EQ(services.log->codes(), (std::vector<std::int64_t>{13009, 13010}));

  services.log->lines.clear();
  EXPECT_TRUE(V::isValidForwardedEventOrigin(platform::Value("app+ctm")));
  EXPECT_EQ(failureOf(V::isValidForwardedEventOrigin, platform::Value("app")), F::kNotForwardedOrigin);
  EXPECT_EQ(failureOf(V::isValidForwardedEventOrigin, platform::Value("")), F::kNilOrEmpty);
  EXPECT_EQ(failureOf(V::isValidForwardedEventOrigin, platform::Value("a-b+ctm")), F::kForbiddenCharacter);
  EXPECT_EQ(services.log->codes(), (std::vector<std::int64_t>{13002}));
}

TEST(DataTypeValidator, NumericAndCurrencyValues) {
  testing::ScopedEngineServices services;
  EXPECT_TRUE(V::isValidNumericValue(BMSValue::initWithDouble(9.99)));
  EXPECT_EQ(failureOf(V::isValidNumericValue, BMSValue::initWithStringValue("9.99")), F::kNotNumeric);
  EXPECT_TRUE(V::isValidCurrencyCode(BMSValue::initWithStringValue("eur")));
  // Three UTF-16 units, all letters: a letter outside the basic plane counts twice.
  EXPECT_TRUE(V::isValidCurrencyCode(BMSValue::initWithStringValue("\U00020000E")));
  for (const char* bad : {"EU1", "E$R", "EURO", "\U00020000EU"})
    EXPECT_EQ(failureOf(V::isValidCurrencyCode, BMSValue::initWithStringValue(bad)), F::kInvalidCurrency)
        << bad;
  EXPECT_EQ(failureOf(V::isValidCurrencyCode, BMSValue::initWithInt64(978)), F::kInvalidCurrency);
  EXPECT_EQ(services.log->lines.back().message,
            "Event parameter value must contain a 3-letter ISO_4217 currency code. value");
}

TEST(DataTypeValidator, ArrayParametersOnlyAsItemsOfEcommerceEvents) {
  testing::ScopedEngineServices services;
  std::int64_t failure = -1;
  EXPECT_TRUE(V::isValidArrayParamForEvent("purchase", "items", 200, false, &failure));
  EXPECT_FALSE(V::isValidArrayParamForEvent("purchase", "items", 201, false, &failure));
  EXPECT_EQ(failure, F::kTooManyItems);
  EXPECT_FALSE(V::isValidArrayParamForEvent("prompt_copy", "items", 1, false, &failure));
  EXPECT_EQ(failure, F::kArrayOnNonEcommerceEvent);
  EXPECT_FALSE(V::isValidArrayParamForEvent("purchase", "products", 1, false, &failure));
  EXPECT_EQ(failure, F::kArrayNotNamedItems);
  EXPECT_FALSE(V::isValidArrayParamForEvent("purchase", "items", 1, true, &failure));
  EXPECT_EQ(failure, F::kNestedArray);
  EXPECT_EQ(
      services.log->lines[2].message,
      "Event parameter name is an invalid ecommerce items. The name of array parameters for ecommerce should "
      "be \"items\". Invalid parameter name");
  EXPECT_FALSE(V::isValidArrayParamItem(BMSItem(platform::Value("x")), &failure));
  EXPECT_EQ(failure, F::kItemNotDictionary);
}

TEST(NameTables, InverseEventNamesAndCounts) {
  EXPECT_EQ(BMSPublicToInternalEventNames().size(), 32u);
  EXPECT_EQ(BMSParameterNameAliases().size(), 54u);
  EXPECT_EQ(BMSInternalToPublicEventNames().at("_cmp"), "ca_campaign");
  EXPECT_EQ(BMSInternalToPublicEventNames().at("_vs"), "screen_view");
  EXPECT_TRUE(BMSIsEcommerceEventName("view_search_results"));
  EXPECT_TRUE(BMSIsItemParameterName("item_location_id"));
  EXPECT_TRUE(BMSIsDefaultConversionEventName("_iap"));
  EXPECT_FALSE(BMSIsDefaultConversionEventName("screen_view"));
}

}  // namespace
}  // namespace beacon
