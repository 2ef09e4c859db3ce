// The journal line reader against a complete JSON parser: it accepts exactly the JSON objects, and
// reads the members of the line and of its "fields" as that parser reads them.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/mirror/JournalLineSyntax.h"

namespace platform::mirror_detail {
namespace {

using Json = nlohmann::json;

// Whether the reader's value is the one the parser read.
bool sameValue(const LineValue& read, const Json& parsed) {
  switch (parsed.type()) {
    case Json::value_t::null:
      return std::holds_alternative<std::nullptr_t>(read);
    case Json::value_t::boolean:
      return read == LineValue(parsed.get<bool>());
    case Json::value_t::number_integer:
      return read == LineValue(parsed.get<std::int64_t>());
    case Json::value_t::number_unsigned:
      return read == LineValue(parsed.get<std::uint64_t>());
    case Json::value_t::number_float: {
      const auto* number = std::get_if<double>(&read);
      return number &&
             (*number == parsed.get<double>() || (std::isnan(*number) && std::isnan(parsed.get<double>())));
    }
    case Json::value_t::string:
      return read == LineValue(parsed.get<std::string>());
    case Json::value_t::object:
      return read == LineValue(Nested{true});
    case Json::value_t::array:
      return read == LineValue(Nested{false});
    default:
      return false;
  }
}

void expectSameMembers(const LineMembers& read, const Json& parsed, const std::string& line) {
  for (const auto& [name, value] : parsed.items()) {
    const LineValue* found = read.find(name);
    ASSERT_NE(found, nullptr) << name << " in " << line;
    EXPECT_TRUE(sameValue(*found, value)) << name << " in " << line;
  }
  for (const auto& [name, value] : read.members) EXPECT_TRUE(parsed.contains(name)) << name << " in " << line;
}

void expectReadAsTheParserReadsIt(const std::string& line) {
  const Json parsed = Json::parse(line, nullptr, false);
  const std::optional<LineSyntax> read = readLineSyntax(line);
  const bool object = !parsed.is_discarded() && parsed.is_object();
  ASSERT_EQ(read.has_value(), object) << line;
  if (!object) return;
  expectSameMembers(read->top, parsed, line);
  if (parsed.contains("fields") && parsed["fields"].is_object())
    expectSameMembers(read->fields, parsed["fields"], line);
}

TEST(JournalLineSyntax, NumbersAreReadByTheGrammarAndKeepTheirKind) {
  for (const std::string number : {"0",
                                   "-0",
                                   "7",
                                   "-7",
                                   "01",
                                   "-",
                                   "1.",
                                   ".5",
                                   "1.5",
                                   "-1.5e-3",
                                   "1e5",
                                   "1E+2",
                                   "1e",
                                   "2.5E-0",
                                   "18446744073709551615",
                                   "18446744073709551616",
                                   "-9223372036854775808",
                                   "-9223372036854775809",
                                   "1e400",
                                   "-1e400",
                                   "1e-400",
                                   "0.0000000000000000000000000000001",
                                   "+1",
                                   "0x10",
                                   "1_0",
                                   "Infinity",
                                   "NaN"}) {
    expectReadAsTheParserReadsIt("{\"n\": " + number + "}");
  }
}

TEST(JournalLineSyntax, TextsAreStrictUtf8WithEveryEscapeAndPairedSurrogates) {
  for (const std::string text : {R"("plain")",
                                 R"("")",
                                 R"("\"\\\/\b\f\n\r\t")",
                                 R"("\u00e9\u20AC\ud83d\ude00")",
                                 R"("\ud83d")",
                                 R"("\ude00")",
                                 R"("\ud83dx")",
                                 R"("\ud83d\u0041")",
                                 R"("\u12")",
                                 R"("\u12G4")",
                                 R"("\q")",
                                 "\"tab\there\"",
                                 "\"\x01\"",
                                 "\"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\"",
                                 "\"\xC3(\"",
                                 "\"\xC0\x80\"",
                                 "\"\xED\xA0\x80\"",
                                 "\"\xF4\x90\x80\x80\"",
                                 "\"\xE2\x82\"",
                                 "\"\x80\"",
                                 "\"unterminated"}) {
    expectReadAsTheParserReadsIt("{\"t\": " + text + "}");
  }
}

TEST(JournalLineSyntax, OnlyAnObjectWithNothingAfterItIsALine) {
  for (const std::string line : {"{}",
                                 " \t{ } \r\n",
                                 "\xEF\xBB\xBF{\"a\":1}",
                                 "[1]",
                                 "\"text\"",
                                 "1",
                                 "null",
                                 "",
                                 "   ",
                                 "{\"a\":1}}",
                                 "{\"a\":1} x",
                                 "{\"a\":1,}",
                                 "{,}",
                                 "{\"a\" 1}",
                                 "{\"a\":}",
                                 "{a:1}",
                                 "{\"a\":[1,]}",
                                 "{\"a\":[,1]}",
                                 "{\"a\":[1 2]}",
                                 "{\"a\":tru}",
                                 "{\"a\":nulll}",
                                 "{\"a\":falsey}",
                                 "{\"a\":[}",
                                 "{\"a\":{\"b\":1]}",
                                 "{\"a\":1,\"a\":2}",
                                 "{\"a\":[1,{\"b\":[[],{}]}],\"c\":true,\"d\":null}"}) {
    expectReadAsTheParserReadsIt(line);
  }
}

TEST(JournalLineSyntax, FieldsAreReadFromTheLastFieldsObjectAndNothingFromDeeperDown) {
  const std::string line =
      R"({"fields": {"old": 1}, "op": "save", "fields": {"title": "T", "n": -2, "tags": ["a", {"fields": 1}],)"
      R"( "inner": {"title": "not a field"}}, "other": {"title": "not a field either"}})";
  expectReadAsTheParserReadsIt(line);
  const std::optional<LineSyntax> read = readLineSyntax(line);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->fields.find("old"), nullptr);
  EXPECT_EQ(read->fields.members.size(), 4u);
  EXPECT_EQ(*read->fields.find("title"), LineValue(std::string("T")));
  EXPECT_EQ(*read->fields.find("inner"), LineValue(Nested{true}));
  EXPECT_EQ(*read->top.find("fields"), LineValue(Nested{true}));

  EXPECT_TRUE(readLineSyntax(R"({"fields": ["x"]})")->fields.members.empty()) << "an array holds no fields";
}

TEST(JournalLineSyntax, NestingOfAnyDepthIsReadWithoutExhaustingTheStack) {
  constexpr int kDepth = 200'000;
  const std::string deep = "{\"a\": " + std::string(kDepth, '[') + std::string(kDepth, ']') + "}";
  const std::optional<LineSyntax> read = readLineSyntax(deep);
  ASSERT_TRUE(read);
  EXPECT_EQ(*read->top.find("a"), LineValue(Nested{false}));
  EXPECT_FALSE(readLineSyntax("{\"a\": " + std::string(kDepth, '[') + "}"));
}

}  // namespace
}  // namespace platform::mirror_detail
