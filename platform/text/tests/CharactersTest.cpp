#include "platform/text/Characters.h"
#include "platform/text/Scalars.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform {
namespace {

TEST(TextCharacterClasses, LettersExcludeMarksDigitsAndSigns) {
  for (char32_t letter : {U'a', U'Z', U'ß', U'é', U'Ж', U'ع', U'中', U'ǅ', U'ʰ'}) {
    EXPECT_TRUE(isLetter(letter)) << static_cast<unsigned>(letter);
  }
  for (char32_t other : {U'_', U'1', U'٣', U'\u0301', U' ', U'-', U'😀', U'²'}) {
    EXPECT_FALSE(isLetter(other)) << static_cast<unsigned>(other);
  }
}

TEST(TextCharacterClasses, DigitsAreDecimalInAnyScript) {
  EXPECT_TRUE(isDecimalDigit(U'0'));
  EXPECT_TRUE(isDecimalDigit(U'٣'));  // Arabic-Indic three
  EXPECT_FALSE(isDecimalDigit(U'²'));
  EXPECT_FALSE(isDecimalDigit(U'½'));
  EXPECT_FALSE(isDecimalDigit(U'a'));
}

TEST(TextCharacterClasses, AlphanumericsAreLettersMarksAndNumbers) {
  for (char32_t yes : {U'a', U'é', U'\u0301', U'7', U'²', U'½', U'中'}) EXPECT_TRUE(isAlphanumeric(yes));
  for (char32_t no : {U'_', U'-', U'.', U' ', U'😀', U'/'}) EXPECT_FALSE(isAlphanumeric(no));
}

TEST(TextCharacterClasses, WhiteSpaceIncludesLineBreaksAndWideSpaces) {
  for (char32_t space : {U' ', U'\t', U'\n', U'\r', U'\v', U'\f', U'\u0085', U'\u00A0', U'\u2028', U'\u2029',
                         U'\u3000', U'\u2003', U'\u202F'}) {
    EXPECT_TRUE(isWhiteSpace(space)) << static_cast<unsigned>(space);
  }
  for (char32_t other : {U'a', U'\u200B', U'\uFEFF', U'_', U','}) EXPECT_FALSE(isWhiteSpace(other));
}

TEST(TextTrimming, RemovesUnicodeWhiteSpaceAtBothEndsOnly) {
  EXPECT_EQ(trimmed("  Review \n"), "Review");
  EXPECT_EQ(trimmed("\u00A0\u3000Über  sicht\r\n\t\u2029"), "Über  sicht");
  EXPECT_EQ(trimmed(" \n\u3000 "), "");
  EXPECT_EQ(trimmed(""), "");
  EXPECT_EQ(trimmed("\u200Bx\u200B"), "\u200Bx\u200B");  // zero-width space is not white space
  EXPECT_EQ(trimmed(" a\xFF "), "a\xFF");                // bytes inside are kept as they are
}

TEST(TextSplitting, KeepsEmptyPiecesBetweenSeparators) {
  auto tagSeparator = [](char32_t c) { return isWhiteSpace(c) || c == U','; };
  EXPECT_EQ(split("prompt,  chat\u3000review,", tagSeparator),
            (std::vector<std::string>{"prompt", "", "", "chat", "review", ""}));
  EXPECT_EQ(split("", tagSeparator), (std::vector<std::string>{""}));
  EXPECT_EQ(split("ä", tagSeparator), (std::vector<std::string>{"ä"}));
}

TEST(TextScalars, CountInEachUnit) {
  const std::string text = "aü😀e\u0301";  // a, ü, grinning face, e + combining acute
  EXPECT_EQ(scalarCount(text), 5u);
  EXPECT_EQ(utf16Length(text), 6u);
  EXPECT_EQ(characterCount(text), 4u);
  EXPECT_EQ(characterCount("🇩🇪👍🏽"), 2u);  // a flag and a toned thumb
  EXPECT_EQ(scalarCount(""), 0u);
  EXPECT_EQ(scalarCount("a\xC3"), 2u);  // a truncated sequence counts as one replacement character
}

TEST(TextScalars, ConvertAndCutWithoutBreakingSequences) {
  EXPECT_EQ(toScalars("aü😀"), (std::u32string{U'a', U'ü', U'😀'}));
  EXPECT_EQ(fromScalars(U"aü😀"), "aü😀");
  EXPECT_EQ(fromScalars(std::u32string{0xD800, 0x110000}), "\uFFFD\uFFFD");
  EXPECT_EQ(scalarPrefix("äö😀ü", 3), "äö😀");
  EXPECT_EQ(scalarPrefix("äö", 10), "äö");
  EXPECT_EQ(scalarPrefix("äö", 0), "");
}

TEST(TextScalars, IllFormedBytesAreRepairedOneReplacementPerMaximalSubsequence) {
  EXPECT_EQ(wellFormedUtf8("aü😀"), "aü😀");
  EXPECT_EQ(wellFormedUtf8("a\xFF"
                           "b"),
            "a\uFFFDb");
  EXPECT_EQ(wellFormedUtf8("a\xC3"), "a\uFFFD");                    // truncated
  EXPECT_EQ(wellFormedUtf8("\xE2\x82x"), "\uFFFDx");                // one maximal subsequence
  EXPECT_EQ(wellFormedUtf8("\xC0\xAF"), "\uFFFD\uFFFD");            // overlong
  EXPECT_EQ(wellFormedUtf8("\xED\xA0\x80"), "\uFFFD\uFFFD\uFFFD");  // a surrogate
  EXPECT_TRUE(isWellFormedUtf8(wellFormedUtf8("\x80\xF4\x90\x80\x80z")));
}

}  // namespace
}  // namespace platform
