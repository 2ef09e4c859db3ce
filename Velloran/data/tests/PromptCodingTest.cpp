#include "Velloran/data/PromptCoding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Velloran/data/testing/RepositoryTestSupport.h"

namespace velloran::testing {
namespace {

using Json = nlohmann::ordered_json;

const platform::UUID kPromptId = *platform::UUID::fromString("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");

Prompt samplePrompt() {
  return Prompt{kPromptId,
                "T",
                PromptType::user,
                {"a", "b"},
                false,
                platform::Date{1},
                platform::Date{2.5},
                {PromptVersion{testUUID(2), kPromptId, "C", "", 1, platform::Date{1}}},
                {PromptRun{testUUID(3),
                           kPromptId,
                           std::nullopt,
                           "i",
                           "o",
                           "m",
                           {{"z", "1"}, {"a", "2"}},
                           0.5,
                           platform::Date{3}}},
                {Snippet{testUUID(4), "S", "X", {"t"}, true, platform::Date{4}}}};
}

Json sampleJson() {
  return encodeJson(samplePrompt()).value();
}

std::int64_t failureCode(const platform::Result<Prompt>& result) {
  EXPECT_FALSE(result.ok());
  if (result.ok()) return 0;
  EXPECT_EQ(result.error().domain, kCodingErrorDomain);
  return result.error().code;
}

TEST(PromptCodingTest, WritesEveryKeyInFieldOrderWithUpperCaseIds) {
  EXPECT_EQ(
      encodeJsonText(samplePrompt()).value(),
      R"({"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","title":"T","type":"user","tags":["a","b"],)"
      R"("isSystem":false,"createdAt":1.0,"updatedAt":2.5,)"
      R"("versions":[{"id":"00000000-0000-4000-0000-000000000002",)"
      R"("promptRef":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","content":"C","notes":"","versionNumber":1,)"
      R"("createdAt":1.0}],)"
      R"("runs":[{"id":"00000000-0000-4000-0000-000000000003",)"
      R"("promptRef":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","input":"i","output":"o","model":"m",)"
      R"("parameters":{"a":"2","z":"1"},"duration":0.5,"createdAt":3.0}],)"
      R"("snippets":[{"id":"00000000-0000-4000-0000-000000000004","title":"S","content":"X",)"
      R"("tags":["t"],"isFavorite":true,"createdAt":4.0}]})");
  EXPECT_EQ(
      encodeJsonText(SmartFilter{kPromptId, "F", "{}", platform::Date{-0.5}}).value(),
      R"({"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","title":"F","predicateJSON":"{}","createdAt":-0.5})");
}

TEST(PromptCodingTest, EveryTypeReadsBackEqual) {
  const Prompt prompt = samplePrompt();
  EXPECT_EQ(decodeJsonText<Prompt>(encodeJsonText(prompt).value()).value(), prompt);

  PromptRun run = prompt.runs[0];
  run.versionRef = testUUID(2);
  EXPECT_EQ(decodeJson<PromptRun>(encodeJson(run).value()).value(), run);
  EXPECT_EQ(decodeJson<PromptVersion>(encodeJson(prompt.versions[0]).value()).value(), prompt.versions[0]);
  EXPECT_EQ(decodeJson<Snippet>(encodeJson(prompt.snippets[0]).value()).value(), prompt.snippets[0]);
  const SmartFilter filter{testUUID(5), "F", R"({"tag":"x"})", platform::Date{721692800.123456}};
  EXPECT_EQ(decodeJsonText<SmartFilter>(encodeJsonText(filter).value()).value(), filter);
}

TEST(PromptCodingTest, AbsentVersionRefIsLeftOutAndNullReadsAsAbsent) {
  const PromptRun run = samplePrompt().runs[0];
  const Json json = encodeJson(run).value();
  EXPECT_FALSE(json.contains("versionRef"));
  EXPECT_EQ(decodeJson<PromptRun>(json).value(), run);

  Json withNull = json;
  withNull["versionRef"] = nullptr;
  EXPECT_EQ(decodeJson<PromptRun>(withNull).value().versionRef, std::nullopt);

  Json lowerCase = json;
  lowerCase["versionRef"] = "e621e1f8-c36c-495a-93fc-0c247a3e6e5f";
  EXPECT_EQ(decodeJson<PromptRun>(lowerCase).value().versionRef, kPromptId);
}

TEST(PromptCodingTest, UnknownKeysAreIgnored) {
  Json json = sampleJson();
  json["content"] = "lost";
  json["versions"][0]["extra"] = 1;
  EXPECT_EQ(decodeJson<Prompt>(json).value(), samplePrompt());
}

TEST(PromptCodingTest, EveryMissingRequiredKeyFailsAsKeyNotFound) {
  const Json complete = sampleJson();
  for (const auto& [key, value] : complete.items()) {
    Json json = complete;
    json.erase(key);
    EXPECT_EQ(failureCode(decodeJson<Prompt>(json)), CodingErrorCode::keyNotFound) << key;
  }
  Json json = sampleJson();
  json["versions"][0].erase("notes");
  const auto result = decodeJson<Prompt>(json);
  EXPECT_EQ(failureCode(result), CodingErrorCode::keyNotFound);
  EXPECT_NE(result.error().description.find("versions[0]"), std::string::npos) << result.error().description;
}

TEST(PromptCodingTest, ValuesOfTheWrongKindFailAsTypeMismatch) {
  const std::vector<std::pair<std::string, Json>> wrong{
      {"id", 5},
      {"title", 5},
      {"title", nullptr},
      {"tags", "a"},
      {"tags", Json::array({1})},
      {"isSystem", 1},
      {"createdAt", "1"},
      {"createdAt", true},
      {"versions", Json::object()},
      {"runs", Json::array({"run"})},
  };
  for (const auto& [key, value] : wrong) {
    Json json = sampleJson();
    json[key] = value;
    EXPECT_EQ(failureCode(decodeJson<Prompt>(json)), CodingErrorCode::typeMismatch) << key << " = " << value;
  }
  Json badParameter = sampleJson();
  badParameter["runs"][0]["parameters"]["a"] = 2;
  EXPECT_EQ(failureCode(decodeJson<Prompt>(badParameter)), CodingErrorCode::typeMismatch);
  EXPECT_EQ(failureCode(decodeJson<Prompt>(Json::array())), CodingErrorCode::typeMismatch);
}

TEST(PromptCodingTest, UnreadableValuesFailAsDataCorrupted) {
  const std::vector<std::pair<std::string, Json>> corrupt{{"type", "System"},
                                                          {"type", "Custom Role"},
                                                          {"id", "not-a-uuid"},
                                                          {"id", "{E621E1F8-C36C-495A-93FC-0C247A3E6E5F}"}};
  for (const auto& [key, value] : corrupt) {
    Json json = sampleJson();
    json[key] = value;
    EXPECT_EQ(failureCode(decodeJson<Prompt>(json)), CodingErrorCode::dataCorrupted) << key << " = " << value;
  }
  for (const Json& number : {Json(1.5), Json(1e19), Json(18446744073709551615ULL)}) {
    Json json = sampleJson();
    json["versions"][0]["versionNumber"] = number;
    EXPECT_EQ(failureCode(decodeJson<Prompt>(json)), CodingErrorCode::dataCorrupted) << number;
  }
  EXPECT_EQ(failureCode(decodeJsonText<Prompt>(R"({"id":)")), CodingErrorCode::dataCorrupted);
}

TEST(PromptCodingTest, NumbersReadAcrossTheirJsonForms) {
  Json json = sampleJson();
  json["createdAt"] = 7;                       // an integer date
  json["versions"][0]["versionNumber"] = 3.0;  // an integral float version number
  json["runs"][0]["duration"] = 2;
  const Prompt prompt = decodeJson<Prompt>(json).value();
  EXPECT_EQ(prompt.createdAt, platform::Date{7});
  EXPECT_EQ(prompt.versions[0].versionNumber, 3);
  EXPECT_EQ(prompt.runs[0].duration, 2.0);
}

TEST(PromptCodingTest, PromptTypeCodesAsItsRawValue) {
  EXPECT_EQ(encodeJsonText(PromptType(PromptType::customRole)).value(), R"("customRole")");
  EXPECT_EQ(decodeJsonText<PromptType>(R"("customRole")").value(), PromptType::customRole);
  const auto display = decodeJsonText<PromptType>(R"("User")");
  ASSERT_FALSE(display.ok());
  EXPECT_EQ(display.error().code, CodingErrorCode::dataCorrupted);
  EXPECT_EQ(decodeJsonText<PromptType>("5").error().code, CodingErrorCode::typeMismatch);
}

TEST(PromptCodingTest, RefusesValuesThatWouldNotReadBack) {
  Prompt prompt = samplePrompt();
  prompt.runs[0].duration = std::numeric_limits<double>::quiet_NaN();
  const auto nan = encodeJson(prompt);
  ASSERT_FALSE(nan.ok());
  EXPECT_EQ(nan.error().code, CodingErrorCode::invalidValue);

  prompt = samplePrompt();
  prompt.updatedAt = platform::Date{std::numeric_limits<double>::infinity()};
  EXPECT_FALSE(encodeJson(prompt).ok());

  prompt = samplePrompt();
  prompt.tags.push_back("\xFF\xFE");
  const auto text = encodeJsonText(prompt);
  ASSERT_FALSE(text.ok());
  EXPECT_EQ(text.error().code, CodingErrorCode::invalidValue);
}

}  // namespace
}  // namespace velloran::testing
