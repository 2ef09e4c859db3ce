// Purchases add up per currency in "_ltv_<CURRENCY>"; events without a usable value or currency add
// nothing; a failing database answers false so the event's transaction rolls back.

#include "measurement/audiences/BMSLifetimeValueRecorder.h"

#include <gtest/gtest.h>

#include <cmath>

#include "measurement/engine/testing/EngineTestSupport.h"
#include "measurement/storage/BMSDatabase.h"
#include "platform/testing/TestEnvironment.h"

namespace beacon {
namespace {

class LifetimeValueTest : public ::testing::Test {
 protected:
  static BMSEvent purchase(BMSParameters parameters, const std::string& name = "purchase") {
    auto event = BMSEvent::initWithOrigin("app", false, name, 100, 0, parameters);
    if (!event) throw std::runtime_error("invalid test event");
    return *event;
  }
  std::optional<BMSUserAttribute> stored(const std::string& name) {
    return database->userAttributeWithName(name).value();
  }

  testing::ScopedEngineServices services;
  platform::testing::TemporaryDirectory folder;
  std::shared_ptr<BMSDatabase> database =
      BMSDatabase::openAtPath(folder.path() / kBMSMeasurementDatabaseName).value();
};

TEST_F(LifetimeValueTest, PurchaseEventsAreRecognisedByName) {
  for (const char* name : {"_iap", "purchase", "ecommerce_purchase"})
    EXPECT_TRUE(BMSLifetimeValueRecorder::isPurchaseEvent(purchase({}, name))) << name;
  EXPECT_FALSE(BMSLifetimeValueRecorder::isPurchaseEvent(purchase({}, "refund")));
}

TEST_F(LifetimeValueTest, ValuesAddUpPerCurrency) {
  ASSERT_TRUE(BMSLifetimeValueRecorder::recordLifetimeValueToDatabase(
      *database, purchase({{"value", platform::Value(2.5)}, {"currency", platform::Value("usd")}}), 1000));
  ASSERT_TRUE(BMSLifetimeValueRecorder::recordLifetimeValueToDatabase(
      *database, purchase({{"value", platform::Value(3)}, {"currency", platform::Value("USD")}}), 2000));
  ASSERT_TRUE(BMSLifetimeValueRecorder::recordLifetimeValueToDatabase(
      *database, purchase({{"value", platform::Value(1.0)}, {"currency", platform::Value("EUR")}}), 2000));

  const auto dollars = stored("_ltv_USD");
  ASSERT_TRUE(dollars);
  EXPECT_EQ(dollars->value(), BMSValue::initWithDouble(5.5));
  EXPECT_EQ(dollars->origin(), "auto");
  EXPECT_EQ(dollars->lastSetTimestamp(), 2000);
  EXPECT_EQ(stored("_ltv_EUR")->value(), BMSValue::initWithDouble(1.0));
}

TEST_F(LifetimeValueTest, WithoutAValueOrAThreeLetterCurrencyNothingIsAdded) {
  const BMSParameters unusable[] = {
      {{"value", platform::Value(1.0)}},
      {{"currency", platform::Value("USD")}},
      {{"value", platform::Value("ten")}, {"currency", platform::Value("USD")}},
      {{"value", platform::Value(1.0)}, {"currency", platform::Value("US$")}},
      {{"value", platform::Value(1.0)}, {"currency", platform::Value("USDT")}},
  };
  for (const auto& parameters : unusable)
    EXPECT_TRUE(BMSLifetimeValueRecorder::recordLifetimeValueToDatabase(*database, purchase(parameters), 1));
  EXPECT_TRUE(database->userAttributesIncludingInternal(true).value().empty());
}

// SQLite keeps NaN as NULL, which reads back as 0: a non-finite value or sum would wipe the total.
TEST_F(LifetimeValueTest, NonFiniteValuesOrSumsNeverReplaceTheStoredTotal) {
  const auto record = [&](double value) {
    return BMSLifetimeValueRecorder::recordLifetimeValueToDatabase(
        *database, purchase({{"value", platform::Value(value)}, {"currency", platform::Value("USD")}}), 1);
  };
  ASSERT_TRUE(record(10));
  for (double value : {std::nan(""), HUGE_VAL, -HUGE_VAL}) EXPECT_TRUE(record(value));
  EXPECT_EQ(stored("_ltv_USD")->value(), BMSValue::initWithDouble(10));
  // Two finite values whose sum is no longer finite.
  ASSERT_TRUE(record(1.7e308));
  EXPECT_TRUE(record(1.7e308));
  EXPECT_EQ(stored("_ltv_USD")->value(), BMSValue::initWithDouble(10 + 1.7e308));
}

TEST_F(LifetimeValueTest, AFailingDatabaseAnswersFalse) {
  ASSERT_TRUE(database->store().execute("DROP TABLE user_attributes"));
  EXPECT_FALSE(BMSLifetimeValueRecorder::recordLifetimeValueToDatabase(
      *database, purchase({{"value", platform::Value(1.0)}, {"currency", platform::Value("USD")}}), 1));
  EXPECT_EQ(services.log->lines.back().code, 22001);
}

}  // namespace
}  // namespace beacon
