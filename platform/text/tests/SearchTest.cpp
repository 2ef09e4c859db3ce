#include "platform/text/Search.h"

#include <gtest/gtest.h>
#include <unicode/locid.h>

#include <algorithm>
#include <string>
#include <vector>

namespace platform {
namespace {

const std::string kComposedTitle = "\u00DCbersicht";     // "Übersicht", precomposed
const std::string kDecomposedTitle = "U\u0308bersicht";  // "Übersicht", U + combining diaeresis

TEST(TextLocalizedContainment, IgnoresCaseInEitherSpelling) {
  for (const std::string& haystack : {kComposedTitle, kDecomposedTitle}) {
    EXPECT_TRUE(localizedCaseInsensitiveContains(haystack, "übersicht", "de_DE")) << haystack;
    EXPECT_TRUE(localizedCaseInsensitiveContains(haystack, "u\u0308bersicht", "de_DE")) << haystack;
    EXPECT_TRUE(localizedCaseInsensitiveContains(haystack, "SICHT", "de_DE")) << haystack;
  }
  EXPECT_TRUE(localizedCaseInsensitiveContains("Code review", "REV", "de_DE"));
  EXPECT_TRUE(localizedCaseInsensitiveContains("Straße", "STRASSE", "de_DE"));
  EXPECT_TRUE(localizedCaseInsensitiveContains("STRASSE", "straße", "de_DE"));
  EXPECT_TRUE(localizedCaseInsensitiveContains("ΣΟΦΊΑ", "σοφία", "el"));
}

TEST(TextLocalizedContainment, RespectsAccentsAndWholeCharacters) {
  EXPECT_FALSE(localizedCaseInsensitiveContains("ü", "u", "de_DE"));
  EXPECT_FALSE(localizedCaseInsensitiveContains("u\u0308", "u", "de_DE"));
  EXPECT_FALSE(localizedCaseInsensitiveContains(kComposedTitle, "ubersicht", "de_DE"));
  EXPECT_FALSE(localizedCaseInsensitiveContains(kDecomposedTitle, "ubersicht", "de_DE"));
  EXPECT_FALSE(localizedCaseInsensitiveContains("ü", "\u0308", "de_DE"));  // a lone accent is no character
  EXPECT_FALSE(localizedCaseInsensitiveContains("Maße", "s", "de_DE"));    // "ß" is one character
  EXPECT_FALSE(localizedCaseInsensitiveContains("e\u0301t\u00E9", "et", "fr"));
  EXPECT_TRUE(localizedCaseInsensitiveContains("e\u0301t\u00E9", "\u00C9T\u00C9", "fr"));
}

TEST(TextLocalizedContainment, FindsLaterOccurrenceAfterARejectedOne) {
  EXPECT_TRUE(localizedCaseInsensitiveContains("üu", "u", "de_DE"));
  EXPECT_TRUE(localizedCaseInsensitiveContains("a\u0308a", "A", "de_DE"));
}

TEST(TextLocalizedContainment, EmptyNeedleIsFoundNowhere) {
  EXPECT_FALSE(localizedCaseInsensitiveContains("Titel", "", "de_DE"));
  EXPECT_FALSE(localizedCaseInsensitiveContains("", "", "de_DE"));
  EXPECT_FALSE(localizedCaseInsensitiveContains("", "a", "de_DE"));
}

TEST(TextLocalizedContainment, FollowsTurkicCaseRulesOnlyInTurkic) {
  EXPECT_TRUE(localizedCaseInsensitiveContains("KIRMIZI", "kırmızı", "tr"));
  EXPECT_FALSE(localizedCaseInsensitiveContains("KIRMIZI", "kirmizi", "tr"));
  EXPECT_TRUE(localizedCaseInsensitiveContains("İSTANBUL", "istanbul", "tr"));
  EXPECT_TRUE(localizedCaseInsensitiveContains("KIRMIZI", "kirmizi", "de_DE"));
}

TEST(TextLocalizedContainment, UsesTheCurrentLocaleWhenNoneIsNamed) {
  UErrorCode status = U_ZERO_ERROR;
  icu::Locale::setDefault(icu::Locale("tr"), status);
  ASSERT_TRUE(U_SUCCESS(status));
  EXPECT_FALSE(localizedCaseInsensitiveContains("KIRMIZI", "kirmizi"));
  EXPECT_TRUE(localizedCaseInsensitiveContains("KIRMIZI", "kırmızı"));
}

TEST(TextCaseInsensitiveContainment, MatchesProgramTexts) {
  EXPECT_TRUE(caseInsensitiveContains("0 Velloran 0x1 bmsQueueRun + 4", "BMS"));
  EXPECT_FALSE(caseInsensitiveContains("queueRun", "BMS"));
}

TEST(TextLowercasing, IsFullAndLocaleIndependent) {
  EXPECT_EQ(lowercased("Review ÄRGER"), "review ärger");
  EXPECT_EQ(lowercased("ΟΔΟΣ"), "οδος");  // final sigma
  EXPECT_EQ(lowercased("İ"), "i\u0307");  // not the Turkish rule
  EXPECT_EQ(lowercased("KIRMIZI"), "kirmizi");
  // Every ASCII character, NUL included: only A-Z change.
  std::string ascii;
  for (int c = 0; c < 0x80; ++c) ascii += static_cast<char>(c);
  std::string expected = ascii;
  for (char c = 'A'; c <= 'Z'; ++c) expected[static_cast<unsigned char>(c)] = static_cast<char>(c + 32);
  EXPECT_EQ(lowercased(ascii), expected);
}

TEST(TextCaseInsensitiveOrdering, TreatsCaseVariantsAsEquivalent) {
  EXPECT_EQ(caseInsensitiveCompare("Review", "rEVIEW"), std::weak_ordering::equivalent);
  EXPECT_EQ(caseInsensitiveCompare("Straße", "STRASSE"), std::weak_ordering::equivalent);
  EXPECT_EQ(caseInsensitiveCompare(kComposedTitle, kDecomposedTitle), std::weak_ordering::equivalent);
  EXPECT_EQ(caseInsensitiveCompare("apfel", "Birne"), std::weak_ordering::less);
  EXPECT_EQ(caseInsensitiveCompare("über", "uber"), std::weak_ordering::greater);
}

TEST(TextLocalizedOrdering, SortsTheWayReadersOfTheLocaleExpect) {
  std::vector<std::string> tags{"zebra", "Äpfel", "apfel", "Birne", "Ärger"};
  std::stable_sort(tags.begin(), tags.end(), [](const std::string& a, const std::string& b) {
    return localizedCaseInsensitiveCompare(a, b, "de_DE") == std::weak_ordering::less;
  });
  EXPECT_EQ(tags, (std::vector<std::string>{"apfel", "Äpfel", "Ärger", "Birne", "zebra"}));

  EXPECT_EQ(localizedCaseInsensitiveCompare("Review", "review", "de_DE"), std::weak_ordering::equivalent);
  EXPECT_EQ(localizedCaseInsensitiveCompare(kComposedTitle, kDecomposedTitle, "de_DE"),
            std::weak_ordering::equivalent);
  EXPECT_NE(localizedCaseInsensitiveCompare("resume", "résumé", "fr"), std::weak_ordering::equivalent);
  // Swedish sorts "ä" after "z"; German does not.
  EXPECT_EQ(localizedCaseInsensitiveCompare("ära", "zebra", "sv_SE"), std::weak_ordering::greater);
  // Without a user locale, case still does not decide the order.
  EXPECT_EQ(localizedCaseInsensitiveCompare("alpha", "Beta", "en_US_POSIX"), std::weak_ordering::less);
  EXPECT_EQ(localizedCaseInsensitiveCompare("Review", "review", "en_US_POSIX"),
            std::weak_ordering::equivalent);
  EXPECT_EQ(localizedCaseInsensitiveCompare("ära", "zebra", "de_DE"), std::weak_ordering::less);
}

}  // namespace
}  // namespace platform
