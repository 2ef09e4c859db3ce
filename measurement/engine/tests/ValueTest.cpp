// Typed values and user attributes: kinds kept apart, conversions from plain objects, and the wire form
// of a user property.

#include <gtest/gtest.h>

#include "measurement/engine/BMSUserAttribute.h"
#include "measurement/engine/BMSValue.h"
#include "measurement/engine/testing/EngineTestSupport.h"
#include "measurement/messages/NANOAccessors.h"

namespace beacon {
namespace {

TEST(Value, PlainObjectsBecomeValuesOfTheirKind) {
  EXPECT_EQ(BMSValueFromObject(platform::Value(true))->valueType(), BMSValue::kInt64);
  EXPECT_EQ(BMSValueFromObject(platform::Value(true))->int64Value(), 1);
  EXPECT_EQ(BMSValueFromObject(platform::Value(2.5))->valueType(), BMSValue::kDouble);
  EXPECT_EQ(BMSValueFromObject(platform::Value(3.0))->valueType(), BMSValue::kDouble);
  EXPECT_EQ(BMSValueFromObject(platform::Value(7))->valueType(), BMSValue::kInt64);
  EXPECT_EQ(*BMSValueFromObject(platform::Value("x"))->stringValue(), "x");
  const BMSValue existing = BMSValue::initWithStringValue("kept");
  EXPECT_EQ(BMSValueFromObject(existing), existing);
}

// Names are checked, values are not: a stray byte in a value must not reach a string field of the
// wire messages, where a strict reader refuses the whole event.
TEST(Value, IllFormedTextIsRepairedWhereverAStringValueIsMade) {
  EXPECT_EQ(*BMSValue::initWithStringValue("caf\xC3").stringValue(), "caf\uFFFD");
  EXPECT_EQ(*BMSValueFromObject(platform::Value("a\xFF"
                                                "b"))
                 ->stringValue(),
            "a\uFFFDb");
  EXPECT_EQ(*BMSValue::initWithString(platform::Value("\xE2\x82"))->stringValue(), "\uFFFD");
  const auto property =
      BMSUserAttribute::initWithOrigin("app", "color", BMSValue::initWithStringValue("r\x80"), 1);
  ASSERT_TRUE(property);
  EXPECT_EQ(NANOGetString(property->protoUserAttribute(), UserAttributeField::kStringValue), "r\uFFFD");
}

TEST(Value, ArraysOnlyWhenAllowedAndUnsupportedObjectsAreLogged) {
  testing::ScopedEngineServices services;
  const platform::Value array(platform::Array{platform::Dictionary{{"item_id", "a"}}});
  EXPECT_FALSE(BMSValueFromObject(array));
  std::optional<BMSValue> allowed = BMSValueFromObject(array, true);
  ASSERT_TRUE(allowed);
  EXPECT_TRUE(allowed->isArray());
  EXPECT_EQ(allowed->arrayValue()->elements.size(), 1u);
  EXPECT_FALSE(BMSValueFromObject(platform::Value()));
  EXPECT_FALSE(BMSValueFromObject(platform::Value(platform::Dictionary{})));
  EXPECT_EQ(services.log->codes(), (std::vector<std::int64_t>{35001, 35000, 35001}));
  EXPECT_EQ(services.log->lines[0].level, 0);
}

TEST(Value, CheckedInitialisersRefuseMissingAndWrongObjects) {
  testing::ScopedEngineServices services;
  EXPECT_FALSE(BMSValue::initWithString(platform::Value()));
  EXPECT_FALSE(BMSValue::initWithString(platform::Value(1)));
  EXPECT_FALSE(BMSValue::initWithArray(platform::Value()));
  EXPECT_FALSE(BMSValue::initWithArray(platform::Value("a")));
  EXPECT_EQ(services.log->codes(), (std::vector<std::int64_t>{35002, 35003, 35004, 35005}));
  EXPECT_EQ(*BMSValue::initWithString(platform::Value("s"))->stringValue(), "s");
}

TEST(Value, KindsAreNeverConvertedOrEqualAcross) {
  const BMSValue integer = BMSValue::initWithInt64(5);
  const BMSValue floating = BMSValue::initWithDouble(5.0);
  EXPECT_FALSE(integer == floating);
  EXPECT_EQ(integer.doubleValue(), 0.0);
  EXPECT_EQ(floating.int64Value(), 0);
  EXPECT_EQ(integer.stringValue(), nullptr);
  EXPECT_EQ(integer, BMSValue::initWithInt64(5));
  EXPECT_NE(integer.hash(), floating.hash());
  EXPECT_EQ(floating.description(), "5");
}

TEST(UserAttribute, LongValuesOnlyForTheNamesThatHoldIdentifiers) {
  testing::ScopedEngineServices services;
  EXPECT_TRUE(BMSUserAttribute::initWithOrigin("app", "_id",
                                               BMSValue::initWithStringValue(std::string(256, 'a')), 1));
  EXPECT_FALSE(BMSUserAttribute::initWithOrigin("app", "_id",
                                                BMSValue::initWithStringValue(std::string(257, 'a')), 1));
  EXPECT_FALSE(BMSUserAttribute::initWithOrigin("app", "color",
                                                BMSValue::initWithStringValue(std::string(37, 'a')), 1));
  EXPECT_TRUE(BMSUserAttribute::initWithOrigin("app", "color",
                                               BMSValue::initWithStringValue(std::string(36, 'a')), 1));
  EXPECT_FALSE(BMSUserAttribute::initWithOrigin("app", "bad-name", BMSValue::initWithInt64(1), 1));
}

TEST(UserAttribute, WireFormCarriesNameValueByKindAndTruncatedMilliseconds) {
  auto attribute = BMSUserAttribute::initWithOrigin("auto", "_fot", BMSValue::initWithInt64(42), 1.2345);
  ASSERT_TRUE(attribute);
  EXPECT_FALSE(attribute->isPublic());
  BMSPBUserAttribute proto = attribute->protoUserAttribute();
  EXPECT_EQ(NANOGetString(proto, UserAttributeField::kName), "_fot");
  EXPECT_EQ(NANOGetInt64(proto, UserAttributeField::kIntValue), 42);
  EXPECT_EQ(NANOGetInt64(proto, UserAttributeField::kSetTimestampMillis), 1234);
  EXPECT_FALSE(NANOHasField(proto, UserAttributeField::kDoubleValue));

  auto items = BMSUserAttribute::initWithOrigin("app", "list", BMSValue::initWithItems({}), 1e300);
  ASSERT_TRUE(items);
  EXPECT_TRUE(items->isPublic());
  BMSPBUserAttribute itemsProto = items->protoUserAttribute();
  EXPECT_EQ(itemsProto.messageInfo().setFieldIDs(),
            (std::vector<std::uint32_t>{UserAttributeField::kSetTimestampMillis, UserAttributeField::kName}));
  EXPECT_EQ(NANOGetInt64(itemsProto, UserAttributeField::kSetTimestampMillis), INT64_MAX);  // saturated
}

}  // namespace
}  // namespace beacon
