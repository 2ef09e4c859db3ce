// Random integers and strict decimal parsing.

#include <gtest/gtest.h>

#include "measurement/engine/BMSNumericUtil.h"
#include "measurement/engine/testing/EngineTestSupport.h"

namespace beacon {
namespace {

class FailingRandomSource : public platform::RandomSource {
  bool draw(std::span<std::uint8_t>, std::string* failureReason) override {
    if (failureReason) *failureReason = "no entropy";
    return false;
  }
};

TEST(NumericUtil, RandomFailureGivesZeroAndIsLogged) {
  testing::ScopedEngineServices services;
  FailingRandomSource failing;
  EXPECT_EQ(BMSNumericUtil::randomInt64(failing), 0);
  EXPECT_EQ(services.log->codes(), (std::vector<std::int64_t>{26004}));
  EXPECT_EQ(services.log->lines[0].contexts, (std::vector<platform::Value>{"no entropy"}));
  EXPECT_NE(BMSNumericUtil::randomInt64(), BMSNumericUtil::randomInt64());
}

TEST(NumericUtil, DecimalStrings) {
  for (const char* good : {"12", "12.", "12.50", ".5", "-.5", "+3", "007"})
    EXPECT_TRUE(BMSIsDecimalNumberString(good)) << good;
  for (const char* bad : {"", ".", "+", "1e5", "12a", " 1", "1.2.3", "--1"})
    EXPECT_FALSE(BMSIsDecimalNumberString(bad)) << bad;
}

TEST(NumericUtil, DecimalNumbersAreExact) {
  testing::ScopedEngineServices services;
  EXPECT_EQ(BMSDecimalNumberFromString("12.50")->description(), "12.5");
  EXPECT_EQ(BMSDecimalNumberFromString(".5")->description(), "0.5");
  EXPECT_EQ(BMSDecimalNumberFromString("-.5")->description(), "-0.5");
  EXPECT_EQ(BMSDecimalNumberFromString("-0.05")->doubleValue(), -0.05);
  EXPECT_EQ(BMSDecimalNumberFromString("100")->description(), "100");
  EXPECT_EQ(BMSDecimalNumberFromString("-0")->description(), "0");
  EXPECT_TRUE(services.log->lines.empty());
  EXPECT_FALSE(BMSDecimalNumberFromString("1e5"));
  EXPECT_FALSE(BMSDecimalNumberFromString(""));
  EXPECT_FALSE(BMSDecimalNumberFromString("1234567890123456789012345678901234567890"));
  EXPECT_EQ(services.log->codes(), (std::vector<std::int64_t>{26001, 26001, 26003}));
  EXPECT_TRUE(BMSDecimalNumberFromString("12345678901234567890123456789012345678"));  // 38 digits fit
}

}  // namespace
}  // namespace beacon
