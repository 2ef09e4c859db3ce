#include "Velloran/data/PromptValues.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "Velloran/data/testing/RepositoryTestSupport.h"

namespace velloran::testing {
namespace {

const std::string kComposed =
    "\xC3\x9C"
    "bersicht";  // Ü as one character
const std::string kDecomposed =
    "U\xCC\x88"
    "bersicht";  // U + combining diaeresis

template <class T>
void expectEqualAndHashAlike(const T& a, const T& b) {
  EXPECT_TRUE(a == b);
  EXPECT_EQ(std::hash<T>{}(a), std::hash<T>{}(b));
}

PromptRun sampleRun() {
  return PromptRun{
      testUUID(1), testUUID(2),       testUUID(3), "in", "out", "model", {{"a", "1"}, {"b", "2"}},
      1.25,        platform::Date{10}};
}

TEST(PromptTypeTest, RawValuesAreExactAndCaseSensitive) {
  EXPECT_EQ(PromptType::fromRawValue("system"), PromptType::system);
  EXPECT_EQ(PromptType::fromRawValue("user"), PromptType::user);
  EXPECT_EQ(PromptType::fromRawValue("customRole"), PromptType::customRole);
  EXPECT_EQ(PromptType::fromRawValue("System"), std::nullopt);
  EXPECT_EQ(PromptType::fromRawValue("Custom Role"), std::nullopt);
  EXPECT_EQ(PromptType::fromRawValue("customrole"), std::nullopt);
}

TEST(PromptTypeTest, NamesAndOfferedCases) {
  EXPECT_EQ(PromptType(PromptType::customRole).displayName(), "Custom Role");
  EXPECT_EQ(PromptType(PromptType::user).displayName(), "User");
  EXPECT_EQ(PromptType(PromptType::customRole).id(), "customRole");
  const auto offered = PromptType::allCases();
  ASSERT_EQ(offered.size(), 2u);
  EXPECT_EQ(offered[0], PromptType::system);
  EXPECT_EQ(offered[1], PromptType::user);
}

TEST(PromptValuesTest, CanonicallyEquivalentTextIsEqualButCaseIsNot) {
  Prompt a = makePrompt({.title = kComposed, .tags = {kComposed}});
  Prompt b = makePrompt({.title = kDecomposed, .tags = {kDecomposed}});
  expectEqualAndHashAlike(a, b);
  b.title =
      "\xC3\xBC"
      "bersicht";
  EXPECT_FALSE(a == b);
}

TEST(PromptValuesTest, TagOrderMatters) {
  EXPECT_FALSE(makePrompt({.tags = {"a", "b"}}) == makePrompt({.tags = {"b", "a"}}));
}

TEST(PromptValuesTest, PromptWithoutVersionsIsAnOrdinaryValue) {
  Prompt a = makePrompt({});
  a.versions.clear();
  expectEqualAndHashAlike(a, Prompt(a));
  EXPECT_FALSE(a == makePrompt({}));
}

TEST(PromptValuesTest, EveryPromptFieldTakesPartInEquality) {
  const Prompt base = makePrompt({.tags = {"t"}});
  const std::vector<std::function<void(Prompt&)>> changes{
      [](Prompt& p) { p.id = testUUID(99); },
      [](Prompt& p) { p.title += "!"; },
      [](Prompt& p) { p.type = PromptType::customRole; },
      [](Prompt& p) { p.tags.push_back("u"); },
      [](Prompt& p) { p.isSystem = !p.isSystem; },
      [](Prompt& p) { p.createdAt.secondsSinceReferenceDate += 0.001; },
      [](Prompt& p) { p.updatedAt.secondsSinceReferenceDate += 0.001; },
      [](Prompt& p) { p.versions[0].notes = "n"; },
      [](Prompt& p) { p.runs.push_back(sampleRun()); },
      [](Prompt& p) { p.snippets.push_back(Snippet{}); },
  };
  for (std::size_t index = 0; index < changes.size(); ++index) {
    Prompt changed = base;
    changes[index](changed);
    EXPECT_FALSE(base == changed) << "change " << index;
  }
}

TEST(PromptValuesTest, EveryRunFieldTakesPartInEquality) {
  const PromptRun base = sampleRun();
  const std::vector<std::function<void(PromptRun&)>> changes{
      [](PromptRun& r) { r.id = testUUID(99); },
      [](PromptRun& r) { r.promptRef = testUUID(99); },
      [](PromptRun& r) { r.versionRef = testUUID(99); },
      [](PromptRun& r) { r.versionRef.reset(); },
      [](PromptRun& r) { r.input += "!"; },
      [](PromptRun& r) { r.output += "!"; },
      [](PromptRun& r) { r.model += "!"; },
      [](PromptRun& r) { r.parameters["a"] = "other"; },
      [](PromptRun& r) { r.parameters["c"] = "3"; },
      [](PromptRun& r) { r.duration = 1.5; },
      [](PromptRun& r) { r.createdAt.secondsSinceReferenceDate = 11; },
  };
  for (std::size_t index = 0; index < changes.size(); ++index) {
    PromptRun changed = base;
    changes[index](changed);
    EXPECT_FALSE(base == changed) << "change " << index;
  }
}

TEST(PromptValuesTest, ParametersCompareWithoutOrderAndByCanonicalKeys) {
  PromptRun a = sampleRun();
  PromptRun b = sampleRun();
  b.parameters.clear();
  for (int i = 0; i < 40; ++i) a.parameters["k" + std::to_string(i)] = std::to_string(i);
  for (int i = 39; i >= 0; --i) b.parameters["k" + std::to_string(i)] = std::to_string(i);
  b.parameters["b"] = "2";
  b.parameters["a"] = "1";
  expectEqualAndHashAlike(a, b);

  // Two spellings of one key are one entry, and values compare canonically too.
  PromptParameters spelled;
  spelled[kComposed] = kComposed;
  spelled[kDecomposed] = kDecomposed;
  EXPECT_EQ(spelled.size(), 1u);
  EXPECT_TRUE(parametersEqual(spelled, PromptParameters{{kDecomposed, kComposed}}));
}

TEST(PromptValuesTest, NegativeAndPositiveZeroHashAlike) {
  PromptRun a = sampleRun();
  PromptRun b = sampleRun();
  a.duration = 0.0;
  b.duration = -0.0;
  a.createdAt = platform::Date{0.0};
  b.createdAt = platform::Date{-0.0};
  expectEqualAndHashAlike(a, b);
}

TEST(PromptValuesTest, AbsentAndPresentVersionRefDiffer) {
  PromptRun a = sampleRun();
  PromptRun b = sampleRun();
  a.versionRef.reset();
  EXPECT_FALSE(a == b);
  b.versionRef.reset();
  expectEqualAndHashAlike(a, b);
}

TEST(PromptValuesTest, SnippetsAndSmartFiltersCompareMemberWise) {
  const Snippet snippet{testUUID(1), kComposed, "c", {"x", "y"}, true, platform::Date{3}};
  Snippet spelled = snippet;
  spelled.title = kDecomposed;
  expectEqualAndHashAlike(snippet, spelled);
  spelled.isFavorite = false;
  EXPECT_FALSE(snippet == spelled);

  const SmartFilter filter{testUUID(2), "f", "{}", platform::Date{4}};
  expectEqualAndHashAlike(filter, SmartFilter(filter));
  SmartFilter changed = filter;
  changed.predicateJSON = "[]";
  EXPECT_FALSE(filter == changed);
}

}  // namespace
}  // namespace velloran::testing
