#include "platform/value/Value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <unordered_set>

namespace platform {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

TEST(ValueEquality, NumbersCompareAcrossKinds) {
  EXPECT_EQ(Value(1), Value(1.0));
  EXPECT_EQ(Value(1), Value(true));
  EXPECT_EQ(Value(0.0), Value(false));
  EXPECT_EQ(Value(-0.0), Value(0));
  EXPECT_NE(Value(1), Value(1.5));
  EXPECT_NE(Value(2), Value(true));
  EXPECT_NE(Value(1), Value("1"));
  EXPECT_NE(Value(), Value(0));
}

TEST(ValueEquality, IntegerAndDoubleCompareExactlyBeyondDoublePrecision) {
  const std::int64_t twoTo53 = std::int64_t{1} << 53;
  EXPECT_EQ(Value(twoTo53), Value(static_cast<double>(twoTo53)));
  // The double nearest to 2^53 + 1 is 2^53; they must not compare equal, or equality stops being
  // transitive.
  EXPECT_NE(Value(twoTo53 + 1), Value(static_cast<double>(twoTo53)));
  EXPECT_NE(Value(kMax), Value(9223372036854775808.0));
  EXPECT_EQ(Value(kMin), Value(-9223372036854775808.0));
}

TEST(ValueEquality, NaNEqualsItselfSoContainersStayUsable) {
  double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(Value(nan), Value(nan));
  EXPECT_NE(Value(nan), Value(0));
  EXPECT_EQ(Value(Date{nan}), Value(Date{nan}));
}

TEST(ValueEquality, CollectionsCompareDeeply) {
  Value a = Dictionary{{"list", Array{1, "x", Dictionary{{"inner", 2.0}}}}, {"flag", true}};
  Value b = Dictionary{{"list", Array{1.0, "x", Dictionary{{"inner", 2}}}}, {"flag", 1}};
  EXPECT_EQ(a, b);
  Value c = Dictionary{{"list", Array{1, "x", Dictionary{{"inner", 3}}}}, {"flag", true}};
  EXPECT_NE(a, c);
  EXPECT_NE(Value(Array{1, 2}), Value(Array{1, 2, 3}));
  EXPECT_NE(Value(Dictionary{{"a", 1}}), Value(Dictionary{{"b", 1}}));
  EXPECT_NE(Value(Array{}), Value(Dictionary{}));
}

TEST(ValueEquality, OtherKindsNeverEqualNumbers) {
  EXPECT_NE(Value(Date{1}), Value(1));
  EXPECT_NE(Value(Bytes{1}), Value(1));
  EXPECT_EQ(Value(Bytes{1, 2}), Value(Bytes{1, 2}));
  EXPECT_EQ(Value(Date{5}), Value(Date{5}));
  EXPECT_NE(Value(Date{5}), Value(Date{6}));
}

TEST(ValueHash, EqualValuesHashAlike) {
  const std::vector<std::pair<Value, Value>> pairs = {
      {1, 1.0},
      {true, 1},
      {false, -0.0},
      {0.0, -0.0},
      {std::int64_t{1} << 60, static_cast<double>(std::int64_t{1} << 60)},
      {Date{0.0}, Date{-0.0}},
      {Array{1, true}, Array{1.0, 1}},
      {Dictionary{{"k", Array{2}}}, Dictionary{{"k", Array{2.0}}}},
      {std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN()},
  };
  for (const auto& [a, b] : pairs) {
    ASSERT_EQ(a, b) << a.description();
    EXPECT_EQ(a.hash(), b.hash()) << a.description();
  }
}

TEST(ValueHash, WorksAsUnorderedSetKey) {
  std::unordered_set<Value> set{Value(1), Value("1"), Value(Array{1}), Value(Dictionary{{"1", 1}})};
  EXPECT_EQ(set.size(), 4u);
  EXPECT_TRUE(set.count(Value(1.0)));
  EXPECT_TRUE(set.count(Value(true)));
  EXPECT_TRUE(set.count(Value(Array{1.0})));
  EXPECT_FALSE(set.count(Value(2)));
  EXPECT_FALSE(set.count(Value(Array{"1"})));
}

TEST(ValueBoolValue, StringsFollowSettingsRules) {
  for (const char* yes : {"Y", "yes", "T", "true", "1", "9", "  +7", "-1", "007", "\t\ny", "00y"}) {
    EXPECT_TRUE(Value(yes).boolValue()) << yes;
  }
  for (const char* no : {"", "N", "no", "false", "0", "000", "  ", "x1", "+-1", "--1", ".5"}) {
    EXPECT_FALSE(Value(no).boolValue()) << no;
  }
}

TEST(ValueBoolValue, NumbersAreTrueWhenNonZeroAndOtherKindsFalse) {
  EXPECT_TRUE(Value(2).boolValue());
  EXPECT_TRUE(Value(0.25).boolValue());
  EXPECT_FALSE(Value(0).boolValue());
  EXPECT_FALSE(Value(-0.0).boolValue());
  EXPECT_FALSE(Value().boolValue());
  EXPECT_FALSE(Value(Array{1}).boolValue());
  EXPECT_FALSE(Value(Date{1}).boolValue());
}

TEST(ValueIntegerValue, StringsReadTheLeadingInteger) {
  EXPECT_EQ(Value("42").integerValue(), 42);
  EXPECT_EQ(Value("  -17abc").integerValue(), -17);
  EXPECT_EQ(Value("+8").integerValue(), 8);
  EXPECT_EQ(Value("3.99").integerValue(), 3);
  EXPECT_EQ(Value("abc").integerValue(), 0);
  EXPECT_EQ(Value("-").integerValue(), 0);
  EXPECT_EQ(Value("9223372036854775807").integerValue(), kMax);
  EXPECT_EQ(Value("-9223372036854775808").integerValue(), kMin);
  EXPECT_EQ(Value("99999999999999999999").integerValue(), kMax);
  EXPECT_EQ(Value("-99999999999999999999").integerValue(), kMin);
}

TEST(ValueIntegerValue, DoublesTruncateAndSaturate) {
  EXPECT_EQ(Value(2.9).integerValue(), 2);
  EXPECT_EQ(Value(-2.9).integerValue(), -2);
  EXPECT_EQ(Value(1e300).integerValue(), kMax);
  EXPECT_EQ(Value(-1e300).integerValue(), kMin);
  EXPECT_EQ(Value(std::numeric_limits<double>::quiet_NaN()).integerValue(), 0);
  EXPECT_EQ(Value(true).integerValue(), 1);
}

TEST(ValueDoubleValue, StringsReadTheLeadingNumber) {
  EXPECT_DOUBLE_EQ(Value(" 2.5e3x").doubleValue(), 2500);
  EXPECT_DOUBLE_EQ(Value("-0.125").doubleValue(), -0.125);
  EXPECT_DOUBLE_EQ(Value("+.5").doubleValue(), 0.5);
  EXPECT_DOUBLE_EQ(Value("7").doubleValue(), 7);
  EXPECT_EQ(Value("abc").doubleValue(), 0);
  EXPECT_EQ(Value("--1").doubleValue(), 0);
}

TEST(ValueDoubleValue, OutOfRangeNumeralsBecomeInfinityOrZero) {
  EXPECT_EQ(Value("1e400").doubleValue(), std::numeric_limits<double>::infinity());
  EXPECT_EQ(Value("-1e400").doubleValue(), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(Value("1e-400").doubleValue(), 0);
  EXPECT_EQ(Value(std::string(400, '9')).doubleValue(), std::numeric_limits<double>::infinity());
  EXPECT_EQ(Value("0." + std::string(400, '0') + "1").doubleValue(), 0);
  // A long mantissa with a small negative exponent is still huge.
  EXPECT_EQ(Value("1" + std::string(400, '0') + "e-5").doubleValue(),
            std::numeric_limits<double>::infinity());
}

TEST(ValueStringValue, NumbersAsDecimalText) {
  EXPECT_EQ(Value(true).stringValue(), "1");
  EXPECT_EQ(Value(false).stringValue(), "0");
  EXPECT_EQ(Value(-42).stringValue(), "-42");
  EXPECT_EQ(Value(3.0).stringValue(), "3");
  EXPECT_EQ(Value(0.1).stringValue(), "0.1");
  EXPECT_EQ(Value(-2.5).stringValue(), "-2.5");
  EXPECT_EQ(Value(1.0 / 3).doubleValue(), Value(Value(1.0 / 3).stringValue()).doubleValue());
  EXPECT_EQ(Value("as is").stringValue(), "as is");
  EXPECT_EQ(Value(Array{1}).stringValue(), "");
}

TEST(ValueFind, LooksUpDictionaryMembersOnly) {
  Value dict = Dictionary{{"a", 1}, {"b", Value()}};
  ASSERT_NE(dict.find("a"), nullptr);
  EXPECT_EQ(*dict.find("a"), Value(1));
  ASSERT_NE(dict.find("b"), nullptr);
  EXPECT_TRUE(dict.find("b")->isNull());
  EXPECT_EQ(dict.find("c"), nullptr);
  EXPECT_EQ(Value(Array{1}).find("0"), nullptr);
  EXPECT_EQ(Value("a").find("a"), nullptr);
}

TEST(ValuePropertyList, NullAnywhereDisqualifies) {
  EXPECT_TRUE(Value(Dictionary{{"a", Array{1, "x", Bytes{}, Date{}, 2.5, true}}}).isPropertyListValue());
  EXPECT_FALSE(Value().isPropertyListValue());
  EXPECT_FALSE(Value(Array{1, Value()}).isPropertyListValue());
  EXPECT_FALSE(Value(Dictionary{{"a", Array{Dictionary{{"b", nullptr}}}}}).isPropertyListValue());
  EXPECT_TRUE(Value(Array{}).isPropertyListValue());
}

TEST(ValueDescription, RendersNestedValuesReadably) {
  Value value = Dictionary{{"b", Array{1, 2.5, "x\"y", Value(), false}}, {"a", Bytes{0x0a, 0xff}}};
  EXPECT_EQ(value.description(), R"({"a": <0aff>, "b": [1, 2.5, "x\"y", null, false]})");
  EXPECT_EQ(Value("plain").description(), "plain");
  EXPECT_EQ(Value(Date{0}).description(), "2001-01-01 00:00:00 +0000");
  EXPECT_EQ(Value(Date{86400.25}).description(), "2001-01-02 00:00:00.250 +0000");
  EXPECT_EQ(Value(Date::distantPast()).description(), "0000-12-30 00:00:00 +0000");
}

TEST(ValueKinds, ConstructorsPickTheExpectedKind) {
  EXPECT_EQ(Value(7u).kind(), Value::Kind::Integer);
  EXPECT_EQ(Value(7L).kind(), Value::Kind::Integer);
  EXPECT_EQ(Value(true).kind(), Value::Kind::Bool);
  EXPECT_EQ(Value("s").kind(), Value::Kind::String);
  EXPECT_EQ(Value(std::string_view("s")).kind(), Value::Kind::String);
  EXPECT_TRUE(Value(1.5).isNumber());
  EXPECT_TRUE(Value(false).isNumber());
  EXPECT_FALSE(Value("1").isNumber());
}

}  // namespace
}  // namespace platform
