#include "measurement/runtime/BMSIdentityValues.h"

#include <gtest/gtest.h>

#include <set>

#include "platform/identity/RandomSource.h"

namespace beacon {
namespace {

TEST(LibraryVersionTest, DropsTheLastThreeCharacters) {
  EXPECT_EQ(libraryVersionFromString(kBMSLibraryVersionString), 120300);
  EXPECT_EQ(libraryVersionFromString("1000"), 1);
}

TEST(LibraryVersionTest, ShortOrNonNumericStringsGiveZero) {
  EXPECT_EQ(libraryVersionFromString("999"), 0);
  EXPECT_EQ(libraryVersionFromString(""), 0);
  EXPECT_EQ(libraryVersionFromString("12a4000"), 0);
}

TEST(AppVersionFieldsTest, SplitsAtDotsAndSkipsEmptyPieces) {
  const AppVersionFields fields = numericFieldsFromAppVersion("12..3.");
  EXPECT_EQ(fields.numbers, (std::vector<std::int64_t>{12, 3}));
  EXPECT_FALSE(fields.hadNonNumericCharacters);
}

TEST(AppVersionFieldsTest, KeepsOnlyTheDigitsOfEachPiece) {
  const AppVersionFields fields = numericFieldsFromAppVersion("2.1b4.rc");
  EXPECT_EQ(fields.numbers, (std::vector<std::int64_t>{2, 14, 0}));
  EXPECT_TRUE(fields.hadNonNumericCharacters);
}

TEST(AppVersionFieldsTest, HugePiecesSaturate) {
  EXPECT_EQ(numericFieldsFromAppVersion("99999999999999999999999").numbers,
            std::vector<std::int64_t>{INT64_MAX});
}

TEST(RandomAppInstanceIDTest, Is32UpperCaseHexCharactersAndFresh) {
  std::set<std::string> seen;
  for (int i = 0; i < 20; ++i) {
    const std::string id = randomAppInstanceID(platform::systemRandomSource());
    ASSERT_EQ(id.size(), 32u) << id;
    for (char c : id) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << id;
    seen.insert(id);
  }
  EXPECT_EQ(seen.size(), 20u);
}

}  // namespace
}  // namespace beacon
