#include "platform/json/Json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace platform {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

Value parsed(std::string_view text) {
  Result<Value> value = parseJson(text);
  EXPECT_TRUE(value.ok()) << text << ": " << value.error().debugDescription();
  return value.ok() ? *value : Value();
}

std::string written(const Value& value) {
  Result<std::string> text = writeJson(value);
  EXPECT_TRUE(text.ok()) << text.error().debugDescription();
  return text.ok() ? *text : std::string();
}

TEST(JsonKinds, ParsingKeepsBoolIntegerAndDoubleApart) {
  Value value = parsed(R"({"b": true, "i": 3, "d": 3.0, "e": 2e2, "s": "x", "n": null, "a": [1, 2.5]})");
  EXPECT_TRUE(value.find("b")->isBool());
  EXPECT_TRUE(value.find("i")->isInteger());
  EXPECT_TRUE(value.find("d")->isDouble());
  EXPECT_TRUE(value.find("e")->isDouble());
  EXPECT_TRUE(value.find("n")->isNull());
  EXPECT_EQ(*value.find("a"), Value(Array{1, 2.5}));
  EXPECT_EQ(*value.find("s"), Value("x"));
}

TEST(JsonKinds, WritingKeepsKindsAndSortsKeys) {
  Value value = Dictionary{{"z", true}, {"d", 3.0}, {"i", 3}, {"n", Value()}, {"a", Array{"ü", -0.5}}};
  EXPECT_EQ(written(value), R"({"a":["ü",-0.5],"d":3.0,"i":3,"n":null,"z":true})");
  Value back = parsed(written(value));
  EXPECT_EQ(back, value);
  EXPECT_TRUE(back.find("d")->isDouble());
  EXPECT_TRUE(back.find("z")->isBool());
}

TEST(JsonNumbers, ExtremesRoundTrip) {
  Value value = Array{kMax, kMin, 0.1, 1e300, 5e-324, -0.0};
  Value back = parsed(written(value));
  EXPECT_EQ(back, value) << back.description();
  EXPECT_TRUE(back.asArray()->at(0).isInteger());
  EXPECT_TRUE(back.asArray()->at(1).isInteger());
  EXPECT_TRUE(std::signbit(*back.asArray()->at(5).asDouble()));
}

TEST(JsonNumbers, IntegersBeyondInt64BecomeDoubles) {
  Value big = parsed("18446744073709551615");
  EXPECT_TRUE(big.isDouble());
  EXPECT_EQ(*big.asDouble(), 18446744073709551615.0);
  EXPECT_TRUE(parsed("9223372036854775808").isDouble());
  EXPECT_TRUE(parsed("-9223372036854775809").isDouble());
  EXPECT_TRUE(parsed("9223372036854775807").isInteger());
}

TEST(JsonWrite, ValuesWithoutJsonFormAreRefusedWithTheirLocation) {
  const std::vector<std::pair<Value, std::string>> cases = {
      {Dictionary{{"when", Date{0}}}, "when"},
      {Dictionary{{"blob", Array{1, Bytes{1, 2}}}}, "blob[1]"},
      {Array{std::numeric_limits<double>::quiet_NaN()}, "[0]"},
      {Dictionary{{"x", Dictionary{{"y", std::numeric_limits<double>::infinity()}}}}, "x.y"},
      {Value(Date{0}), "the top level"},
  };
  for (const auto& [value, keyPath] : cases) {
    Result<std::string> text = writeJson(value);
    ASSERT_FALSE(text.ok()) << value.description();
    EXPECT_TRUE(text.error().is(kJsonErrorDomain, JsonErrorCode::Unrepresentable));
    EXPECT_EQ(*text.error().userInfo.at("keyPath").asString(), keyPath);
    EXPECT_FALSE(toOrderedJson(value).ok());
  }
}

TEST(JsonWrite, InvalidUtf8IsRefused) {
  Result<std::string> text = writeJson(Array{std::string("ok\xff")});
  ASSERT_FALSE(text.ok());
  EXPECT_TRUE(text.error().is(kJsonErrorDomain, JsonErrorCode::Unrepresentable));
}

TEST(JsonText, EscapesAndUnicode) {
  EXPECT_EQ(parsed(R"("\u00fc\ud83d\ude00\n\"")"), Value("ü😀\n\""));
  Value withNul = std::string("a\0b", 3);
  EXPECT_EQ(written(withNul), R"("a\u0000b")");
  EXPECT_EQ(parsed(written(withNul)), withNul);
  EXPECT_EQ(written(Value("Übersicht / 日本")), "\"Übersicht / 日本\"");
}

TEST(JsonText, MalformedTextIsAnError) {
  for (const char* bad : {"", "{", "[1,]", "{'a':1}", "NaN", "{} x", "// c\n{}", "\"\\ud83d\"", "\"\xff\"",
                          "01", "[1 2]", "{\"a\" 1}", "1e400", "[-1e999]"}) {
    Result<Value> value = parseJson(bad);
    ASSERT_FALSE(value.ok()) << bad;
    EXPECT_TRUE(value.error().is(kJsonErrorDomain, JsonErrorCode::Malformed)) << bad;
  }
}

// Errors reach log lines, and a reply cut off mid-document may end in a token: no error of the
// reader quotes the text it was given.
TEST(JsonText, AnErrorNeverQuotesTheText) {
  for (const char* bad :
       {R"({"refreshToken":"velloran-secret-7)", "refreshToken=velloran-secret-7",
        R"({"authToken":velloran-secret-7})", "[velloran-secret-7e400]", "1e400velloran-secret-7"}) {
    Result<Value> value = parseJson(bad);
    ASSERT_FALSE(value.ok()) << bad;
    EXPECT_EQ(value.error().debugDescription().find("secret"), std::string::npos)
        << value.error().debugDescription();
  }
  Result<Value> overflow = parseJson("[1e400]");
  ASSERT_FALSE(overflow.ok());
  EXPECT_EQ(overflow.error().debugDescription().find("1e400"), std::string::npos);
}

TEST(JsonText, ExcessiveNestingIsRefusedWithoutExhaustingTheStack) {
  std::string deep(100000, '[');
  deep += std::string(100000, ']');
  Result<Value> value = parseJson(deep);
  ASSERT_FALSE(value.ok());
  EXPECT_TRUE(value.error().is(kJsonErrorDomain, JsonErrorCode::Malformed));

  std::string fine(100, '[');
  fine += std::string(100, ']');
  EXPECT_TRUE(parseJson(fine).ok());
}

TEST(JsonDocuments, OrderedDocumentsConvertBothWays) {
  nlohmann::ordered_json document;
  document["z"] = 1;
  document["a"] = nlohmann::ordered_json::array({true, 2.5, nullptr});
  Result<Value> value = fromJson(document);
  ASSERT_TRUE(value.ok());
  EXPECT_EQ(*value, Value(Dictionary{{"z", 1}, {"a", Array{true, 2.5, Value()}}}));

  // A caller places converted values into a document of its own key order.
  nlohmann::ordered_json envelope;
  envelope["version"] = 2;
  envelope["payload"] = *toOrderedJson(*value);
  EXPECT_EQ(envelope.dump(), R"({"version":2,"payload":{"a":[true,2.5,null],"z":1}})");
}

TEST(JsonDocuments, BinaryValuesHaveNoValueForm) {
  nlohmann::json document = nlohmann::json::binary({1, 2, 3});
  Result<Value> value = fromJson(document);
  ASSERT_FALSE(value.ok());
  EXPECT_TRUE(value.error().is(kJsonErrorDomain, JsonErrorCode::Unrepresentable));
}

}  // namespace
}  // namespace platform
