#include "platform/text/CaselessSearch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/error/Error.h"
#include "platform/text/Search.h"

namespace platform {
namespace {

// Texts that exercise each path: plain ASCII, line breaks, accents in both spellings, sharp s,
// Greek final sigma, Turkic i's and combining marks.
const std::vector<std::string> kTexts = {
    "Code review 10",
    "CODE\r\nREVIEW",
    "a\rb\nc",
    "\u00DCbersicht",
    "U\u0308bersicht",
    "Straße",
    "STRASSE",
    "ΣΟΦΊΑ",
    "KIRMIZI",
    "İSTANBUL",
    "e\u0301t\u00E9",
    "Maße",
    "",
    "üu",
};
const std::vector<std::string> kSearches = {
    "review",   "REV",           "e r", "\r", "\n",     "\r\n",    "e\r",     "übersicht", "ubersicht",
    "u",        "STRASSE",       "ß",   "s",  "σοφία",  "kırmızı", "kirmizi", "i",         "ı",
    "istanbul", "\u00C9T\u00C9", "et",  "",   "\u0308", "w 1",     "0p",      "REVIEWS",
};

// Folding each side once answers exactly what the one-shot comparison answers, for every rule set
// and for texts given as they are or folded beforehand.
TEST(TextCaselessSearch, AnswersLikeTheOneShotComparison) {
  for (const char* locale : {"de_DE", "tr", "el"}) {
    const CaseFolding folding = caseFoldingFor(locale);
    for (const std::string& needle : kSearches) {
      const CaselessSearch search(needle, folding);
      for (const std::string& text : kTexts) {
        const bool expected = localizedCaseInsensitiveContains(text, needle, locale);
        EXPECT_EQ(search.isFoundIn(text), expected) << locale << " '" << text << "' / '" << needle << "'";
        EXPECT_EQ(search.isFoundIn(CaselessText(text, folding)), expected)
            << locale << " '" << text << "' / '" << needle << "'";
      }
    }
  }
}

// What several texts hold together rules a search out only when it is found in none of them.
TEST(TextCaselessSearch, TheUnitsOfSeveralTextsRuleOutOnlySearchesFoundInNoneOfThem) {
  for (const char* locale : {"de_DE", "tr"}) {
    const CaseFolding folding = caseFoldingFor(locale);
    CaselessUnits all;
    for (const std::string& text : kTexts) all |= CaselessText(text, folding).units();
    for (const std::string& needle : kSearches) {
      const CaselessSearch search(needle, folding);
      const bool foundInOne = std::ranges::any_of(
          kTexts, [&](const std::string& text) { return search.isFoundIn(CaselessText(text, folding)); });
      if (foundInOne) {
        EXPECT_TRUE(search.mayBeFoundIn(all)) << locale << " '" << needle << "'";
      }
    }
  }
  const CaselessUnits review = CaselessText("Code review", CaseFolding::standard).units();
  EXPECT_FALSE(CaselessSearch("XYZ", CaseFolding::standard).mayBeFoundIn(review));
  EXPECT_TRUE(CaselessSearch("VIEW", CaseFolding::standard).mayBeFoundIn(review));
  EXPECT_FALSE(CaselessSearch("w", CaseFolding::standard).mayBeFoundIn(CaselessUnits()));
}

TEST(TextCaselessSearch, KeepsALineBreakWhole) {
  const CaselessSearch lineFeed("\n", CaseFolding::standard);
  EXPECT_FALSE(lineFeed.isFoundIn("a\r\nb"));
  EXPECT_TRUE(lineFeed.isFoundIn("a\n\rb"));
  EXPECT_TRUE(CaselessSearch("A\r\nB", CaseFolding::standard).isFoundIn("xa\r\nby"));
}

TEST(TextCaselessSearch, FoldsTheCapitalIByTheRulesGiven) {
  EXPECT_EQ(caseFoldingFor("tr_TR"), CaseFolding::turkic);
  EXPECT_EQ(caseFoldingFor("az"), CaseFolding::turkic);
  EXPECT_EQ(caseFoldingFor("de_DE"), CaseFolding::standard);
  EXPECT_FALSE(CaselessSearch("kirmizi", CaseFolding::turkic).isFoundIn("KIRMIZI"));
  EXPECT_TRUE(CaselessSearch("kırmızı", CaseFolding::turkic).isFoundIn("KIRMIZI"));
  EXPECT_TRUE(CaselessSearch("kirmizi", CaseFolding::standard).isFoundIn("KIRMIZI"));
  EXPECT_FALSE(CaselessSearch("kırmızı", CaseFolding::standard).isFoundIn("KIRMIZI"));
}

TEST(TextCaselessSearch, RefusesATextFoldedByOtherRules) {
  const CaselessText text("KIRMIZI", CaseFolding::turkic);
  EXPECT_THROW(static_cast<void>(CaselessSearch("k", CaseFolding::standard).isFoundIn(text)),
               ProgrammerError);
}

}  // namespace
}  // namespace platform
