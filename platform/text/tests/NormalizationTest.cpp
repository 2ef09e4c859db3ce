#include "platform/text/Normalization.h"

#include <gtest/gtest.h>

#include <string>
#include <unordered_set>

namespace platform {
namespace {

TEST(TextNormalization, ComposesToFormC) {
  EXPECT_EQ(normalizedNFC("U\u0308bersicht"), "\u00DCbersicht");
  EXPECT_EQ(normalizedNFC("\u212B"), "\u00C5");               // the Ångström sign is the letter Å
  EXPECT_EQ(normalizedNFC("a\u0323\u0307"), "\u1EA1\u0307");  // marks in canonical order
  EXPECT_EQ(normalizedNFC("plain"), "plain");
  EXPECT_EQ(normalizedNFC("a\xFF"), "a\uFFFD");
}

TEST(TextCanonicalEquality, EqualsAcrossSpellingsButNotAcrossCase) {
  EXPECT_TRUE(canonicallyEqual("\u00FC", "u\u0308"));
  EXPECT_TRUE(canonicallyEqual("K", "\u212A"));  // Kelvin sign against ASCII K
  EXPECT_TRUE(canonicallyEqual("q\u0307\u0323", "q\u0323\u0307"));
  EXPECT_FALSE(canonicallyEqual("\u00FC", "\u00DC"));
  EXPECT_FALSE(canonicallyEqual("\u00FC", "u"));
  EXPECT_FALSE(canonicallyEqual("ﬁ", "fi"));  // compatibility forms stay distinct
}

TEST(TextCanonicalEquality, IllFormedBytesEqualOnlyThemselves) {
  EXPECT_TRUE(canonicallyEqual("a\xFF", "a\xFF"));
  EXPECT_FALSE(canonicallyEqual("a\xFF", "a\xFE"));
  EXPECT_FALSE(canonicallyEqual("a\xFF", "a\uFFFD"));
}

TEST(TextCanonicalHash, EqualTextsHashEqually) {
  EXPECT_EQ(canonicalHash("\u00DCbersicht"), canonicalHash("U\u0308bersicht"));
  EXPECT_EQ(canonicalHash("q\u0307\u0323"), canonicalHash("q\u0323\u0307"));
  EXPECT_EQ(canonicalHash("K"), canonicalHash("\u212A"));

  std::unordered_set<std::string, CanonicalHash, CanonicalEqual> tags{"\u00DCbersicht", "Review"};
  EXPECT_EQ(tags.count("U\u0308bersicht"), 1u);
  EXPECT_FALSE(tags.insert("U\u0308bersicht").second);
  EXPECT_TRUE(tags.insert("review").second);
}

}  // namespace
}  // namespace platform
